// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#include "tools/huecast/FrameSequence.h"

#include <algorithm>
#include <charconv>
#include <filesystem>

#include <fmt/format.h>

#include "host/ClipFiles.h"
#include "host/FrameFiles.h"
#include "platform/foundation/Text.h"

namespace huecast::tool
{
namespace
{

namespace fs = std::filesystem;

constexpr int kMaxPadding = 10;
constexpr std::size_t kMaxListedGaps = 8;

struct NumberedFrame
{
    long number;
    std::string path;
    long clipFrame = -1;
};

/// Where "%0Nd", "%d" or a run of '#' sits in the name: its start, length and padding.
struct Placeholder
{
    std::size_t start = 0;
    std::size_t length = 0;
    int width = 0;
};

std::optional<Placeholder> findPlaceholder(const std::string& name)
{
    for (std::size_t i = 0; i < name.size(); ++i)
    {
        if (name[i] == '#')
        {
            const std::size_t end = name.find_first_not_of('#', i);
            const std::size_t length = (end == std::string::npos ? name.size() : end) - i;
            return Placeholder{i, length, static_cast<int>(length)};
        }
        if (name[i] != '%')
        {
            continue;
        }
        std::size_t j = i + 1;
        int width = 0;
        if (j < name.size() && name[j] == '0')
        {
            const char* first = name.data() + j + 1;
            const auto [next, code] = std::from_chars(first, name.data() + name.size(), width);
            if (code != std::errc() || width < 1)
            {
                continue;
            }
            j = static_cast<std::size_t>(next - name.data());
        }
        if (j < name.size() && name[j] == 'd')
        {
            return Placeholder{i, j + 1 - i, width};
        }
    }
    return std::nullopt;
}

bool isFolder(const std::string& path)
{
    std::error_code error;
    return (!path.empty() && path.back() == '/') || fs::is_directory(path, error);
}

/// The runs of numbers in `wanted` that the sorted frames lack.
std::vector<FrameRange> gapsIn(const std::vector<NumberedFrame>& frames, FrameRange wanted)
{
    std::vector<FrameRange> gaps;
    long next = wanted.first;
    bool reachedLast = false; // so that `next` never steps past the largest long
    for (const NumberedFrame& frame : frames)
    {
        if (frame.number > next)
        {
            gaps.push_back({next, frame.number - 1});
        }
        reachedLast = frame.number == wanted.last;
        next = reachedLast ? frame.number : frame.number + 1;
    }
    if (!reachedLast && next <= wanted.last)
    {
        gaps.push_back({next, wanted.last});
    }
    return gaps;
}

/// "frame 1005 is missing", "frames 1005, 1010-1012 are missing".
std::string describeGaps(const std::vector<FrameRange>& gaps)
{
    std::string list;
    for (std::size_t i = 0; i < std::min(gaps.size(), kMaxListedGaps); ++i)
    {
        list += i == 0 ? "" : ", ";
        list += gaps[i].first == gaps[i].last ? fmt::format("{}", gaps[i].first)
                                              : fmt::format("{}-{}", gaps[i].first, gaps[i].last);
    }
    if (gaps.size() > kMaxListedGaps)
    {
        list += fmt::format(" and {} more gaps", gaps.size() - kMaxListedGaps);
    }
    const bool one = gaps.size() == 1 && gaps[0].first == gaps[0].last;
    return fmt::format("{} {} {} missing", one ? "frame" : "frames", list, one ? "is" : "are");
}

bool expandPattern(const std::string& argument, const FramePattern& pattern,
                   const std::optional<FrameRange>& range, std::vector<NumberedFrame>* frames,
                   std::string* problem)
{
    std::error_code error;
    std::vector<NumberedFrame> found;
    for (const auto& entry : fs::directory_iterator(pattern.folder(), error))
    {
        const std::string name = entry.path().filename().string();
        const auto number = pattern.numberOf(name);
        // Beyond the limit no --frames range reaches; without one, the file would be a frame.
        if (number && !range && (*number < -kMaxFrameNumber || *number > kMaxFrameNumber))
        {
            *problem = fmt::format("{}: {} is numbered {}, beyond the {} digits a frame number "
                                   "may have",
                                   argument, foundation::escapeForTerminal(name), *number,
                                   std::to_string(kMaxFrameNumber).size());
            return false;
        }
        if (number && (!range || range->contains(*number)) && !entry.is_directory(error))
        {
            found.push_back({*number, pattern.pathOf(*number)});
        }
    }
    if (error)
    {
        *problem = fmt::format("{}: can't list the folder {}: {}", argument, pattern.folder(),
                               error.message());
        return false;
    }
    if (found.empty() && !range)
    {
        *problem = fmt::format("{}: no frame files fit this pattern", argument);
        return false;
    }
    std::sort(found.begin(), found.end(),
              [](const auto& a, const auto& b) { return a.number < b.number; });
    // A missing frame would make a shorter clip than the user asked for, without a word.
    const FrameRange wanted =
        range ? *range : FrameRange{found.front().number, found.back().number};
    if (const auto gaps = gapsIn(found, wanted); !gaps.empty())
    {
        *problem = fmt::format("{}: {}{}", argument, describeGaps(gaps),
                               range ? "" : " (--frames A-B grades a part without gaps)");
        return false;
    }
    frames->insert(frames->end(), found.begin(), found.end());
    return true;
}

/// The frames of a clip, numbered from 1, as a sequence of them would be.
bool expandClip(const std::string& argument, long length, const std::optional<FrameRange>& range,
                std::vector<NumberedFrame>* frames, std::string* problem)
{
    if (length < 1)
    {
        *problem = fmt::format("{}: the clip holds no frames", argument);
        return false;
    }
    const FrameRange whole{1, length};
    const FrameRange wanted = range ? *range : whole;
    std::vector<NumberedFrame> found;
    for (long number = std::max(wanted.first, whole.first);
         number <= std::min(wanted.last, whole.last); ++number)
    {
        found.push_back({number, argument, number - 1});
    }
    if (const auto gaps = gapsIn(found, wanted); !gaps.empty())
    {
        *problem =
            fmt::format("{}: the clip has frames 1-{}; {}", argument, length, describeGaps(gaps));
        return false;
    }
    frames->insert(frames->end(), found.begin(), found.end());
    return true;
}

/// The frames the INPUT arguments stand for, in order, and what kinds of input gave them.
struct InputFrames
{
    std::vector<NumberedFrame> frames;
    bool anyPattern = false; // a sequence or a clip among them
    bool allNumbered = true; // no plain file among them
};

bool expandInputs(const std::vector<std::string>& inputs, const std::optional<FrameRange>& range,
                  const ClipLengths& clips, InputFrames* input, std::string* problem)
{
    for (const std::string& argument : inputs)
    {
        if (const auto clip = clips.find(argument); clip != clips.end())
        {
            input->anyPattern = true;
            if (!expandClip(argument, clip->second, range, &input->frames, problem))
            {
                return false;
            }
        }
        else if (const auto pattern = FramePattern::parse(argument))
        {
            input->anyPattern = true;
            if (!expandPattern(argument, *pattern, range, &input->frames, problem))
            {
                return false;
            }
        }
        else
        {
            input->allNumbered = false;
            input->frames.push_back({0, argument});
        }
    }
    if (range && !input->anyPattern)
    {
        *problem = "--frames picks frames of a sequence (a pattern such as shot.####.exr) or a "
                   "clip, and no input is one";
        return false;
    }
    return true;
}

/// Where the graded frames go: one file, a numbered pattern, or a folder. Whether two frames
/// go to one file, or a frame over its input, is the run's path check to say, with the LUT and
/// the project among the paths.
class OutputPlan
{
public:
    /// The plan for `output`, or nothing with the problem when the inputs can't go there.
    static std::optional<OutputPlan> choose(const InputFrames& input, const std::string& output,
                                            std::string* problem)
    {
        OutputPlan plan;
        plan.m_output = output;
        plan.m_pattern = FramePattern::parse(output);
        if (plan.m_pattern && !input.allNumbered)
        {
            *problem = fmt::format("{}: a numbered output needs numbered inputs (a pattern such "
                                   "as shot.####.exr)",
                                   output);
            return std::nullopt;
        }
        const bool folder = isFolder(output);
        plan.m_oneFile = input.frames.size() == 1 && !input.anyPattern && !folder;
        if (!plan.m_oneFile && !plan.m_pattern && !folder && fs::path(output).has_extension())
        {
            *problem = fmt::format("{}: several frames need a folder or a numbered pattern (such "
                                   "as graded.####{}) to go into, not one file",
                                   output, fs::path(output).extension().string());
            return std::nullopt;
        }
        return plan;
    }

