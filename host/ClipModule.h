// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "host/Frame.h"
#include "platform/foundation/Error.h"

namespace huecast::host
{

/// What a user asks of a written movie beyond what its source gives.
struct MovieOptions
{
    std::string codec;      ///< the encoder's name ("prores_ks", "libx264"); empty: chosen for the
                            ///< container and the source
    std::optional<int> crf; ///< the constant rate factor of encoders that take one
    bool partial = false;   ///< the frames are a part of the clip: the other streams are cut to
                            ///< the time they span
};

/// What the clip module offers: FFmpeg's libraries, and the many codec libraries they bring, are
/// loaded only by runs that read or write clips. The module and the host are built together,
/// so C++ types cross the boundary; nothing is thrown across it.
struct ClipModule
{
    static constexpr int kVersion = 1;
    int version = kVersion;

    /// Opens a clip's video stream; the open clip (owned by the module) and the number of frames
    /// its stream holds come back.
    bool (*openClip)(const std::string& path, std::shared_ptr<void>* clip, long* frames,
                     foundation::Error* error) = nullptr;
    /// Decodes on to frame `index` (0-based; earlier frames than the last one read start the
    /// clip again) as RGBA at the source's depth, turned as players show it. The source's
    /// channel count (3, or 4 with alpha) and the frame's time in its stream come back.
    bool (*readClipFrame)(void* clip, long index, Frame* frame, int* channels, std::int64_t* time,
                          foundation::Error* error) = nullptr;

    /// Starts a movie in the file `destination` (an existing temporary), in the container that
    /// the extension of `path` names, holding the graded video of the clip `source` and a copy
    /// of its other streams.
    bool (*openMovie)(const std::string& source, const std::string& path,
                      const std::string& destination, const MovieOptions& options,
                      std::shared_ptr<void>* movie, foundation::Error* error) = nullptr;
    /// Encodes the next graded frame, at the time its source frame had.
    bool (*writeMovieFrame)(void* movie, const Frame& frame, std::int64_t time,
                            foundation::Error* error) = nullptr;
    /// Drains the encoder, copies what is left of the other streams and ends the file.
    bool (*finishMovie)(void* movie, foundation::Error* error) = nullptr;
};

/// The file name of the module, found beside the project's shared libraries.
inline constexpr const char* kClipModuleName = "huecast-clips.so";

} // namespace huecast::host

/// The module's one entry point.
extern "C" [[gnu::visibility("default")]] const huecast::host::ClipModule* HuecastClipModule();
