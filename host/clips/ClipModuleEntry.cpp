// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
// The clip module's entry point: nothing thrown inside (memory running out) crosses into the
// host; it becomes the call's error.
#include <exception>

extern "C"
{
#include <libavutil/log.h>
}

#include "host/HostError.h"
#include "host/clips/ClipCodecs.h"

namespace huecast::host::clips
{
namespace
{

template <typename Body> bool guarded(HostError code, foundation::Error* error, const Body& body)
{
    try
    {
        return body();
    }
    catch (const std::exception& thrown)
    {
        return hostError(error, code, thrown.what());
    }
    catch (...)
    {
        return hostError(error, code, "An unknown failure inside the clip module");
    }
}

/// FFmpeg's own messages stay quiet: every failure reaches the user once, as the host's.
void quietLibraries()
{
    static const bool quiet = []
    {
        av_log_set_level(AV_LOG_QUIET);
        return true;
    }();
    (void)quiet;
}

bool guardedOpenClip(const std::string& path, std::shared_ptr<void>* clip, long* frames,
                     foundation::Error* error)
{
    quietLibraries();
    return guarded(HostError::FrameUnreadable, error,
                   [&] { return openClip(path, clip, frames, error); });
}

bool guardedReadClipFrame(void* clip, long index, Frame* frame, int* channels, std::int64_t* time,
                          foundation::Error* error)
{
    return guarded(HostError::FrameUnreadable, error,
                   [&] { return readClipFrame(clip, index, frame, channels, time, error); });
}

bool guardedOpenMovie(const std::string& source, const std::string& path,
                      const std::string& destination, const MovieOptions& options,
                      std::shared_ptr<void>* movie, foundation::Error* error)
{
    quietLibraries();
    return guarded(HostError::FrameNotWritten, error,
                   [&] { return openMovie(source, path, destination, options, movie, error); });
}

bool guardedWriteMovieFrame(void* movie, const Frame& frame, std::int64_t time,
                            foundation::Error* error)
{
    return guarded(HostError::FrameNotWritten, error,
                   [&] { return writeMovieFrame(movie, frame, time, error); });
}

bool guardedFinishMovie(void* movie, foundation::Error* error)
{
    return guarded(HostError::FrameNotWritten, error, [&] { return finishMovie(movie, error); });
}

} // namespace
} // namespace huecast::host::clips

const huecast::host::ClipModule* HuecastClipModule()
{
    using namespace huecast::host::clips;
    static const huecast::host::ClipModule module{huecast::host::ClipModule::kVersion,
                                                  guardedOpenClip,
                                                  guardedReadClipFrame,
                                                  guardedOpenMovie,
                                                  guardedWriteMovieFrame,
                                                  guardedFinishMovie};
    return &module;
}
