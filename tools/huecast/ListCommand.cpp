// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#include "tools/huecast/ListCommand.h"

#include <fmt/format.h>

#include "host/ReferenceHost.h"
#include "platform/foundation/Text.h"

namespace huecast::tool
{
namespace
{

constexpr std::uint32_t kLUTParameter = 1;

} // namespace

int runList(const std::string& bundlePath, std::FILE* out)
{
    foundation::Error error;
    const auto host = host::ReferenceHost::create(bundlePath, &error);
    host::EffectInstance* instance = host ? host->createInstance({}, &error) : nullptr;
    if (instance == nullptr)
    {
        fmt::print(stderr, "huecast: {}\n",
                   foundation::escapeForTerminal(error.localizedDescription()));
        return 1;
    }
    const host::Parameter* popup = instance->parameters().parameter(kLUTParameter);
    if (popup == nullptr)
    {
        fmt::print(stderr, "huecast: the plug-in declared no \"3D LUT\" parameter\n");
        return 1;
    }
    for (const std::string& entry : popup->entries)
    {
        fmt::print(out, "{}\n", foundation::escapeForTerminal(entry));
    }
    return 0;
}

} // namespace huecast::tool
