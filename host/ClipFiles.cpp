// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#include "host/ClipFiles.h"

#include <set>

#include "host/HostError.h"
#include "host/HostModules.h"
#include "host/frames/CommonFrameFileModule.h"

namespace huecast::host
{
namespace
{

const ClipModule* clipModule(HostError code, foundation::Error* error)
{
    static const auto loaded = loadHostModule<ClipModule>(
        kClipModuleName, "HuecastClipModule",
        "Clips can't be read or written: the clip module couldn't be loaded");
    return loadedOrError(loaded, code, error);
}

} // namespace

bool isMovieFileName(const std::string& path)
{
    // What FFmpeg's libraries open as clips.
    static const std::set<std::string, std::less<>> kMovieExtensions = {
        ".3g2",  ".3gp", ".avi", ".m2ts", ".m4v", ".mj2", ".mkv",  ".mov", ".mp4",
        ".mpeg", ".mpg", ".mts", ".mxf",  ".ogv", ".qt",  ".webm", ".wmv"};
    return kMovieExtensions.contains(frames::lowerExtension(path));
}

std::unique_ptr<ClipReader> ClipReader::open(const std::string& path, foundation::Error* error)
{
    if (!checkFrameFile(path, error))
    {
        return nullptr;
    }
    const ClipModule* module = clipModule(HostError::FrameUnreadable, error);
    std::unique_ptr<ClipReader> reader(new ClipReader);
    if (module == nullptr || !module->openClip(path, &reader->m_clip, &reader->m_frames, error))
    {
        return nullptr;
    }
    return reader;
}

bool ClipReader::readFrame(long index, Frame* frame, FrameFileFormat* format,
                           foundation::Error* error)
{
    const ClipModule* module = clipModule(HostError::FrameUnreadable, error);
    int channels = 4;
    std::int64_t time = 0;
    if (module == nullptr ||
        !module->readClipFrame(m_clip.get(), index, frame, &channels, &time, error))
    {
        return false;
    }
    if (format != nullptr)
    {
        format->keepSource(nullptr, channels);
        format->m_clipTime = time;
    }
    return true;
}

std::unique_ptr<MovieWriter> MovieWriter::open(const std::string& source, const std::string& path,
                                               const std::string& destination,
                                               const MovieOptions& options,
                                               foundation::Error* error)
{
    const ClipModule* module = clipModule(HostError::FrameNotWritten, error);
    std::unique_ptr<MovieWriter> writer(new MovieWriter);
    if (module == nullptr ||
        !module->openMovie(source, path, destination, options, &writer->m_movie, error))
    {
        return nullptr;
    }
    return writer;
}

bool MovieWriter::write(const Frame& frame, const FrameFileFormat& format, foundation::Error* error)
{
    const ClipModule* module = clipModule(HostError::FrameNotWritten, error);
    return module != nullptr &&
           module->writeMovieFrame(m_movie.get(), frame, format.m_clipTime, error);
}

bool MovieWriter::finish(foundation::Error* error)
{
    const ClipModule* module = clipModule(HostError::FrameNotWritten, error);
    return module != nullptr && module->finishMovie(m_movie.get(), error);
}

} // namespace huecast::host
