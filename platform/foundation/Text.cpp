// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#include "platform/foundation/Text.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>

#include <fmt/format.h>

namespace huecast::foundation
{
namespace
{

std::uint8_t byteAt(std::string_view text, std::size_t pos)
{
    return static_cast<std::uint8_t>(text[pos]);
}

// Bytes that may begin a newline or whitespace character; every other byte is plain text.
constexpr std::array<bool, 256> kSpecialLead = []
{
    std::array<bool, 256> table{};
    for (const std::size_t c : {0x09U, 0x0AU, 0x0BU, 0x0CU, 0x0DU, 0x20U})
    {
        table[c] = true;
    }
    table[0xC2] = true; // U+0085, U+00A0
    table[0xE1] = true; // U+1680
    table[0xE2] = true; // U+2000..U+200A, U+2028, U+2029, U+202F, U+205F
    table[0xE3] = true; // U+3000
    return table;
}();

// Bytes that may begin a newline character.
constexpr std::array<bool, 256> kNewlineLead = []
{
    std::array<bool, 256> table{};
    for (const std::size_t c : {0x0AU, 0x0BU, 0x0CU, 0x0DU, 0xC2U, 0xE2U})
    {
        table[c] = true;
    }
    return table;
}();

// Decodes the code point at pos if it is one of the few multi-byte characters of interest.
char32_t specialCodePointAt(std::string_view text, std::size_t pos, std::size_t& length)
{
    const std::uint8_t lead = byteAt(text, pos);
    length = 1;
    if (lead < 0x80)
    {
        return lead;
    }
    if (lead == 0xC2 && pos + 1 < text.size())
    {
        length = 2;
        return static_cast<char32_t>(byteAt(text, pos + 1) & 0x3F) | 0x80U;
    }
    if ((lead == 0xE1 || lead == 0xE2 || lead == 0xE3) && pos + 2 < text.size())
    {
        length = 3;
        return (static_cast<char32_t>(lead & 0x0F) << 12) |
               (static_cast<char32_t>(byteAt(text, pos + 1) & 0x3F) << 6) |
               static_cast<char32_t>(byteAt(text, pos + 2) & 0x3F);
    }
    return 0xFFFD;
}

bool isNewline(char32_t c)
{
    return (c >= 0x0A && c <= 0x0D) || c == 0x85 || c == 0x2028 || c == 0x2029;
}

bool isWhitespace(char32_t c)
{
    return c == 0x09 || c == 0x20 || c == 0xA0 || c == 0x1680 || (c >= 0x2000 && c <= 0x200A) ||
           c == 0x202F || c == 0x205F || c == 0x3000;
}

} // namespace

std::size_t newlineLengthAt(std::string_view text, std::size_t pos)
{
    if (pos >= text.size() || !kSpecialLead[byteAt(text, pos)])
    {
        return 0;
    }
    std::size_t length = 0;
    return isNewline(specialCodePointAt(text, pos, length)) ? length : 0;
}

std::size_t whitespaceLengthAt(std::string_view text, std::size_t pos)
{
    if (pos >= text.size() || !kSpecialLead[byteAt(text, pos)])
    {
        return 0;
    }
    std::size_t length = 0;
    return isWhitespace(specialCodePointAt(text, pos, length)) ? length : 0;
}

std::size_t whitespaceLengthBefore(std::string_view text, std::size_t end)
{
    // Every whitespace character is 1, 2 or 3 bytes long; try the lengths whose start
    // byte is a lead byte.
    for (std::size_t length = 1; length <= 3 && length <= end; ++length)
    {
        const std::size_t start = end - length;
        if ((byteAt(text, start) & 0xC0) == 0x80)
        {
            continue;
        }
        return whitespaceLengthAt(text, start) == length ? length : 0;
    }
    return 0;
}

std::size_t utf8LengthAt(std::string_view text, std::size_t pos)
{
    const std::size_t size = text.size();
    const std::uint8_t lead = byteAt(text, pos);
    if (lead < 0x80)
    {
        return 1;
    }
    std::size_t length = 0;
    std::uint8_t low = 0x80;
    std::uint8_t high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF)
    {
        length = 2;
    }
    else if (lead >= 0xE0 && lead <= 0xEF)
    {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80;  // no overlong forms
        high = lead == 0xED ? 0x9F : 0xBF; // no surrogates
    }
    else if (lead >= 0xF0 && lead <= 0xF4)
    {
        length = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF; // nothing above U+10FFFF
    }
    else
    {
        return 0;
    }
    if (pos + length > size)
    {
        return 0;
    }
    const std::uint8_t second = byteAt(text, pos + 1);
    if (second < low || second > high)
    {
        return 0;
    }
    for (std::size_t i = 2; i < length; ++i)
    {
        if ((byteAt(text, pos + i) & 0xC0) != 0x80)
        {
            return 0;
        }
    }
    return length;
}

