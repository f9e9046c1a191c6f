// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#include "cube/CubeLint.h"

#include <algorithm>

#include <fmt/format.h>

#include "cube/CubeKeys.h"
#include "platform/foundation/Numbers.h"

namespace huecast
{
namespace
{

// Enough to show where a problem starts; a file with thousands of such lines gets one count.
constexpr std::size_t kListedPerKind = 10;

std::vector<double> boundOf(const foundation::Dictionary& dictionary, std::string_view key)
{
    std::vector<double> bound;
    const auto found = dictionary.find(key);
    if (found != dictionary.end() && found->second.array() != nullptr)
    {
        for (const foundation::Value& value : *found->second.array())
        {
            bound.push_back(value.doubleValue().value_or(0.0));
        }
    }
    return bound;
}

} // namespace

void CubeLint::dataLine(std::size_t line, const std::array<std::string_view, 3>& tokens)
{
    for (const std::string_view token : tokens)
    {
        if (!foundation::scanFloat(token))
        {
            note(SkippedLine, line,
                 fmt::format("the line is skipped: \"{}\" doesn't read as a number", token));
            if (m_sizeLine != 0 && m_skippedAfterSize++ == 0)
            {
                m_firstSkippedAfterSize = line;
            }
            return;
        }
    }
    // The reader takes a token's leading number and drops the rest: "0,5" reads as 0.
    bool trailing = false;
    bool comma = false;
    std::array<float, 3> values{};
    for (std::size_t i = 0; i < tokens.size(); ++i)
    {
        values[i] = *foundation::scanFloat(tokens[i]);
        if (!foundation::numberFromString(tokens[i], '.'))
        {
            trailing = true;
            comma = comma || tokens[i].find(',') != std::string_view::npos;
        }
    }
    if (trailing)
    {
        note(TrailingCharacters, line,
             fmt::format("\"{}\" reads as {}: characters after a number are ignored{}",
                         fmt::join(tokens, " "), fmt::join(values, " "),
                         comma ? " (a decimal comma? .cube files take a point)" : ""));
    }
}

void CubeLint::unknownKeyword(std::size_t line, std::string_view keyword, bool ignored)
{
    note(UnknownKeyword, line,
         ignored ? fmt::format("unknown keyword \"{}\": the line is ignored", keyword)
                 : fmt::format("unknown keyword \"{}\": the line reads as data", keyword));
}

void CubeLint::dataBeforeSize(std::size_t line)
{
    if (!m_firstDataBeforeSize)
    {
        m_firstDataBeforeSize = m_warnings.size();
        note(line, "data before the LUT_3D_SIZE line has nowhere to go: it is ignored");
    }
}

void CubeLint::sizeLine(std::size_t line, std::int64_t edge)
{
    m_sizeLine = line;
    m_edge = edge;
    m_skippedAfterSize = 0;
}

void CubeLint::checkDomain(const foundation::Dictionary& dictionary)
{
    const std::vector<double> low = boundOf(dictionary, kDomainMinKey);
    const std::vector<double> high = boundOf(dictionary, kDomainMaxKey);
    if (low.size() != 3 || high.size() != 3 ||
        std::equal(low.begin(), low.end(), high.begin(), std::less<>()))
    {
        return;
    }
    // A DOMAIN line gives its bound; LUT_3D_INPUT_RANGE gives what no DOMAIN line does.
    const std::size_t minLine = m_domainMinLine != 0 ? m_domainMinLine : m_inputRangeLine;
    const std::size_t maxLine = m_domainMaxLine != 0 ? m_domainMaxLine : m_inputRangeLine;
    note(std::max(minLine, maxLine),
         fmt::format("the domain's minimum {} is not below its maximum {} in every channel",
                     fmt::join(low, " "), fmt::join(high, " ")));
}

void CubeLint::incompleteData(std::int64_t entries, std::int64_t expected)
{
    if (m_sizeLine == 0)
    {
        constexpr std::string_view kNoSize = "the file has no LUT_3D_SIZE line";
        if (m_firstDataBeforeSize)
        {
            m_warnings[*m_firstDataBeforeSize].message =
                fmt::format("{}, so its data has nowhere to go", kNoSize);
        }
        else
        {
            note(1, std::string(kNoSize));
        }
        return;
    }
    std::string message = fmt::format("LUT_3D_SIZE {} declares {} entries, and {} follow it",
                                      m_edge, expected, entries);
    if (m_skippedAfterSize != 0)
    {
        message +=
            fmt::format(" ({} data line{} skipped, the first at line {})", m_skippedAfterSize,
                        m_skippedAfterSize == 1 ? " was" : "s were", m_firstSkippedAfterSize);
    }
    note(m_sizeLine, std::move(message));
}

void CubeLint::close()
{
    for (const Tally& tally : m_tallies)
    {
        if (tally.count > kListedPerKind)
        {
            note(tally.firstUnlistedLine,
                 fmt::format("{} more lines from here on, not listed, like line {}",
                             tally.count - kListedPerKind, tally.firstLine));
        }
    }
    std::stable_sort(m_warnings.begin(), m_warnings.end(),
                     [](const CubeWarning& a, const CubeWarning& b) { return a.line < b.line; });
}

void CubeLint::note(std::size_t line, std::string message)
{
    m_warnings.push_back({line, std::move(message)});
}

void CubeLint::note(Kind kind, std::size_t line, std::string message)
{
    Tally& tally = m_tallies[kind];
    if (tally.count == 0)
    {
        tally.firstLine = line;
    }
    if (++tally.count <= kListedPerKind)
    {
        note(line, std::move(message));
    }
    else if (tally.count == kListedPerKind + 1)
    {
        tally.firstUnlistedLine = line;
    }
}

} // namespace huecast
