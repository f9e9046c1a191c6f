// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#include "tools/huecast/RenderCommand.h"

#include <filesystem>

#include <fmt/format.h>

#include "host/FrameFiles.h"

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

} // namespace

int runRender(const std::string& bundlePath, const RenderOptions& options, std::FILE* errors)
{
    std::vector<FrameJob> jobs;
    std::string problem;
    if (!planFrames(options.inputs, options.output, options.frames, &jobs, &problem))
    {
        fmt::print(errors, "huecast: {}\n", problem);
        return 1;
    }
    const auto session = GradingSession::open(bundlePath, errors);
    if (!session || !session->chooseLut(options.lut) ||
        (!options.saveProject.empty() && !session->saveProject(options.saveProject)))
    {
        return 1;
    }

    const bool progress = options.progress && jobs.size() > 1;
    host::Frame input;
    host::Frame output;
    host::FrameFileFormat format;
    for (std::size_t i = 0; i < jobs.size(); ++i)
    {
        const FrameJob& job = jobs[i];
        foundation::Error error;
        if (!host::readFrameFile(job.input, &input, &format, &error))
        {
            fmt::print(errors, "{}huecast: {}: {}\n", progress ? "\n" : "", job.input,
                       error.localizedDescription());
            return 1;
        }
        if (!session->render(input, &output, &error))
        {
            fmt::print(errors, "{}huecast: {}: {}\n", progress ? "\n" : "", job.input,
                       error.localizedDescription());
            return 1;
        }
        std::error_code folderError;
        std::filesystem::create_directories(std::filesystem::path(job.output).parent_path(),
                                            folderError);
        if (!host::writeFrameFile(job.output, output, format, &error))
        {
            fmt::print(errors, "{}huecast: {}: {}\n", progress ? "\n" : "", job.output,
                       error.localizedDescription());
            return 1;
        }
        if (progress)
        {
            showProgress(errors, i + 1, jobs.size());
        }
    }
    return 0;
}

} // namespace huecast::tool
