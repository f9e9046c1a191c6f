// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#include "tools/huecast/InspectorCommand.h"

#include <filesystem>

#include <fmt/format.h>
#include <unistd.h>

#include "host/ReferenceHost.h"
#include "platform/foundation/Text.h"
#include "platform/fx/FxCustomValue.h"
#include "platform/kit/NSControl.h"
#include "platform/kit/ViewRendering.h"
#include "plugin/HuecastParameters.h"
#include "tools/huecast/GradingSession.h"

namespace huecast::tool
{
namespace
{

constexpr int kUsageError = 2;
constexpr auto kLoadLUTParameter = parmIdOf(HuecastParameter::LoadLUT);
constexpr std::int64_t kBrowseButtonTag = 1;
// The host inspector's panel colour, a dark grey, behind the control.
constexpr double kInspectorWhite = 0.19;

// Why the file can't be made in its folder, or empty when it can be tried.
std::string outputProblem(const std::string& output)
{
    const std::filesystem::path path(output);
    std::filesystem::path folder = path.parent_path();
    if (folder.empty())
    {
        folder = ".";
    }
    std::error_code error;
    if (std::filesystem::is_directory(path, error))
    {
        return "it is a folder";
    }
    if (!std::filesystem::is_directory(folder, error))
    {
        return fmt::format("there is no folder {}", folder.string());
    }
    if (::access(folder.c_str(), W_OK) != 0)
    {
        return fmt::format("the folder {} is not writable", folder.string());
    }
    return {};
}

} // namespace

int runInspector(const std::string& bundlePath, const InspectorOptions& options)
{
    if (const std::string problem = outputProblem(options.output); !problem.empty())
    {
        fmt::print(stderr, "huecast inspector: can't write {}: {}\n",
                   foundation::escapeForTerminal(options.output),
                   foundation::escapeForTerminal(problem));
        return kUsageError;
    }

    const HostWithInstance opened = openHostWithInstance(bundlePath, stderr);
    if (opened.instance == nullptr)
    {
        return 1;
    }
    host::EffectInstance* instance = opened.instance;
    // The control shows what the parameter holds: the filter's syncUI reads it when the
    // control is made.
    instance->parameters().setCustomParameterValue(
        std::make_shared<const fx::FxStringValue>(options.path), kLoadLUTParameter);
    fx::FxCustomParameterViewHost* viewHost = instance->filter().customParameterViewHost();
    const std::shared_ptr<kit::NSView> control =
        viewHost != nullptr ? viewHost->createViewForParm(kLoadLUTParameter) : nullptr;
    if (!control)
    {
        fmt::print(stderr, "huecast: the plug-in offers no control for \"Load LUT\"\n");
        return 1;
    }
    // The host sizes the container to its inspector; the subviews follow their masks.
    const kit::NSRect frame = control->frame();
    control->setFrame({frame.x, frame.y, options.width, frame.height});
    if (options.pressed)
    {
        if (auto* button =
                dynamic_cast<kit::NSButton*>(control->viewWithTag(kBrowseButtonTag).get()))
        {
            button->setHighlighted(true);
        }
    }

    kit::ViewImageOptions image;
    image.scale = options.scale;
    image.background = kit::NSColor::colorWithCalibratedWhite(kInspectorWhite, 1.0);
    std::string failure;
    if (!kit::writeViewToPNG(*control, options.output, image, &failure))
    {
        fmt::print(stderr, "huecast inspector: {}\n", failure);
        return 1;
    }
    return 0;
}

} // namespace huecast::tool
