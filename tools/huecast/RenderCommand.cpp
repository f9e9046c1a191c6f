// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#include "tools/huecast/RenderCommand.h"

#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <thread>
#include <vector>

#include <fmt/format.h>
#include <malloc.h>
#include <unistd.h>

#include "cube/CubeKeys.h"
#include "cube/CubeLibrary.h"
#include "host/ClipFiles.h"
#include "host/FileReplacement.h"
#include "host/FrameFiles.h"
#include "host/HostError.h"
#include "platform/foundation/Memory.h"
#include "platform/foundation/Paths.h"
#include "platform/foundation/Text.h"
#include "tools/huecast/FramePipeline.h"
#include "tools/huecast/FrameSequence.h"
#include "tools/huecast/PathCollisions.h"

namespace huecast::tool
{
namespace
{

constexpr int kBarWidth = 30;

using ClipReaders = std::map<std::string, std::unique_ptr<host::ClipReader>, std::less<>>;

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
        // The file the popup loads: from the first folder that has the name.
        std::string path = foundation::expandTilde(std::string(kDefaultCubesLocation)) +
                           options.lut.value + ".cube";
        for (const CubeLibraryEntry& entry : cubeLibraryEntries(cubeLibraryFolders()))
        {
            if (entry.name == options.lut.value)
            {
                path = entry.path();
                break;
            }
        }
        reads.push_back({path, "the library LUT"});
    }
    if (options.lut.kind == LutChoice::Kind::Project)
    {
        reads.push_back({options.lut.value, "the project to restore"});
    }
    for (const FrameJob& job : jobs)
    {
        if (!writes.empty() && writes.back().path == job.output && reads.back().path == job.input)
        {
            continue; // a movie's next frame: checked with its first
        }
        reads.push_back({job.input, "the input frame"});
        writes.push_back({job.output, "the graded frame"});
    }
    if (!options.saveProject.empty())
    {
        writes.push_back({options.saveProject, "the project to save"});
    }
    return checkPathCollisions(reads, writes, problem);
}

// Every frame of a run needs buffers of the same sizes, a few megabytes each. By default the
// allocator hands such buffers back to the kernel when they are freed, and each page faults in
// again, zeroed, on the next frame: a third of a run's CPU time on 1080p frames. Keep them, in
// one arena for all threads, so that a buffer freed by one thread serves the next frame on
// another (half the page faults of an OpenEXR sequence). The heap is then grown once, and the
// kernel asked to back it with huge pages where it offers them: what GL's shader compiler, the
// frames and the frame files allocate then faults in 2 MiB at a time, not 4 KiB. Called before
// the run's threads start.
void keepFrameBuffers()
{
    constexpr int kMiB = 1 << 20;
    mallopt(M_ARENA_MAX, 1);
    mallopt(M_MMAP_THRESHOLD, 256 * kMiB);
    mallopt(M_TRIM_THRESHOLD, 1024 * kMiB);
    mallopt(M_TOP_PAD, 64 * kMiB);
    auto* const start = static_cast<std::byte*>(sbrk(0));
    void* volatile grown = std::malloc(std::size_t{64} * kMiB); // only its first page is touched
    std::free(grown);
    auto* const end = static_cast<std::byte*>(sbrk(0));
    if (end > start) // both are (void*) -1 where the heap can't be grown
    {
        foundation::adviseHugePages(start, static_cast<std::size_t>(end - start));
    }
}

// LeakSanitizer misreads the dynamic TLS of libraries that a worker thread loaded and crashes
// at exit; a sanitized build loads them on this thread before the run's threads start.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kLoadFrameFilesAside = false;
#else
constexpr bool kLoadFrameFilesAside = true;
#endif