std::optional<std::size_t> firstInvalidUtf8(std::string_view text)
{
    const std::size_t size = text.size();
    std::size_t pos = 0;
    while (pos < size)
    {
        // Eight ASCII bytes at a time: most of a .cube file is digits and blanks.
        while (pos + 8 <= size)
        {
            std::uint64_t word = 0;
            std::memcpy(&word, text.data() + pos, sizeof(word));
            if ((word & 0x8080808080808080ULL) != 0)
            {
                break;
            }
            pos += 8;
        }
        if (pos >= size)
        {
            break;
        }
        const std::size_t length = utf8LengthAt(text, pos);
        if (length == 0)
        {
            return pos;
        }
        pos += length;
    }
    return std::nullopt;
}

std::string escapeForTerminal(std::string_view text)
{
    std::string escaped;
    escaped.reserve(text.size());
    for (std::size_t pos = 0; pos < text.size();)
    {
        const std::size_t length = utf8LengthAt(text, pos);
        const std::uint8_t lead = byteAt(text, pos);
        // C1 controls (U+0080..U+009F) act like ESC sequences on many terminals.
        const bool c1 = length == 2 && lead == 0xC2 && byteAt(text, pos + 1) < 0xA0;
        if (length == 0 || c1 || lead < 0x20 || lead == 0x7F)
        {
            for (std::size_t i = 0; i < std::max<std::size_t>(length, 1); ++i)
            {
                escaped += fmt::format("\\x{:02x}", byteAt(text, pos + i));
            }
            pos += std::max<std::size_t>(length, 1);
            continue;
        }
        if (lead == '\\')
        {
            escaped += '\\';
        }
        escaped.append(text.substr(pos, length));
        pos += length;
    }
    return escaped;
}

std::optional<std::string_view> PieceSplitter::next()
{
    if (m_done)
    {
        return std::nullopt;
    }
    const std::size_t size = m_text.size();
    for (std::size_t pos = m_pos; pos < size; ++pos)
    {
        const std::uint8_t byte = byteAt(m_text, pos);
        if (byte == '\n')
        {
            const std::string_view piece = m_text.substr(m_pos, pos - m_pos);
            m_pos = pos + 1;
            return piece;
        }
        if (!kNewlineLead[byte])
        {
            continue;
        }
        if (const std::size_t length = newlineLengthAt(m_text, pos); length != 0)
        {
            const std::string_view piece = m_text.substr(m_pos, pos - m_pos);
            m_pos = pos + length;
            return piece;
        }
    }
    // The text after the last newline is the last piece, empty when the text ends in one.
    m_done = true;
    const std::string_view piece = m_text.substr(m_pos);
    m_pos = size;
    return piece;
}

std::string_view trimWhitespace(std::string_view text)
{
    std::size_t begin = 0;
    while (const std::size_t length = whitespaceLengthAt(text, begin))
    {
        begin += length;
    }
    std::size_t end = text.size();
    while (end > begin)
    {
        const std::size_t length = whitespaceLengthBefore(text, end);
        if (length == 0)
        {
            break;
        }
        end -= length;
    }
    return text.substr(begin, end - begin);
}

std::size_t splitAtWhitespace(std::string_view text, std::span<std::string_view> out)
{
    std::size_t count = 0;
    std::size_t tokenStart = 0;
    const auto emit = [&](std::size_t tokenEnd)
    {
        if (count < out.size())
        {
            out[count] = text.substr(tokenStart, tokenEnd - tokenStart);
        }
        ++count;
    };
    for (std::size_t pos = 0; pos < text.size();)
    {
        const std::uint8_t byte = byteAt(text, pos);
        if (byte == ' ' || byte == '\t')
        {
            emit(pos);
            ++pos;
            tokenStart = pos;
            continue;
        }
        if (byte >= 0x80 && kSpecialLead[byte])
        {
            if (const std::size_t length = whitespaceLengthAt(text, pos); length != 0)
            {
                emit(pos);
                pos += length;
                tokenStart = pos;
                continue;
            }
        }
        ++pos;
    }
    emit(text.size());
    return count;
}

} // namespace huecast::foundation
