// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#include "tools/huecast/ListCommand.h"

#include <fmt/format.h>

#include "host/ReferenceHost.h"
#include "platform/foundation/Text.h"
#include "plugin/HuecastParameters.h"
#include "tools/huecast/GradingSession.h"

namespace huecast::tool
{
namespace
{

constexpr auto kLUTParameter = parmIdOf(HuecastParameter::LUT);

} // namespace

int runList(const std::string& bundlePath, std::FILE* out)
{
    const HostWithInstance opened = openHostWithInstance(bundlePath, stderr);
    if (opened.instance == nullptr)
    {
        return 1;
    }
    const host::Parameter* popup = opened.instance->parameters().parameter(kLUTParameter);
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
