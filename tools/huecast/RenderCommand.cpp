// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#include "tools/huecast/RenderCommand.h"

#include <filesystem>
#include <map>
#include <memory>

#include <fmt/format.h>

#include "cube/CubeKeys.h"
#include "host/FileReplacement.h"
#include "host/FrameFiles.h"
#include "platform/foundation/Paths.h"
#include "platform/foundation/Text.h"
#include "tools/huecast/FrameSequence.h"
#include "tools/huecast/PathCollisions.h"

namespace huecast::tool
{
namespace
{

constexpr int kBarWidth = 30;

void showProgress(std::FILE* stream, std::size_t done, std::size_t total)
{
    const auto filled = static_cast<int>(done * kBarWidth / total);
    fmt::print(stream, "\rhuecast: [{:#<{}}{:.<{}}] {}/{} frames", "", filled, "",
               kBarWidth - filled, done, total);
    if (done == total)
    {
        fmt::print(stream, "\n");
    }
    std::fflush(stream);
}

// Refuses, before anything is written, a run whose outputs would land on its inputs or on
// each other.
bool checkPaths(const RenderOptions& options, const std::vector<FrameJob>& jobs,
                std::string* problem)
{
    std::vector<RunPath> reads;
    std::vector<RunPath> writes;
    if (options.lut.kind == LutChoice::Kind::File)
    {
        reads.push_back({options.lut.value, "the LUT file"});
    }
    if (options.lut.kind == LutChoice::Kind::LibraryEntry)
    {
        reads.push_back({foundation::expandTilde(std::string(kDefaultCubesLocation)) +
                             options.lut.value + ".cube",
                         "the library LUT"});
    }
    if (options.lut.kind == LutChoice::Kind::Project)
    {
        reads.push_back({options.lut.value, "the project to restore"});
    }
    for (const FrameJob& job : jobs)
    {
        reads.push_back({job.input, "the input frame"});
        writes.push_back({job.output, "the graded frame"});
    }
    if (!options.saveProject.empty())
    {
        writes.push_back({options.saveProject, "the project to save"});
    }
    return checkPathCollisions(reads, writes, problem);
}

} // namespace

int runRender(const std::string& bundlePath, const RenderOptions& options, std::FILE* errors)
{
    // Clips are opened first: their frame counts shape the plan.
    std::map<std::string, std::unique_ptr<host::ClipReader>, std::less<>> clipReaders;
    ClipLengths clips;
    for (const std::string& input : options.inputs)
    {
        if (!host::isMovieFileName(input) || clipReaders.contains(input))
        {
            continue;
        }
        foundation::Error error;
        auto reader = host::ClipReader::open(input, &error);
        if (!reader)
        {
            fmt::print(errors, "huecast: {}: {}\n", input, error.localizedDescription());
            return 1;
        }
        clips[input] = reader->frameCount();
        clipReaders[input] = std::move(reader);
    }
    std::vector<FrameJob> jobs;
    std::string problem;
    if (!planFrames(options.inputs, options.output, options.frames, clips, &jobs, &problem) ||
        !checkPaths(options, jobs, &problem))
    {
        fmt::print(errors, "huecast: {}\n", foundation::escapeForTerminal(problem));
        return 1;
    }
    host::removeTemporaryOnSignals();
    const auto session = GradingSession::open(bundlePath, errors);
    if (!session || !session->chooseLut(options.lut) ||
        (!options.saveProject.empty() && !session->saveProject(options.saveProject)))
    {
        return 1;
    }

    const bool progress = options.progress && !options.quiet && jobs.size() > 1;
    host::Frame input;
    host::Frame output;
    host::FrameFileFormat format;
    format.setWriteOptions(options.written);
    for (std::size_t i = 0; i < jobs.size(); ++i)
    {
        const FrameJob& job = jobs[i];
        foundation::Error error;
        const bool read =
            job.clipFrame >= 0
                ? clipReaders.at(job.input)->readFrame(job.clipFrame, &input, &format, &error)
                : host::readFrameFile(job.input, &input, &format, &error);
        if (!read)
        {
            fmt::print(errors, "{}huecast: {}: {}\n", progress ? "\n" : "",
                       foundation::escapeForTerminal(job.input),
                       foundation::escapeForTerminal(error.localizedDescription()));
            return 1;
        }
        if (!session->render(input, &output, &error))
        {
            fmt::print(errors, "{}huecast: {}: {}\n", progress ? "\n" : "",
                       foundation::escapeForTerminal(job.input),
                       foundation::escapeForTerminal(error.localizedDescription()));
            return 1;
        }
        std::error_code folderError;
        std::filesystem::create_directories(std::filesystem::path(job.output).parent_path(),
                                            folderError);
        if (!host::writeFrameFile(job.output, output, format, &error))
        {
            fmt::print(errors, "{}huecast: {}: {}\n", progress ? "\n" : "",
                       foundation::escapeForTerminal(job.output),
                       foundation::escapeForTerminal(error.localizedDescription()));
            return 1;
        }
        if (progress)
        {
            showProgress(errors, i + 1, jobs.size());
        }
    }
    if (jobs.size() == 1 && !options.quiet)
    {
        fmt::print(errors, "huecast: wrote {}\n", jobs[0].output);
    }
    return 0;
}

} // namespace huecast::tool
