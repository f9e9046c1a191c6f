// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>
#include <unistd.h>

#include "host/PluginBundle.h"
#include "tools/huecast/ApplyCommand.h"
#include "tools/huecast/CheckCommand.h"
#include "tools/huecast/InspectorCommand.h"
#include "tools/huecast/ListCommand.h"
#include "tools/huecast/RenderCommand.h"

namespace
{

constexpr int kUsageError = 2;

constexpr const char* kDescription =
    "huecast: grade frames through 3D colour look-up tables (.cube files) on the GPU.\n"
    "\n"
    "Commands and their contract (stable; scripts depend on it):\n"
    "  huecast render [--lut NAME | --lut-file PATH | --project FILE] [--save-project FILE]\n"
    "                 INPUT... -o OUTPUT\n"
    "      Grade still frames or frame sequences (PNG, JPEG, TIFF, OpenEXR, DPX) through the\n"
    "      plug-in, keeping each input's bit depth (8-bit, 16-bit, float).\n"
    "      --lut picks a \"3D LUT\" popup entry, --lut-file loads a .cube file through\n"
    "      Browse, --project restores a saved project (no .cube needed); with none of\n"
    "      them the frames go through \"No LUT\".\n"
    "      --save-project writes the chosen LUT, whole, into a project file.\n"
    "      An INPUT may be a sequence: shot.%04d.exr or shot.####.exr (one digit a '#').\n"
    "      OUTPUT is a file for one input, else a folder (frames keep their names) or a\n"
    "      numbered pattern. A progress bar shows on a terminal for more than one frame.\n"
    "  huecast apply --lut-file PATH\n"
    "      Read lines of three numbers \"r g b\" on stdin, grade them through the GPU render\n"
    "      pass on a float frame, print the graded \"r g b\" (%.9g) for each line.\n"
    "  huecast check [--json] FILE...\n"
    "      Read each .cube file with the plug-in's reader. Without --json: one line a file.\n"
    "      With --json: one JSON array, one object a file in argument order:\n"
    "        {\"file\": F, \"ok\": true, \"size\": N, \"sha256\": HEX-OF-LATTICE-BYTES,\n"
    "         \"domainMin\": [r,g,b], \"domainMax\": [r,g,b]}   (domain keys only when present)\n"
    "        {\"file\": F, \"ok\": false, \"domain\": D, \"code\": C, \"message\": M}\n"
    "  huecast list\n"
    "      Print the \"3D LUT\" popup entries of a new filter instance, one a line: \"No LUT\",\n"
    "      \"External File\", then the .cube files of the LUT library folder\n"
    "      ~/Movies/Motion Templates.localized/Effects.localized/Velmor/Tintbay/.\n"
    "  huecast inspector -o PANEL.png [--width W] [--path P] [--pressed] [--scale S]\n"
    "      Draw the \"Load LUT\" control (Browse button and path display) as the host's\n"
    "      inspector shows it into a PNG: W points wide (114 to 4096, default 468), showing\n"
    "      the path P, the button held down with --pressed, S pixels a point (1 to 8).\n"
    "\n"
    "The plug-in bundle is found through $HUECAST_BUNDLE, else beside the tool.\n"
    "Exit status: 0 when everything succeeded, 1 when a file failed, 2 for a usage error.\n";

int runTool(int argc, char** argv)
{
    CLI::App app(kDescription, "huecast");
    app.require_subcommand(1);
    app.set_version_flag("--version", "huecast 0.1.0");

    std::vector<std::string> checkFiles;
    bool checkJson = false;
    CLI::App* check = app.add_subcommand("check", "Read .cube files and print what each holds");
    check->add_flag("--json", checkJson, "Print one JSON array of results");
    check->add_option("FILE", checkFiles, ".cube files to read")->required();

    CLI::App* list = app.add_subcommand("list", "Print the LUT popup's entries");

    huecast::tool::RenderOptions render;
    std::string renderLibraryEntry;
    std::string renderLutFile;
    std::string renderProject;
    CLI::App* renderCommand =
        app.add_subcommand("render", "Grade frames through the plug-in and write them");
    auto* lutOption = renderCommand->add_option("--lut", renderLibraryEntry,
                                                "A \"3D LUT\" popup entry (see huecast list)");
    auto* lutFileOption = renderCommand->add_option("--lut-file", renderLutFile,
                                                    "A .cube file, loaded through Browse");
    auto* projectOption =
        renderCommand->add_option("--project", renderProject, "A project saved by --save-project");
    lutOption->excludes(lutFileOption, projectOption);
    lutFileOption->excludes(projectOption);
    renderCommand->add_option("--save-project", render.saveProject,
                              "Save the chosen LUT into this project file");
    renderCommand->add_option("INPUT", render.inputs, "Frame files or sequence patterns")
        ->required();
    renderCommand->add_option("-o,--output", render.output, "Output file, folder or pattern")
        ->required();

    std::string applyLutFile;
    CLI::App* apply =
        app.add_subcommand("apply", "Grade \"r g b\" lines from stdin through the render pass");
    apply->add_option("--lut-file", applyLutFile, "The .cube file")->required();

    huecast::tool::InspectorOptions inspectorOptions;
    CLI::App* inspector =
        app.add_subcommand("inspector", "Draw the \"Load LUT\" control into a PNG");
    inspector->add_option("-o,--output", inspectorOptions.output, "The PNG file to write")
        ->required();
    inspector->add_option("--width", inspectorOptions.width, "The control's width in points")
        ->check(CLI::Range(huecast::tool::kInspectorMinWidth, huecast::tool::kInspectorMaxWidth));
    inspector->add_option("--path", inspectorOptions.path, "The path the display shows");
    inspector->add_flag("--pressed", inspectorOptions.pressed, "Draw the button held down");
    inspector->add_option("--scale", inspectorOptions.scale, "Pixels a point")
        ->check(CLI::Range(1.0, huecast::tool::kInspectorMaxScale));

    try
    {
        app.parse(argc, argv);
    }
    catch (const CLI::ParseError& error)
    {
        const int status = app.exit(error);
        return status == 0 ? 0 : kUsageError;
    }

    try
    {
        if (check->parsed())
        {
            return huecast::tool::runCheck(checkFiles, checkJson, stdout);
        }
        if (list->parsed())
        {
            return huecast::tool::runList(huecast::host::PluginBundle::defaultBundlePath(), stdout);
        }
        if (renderCommand->parsed())
        {
            using Kind = huecast::tool::LutChoice::Kind;
            if (*lutOption)
            {
                render.lut = {Kind::LibraryEntry, renderLibraryEntry};
            }
            else if (*lutFileOption)
            {
                render.lut = {Kind::File, renderLutFile};
            }
            else if (*projectOption)
            {
                render.lut = {Kind::Project, renderProject};
            }
            render.progress = ::isatty(STDERR_FILENO) != 0;
            return huecast::tool::runRender(huecast::host::PluginBundle::defaultBundlePath(),
                                            render, stderr);
        }
        if (apply->parsed())
        {
            return huecast::tool::runApply(huecast::host::PluginBundle::defaultBundlePath(),
                                           applyLutFile, stdin, stdout, stderr);
        }
        if (inspector->parsed())
        {
            return huecast::tool::runInspector(huecast::host::PluginBundle::defaultBundlePath(),
                                               inspectorOptions);
        }
    }
    catch (const std::exception& error)
    {
        std::fprintf(stderr, "huecast: %s\n", error.what());
        return 1;
    }
    return kUsageError;
}

} // namespace

int main(int argc, char** argv)
{
    // Nothing escapes: a failure outside the commands' own handling (setting up the parser, say)
    // is still reported and ends in status 1.
    try
    {
        return runTool(argc, argv);
    }
    catch (const std::exception& error)
    {
        std::fprintf(stderr, "huecast: %s\n", error.what());
    }
    catch (...)
    {
        std::fprintf(stderr, "huecast: an unknown failure stopped it\n");
    }
    return 1;
}
