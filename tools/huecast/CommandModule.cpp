// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
// The command module: the tool's commands that bring up GL, the plug-in or the panel.
#include "tools/huecast/CommandModule.h"

#include <fmt/format.h>

#include "host/PluginBundle.h"
#include "platform/gl/EglContext.h"
#include "platform/gl/GL.h"
#include "tools/huecast/ApplyCommand.h"
#include "tools/huecast/ListCommand.h"

namespace huecast::tool
{
namespace
{

std::string describeGlRenderer()
{
    foundation::Error error;
    const auto context = gl::EglContext::createHighest(gl::EglPlatform::Automatic, &error);
    if (!context)
    {
        return fmt::format("GL renderer: none ({})", error.localizedDescription());
    }
    const auto text = [](GLenum name)
    {
        const auto* value = reinterpret_cast<const char*>(glGetString(name));
        return std::string(value != nullptr ? value : "unknown");
    };
    return fmt::format("GL renderer: {} (OpenGL {})", text(GL_RENDERER), text(GL_VERSION));
}

} // namespace
} // namespace huecast::tool

const huecast::tool::CommandModule* HuecastCommandModule()
{
    static const huecast::tool::CommandModule module{
        huecast::tool::CommandModule::kVersion,
        huecast::tool::runList,
        huecast::tool::runRender,
        huecast::tool::runApply,
        huecast::tool::runInspector,
        huecast::tool::runSheet,
        huecast::tool::describeGlRenderer,
        huecast::host::PluginBundle::defaultBundlePath};
    return &module;
}
