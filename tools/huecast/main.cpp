// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "host/PluginBundle.h"
#include "tools/huecast/CheckCommand.h"
#include "tools/huecast/InspectorCommand.h"
#include "tools/huecast/ListCommand.h"

namespace
{

constexpr int kUsageError = 2;

constexpr const char* kDescription =
    "huecast: grade frames through 3D colour look-up tables (.cube files) on the GPU.\n"
    "\n"
    "Commands and their contract (stable; scripts depend on it):\n"
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

} // namespace

int main(int argc, char** argv)
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
