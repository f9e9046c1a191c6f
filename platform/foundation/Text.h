// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace huecast::foundation
{

/// Byte length of the newline character starting at `pos` (LF, VT, FF, CR, NEL, LINE SEPARATOR,
/// PARAGRAPH SEPARATOR), or 0 when the character there is not one. `text` must be valid UTF-8.
[[nodiscard]] std::size_t newlineLengthAt(std::string_view text, std::size_t pos);

/// Byte length of the whitespace character starting at `pos` (CHARACTER TABULATION and the
/// Unicode space separators, category Zs), or 0 when the character there is not one.
[[nodiscard]] std::size_t whitespaceLengthAt(std::string_view text, std::size_t pos);

/// Byte length of the whitespace character that ends just before `end`, or 0.
[[nodiscard]] std::size_t whitespaceLengthBefore(std::string_view text, std::size_t end);

/// Offset of the first byte that breaks UTF-8 (bad lead or continuation byte, overlong form,
/// surrogate, value above U+10FFFF, truncated sequence); empty when the text is valid.
[[nodiscard]] std::optional<std::size_t> firstInvalidUtf8(std::string_view text);

/// Byte length of the valid UTF-8 character starting at `pos` (1 to 4), or 0 when the bytes
/// there don't form one.
[[nodiscard]] std::size_t utf8LengthAt(std::string_view text, std::size_t pos);

/// The text with what a terminal would act on written out as escapes, so that a file name can
/// neither move the cursor nor start a new line: control characters (C0, DEL, C1) and bytes
/// that are not UTF-8 become "\xNN" for each byte, and a backslash is doubled so the result
/// reads back unambiguously.
[[nodiscard]] std::string escapeForTerminal(std::string_view text);

[[nodiscard]] inline bool isValidUtf8(std::string_view text)
{
    return !firstInvalidUtf8(text).has_value();
}

/// Cuts UTF-8 text into pieces at every newline character. Each newline ends a piece, so
/// "a\r\nb" gives "a", "", "b", and a text that ends in a newline has an empty last piece.
/// An empty text is one empty piece.
class PieceSplitter
{
public:
    explicit PieceSplitter(std::string_view text) : m_text(text) {}

    /// The next piece, or empty once every piece was returned.
    [[nodiscard]] std::optional<std::string_view> next();
    /// Offset in the text where the next piece starts.
    [[nodiscard]] std::size_t offset() const { return m_pos; }

private:
    std::string_view m_text;
    std::size_t m_pos = 0;
    bool m_done = false;
};

/// The text without whitespace at either end.
[[nodiscard]] std::string_view trimWhitespace(std::string_view text);

/// Cuts text at every single whitespace character, so two adjacent ones give an empty token
/// between them and an empty text gives one empty token. Stores the first `out.size()` tokens
/// in `out` and returns how many tokens there are in all.
std::size_t splitAtWhitespace(std::string_view text, std::span<std::string_view> out);

} // namespace huecast::foundation