/// The clips among the inputs, opened: their frame counts shape the plan.
bool openClips(const RenderOptions& options, std::FILE* errors, ClipReaders* readers,
               ClipLengths* clips)
{
    for (const std::string& input : options.inputs)
    {
        if (!host::isMovieFileName(input) || readers->contains(input))
        {
            continue;
        }
        foundation::Error error;
        auto reader = host::ClipReader::open(input, &error);
        if (!reader)
        {
            fmt::print(errors, "huecast: {}: {}\n", foundation::escapeForTerminal(input),
                       foundation::escapeForTerminal(error.localizedDescription()));
            return false;
        }
        (*clips)[input] = reader->frameCount();
        (*readers)[input] = std::move(reader);
    }
    return true;
}

/// What only a movie output takes, refused for frames, and what a movie can't take.
bool checkOutputOptions(const RenderOptions& options, bool toMovie, std::string* problem)
{
    const bool movieOptions = !options.movie.codec.empty() || options.movie.crf.has_value();
    if (movieOptions && !toMovie)
    {
        *problem = "--codec and --crf choose how a movie is encoded (-o graded.mov), and the "
                   "output is not one";
        return false;
    }
    if (toMovie &&
        (options.written.depth != host::StoredDepth::Kept || !options.written.compression.empty()))
    {
        *problem = "--depth and --compression apply to frame files; a movie takes --codec and "
                   "--crf";
        return false;
    }
    return true;
}

/// The grading session, with the LUT and controls chosen (and saved as a project if asked).
std::unique_ptr<GradingSession> startSession(const std::string& bundlePath,
                                             const RenderOptions& options, std::FILE* errors)
{
    auto session = GradingSession::open(bundlePath, errors);
    if (!session || !session->chooseLut(options.lut) || !session->setControls(options.controls) ||
        (!options.saveProject.empty() && !session->saveProject(options.saveProject)))
    {
        return nullptr;
    }
    return session;
}

/// Read, grade and write for frame files; a movie replaces the write.
FrameSteps frameSteps(const RenderOptions& options, const std::vector<FrameJob>& jobs,
                      ClipReaders& readers, GradingSession& session, std::FILE* errors)
{
    FrameSteps steps;
    // Whether each frame's file holds alpha, told by the read to the grade: a frame read without
    // it has no empty pixels to keep, and looking for them costs a pass over the frame. Chars,
    // not bools: the two threads write and read neighbouring entries.
    const auto withAlpha = std::make_shared<std::vector<char>>(jobs.size(), 1);
    steps.read = [&, withAlpha](std::size_t index, host::Frame* frame,
                                host::FrameFileFormat* format, foundation::Error* error)
    {
        const FrameJob& job = jobs[index];
        format->setWriteOptions(options.written);
        const bool read =
            job.clipFrame >= 0
                ? readers.at(job.input)->readFrame(job.clipFrame, frame, format, error)
                : host::readFrameFile(job.input, frame, format, error);
        (*withAlpha)[index] = static_cast<char>(format->writtenChannels() == 4);
        return read;
    };
    steps.grade = [&, withAlpha](std::size_t index, const host::Frame& input, host::Frame* output,
                                 foundation::Error* error)
    {
        if (!session.render(input, output, error))
        {
            return false;
        }
        if ((*withAlpha)[index] != 0 && host::storesPremultipliedColour(jobs[index].output))
        {
            host::keepEmptyPixelsEmpty(input, output);
        }
        return true;
    };
    steps.write = [&](std::size_t index, const host::Frame& frame,
                      const host::FrameFileFormat& format, foundation::Error* error)
    {
        const std::string& path = jobs[index].output;
        std::error_code folderError;
        std::filesystem::create_directories(std::filesystem::path(path).parent_path(), folderError);
        return host::writeFrameFile(path, frame, format, error);
    };
    if (options.progress && !options.quiet && jobs.size() > 1)
    {
        steps.written = [&jobs, errors](std::size_t done)
        { showProgress(errors, done, jobs.size()); };
    }
    return steps;
}

