// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "platform/kit/Geometry.h"
#include "platform/kit/NSColor.h"
#include "platform/kit/NSFont.h"

// pango's own name for its layout struct.
using PangoLayout = struct _PangoLayout; // NOLINT(bugprone-reserved-identifier)

namespace huecast::kit
{

enum class NSTextAlignment : long
{
    Left = 0,
    Right = 1,
    Center = 2,
    Justified = 3,
    Natural = 4,
};

enum class NSLineBreakMode : long
{
    ByWordWrapping = 0,
    ByCharWrapping = 1,
    ByClipping = 2,
    ByTruncatingHead = 3, ///< one line; the beginning gives way to a leading ellipsis
    ByTruncatingTail = 4,
    ByTruncatingMiddle = 5,
};

enum class NSWritingDirection : long
{
    Natural = -1,
    LeftToRight = 0,
    RightToLeft = 1,
};

/// How the lines of a paragraph are laid out.
struct NSParagraphStyle
{
    NSTextAlignment alignment = NSTextAlignment::Natural;
    NSLineBreakMode lineBreakMode = NSLineBreakMode::ByWordWrapping;
    NSWritingDirection baseWritingDirection = NSWritingDirection::Natural;

    /// The style text has when it names none; copying it gives the mutable copy to adjust.
    [[nodiscard]] static NSParagraphStyle defaultParagraphStyle() { return {}; }

    friend bool operator==(const NSParagraphStyle&, const NSParagraphStyle&) = default;
};

/// Attribute names; the value under each is of the type its name says.
inline constexpr std::string_view NSForegroundColorAttributeName = "NSColor";
inline constexpr std::string_view NSFontAttributeName = "NSFont";
inline constexpr std::string_view NSParagraphStyleAttributeName = "NSParagraphStyle";

using NSAttributeValue = std::variant<NSColor, NSFont, NSParagraphStyle>;
using NSAttributes = std::map<std::string, NSAttributeValue, std::less<>>;

/// A range of a string; locations and lengths count the UTF-8 string's bytes.
struct NSRange
{
    std::size_t location = 0;
    std::size_t length = 0;
    friend bool operator==(const NSRange&, const NSRange&) = default;
};

/// The value under the name when it is there with the expected type, else null.
template <typename T>
[[nodiscard]] const T* attributeOf(const NSAttributes& attributes, std::string_view name)
{
    const auto found = attributes.find(name);
    return found == attributes.end() ? nullptr : std::get_if<T>(&found->second);
}

/// Text whose stretches carry attributes (colour, font, paragraph style).
class __attribute__((visibility("default"))) NSAttributedString
{
public:
    NSAttributedString() = default;
    /// The whole string with one set of attributes.
    explicit NSAttributedString(std::string string, const NSAttributes& attributes = {});

    [[nodiscard]] const std::string& string() const { return m_string; }
    [[nodiscard]] std::size_t length() const { return m_string.size(); }
    /// The attributes at the index and, when asked for, the longest range around it that has
    /// the same ones. An index past the end answers no attributes and an empty range.
    [[nodiscard]] NSAttributes attributesAtIndex(std::size_t index, NSRange* effectiveRange) const;

    /// The size that the text's lines take when laid out without a width limit.
    [[nodiscard]] NSSize size() const;

    /// Draws the text inside the rectangle of the current graphics context (which must exist),
    /// starting at the rectangle's top, laid out by the first stretch's paragraph style, and
    /// clipped to the rectangle. Returns the rectangle that the text's lines took.
    [[nodiscard]] NSRect drawInRect(NSRect rect) const;

protected:
    /// Gives the layout the text, the default font and each stretch's colour and font.
    void fillLayout(PangoLayout* layout) const;

    struct Run
    {
        std::size_t length = 0;
        NSAttributes attributes;
    };
    std::string m_string;
    std::vector<Run> m_runs; ///< cover the string in order; empty for an empty string
};

/// An attributed string whose attributes can change.
class __attribute__((visibility("default"))) NSMutableAttributedString : public NSAttributedString
{
public:
    using NSAttributedString::NSAttributedString;
    /// A copy of another attributed string (initWithAttributedString:).
    explicit NSMutableAttributedString(const NSAttributedString& other) : NSAttributedString(other)
    {
    }

    /// Sets one attribute over the range, keeping the others; the range is cut to the string.
    void addAttribute(std::string_view name, const NSAttributeValue& value, NSRange range);

private:
    void splitAt(std::size_t index);
};

/// Draws the string inside the rectangle with the attributes (drawInRect:withAttributes:);
/// see NSAttributedString::drawInRect.
[[gnu::visibility("default")]] NSRect drawStringInRect(std::string_view text, NSRect rect,
                                                       const NSAttributes& attributes);

} // namespace huecast::kit