    /// Where `frame` goes: its number in the pattern, the one file, or the folder under its own
    /// name (a clip's frame as NAME.0001.png).
    [[nodiscard]] std::string pathFor(const NumberedFrame& frame) const
    {
        if (m_pattern)
        {
            return m_pattern->pathOf(frame.number);
        }
        if (m_oneFile)
        {
            return m_output;
        }
        if (frame.clipFrame >= 0)
        {
            return (fs::path(m_output) /
                    fmt::format("{}.{:04}.png", fs::path(frame.path).stem().string(), frame.number))
                .string();
        }
        return (fs::path(m_output) / fs::path(frame.path).filename()).string();
    }

private:
    std::string m_output;
    std::optional<FramePattern> m_pattern;
    bool m_oneFile = false;
};

/// A movie is written from one clip: each of its frames (in the range) is a job whose output is
/// the movie.
bool planMovie(const std::vector<std::string>& inputs, const std::string& output,
               const std::optional<FrameRange>& range, const ClipLengths& clips,
               std::vector<FrameJob>* jobs, std::string* problem)
{
    const auto clip = inputs.size() == 1 ? clips.find(inputs[0]) : clips.end();
    if (clip == clips.end())
    {
        *problem = fmt::format("{}: a movie is written from one clip (such as take.mov); frames "
                               "and sequences go to a folder or a numbered pattern such as "
                               "graded.####.png",
                               output);
        return false;
    }
    std::vector<NumberedFrame> frames;
    if (!expandClip(clip->first, clip->second, range, &frames, problem))
    {
        return false;
    }
    jobs->clear();
    for (const NumberedFrame& frame : frames)
    {
        jobs->push_back({frame.path, output, frame.clipFrame});
    }
    return true;
}

} // namespace

std::optional<FrameRange> FrameRange::parse(std::string_view text)
{
    const char* const end = text.data() + text.size();
    FrameRange range;
    const auto first = std::from_chars(text.data(), end, range.first);
    if (first.ec != std::errc())
    {
        return std::nullopt;
    }
    range.last = range.first;
    if (first.ptr != end)
    {
        const auto last = *first.ptr == '-'
                              ? std::from_chars(first.ptr + 1, end, range.last)
                              : std::from_chars_result{first.ptr, std::errc::invalid_argument};
        if (last.ec != std::errc() || last.ptr != end)
        {
            return std::nullopt;
        }
    }
    if (range.first > range.last || range.first < -kMaxFrameNumber || range.last > kMaxFrameNumber)
    {
        return std::nullopt;
    }
    return range;
}

std::optional<FramePattern> FramePattern::parse(const std::string& path)
{
    const fs::path asPath(path);
    const std::string name = asPath.filename().string();
    const auto placeholder = findPlaceholder(name);
    if (!placeholder || placeholder->width > kMaxPadding)
    {
        return std::nullopt;
    }
    FramePattern pattern;
    pattern.m_folder = asPath.has_parent_path() ? asPath.parent_path().string() : ".";
    pattern.m_prefix = name.substr(0, placeholder->start);
    pattern.m_suffix = name.substr(placeholder->start + placeholder->length);
    pattern.m_width = placeholder->width;
    return pattern;
}

std::string FramePattern::pathOf(long number) const
{
    const std::string digits = number < 0
                                   ? fmt::format("-{:0{}}", -number, std::max(m_width - 1, 1))
                                   : fmt::format("{:0{}}", number, std::max(m_width, 1));
    return (fs::path(m_folder) / (m_prefix + digits + m_suffix)).string();
}

std::optional<long> FramePattern::numberOf(const std::string& fileName) const
{
    if (fileName.size() <= m_prefix.size() + m_suffix.size() || !fileName.starts_with(m_prefix) ||
        !fileName.ends_with(m_suffix))
    {
        return std::nullopt;
    }
    const std::string_view digits(fileName.data() + m_prefix.size(),
                                  fileName.size() - m_prefix.size() - m_suffix.size());
    long number = 0;
    const auto [end, code] = std::from_chars(digits.data(), digits.data() + digits.size(), number);
    if (code != std::errc() || end != digits.data() + digits.size() || digits.front() == '+')
    {
        return std::nullopt;
    }
    if (number < -kMaxFrameNumber || number > kMaxFrameNumber)
    {
        return number;
    }
    // Only the spelling the pattern gives that number: "0007" for ####, "7" for %d.
    if (fs::path(pathOf(number)).filename().string() != fileName)
    {
        return std::nullopt;
    }
    return number;
}

bool planFrames(const std::vector<std::string>& inputs, const std::string& output,
                const std::optional<FrameRange>& range, const ClipLengths& clips,
                std::vector<FrameJob>* jobs, std::string* problem)
{
    if (host::isMovieFileName(output))
    {
        return planMovie(inputs, output, range, clips, jobs, problem);
    }
    InputFrames input;
    if (!expandInputs(inputs, range, clips, &input, problem))
    {
        return false;
    }
    const auto outputs = OutputPlan::choose(input, output, problem);
    if (!outputs)
    {
        return false;
    }
    jobs->clear();
    for (const NumberedFrame& frame : input.frames)
    {
        jobs->push_back({frame.path, outputs->pathFor(frame), frame.clipFrame});
    }
    return true;
}

} // namespace huecast::tool