/// Runs the steps into a movie: written under a temporary name, renamed when whole.
bool runIntoMovie(const RenderOptions& options, const std::vector<FrameJob>& jobs, FrameSteps steps,
                  FrameFailure* failure)
{
    const std::string& path = jobs.front().output;
    std::error_code folderError;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), folderError);
    host::MovieOptions movieOptions = options.movie;
    movieOptions.partial = options.frames.has_value();
    bool graded = false;
    std::string reason;
    const bool written = host::replaceFile(
        path,
        [&](const std::string& temporary, std::string* problem)
        {
            const auto movie = host::MovieWriter::open(jobs.front().input, path, temporary,
                                                       movieOptions, &failure->error);
            if (!movie)
            {
                failure->step = FrameFailure::Step::Write;
                return false;
            }
            steps.write = [&](std::size_t, const host::Frame& frame,
                              const host::FrameFileFormat& format, foundation::Error* error)
            { return movie->write(frame, format, error); };
            graded = runFramePipeline(jobs.size(), steps, failure);
            if (graded && !movie->finish(&failure->error))
            {
                failure->index = jobs.size() - 1;
                failure->step = FrameFailure::Step::Write;
                graded = false;
            }
            *problem = failure->error.localizedDescription();
            return graded;
        },
        &reason);
    if (graded && !written) // the movie was whole, but couldn't take its place
    {
        failure->index = jobs.size() - 1;
        failure->step = FrameFailure::Step::Write;
        host::hostError(&failure->error, host::HostError::FrameNotWritten, reason);
    }
    return written;
}

void reportFailure(const std::vector<FrameJob>& jobs, const FrameFailure& failure, bool progress,
                   std::FILE* errors)
{
    const FrameJob& job = jobs[failure.index];
    const std::string& path = failure.step == FrameFailure::Step::Write ? job.output : job.input;
    fmt::print(errors, "{}huecast: {}: {}\n", progress ? "\n" : "",
               foundation::escapeForTerminal(path),
               foundation::escapeForTerminal(failure.error.localizedDescription()));
}

} // namespace

int runRender(const std::string& bundlePath, const RenderOptions& options, std::FILE* errors)
{
    ClipReaders clipReaders;
    ClipLengths clips;
    if (!openClips(options, errors, &clipReaders, &clips))
    {
        return 1;
    }
    const bool toMovie = host::isMovieFileName(options.output);
    std::vector<FrameJob> jobs;
    std::string problem;
    if (!checkOutputOptions(options, toMovie, &problem) ||
        !planFrames(options.inputs, options.output, options.frames, clips, &jobs, &problem) ||
        !checkPaths(options, jobs, &problem))
    {
        fmt::print(errors, "huecast: {}\n", foundation::escapeForTerminal(problem));
        return 1;
    }
    host::removeTemporaryOnSignals();
    keepFrameBuffers();
    // Loading the frame-file libraries may take as long as bringing up GL: both at once.
    const auto loadFrameFiles = [&jobs]
    { host::loadFrameFileModules(jobs.front().input, jobs.front().output); };
    std::jthread frameFiles;
    if (kLoadFrameFilesAside && !toMovie)
    {
        frameFiles = std::jthread(loadFrameFiles);
    }
    else if (!toMovie)
    {
        loadFrameFiles();
    }
    const auto session = startSession(bundlePath, options, errors);
    if (!session)
    {
        return 1;
    }
    const FrameSteps steps = frameSteps(options, jobs, clipReaders, *session, errors);
    FrameFailure failure;
    if (!(toMovie ? runIntoMovie(options, jobs, steps, &failure)
                  : runFramePipeline(jobs.size(), steps, &failure)))
    {
        reportFailure(jobs, failure, static_cast<bool>(steps.written), errors);
        return 1;
    }
    if ((jobs.size() == 1 || toMovie) && !options.quiet)
    {
        fmt::print(errors, "huecast: wrote {}\n", jobs[0].output);
    }
    return 0;
}

} // namespace huecast::tool
