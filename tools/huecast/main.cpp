// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#include <algorithm>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>
#include <dlfcn.h>
#include <unistd.h>

#include "host/FrameFiles.h"
#include "platform/foundation/Text.h"
#include "plugin/HuecastParameters.h"
#include "tools/huecast/CheckCommand.h"
#include "tools/huecast/CommandGuide.h"
#include "tools/huecast/CommandModule.h"
#include "tools/huecast/LibraryCommand.h"

namespace
{

constexpr int kUsageError = 2;

constexpr const char* kDescription =
    "huecast: grade frames through 3D colour look-up tables (.cube files) on the GPU.\n"
    "\n"
    "Commands and their contract (stable; scripts depend on it):\n"
    "  huecast render (--lut NAME | --lut-file PATH | --project FILE) [--save-project FILE]\n"
    "                 [--frames A-B] [--depth D] [--compression C] [--interpolation I]\n"
    "                 [--amount A] [-q] INPUT... -o OUTPUT\n"
    "      Grade still frames, frame sequences (PNG, JPEG, TIFF, OpenEXR, DPX) and clips\n"
    "      (.mov, .mp4, .m4v, .avi, .mpg) through the plug-in, keeping each input's bit depth\n"
    "      (8-bit, 16-bit, float) unless --depth uint8|uint16|half|float says otherwise;\n"
    "      --compression names the writer's compression. Colour is graded straight (not\n"
    "      premultiplied); alpha passes through.\n"
    "      --lut picks a \"3D LUT\" popup entry, --lut-file loads a .cube file through\n"
    "      Browse, --project restores a saved project (no .cube needed); --lut \"No LUT\"\n"
    "      copies the frames through the plug-in unchanged.\n"
    "      --save-project writes the chosen LUT, whole, into a project file.\n"
    "      --interpolation trilinear|tetrahedral reads the lattice by the texture unit's\n"
    "      trilinear filter (the default) or by tetrahedral weights of four entries, as\n"
    "      ffmpeg's lut3d and OpenColorIO do; --amount A (0 to 1, default 1) mixes the graded\n"
    "      colour with the input: input + A x (graded - input). A project keeps both; given\n"
    "      with --project, they replace what it saved.\n"
    "      An INPUT may be a sequence: shot.%04d.exr or shot.####.exr (one digit a '#').\n"
    "      OUTPUT is a file for one input, else a folder (frames keep their names) or a\n"
    "      numbered pattern; a clip's frames go into a numbered pattern, or into a folder as\n"
    "      NAME.0001.png on; a movie is never written. A progress bar shows on a terminal for\n"
    "      more than one frame, a single frame's path is noted; -q leaves only errors.\n"
    "      A gap in a sequence is an error that names the missing frames; --frames A-B\n"
    "      grades only frames A to B (inclusive, the numbers in the file names; a clip's\n"
    "      frames count from 1).\n"
    "  huecast apply --lut-file PATH [--interpolation I] [--amount A]\n"
    "      Read lines of three numbers \"r g b\" on stdin, grade them through the GPU render\n"
    "      pass on a float frame, print the graded \"r g b\" (%.9g) for each line;\n"
    "      --interpolation and --amount as for render.\n"
    "  huecast check [--json] FILE...\n"
    "      Read each .cube file with the plug-in's reader. Without --json: one line a file.\n"
    "      With --json: one JSON array, one object a file in argument order:\n"
    "        {\"file\": F, \"ok\": true, \"size\": N, \"sha256\": HEX-OF-LATTICE-BYTES,\n"
    "         \"domainMin\": [r,g,b], \"domainMax\": [r,g,b]}   (domain keys only when present)\n"
    "        {\"file\": F, \"ok\": false, \"domain\": D, \"code\": C, \"message\": M}\n"
    "      Both also carry \"warnings\": [{\"line\": K, \"message\": W}] when the reader read\n"
    "      a line otherwise than its writer likely meant (\"0,5\" as 0, a line skipped, an\n"
    "      unknown keyword, a domain whose minimum is not below its maximum, where a short\n"
    "      table went wrong), printed without --json as FILE:K: warning: W; and a failure of\n"
    "      a file not named .cube carries a \"hint\". Warnings don't change the exit status.\n"
    "  huecast list [--parameters]\n"
    "      Print the \"3D LUT\" popup entries of a new filter instance, one a line: \"No LUT\",\n"
    "      \"External File\", then the .cube files of the LUT library folders: the library\n"
    "      folder ~/Movies/Motion Templates.localized/Effects.localized/Velmor/Tintbay/,\n"
    "      then $XDG_DATA_HOME/huecast/luts (~/.local/share), then huecast/luts under each\n"
    "      of $XDG_DATA_DIRS (/usr/local/share:/usr/share); an earlier folder's name hides\n"
    "      a later one's.\n"
    "      --parameters prints every parameter instead: id, name, kind, values (tabs).\n"
    "  huecast library [--add FILE... [--force]]\n"
    "      Without --add: print each LUT library folder, then its entries, each that won't\n"
    "      load followed by the reader's message, each hidden by an earlier folder's marked.\n"
    "      With --add: read each .cube file and copy the good ones into the first folder\n"
    "      as NAME.cube (making it), so that\n"
    "      --lut NAME finds them; a different file of the same name stays unless --force.\n"
    "  huecast inspector -o PANEL.png [--width W] [--path P] [--pressed] [--scale S]\n"
    "      Draw the \"Load LUT\" control (Browse button and path display) as the host's\n"
    "      inspector shows it into a PNG: W points wide (114 to 4096, default 468), showing\n"
    "      the path P, the button held down with --pressed, S pixels a point (1 to 8).\n"
    "  huecast sheet FRAME -o SHEET.png [--lut NAME]... [--lut-file PATH]... [--columns N]\n"
    "                [--width W]\n"
    "      Grade one frame through every library LUT (or the --lut entries, then the\n"
    "      --lut-file files) as render does, and tile the results into a PNG, the ungraded\n"
    "      frame first, each look's name under it: W pixels a tile (16 to 4096, default\n"
    "      320), N tiles a row (default: as near a square as fits). A look that fails has its\n"
    "      message drawn in its tile and printed; the sheet is still written, exit status 1.\n"
    "\n"
    "The plug-in bundle is found through $HUECAST_BUNDLE, else where the tool is installed.\n"
    "Exit status: 0 when everything succeeded, 1 when a file failed, 2 for a usage error.\n";

constexpr const char* kChooseALut =
    "huecast render: choose a LUT: --lut NAME (a \"3D LUT\" popup entry: `huecast list`; "
    "\"No LUT\" copies the frames), --lut-file PATH (a .cube file) or --project FILE (a "
    "project saved with --save-project)\n";

/// --interpolation and --amount on a command, into `controls`.
void addGradeControls(CLI::App* command, huecast::tool::GradeControls& controls)
{
    command
        ->add_option_function<std::string>(
            "--interpolation",
            [&controls](const std::string& name)
            { controls.interpolation = huecast::interpolationIndexOf(name); },
            "How the lattice is read: trilinear (the default) or tetrahedral")
        ->check(CLI::IsMember({"trilinear", "tetrahedral"}, CLI::ignore_case))
        ->option_text("trilinear|tetrahedral");
    command
        ->add_option_function<double>(
            "--amount", [&controls](double amount) { controls.amount = amount; },
            "How much of the graded colour replaces the input, 0 to 1 (default 1)")
        ->check(
            [](const std::string& text)
            {
                // Written so that "nan" is refused too.
                double amount = 0.0;
                return CLI::detail::lexical_cast(text, amount) && amount >= 0.0 && amount <= 1.0
                           ? std::string()
                           : "--amount takes a number from 0 to 1";
            },
            "A")
        ->option_text("A");
}

std::string commandList(const CLI::App& app)
{
    std::string list = "Commands:\n";
    for (const CLI::App* command : app.get_subcommands({}))
    {
        constexpr std::size_t kNameColumn = 12;
        const std::string& name = command->get_name();
        list += "  " + name +
                std::string(kNameColumn - std::min(name.size(), kNameColumn - 1), ' ') +
                command->get_description() + "\n";
    }
    return list + "`huecast COMMAND --help` says more about one, `huecast --help` about all.\n";
}

/// The command module, found from the tool's own path as the plug-in bundle is: in the private
/// library folder of an installed tree, in lib/ of the build tree. Null, after saying why on
/// `errors`, when it can't be loaded.
const huecast::tool::CommandModule* loadCommandModule(std::FILE* errors)
{
    using huecast::tool::CommandModule;
    using huecast::tool::kCommandModuleName;
    std::error_code ignored;
    const std::filesystem::path folder =
        std::filesystem::read_symlink("/proc/self/exe", ignored).parent_path();
    std::string failure = "it is in neither the private library folder nor the build tree";
    for (const auto& candidate : {folder / HUECAST_PRIVATE_FROM_BINDIR / kCommandModuleName,
                                  folder / "../../lib" / kCommandModuleName})
    {
        if (!std::filesystem::exists(candidate, ignored))
        {
            continue;
        }
        void* handle = dlopen(candidate.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
        if (handle == nullptr)
        {
            const char* reason = dlerror();
            failure = reason != nullptr ? reason : candidate.string();
            break;
        }
        const auto entry = reinterpret_cast<decltype(&HuecastCommandModule)>(
            dlsym(handle, "HuecastCommandModule"));
        const CommandModule* module = entry != nullptr ? entry() : nullptr;
        if (module != nullptr && module->version == CommandModule::kVersion)
        {
            return module;
        }
        failure = candidate.lexically_normal().string() + " has no compatible entry point";
        break;
    }
    std::fprintf(errors, "huecast: %s couldn't be loaded (%s)\n", kCommandModuleName,
                 failure.c_str());
    return nullptr;
}

/// Says that `typed` is not a known command (or option) and suggests the nearest of `names`.
void reportUnknown(const char* what, const std::string& typed,
                   const std::vector<std::string>& names)
{
    const std::string nearest = huecast::tool::nearestName(typed, names);
    std::fprintf(stderr, "huecast: unknown %s \"%s\"%s\n", what,
                 huecast::foundation::escapeForTerminal(typed).c_str(),
                 nearest.empty() ? "" : ("; did you mean \"" + nearest + "\"?").c_str());
}

/// Answers `huecast`, `huecast help [COMMAND]`, a mistyped command and an unknown option before
/// any command, ahead of the parser, which would only say that a command is required. Returns
/// the exit status, or nothing to go on.
std::optional<int> guide(const CLI::App& app, int argc, char** argv)
{
    if (argc < 2)
    {
        std::fputs(commandList(app).c_str(), stderr);
        return kUsageError;
    }
    const std::string first = argv[1];
    std::vector<std::string> names;
    for (const CLI::App* command : app.get_subcommands({}))
    {
        names.push_back(command->get_name());
    }
    if (first == "help")
    {
        if (argc < 3)
        {
            std::fputs(commandList(app).c_str(), stdout);
            return 0;
        }
        const auto named = std::find(names.begin(), names.end(), argv[2]);
        if (named == names.end())
        {
            reportUnknown("command", argv[2], names);
            std::fputs(commandList(app).c_str(), stderr);
            return kUsageError;
        }
        std::fputs(app.get_subcommand(*named)->help().c_str(), stdout);
        return 0;
    }
    if (first.starts_with("-"))
    {
        // Only the options the tool itself takes come before a command.
        const std::vector<std::string> options = {"--help", "-h", "--help-all", "--version"};
        if (std::find(options.begin(), options.end(), first) != options.end())
        {
            return std::nullopt;
        }
        reportUnknown("option", first, options);
        std::fputs(commandList(app).c_str(), stderr);
        return kUsageError;
    }
    if (std::find(names.begin(), names.end(), first) != names.end())
    {
        return std::nullopt;
    }
    reportUnknown("command", first, names);
    std::fputs(commandList(app).c_str(), stderr);
    return kUsageError;
}

int runTool(int argc, char** argv)
{
    CLI::App app(kDescription, "huecast");
    app.require_subcommand(1);
    // The parser's own messages name the tool, as every other message does.
    app.failure_message([](const CLI::App* failed, const CLI::Error& error)
                        { return "huecast: " + CLI::FailureMessage::simple(failed, error); });
    app.set_help_all_flag("--help-all", "Print this help with every command's options, and exit");
    app.set_version_flag("--version",
                         []
                         {
                             const auto* commands = loadCommandModule(stderr);
                             return std::string("huecast " HUECAST_VERSION) +
                                    (commands != nullptr ? "\n" + commands->describeGlRenderer()
                                                         : std::string());
                         });

    std::vector<std::string> checkFiles;
    bool checkJson = false;
    CLI::App* check = app.add_subcommand("check", "Read .cube files and print what each holds");
    check->add_flag("--json", checkJson, "Print one JSON array of results");
    check->add_option("FILE", checkFiles, ".cube files to read")->required();

    CLI::App* list = app.add_subcommand("list", "Print the LUT popup's entries");
    bool listParameters = false;
    list->add_flag("--parameters", listParameters,
                   "Print every parameter of the filter (id, name, kind, values) instead");

    std::vector<std::string> libraryFiles;
    bool libraryForce = false;
    CLI::App* library =
        app.add_subcommand("library", "Print the LUT library folders, or add .cube files");
    auto* addOption =
        library->add_option("--add", libraryFiles, "Check these .cube files and copy them in");
    library->add_flag("--force", libraryForce, "Replace a different file of the same name")
        ->needs(addOption);

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
    renderCommand
        ->add_option_function<std::string>(
            "--frames",
            [&render](const std::string& text)
            { render.frames = huecast::tool::FrameRange::parse(text); },
            "Grade only frames A to B (inclusive, the numbers in the file names)")
        ->check(
            [](const std::string& text)
            {
                return huecast::tool::FrameRange::parse(text)
                           ? std::string()
                           : "--frames takes A-B, the first and last frame number, A at most B, "
                             "each of at most 12 digits";
            },
            "A-B");
    addGradeControls(renderCommand, render.controls);
    renderCommand->add_flag("-q,--quiet", render.quiet, "No progress and no notes; errors only");
    const std::map<std::string, huecast::host::StoredDepth> depths = {
        {"uint8", huecast::host::StoredDepth::UInt8},
        {"uint16", huecast::host::StoredDepth::UInt16},
        {"half", huecast::host::StoredDepth::Half},
        {"float", huecast::host::StoredDepth::Float}};
    renderCommand
        ->add_option_function<std::string>(
            "--depth", [&](const std::string& name) { render.written.depth = depths.at(name); },
            "Write frames with this channel type instead of the input's")
        ->check(CLI::IsMember({"uint8", "uint16", "half", "float"}))
        ->option_text("uint8|uint16|half|float");
    renderCommand->add_option("--compression", render.written.compression,
                              "The writer's compression (zip, piz, dwaa:45, lzw, jpeg:90, ...)");
    renderCommand->add_option("INPUT", render.inputs, "Frame files, sequence patterns or clips")
        ->required();
    renderCommand->add_option("-o,--output", render.output, "Output file, folder or pattern")
        ->required();

    std::string applyLutFile;
    CLI::App* apply =
        app.add_subcommand("apply", "Grade \"r g b\" lines from stdin through the render pass");
    apply->add_option("--lut-file", applyLutFile, "The .cube file")->required();
    huecast::tool::GradeControls applyControls;
    addGradeControls(apply, applyControls);
    std::vector<std::string> applyColour;
    apply->add_option("R G B", applyColour, "One colour to grade instead of lines on stdin")
        ->expected(3)
        ->check(CLI::Number);

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

    huecast::tool::SheetOptions sheetOptions;
    CLI::App* sheet =
        app.add_subcommand("sheet", "Tile one frame graded through many LUTs into a PNG");
    sheet->add_option("FRAME", sheetOptions.frame, "The frame file to grade")->required();
    sheet->add_option("-o,--output", sheetOptions.output, "The PNG file to write")->required();
    // One value an option, so that the frame after a --lut is never taken for a second LUT.
    sheet->add_option("--lut", sheetOptions.luts, "A \"3D LUT\" popup entry (repeatable)")
        ->allow_extra_args(false);
    sheet->add_option("--lut-file", sheetOptions.lutFiles, "A .cube file (repeatable)")
        ->allow_extra_args(false);
    sheet->add_option("--columns", sheetOptions.columns, "Tiles a row")
        ->check(CLI::Range(1, huecast::tool::kSheetMaxColumns));
    sheet->add_option("--width", sheetOptions.width, "Each tile's width in pixels")
        ->check(CLI::Range(huecast::tool::kSheetMinWidth, huecast::tool::kSheetMaxWidth));

    if (const auto status = guide(app, argc, argv))
    {
        return *status;
    }
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
        if (library->parsed())
        {
            return libraryFiles.empty()
                       ? huecast::tool::runLibraryList(stdout)
                       : huecast::tool::runLibraryAdd(libraryFiles, libraryForce, stdout, stderr);
        }
        // The other commands live in the command module, loaded once a command needs it.
        using huecast::tool::CommandModule;
        const auto withCommands = [](const auto& run)
        {
            const CommandModule* commands = loadCommandModule(stderr);
            return commands != nullptr ? run(*commands) : 1;
        };
        if (list->parsed())
        {
            return withCommands(
                [listParameters](const CommandModule& commands)
                { return commands.runList(commands.defaultBundlePath(), listParameters, stdout); });
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
            else
            {
                std::fputs(kChooseALut, stderr);
                return kUsageError;
            }
            render.progress = ::isatty(STDERR_FILENO) != 0;
            return withCommands(
                [&render](const CommandModule& commands)
                { return commands.runRender(commands.defaultBundlePath(), render, stderr); });
        }
        if (apply->parsed())
        {
            // One colour given as arguments is graded as a line of its own.
            std::string line;
            for (const std::string& component : applyColour)
            {
                line += (line.empty() ? "" : " ") + component;
            }
            line += "\n";
            std::FILE* colours =
                applyColour.empty() ? stdin : ::fmemopen(line.data(), line.size(), "r");
            const int status = withCommands(
                [&](const CommandModule& commands)
                {
                    return commands.runApply(commands.defaultBundlePath(), applyLutFile,
                                             applyControls, colours != nullptr ? colours : stdin,
                                             stdout, stderr);
                });
            if (colours != stdin && colours != nullptr)
            {
                std::fclose(colours);
            }
            return status;
        }
        if (sheet->parsed())
        {
            return withCommands(
                [&sheetOptions](const CommandModule& commands)
                { return commands.runSheet(commands.defaultBundlePath(), sheetOptions, stderr); });
        }
        if (inspector->parsed())
        {
            return withCommands(
                [&inspectorOptions](const CommandModule& commands)
                { return commands.runInspector(commands.defaultBundlePath(), inspectorOptions); });
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
