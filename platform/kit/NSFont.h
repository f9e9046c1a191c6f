// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#pragma once

#include <string>
#include <string_view>

namespace huecast::kit
{

/// A font: the name it was asked for, the face that draws it and its size in points.
class __attribute__((visibility("default"))) NSFont
{
public:
    /// The font with a PostScript-style name ("Family" or "Family-Style", e.g.
    /// "Helvetica-Light"). When the family is not installed the font is the system's sans-serif
    /// face at the style's weight, so text always draws; fontName() still answers the name asked
    /// for.
    [[nodiscard]] static NSFont fontWithName(std::string_view name, double size);
    /// The system's user-interface font (the sans-serif face, regular weight).
    [[nodiscard]] static NSFont systemFontOfSize(double size);
    [[nodiscard]] static double systemFontSize() { return 13.0; }
    [[nodiscard]] static double smallSystemFontSize() { return 11.0; }

    [[nodiscard]] const std::string& fontName() const { return m_fontName; }
    [[nodiscard]] double pointSize() const { return m_pointSize; }
    /// The installed family that draws the font ("sans-serif" when falling back).
    [[nodiscard]] const std::string& familyName() const { return m_familyName; }
    /// The face's weight on the usual 100 (thin) to 900 (black) scale; 400 is regular.
    [[nodiscard]] int weight() const { return m_weight; }
    [[nodiscard]] bool isItalic() const { return m_italic; }

    friend bool operator==(const NSFont&, const NSFont&) = default;

private:
    NSFont(std::string fontName, std::string familyName, int weight, bool italic, double size)
        : m_fontName(std::move(fontName)), m_familyName(std::move(familyName)), m_weight(weight),
          m_italic(italic), m_pointSize(size)
    {
    }

    std::string m_fontName;
    std::string m_familyName;
    int m_weight = 400;
    bool m_italic = false;
    double m_pointSize = 0;
};

} // namespace huecast::kit
