// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#pragma once

#include <memory>
#include <string>

#include "host/ClipModule.h"
#include "host/Frame.h"
#include "host/FrameFiles.h"
#include "platform/foundation/Error.h"

namespace huecast::host
{

/// Whether the file name's extension is a movie's (.mov, .mp4, .mkv, ...): such a file is a clip
/// of many frames, never a single frame.
[[nodiscard]] bool isMovieFileName(const std::string& path);

/// A clip read frame by frame through FFmpeg's libraries, decoded from its start and kept open
/// between frames, so that each frame the decoder gives is read once.
class ClipReader
{
public:
    /// The clip, or null with a FrameUnreadable error when it can't be opened as one.
    [[nodiscard]] static std::unique_ptr<ClipReader> open(const std::string& path,
                                                          foundation::Error* error);

    /// The number of frames the clip's video stream holds.
    [[nodiscard]] long frameCount() const { return m_frames; }
    /// Reads frame `index` (0-based) as readFrameFile reads a file: RGBA at the source's depth
    /// (8-bit, or 16-bit for deeper sources), turned as players show it. Reading forward is
    /// cheap; reading back decodes from the start. False with a FrameUnreadable error naming
    /// the frame when it can't be decoded.
    [[nodiscard]] bool readFrame(long index, Frame* frame, FrameFileFormat* format,
                                 foundation::Error* error);

private:
    ClipReader() = default;

    std::shared_ptr<void> m_clip; // the module's open clip
    long m_frames = 0;
};

/// A movie written from a graded clip: its video encoded anew at the source frames' times,
/// every other stream of the source copied untouched.
class MovieWriter
{
public:
    /// Starts the movie in `destination` (an existing temporary) in the container the extension
    /// of `path` names. Null with a FrameNotWritten error when it can't.
    [[nodiscard]] static std::unique_ptr<MovieWriter>
    open(const std::string& source, const std::string& path, const std::string& destination,
         const MovieOptions& options, foundation::Error* error);

    /// Encodes the next graded frame, read from the source clip with this format.
    [[nodiscard]] bool write(const Frame& frame, const FrameFileFormat& format,
                             foundation::Error* error);
    /// Ends the movie; nothing is complete before it.
    [[nodiscard]] bool finish(foundation::Error* error);

private:
    MovieWriter() = default;

    std::shared_ptr<void> m_movie; // the module's open movie
};

} // namespace huecast::host
