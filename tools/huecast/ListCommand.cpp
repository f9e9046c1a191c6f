// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#include "tools/huecast/ListCommand.h"

#include <utility>

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

// What a parameter takes, as its line shows it: a popup's entries with the default marked, a
// slider's range and default, whether a custom value is hidden. Names are escaped.
std::string describe(const host::Parameter& parameter)
{
    switch (parameter.kind)
    {
    case host::ParameterKind::Popup:
    {
        std::string entries;
        for (std::size_t i = 0; i < parameter.entries.size(); ++i)
        {
            entries += fmt::format("{}{}{}", i == 0 ? "" : " | ", parameter.entries[i],
                                   std::cmp_equal(i, parameter.defaultIndex) ? " (default)" : "");
        }
        return "popup\t" + foundation::escapeForTerminal(entries);
    }
    case host::ParameterKind::Float:
        return fmt::format("float\t{} to {} (default {})", parameter.minimum, parameter.maximum,
                           parameter.defaultNumber);
    case host::ParameterKind::Custom:
        break;
    }
    const bool hidden = (parameter.flags & fx::flagBits(fx::FxParameterFlag::Hidden)) != 0;
    return fmt::format("custom\t{}", hidden ? "hidden" : "shown");
}

} // namespace

int runList(const std::string& bundlePath, bool parameters, std::FILE* out)
{
    const HostWithInstance opened = openHostWithInstance(bundlePath, stderr);
    if (opened.instance == nullptr)
    {
        return 1;
    }
    if (parameters)
    {
        for (const host::Parameter& parameter : opened.instance->parameters().parameters())
        {
            fmt::print(out, "{}\t{}\t{}\n", parameter.id,
                       foundation::escapeForTerminal(parameter.name), describe(parameter));
        }
        return 0;
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
