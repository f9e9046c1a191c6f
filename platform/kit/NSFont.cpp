// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#include "platform/kit/NSFont.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <set>

#include <pango/pangocairo.h>

namespace huecast::kit
{
namespace
{

constexpr std::string_view kSansSerif = "sans-serif";
constexpr int kRegularWeight = 400;

std::string lowerCase(std::string_view text)
{
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return lower;
}

// The families fontconfig knows, in lower case; listed once, since installing fonts while the
// process runs is not something the panel has to follow.
const std::set<std::string>& installedFamilies()
{
    static const std::set<std::string> families = []
    {
        std::set<std::string> names;
        PangoFontFamily** list = nullptr;
        int count = 0;
        pango_font_map_list_families(pango_cairo_font_map_get_default(), &list, &count);
        for (int i = 0; i < count; ++i)
        {
            names.insert(lowerCase(pango_font_family_get_name(list[i])));
        }
        g_free(list);
        return names;
    }();
    return families;
}

struct StyleWord
{
    std::string_view word;
    int weight;
    bool italic;
};

// The style words of PostScript names, longest first so that "ExtraLight" is not read as
// "Light".
constexpr std::array kStyleWords = {
    StyleWord{"ultralight", 200, false}, StyleWord{"extralight", 200, false},
    StyleWord{"semibold", 600, false},   StyleWord{"extrabold", 800, false},
    StyleWord{"demibold", 600, false},   StyleWord{"regular", 400, false},
    StyleWord{"oblique", 400, true},     StyleWord{"italic", 400, true},
    StyleWord{"medium", 500, false},     StyleWord{"black", 900, false},
    StyleWord{"heavy", 900, false},      StyleWord{"light", 300, false},
    StyleWord{"roman", 400, false},      StyleWord{"thin", 100, false},
    StyleWord{"bold", 700, false},       StyleWord{"book", 400, false},
};

// Reads a style such as "LightOblique" word by word; unknown words leave the weight alone.
void readStyle(std::string_view style, int& weight, bool& italic)
{
    std::string rest = lowerCase(style);
    while (!rest.empty())
    {
        const auto found =
            std::find_if(kStyleWords.begin(), kStyleWords.end(),
                         [&](const StyleWord& s) { return rest.starts_with(s.word); });
        if (found == kStyleWords.end())
        {
            return;
        }
        if (found->italic)
        {
            italic = true;
        }
        else
        {
            weight = found->weight;
        }
        rest.erase(0, found->word.size());
    }
}

} // namespace

NSFont NSFont::fontWithName(std::string_view name, double size)
{
    const std::size_t dash = name.rfind('-');
    const std::string_view family = dash == std::string_view::npos ? name : name.substr(0, dash);
    int weight = kRegularWeight;
    bool italic = false;
    if (dash != std::string_view::npos)
    {
        readStyle(name.substr(dash + 1), weight, italic);
    }
    const bool installed = installedFamilies().contains(lowerCase(family));
    return {std::string(name), installed ? std::string(family) : std::string(kSansSerif), weight,
            italic, size};
}

NSFont NSFont::systemFontOfSize(double size)
{
    return {std::string(kSansSerif), std::string(kSansSerif), kRegularWeight, false, size};
}

} // namespace huecast::kit
