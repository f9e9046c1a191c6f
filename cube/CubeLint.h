// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cube/ZRCubeReader.h"
#include "platform/foundation/Value.h"

namespace huecast
{

/// Notes, for `huecast check`, on lines that the reader reads otherwise than their writer
/// likely meant. The reader tells it what it did with a line; the reading itself is the same
/// whether a lint is attached or not. Each kind of note is listed for its first few lines, then
/// counted in one more note.
class CubeLint
{
public:
    explicit CubeLint(std::vector<CubeWarning>& warnings) : m_warnings(warnings) {}

    /// A data line's tokens, as the reader took them (three, or the first three); notes
    /// characters after a number, or the line's skipping when a token isn't a number at all.
    void dataLine(std::size_t line, const std::array<std::string_view, 3>& tokens);
    /// A line whose first token starts like a keyword but is none; `ignored` when the reader
    /// skips the line (three tokens), else the reader fails on it as malformed data.
    void unknownKeyword(std::size_t line, std::string_view keyword, bool ignored);
    /// A data line before any LUT_3D_SIZE line, which has nowhere to go.
    void dataBeforeSize(std::size_t line);
    void sizeLine(std::size_t line, std::int64_t edge);
    void domainMinLine(std::size_t line) { m_domainMinLine = line; }
    void domainMaxLine(std::size_t line) { m_domainMaxLine = line; }
    void inputRangeLine(std::size_t line) { m_inputRangeLine = line; }

    /// Notes a domain whose minimum is not below its maximum in every channel.
    void checkDomain(const foundation::Dictionary& dictionary);
    /// Says where a file that fails with 106 went wrong.
    void incompleteData(std::int64_t entries, std::int64_t expected);
    /// Adds the counts of what wasn't listed and orders the notes by line.
    void close();

private:
    enum Kind : std::uint8_t
    {
        TrailingCharacters,
        SkippedLine,
        UnknownKeyword,
        KindCount,
    };
    struct Tally
    {
        std::size_t count = 0;
        std::size_t firstLine = 0;
        std::size_t firstUnlistedLine = 0;
    };

    void note(std::size_t line, std::string message);
    void note(Kind kind, std::size_t line, std::string message);

    std::vector<CubeWarning>& m_warnings;
    std::array<Tally, KindCount> m_tallies{};
    std::optional<std::size_t> m_firstDataBeforeSize; // the index of its note
    std::size_t m_sizeLine = 0;
    std::int64_t m_edge = 0;
    std::size_t m_skippedAfterSize = 0;
    std::size_t m_firstSkippedAfterSize = 0;
    std::size_t m_domainMinLine = 0;
    std::size_t m_domainMaxLine = 0;
    std::size_t m_inputRangeLine = 0;
};

} // namespace huecast
