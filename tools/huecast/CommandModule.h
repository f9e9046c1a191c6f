// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#pragma once

#include <cstdio>
#include <string>

#include "tools/huecast/InspectorCommand.h"
#include "tools/huecast/RenderCommand.h"
#include "tools/huecast/SheetCommand.h"

namespace huecast::tool
{

/// The commands that need GL, the plug-in or the panel's drawing, in a module that the tool
/// loads only for them: `check`, `library`, help and usage errors start without EGL, cairo,
/// pango and the forty libraries they bring, which take longer to load than a 65-point LUT
/// takes to read. The module and the tool are built together, so C++ types cross the boundary.
struct CommandModule
{
    static constexpr int kVersion = 3;
    int version = kVersion;

    int (*runList)(const std::string& bundlePath, bool parameters, std::FILE* out) = nullptr;
    int (*runRender)(const std::string& bundlePath, const RenderOptions& options,
                     std::FILE* errors) = nullptr;
    int (*runApply)(const std::string& bundlePath, const std::string& lutFile,
                    const GradeControls& controls, std::FILE* in, std::FILE* out,
                    std::FILE* errors) = nullptr;
    int (*runInspector)(const std::string& bundlePath, const InspectorOptions& options) = nullptr;
    int (*runSheet)(const std::string& bundlePath, const SheetOptions& options,
                    std::FILE* errors) = nullptr;
    /// "GL renderer: NAME (GL VERSION)" of the context the reference host would grade in, or
    /// why there is none.
    std::string (*describeGlRenderer)() = nullptr;
    /// The plug-in bundle the tool grades through.
    std::string (*defaultBundlePath)() = nullptr;
};

/// The file name of the module, in the tool's private library folder.
inline constexpr const char* kCommandModuleName = "huecast-commands.so";

} // namespace huecast::tool

/// The module's one entry point.
extern "C" [[gnu::visibility("default")]] const huecast::tool::CommandModule*
HuecastCommandModule();
