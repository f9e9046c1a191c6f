// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace huecast::tool
{

/// A frame file name with a frame number in it: "shot.%04d.exr" or "shot.####.exr" (four
/// digits, zero-padded: one digit a '#'), "shot.%d.exr" (no padding).
/// The largest frame number, of either sign, that a sequence or --frames may hold: twelve
/// digits, far beyond any shot, and far from the integer's edge, where negating overflows.
inline constexpr long kMaxFrameNumber = 999'999'999'999;

class FramePattern
{
public:
    /// The pattern in the path's file name, or nothing when it has none.
    [[nodiscard]] static std::optional<FramePattern> parse(const std::string& path);

    /// The path of frame `number`.
    [[nodiscard]] std::string pathOf(long number) const;
    /// The frame number a file name stands for, or nothing when it doesn't fit the pattern. A
    /// number beyond ±kMaxFrameNumber comes back as it is, for the caller to refuse.
    [[nodiscard]] std::optional<long> numberOf(const std::string& fileName) const;
    /// The folder the frames are in ("." when the pattern names none).
    [[nodiscard]] const std::string& folder() const { return m_folder; }

private:
    std::string m_folder;
    std::string m_prefix; // the file name before the number
    std::string m_suffix; // and after it
    int m_width = 0;      // zero-padded to this many digits; 0: no padding
};

/// The frames `--frames A-B` asks for: first to last, both included, by the numbers in the file
/// names.
struct FrameRange
{
    long first = 0;
    long last = 0;

    /// "A-B" (A at most B; either may be negative: "-5--1") or a single number "A", within
    /// ±kMaxFrameNumber; nothing for anything else.
    [[nodiscard]] static std::optional<FrameRange> parse(std::string_view text);
    [[nodiscard]] bool contains(long number) const { return number >= first && number <= last; }
};

/// One frame to grade: where it is read from and where the graded frame goes.
struct FrameJob
{
    std::string input;
    std::string output;
    long clipFrame = -1; ///< the frame's 0-based index when the input is a clip; -1: a file
};

/// The clips among the INPUT arguments, each with its number of frames.
using ClipLengths = std::map<std::string, long, std::less<>>;

/// Turns the INPUT arguments and the -o OUTPUT argument into frame jobs, in order: a pattern
/// stands for every existing file that fits it, by frame number. OUTPUT is a file when there is
/// one plain input and OUTPUT is not a folder; a pattern when it has one (each frame keeps its
/// number); else a folder that receives each frame under its own file name. An input found in
/// `clips` stands for its frames, numbered from 1, written as "NAME.0001.png" into a folder, or,
/// when OUTPUT names a movie and that clip is the one input, into the movie (every job's output
/// is then the movie). False with the problem in `problem` (no frames match, a sequence has a
/// gap, a movie from anything but one clip). Whether two frames would go to one file, or a
/// frame over its input, is for the run's path check (checkPathCollisions) to say. A gap is any
/// number missing between a sequence's first and last frame; with `range`, only the frames in
/// it are taken, and every one of them must be there.
[[nodiscard]] bool planFrames(const std::vector<std::string>& inputs, const std::string& output,
                              const std::optional<FrameRange>& range, const ClipLengths& clips,
                              std::vector<FrameJob>* jobs, std::string* problem);

} // namespace huecast::tool
