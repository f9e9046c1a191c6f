// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#pragma once

#include <cstddef>
#include <functional>

#include "host/Frame.h"
#include "host/FrameFiles.h"
#include "platform/foundation/Error.h"

namespace huecast::tool
{

/// The three steps of grading one frame of a run, each given the frame's index in the run.
struct FrameSteps
{
    /// Reads the frame and its stored format; runs on the reading thread.
    std::function<bool(std::size_t, host::Frame*, host::FrameFileFormat*, foundation::Error*)> read;
    /// Grades the read frame into the output; runs on the calling thread (the one whose GL
    /// context is current).
    std::function<bool(std::size_t, const host::Frame&, host::Frame*, foundation::Error*)> grade;
    /// Writes the graded frame the way its source was stored; runs on the writing thread.
    std::function<bool(std::size_t, const host::Frame&, const host::FrameFileFormat&,
                       foundation::Error*)>
        write;
    /// Told after each frame is written, with the count written so far; on the writing thread.
    std::function<void(std::size_t)> written;
};

/// Which step of which frame stopped a run.
struct FrameFailure
{
    enum class Step : std::uint8_t
    {
        Read,
        Grade,
        Write,
    };
    std::size_t index = 0;
    Step step = Step::Read;
    foundation::Error error;
};

/// The number of frames a run holds in memory at once, whatever its length: one being read, one
/// being graded and one being written.
inline constexpr std::size_t kFramesInFlight = 3;

/// Grades frames 0 to count - 1: frame N + 1 is read and frame N - 1 written on worker threads
/// while frame N is graded on the calling thread. Frames are written in order. The first
/// failure, in the order of a run that did one step after another (frame by frame, read before
/// grade before write), stops the run: every frame before it is written, none after it, and it
/// comes back in `failure`. True when every frame was written.
[[nodiscard]] bool runFramePipeline(std::size_t count, const FrameSteps& steps,
                                    FrameFailure* failure);

} // namespace huecast::tool
