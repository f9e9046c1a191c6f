// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#include "tools/huecast/FrameSequence.h"

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <set>

#include <fmt/format.h>

namespace huecast::tool
{
namespace
{

namespace fs = std::filesystem;

constexpr int kMaxPadding = 10;

struct NumberedFrame
{
    long number;
    std::string path;
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

bool sameFile(const std::string& a, const std::string& b)
{
    std::error_code error;
    return fs::equivalent(a, b, error) && !error;
}

bool expandPattern(const std::string& argument, const FramePattern& pattern,
                   std::vector<NumberedFrame>* frames, std::string* problem)
{
    std::error_code error;
    std::vector<NumberedFrame> found;
    for (const auto& entry : fs::directory_iterator(pattern.folder(), error))
    {
        const std::string name = entry.path().filename().string();
        if (const auto number = pattern.numberOf(name); number && !entry.is_directory(error))
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
    if (found.empty())
    {
        *problem = fmt::format("{}: no frame files fit this pattern", argument);
        return false;
    }
    std::sort(found.begin(), found.end(),
              [](const auto& a, const auto& b) { return a.number < b.number; });
    frames->insert(frames->end(), found.begin(), found.end());
    return true;
}

} // namespace

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
    // Only the spelling the pattern gives that number: "0007" for ####, "7" for %d.
    if (fs::path(pathOf(number)).filename().string() != fileName)
    {
        return std::nullopt;
    }
    return number;
}

bool planFrames(const std::vector<std::string>& inputs, const std::string& output,
                std::vector<FrameJob>* jobs, std::string* problem)
{
    std::vector<NumberedFrame> frames;
    bool anyPattern = false;
    bool allNumbered = true;
    for (const std::string& argument : inputs)
    {
        if (const auto pattern = FramePattern::parse(argument))
        {
            anyPattern = true;
            if (!expandPattern(argument, *pattern, &frames, problem))
            {
                return false;
            }
        }
        else
        {
            allNumbered = false;
            frames.push_back({0, argument});
        }
    }

    const auto outputPattern = FramePattern::parse(output);
    if (outputPattern && !allNumbered)
    {
        *problem = fmt::format("{}: a numbered output needs numbered inputs (a pattern such as "
                               "shot.####.exr)",
                               output);
        return false;
    }
    const bool toOneFile = frames.size() == 1 && !anyPattern && !isFolder(output);

    jobs->clear();
    std::set<std::string> outputs;
    for (const NumberedFrame& frame : frames)
    {
        std::string target;
        if (outputPattern)
        {
            target = outputPattern->pathOf(frame.number);
        }
        else if (toOneFile)
        {
            target = output;
        }
        else
        {
            target = (fs::path(output) / fs::path(frame.path).filename()).string();
        }
        if (!outputs.insert(fs::path(target).lexically_normal().string()).second)
        {
            *problem = fmt::format("{}: two frames would be written to this one file", target);
            return false;
        }
        if (sameFile(frame.path, target))
        {
            *problem = fmt::format("{}: the graded frame would overwrite its input", target);
            return false;
        }
        jobs->push_back({frame.path, std::move(target)});
    }
    return true;
}

} // namespace huecast::tool
