// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#include "tools/huecast/ApplyCommand.h"

#include <array>
#include <charconv>
#include <optional>
#include <vector>

#include <fmt/format.h>

#include "platform/foundation/Text.h"
#include "tools/huecast/GradingSession.h"

namespace huecast::tool
{
namespace
{

// Colours go into rows of this many pixels, well inside any GL's texture size.
constexpr std::size_t kFrameWidth = 2048;
// Colours are graded this many at a time (a 2048 × 64 frame, 2 MiB of floats), so memory stays
// the same however long the input is.
constexpr std::size_t kBatchColours = kFrameWidth * 64;

using Colour = std::array<float, 3>;

/// The three numbers of a line, or nothing when it holds anything else.
std::optional<Colour> parseColour(std::string_view line)
{
    Colour colour{};
    std::size_t position = 0;
    const auto skipBlanks = [&]
    {
        while (position < line.size() &&
               (line[position] == ' ' || line[position] == '\t' || line[position] == '\r'))
        {
            ++position;
        }
    };
    for (float& component : colour)
    {
        skipBlanks();
        const char* first = line.data() + position;
        const auto [next, code] = std::from_chars(first, line.data() + line.size(), component);
        if (code != std::errc() || next == first)
        {
            return std::nullopt;
        }
        position = static_cast<std::size_t>(next - line.data());
        if (position < line.size() && line[position] != ' ' && line[position] != '\t' &&
            line[position] != '\r')
        {
            return std::nullopt;
        }
    }
    skipBlanks();
    return position == line.size() ? std::optional(colour) : std::nullopt;
}

// Reads colours until `colours` holds `limit` of them or the input ends; false after printing
// why a line is not a colour. `lineNumber` counts on from batch to batch.
bool readColours(std::FILE* in, std::size_t limit, std::vector<Colour>* colours,
                 std::size_t* lineNumber, std::FILE* errors)
{
    std::string line;
    for (int c = 0; c != EOF && colours->size() < limit;)
    {
        line.clear();
        while ((c = std::fgetc(in)) != EOF && c != '\n')
        {
            line.push_back(static_cast<char>(c));
        }
        if (c == EOF && line.empty())
        {
            break;
        }
        ++*lineNumber;
        // Blank lines and '#' comments, as ociochecklut's input files hold them, grade nothing.
        const std::size_t first = line.find_first_not_of(" \t\r");
        if (first == std::string::npos || line[first] == '#')
        {
            continue;
        }
        const auto colour = parseColour(line);
        if (!colour)
        {
            fmt::print(errors,
                       "huecast: standard input line {}: expected three numbers \"r g b\", "
                       "got \"{}\"\n",
                       *lineNumber, foundation::escapeForTerminal(line));
            return false;
        }
        colours->push_back(*colour);
    }
    return true;
}

// Grades the colours as the pixels of one float frame and prints the results.
bool gradeColours(GradingSession& session, const std::vector<Colour>& colours, host::Frame* input,
                  host::Frame* output, std::FILE* out, std::FILE* errors)
{
    const std::size_t width = std::min(colours.size(), kFrameWidth);
    const std::size_t height = (colours.size() + width - 1) / width;
    input->reshape(static_cast<std::uint32_t>(width), static_cast<std::uint32_t>(height),
                   host::PixelType::Float);
    for (std::size_t i = 0; i < colours.size(); ++i)
    {
        float* pixel = &input->rowAs<float>(static_cast<std::uint32_t>(i / width))[i % width * 4];
        pixel[0] = colours[i][0];
        pixel[1] = colours[i][1];
        pixel[2] = colours[i][2];
        pixel[3] = 1.0F;
    }
    foundation::Error error;
    if (!session.render(*input, output, &error))
    {
        fmt::print(errors, "huecast: {}\n",
                   foundation::escapeForTerminal(error.localizedDescription()));
        return false;
    }
    for (std::size_t i = 0; i < colours.size(); ++i)
    {
        const float* pixel =
            &output->rowAs<const float>(static_cast<std::uint32_t>(i / width))[i % width * 4];
        std::fprintf(out, "%.9g %.9g %.9g\n", static_cast<double>(pixel[0]),
                     static_cast<double>(pixel[1]), static_cast<double>(pixel[2]));
    }
    return true;
}

} // namespace

int runApply(const std::string& bundlePath, const std::string& lutFile,
             const GradeControls& controls, std::FILE* in, std::FILE* out, std::FILE* errors)
{
    std::vector<Colour> colours;
    std::size_t lineNumber = 0;
    if (!readColours(in, kBatchColours, &colours, &lineNumber, errors))
    {
        return 1;
    }
    const auto session = GradingSession::open(bundlePath, errors);
    if (!session || !session->chooseLut({LutChoice::Kind::File, lutFile}) ||
        !session->setControls(controls))
    {
        return 1;
    }
    host::Frame input;
    host::Frame output;
    while (!colours.empty())
    {
        if (!gradeColours(*session, colours, &input, &output, out, errors))
        {
            return 1;
        }
        colours.clear();
        if (!readColours(in, kBatchColours, &colours, &lineNumber, errors))
        {
            return 1;
        }
    }
    return 0;
}

} // namespace huecast::tool
