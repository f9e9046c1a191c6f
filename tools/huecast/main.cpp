// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#include <algorithm>
#include <array>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>
#include <unistd.h>

#include "host/FrameFiles.h"
#include "platform/foundation/DynamicModule.h"
#include "platform/foundation/Text.h"
#include "plugin/HuecastParameters.h"
#include "tools/huecast/CheckCommand.h"
#include "tools/huecast/CommandGuide.h"
#include "tools/huecast/CommandModule.h"
#include "tools/huecast/HelpText.h"
#include "tools/huecast/LibraryCommand.h"

namespace
{

constexpr int kUsageError = 2;

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
    const std::filesystem::path folder = huecast::foundation::executableFolder();
    std::string failure = "it is in neither the private library folder nor the build tree";
    for (const auto& candidate : {folder / HUECAST_PRIVATE_FROM_BINDIR / kCommandModuleName,
                                  folder / "../../lib" / kCommandModuleName})
    {
        std::error_code ignored;
        if (!std::filesystem::exists(candidate, ignored))
        {
            continue;
        }
        huecast::foundation::ModuleFailure loading;
        const CommandModule* module = huecast::foundation::loadModule(
            candidate.string(), "HuecastCommandModule", &CommandModule::version,
            CommandModule::kVersion, &loading);
        if (module != nullptr)
        {
            return module;
        }
        failure = loading.reason;
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

/// Runs the command the loaded module holds, or fails with status 1 when it can't be loaded.
int withCommands(const std::function<int(const huecast::tool::CommandModule&)>& run)
{
    const huecast::tool::CommandModule* commands = loadCommandModule(stderr);
    return commands != nullptr ? run(*commands) : 1;
}

/// A command whose options are parsed: running it gives the exit status.
using CommandRun = std::function<int()>;

CommandRun declareCheck(CLI::App& command)
{
    struct Options
    {
        std::vector<std::string> files;
        bool json = false;
    };
    auto options = std::make_shared<Options>();
    command.add_flag("--json", options->json, "Print one JSON array of results");
    command.add_option("FILE", options->files, ".cube files to read")->required();
    return [options] { return huecast::tool::runCheck(options->files, options->json, stdout); };
}

CommandRun declareList(CLI::App& command)
{
    auto parameters = std::make_shared<bool>(false);
    command.add_flag("--parameters", *parameters,
                     "Print every parameter of the filter (id, name, kind, values) instead");
    return [parameters]
    {
        return withCommands(
            [&](const huecast::tool::CommandModule& commands)
            { return commands.runList(commands.defaultBundlePath(), *parameters, stdout); });
    };
}

CommandRun declareLibrary(CLI::App& command)
{
    struct Options
    {
        std::vector<std::string> files;
        bool force = false;
    };
    auto options = std::make_shared<Options>();
    auto* add =
        command.add_option("--add", options->files, "Check these .cube files and copy them in");
    command.add_flag("--force", options->force, "Replace a different file of the same name")
        ->needs(add);
    return [options]
    {
        return options->files.empty()
                   ? huecast::tool::runLibraryList(stdout)
                   : huecast::tool::runLibraryAdd(options->files, options->force, stdout, stderr);
    };
}

/// --frames A-B on `render`.
void addFrameRange(CLI::App& command, huecast::tool::RenderOptions& render)
{
    command
        .add_option_function<std::string>(
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
}

/// --depth and --compression on `render`.
void addWriteOptions(CLI::App& command, huecast::host::FrameWriteOptions& written)
{
    static const std::map<std::string, huecast::host::StoredDepth> depths = {
        {"uint8", huecast::host::StoredDepth::UInt8},
        {"uint16", huecast::host::StoredDepth::UInt16},
        {"half", huecast::host::StoredDepth::Half},
        {"float", huecast::host::StoredDepth::Float}};
    command
        .add_option_function<std::string>(
            "--depth", [&written](const std::string& name) { written.depth = depths.at(name); },
            "Write frames with this channel type instead of the input's")
        ->check(CLI::IsMember({"uint8", "uint16", "half", "float"}))
        ->option_text("uint8|uint16|half|float");
    command.add_option("--compression", written.compression,
                       "The writer's compression (zip, piz, dwaa:45, lzw, jpeg:90, ...)");
}

/// --codec and --crf on `render`, for a movie output.
void addMovieOptions(CLI::App& command, huecast::host::MovieOptions& movie)
{
    command.add_option("--codec", movie.codec,
                       "A movie's video encoder (prores_ks, libx264, ...; ffmpeg -encoders)");
    command
        .add_option_function<int>(
            "--crf", [&movie](int value) { movie.crf = value; },
            "A movie's constant rate factor, for encoders that take one (libx264: 0-51)")
        ->check(CLI::Range(0, 63));
}

CommandRun declareRender(CLI::App& command)
{
    struct Options
    {
        huecast::tool::RenderOptions render;
        std::string libraryEntry;
        std::string lutFile;
        std::string project;
    };
    auto options = std::make_shared<Options>();
    huecast::tool::RenderOptions& render = options->render;
    auto* lut = command.add_option("--lut", options->libraryEntry,
                                   "A \"3D LUT\" popup entry (see huecast list)");
    auto* lutFile =
        command.add_option("--lut-file", options->lutFile, "A .cube file, loaded through Browse");
    auto* project =
        command.add_option("--project", options->project, "A project saved by --save-project");
    lut->excludes(lutFile, project);
    lutFile->excludes(project);
    command.add_option("--save-project", render.saveProject,
                       "Save the chosen LUT into this project file");
    addFrameRange(command, render);
    addGradeControls(&command, render.controls);
    command.add_flag("-q,--quiet", render.quiet, "No progress and no notes; errors only");
    addWriteOptions(command, render.written);
    addMovieOptions(command, render.movie);
    command.add_option("INPUT", render.inputs, "Frame files, sequence patterns or clips")
        ->required();
    command.add_option("-o,--output", render.output, "Output file, folder or pattern")->required();
    return [options, lut, lutFile, project]
    {
        using Kind = huecast::tool::LutChoice::Kind;
        huecast::tool::RenderOptions& parsed = options->render;
        if (*lut)
        {
            parsed.lut = {Kind::LibraryEntry, options->libraryEntry};
        }
        else if (*lutFile)
        {
            parsed.lut = {Kind::File, options->lutFile};
        }
        else if (*project)
        {
            parsed.lut = {Kind::Project, options->project};
        }
        else
        {
            std::fputs(huecast::tool::kChooseALut, stderr);
            return kUsageError;
        }
        parsed.progress = ::isatty(STDERR_FILENO) != 0;
        return withCommands(
            [&parsed](const huecast::tool::CommandModule& commands)
            { return commands.runRender(commands.defaultBundlePath(), parsed, stderr); });
    };
}

/// Grades the colour given as arguments, as a line of its own, else the lines on stdin.
int runApply(const std::string& lutFile, const huecast::tool::GradeControls& controls,
             const std::vector<std::string>& colour)
{
    std::string line;
    for (const std::string& component : colour)
    {
        line += (line.empty() ? "" : " ") + component;
    }
    line += "\n";
    std::FILE* colours = colour.empty() ? stdin : ::fmemopen(line.data(), line.size(), "r");
    const int status = withCommands(
        [&](const huecast::tool::CommandModule& commands)
        {
            return commands.runApply(commands.defaultBundlePath(), lutFile, controls,
                                     colours != nullptr ? colours : stdin, stdout, stderr);
        });
    if (colours != stdin && colours != nullptr)
    {
        std::fclose(colours);
    }
    return status;
}

CommandRun declareApply(CLI::App& command)
{
    struct Options
    {
        std::string lutFile;
        huecast::tool::GradeControls controls;
        std::vector<std::string> colour;
    };
    auto options = std::make_shared<Options>();
    command.add_option("--lut-file", options->lutFile, "The .cube file")->required();
    addGradeControls(&command, options->controls);
    command.add_option("R G B", options->colour, "One colour to grade instead of lines on stdin")
        ->expected(3)
        ->check(CLI::Number);
    return [options] { return runApply(options->lutFile, options->controls, options->colour); };
}

CommandRun declareInspector(CLI::App& command)
{
    auto options = std::make_shared<huecast::tool::InspectorOptions>();
    command.add_option("-o,--output", options->output, "The PNG file to write")->required();
    command.add_option("--width", options->width, "The control's width in points")
        ->check(CLI::Range(huecast::tool::kInspectorMinWidth, huecast::tool::kInspectorMaxWidth));
    command.add_option("--path", options->path, "The path the display shows");
    command.add_flag("--pressed", options->pressed, "Draw the button held down");
    command.add_option("--scale", options->scale, "Pixels a point")
        ->check(CLI::Range(1.0, huecast::tool::kInspectorMaxScale));
    return [options]
    {
        return withCommands(
            [&](const huecast::tool::CommandModule& commands)
            { return commands.runInspector(commands.defaultBundlePath(), *options); });
    };
}

CommandRun declareSheet(CLI::App& command)
{
    auto options = std::make_shared<huecast::tool::SheetOptions>();
    command.add_option("FRAME", options->frame, "The frame file to grade")->required();
    command.add_option("-o,--output", options->output, "The PNG file to write")->required();
    // One value an option, so that the frame after a --lut is never taken for a second LUT.
    command.add_option("--lut", options->luts, "A \"3D LUT\" popup entry (repeatable)")
        ->allow_extra_args(false);
    command.add_option("--lut-file", options->lutFiles, "A .cube file (repeatable)")
        ->allow_extra_args(false);
    command.add_option("--columns", options->columns, "Tiles a row")
        ->check(CLI::Range(1, huecast::tool::kSheetMaxColumns));
    command.add_option("--width", options->width, "Each tile's width in pixels")
        ->check(CLI::Range(huecast::tool::kSheetMinWidth, huecast::tool::kSheetMaxWidth));
    return [options]
    {
        return withCommands(
            [&](const huecast::tool::CommandModule& commands)
            { return commands.runSheet(commands.defaultBundlePath(), *options, stderr); });
    };
}

/// One command: its name, its summary, and what declares its options.
struct Command
{
    const char* name;
    const char* summary;
    CommandRun (*declare)(CLI::App& command);
};

/// Every command, in the order help lists them.
constexpr std::array kCommands = {
    Command{"check", huecast::tool::kCheckSummary, declareCheck},
    Command{"list", huecast::tool::kListSummary, declareList},
    Command{"library", huecast::tool::kLibrarySummary, declareLibrary},
    Command{"render", huecast::tool::kRenderSummary, declareRender},
    Command{"apply", huecast::tool::kApplySummary, declareApply},
    Command{"inspector", huecast::tool::kInspectorSummary, declareInspector},
    Command{"sheet", huecast::tool::kSheetSummary, declareSheet},
};

/// The tool's own options and the parser's messages.
void declareTool(CLI::App& app)
{
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
}

int runTool(int argc, char** argv)
{
    CLI::App app(huecast::tool::kToolDescription, "huecast");
    declareTool(app);
    std::vector<std::pair<const CLI::App*, CommandRun>> runs;
    for (const Command& command : kCommands)
    {
        CLI::App* declared = app.add_subcommand(command.name, command.summary);
        runs.emplace_back(declared, command.declare(*declared));
    }
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
        for (const auto& [command, run] : runs)
        {
            if (command->parsed())
            {
                return run();
            }
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
