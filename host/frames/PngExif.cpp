// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
// A PNG's eXIf chunk as OpenImageIO 2.4 reads it, after the other chunks before the pixels, and
// writes it back: an attribute a chunk already gave is left as the chunk gave it, a string
// becomes a text chunk, DateTime the time, the resolution the density; numbers are dropped.
#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "host/frames/ExifBlock.h"
#include "host/frames/PngLayout.h"

namespace huecast::host::frames
{
namespace
{

/// The attribute OpenImageIO reads a text chunk into.
std::string_view attributeOfKey(std::string_view key)
{
    if (equalsIgnoringCase(key, "Description"))
    {
        return "ImageDescription";
    }
    if (equalsIgnoringCase(key, "Author"))
    {
        return "Artist";
    }
    if (equalsIgnoringCase(key, "Title"))
    {
        return "DocumentName";
    }
    return key;
}

/// The key OpenImageIO's PNG writer stores a string attribute under.
std::string keyOfAttribute(const std::string& name)
{
    if (name == "ImageDescription")
    {
        return "Description";
    }
    if (name == "Artist")
    {
        return "Author";
    }
    return name;
}

/// DateTime as OpenImageIO's PNG writer stores it, in a tIME chunk: nothing for text not of
/// the form "YYYY:MM:DD HH:MM:SS" or a field libpng refuses, which no chunk then holds.
std::optional<png_time> timeOf(std::string_view text)
{
    constexpr std::string_view kForm = "0000:00:00 00:00:00";
    if (text.size() != kForm.size())
    {
        return std::nullopt;
    }
    for (std::size_t i = 0; i < kForm.size(); ++i)
    {
        const bool digit = std::isdigit(static_cast<unsigned char>(text[i])) != 0;
        if (kForm[i] == '0' ? !digit : text[i] != kForm[i])
        {
            return std::nullopt;
        }
    }
    const auto field = [text](std::size_t at, std::size_t digits)
    {
        int value = 0;
        for (std::size_t i = at; i < at + digits; ++i)
        {
            value = value * 10 + (text[i] - '0');
        }
        return value;
    };
    png_time time{};
    time.year = static_cast<png_uint_16>(field(0, 4));
    time.month = static_cast<png_byte>(field(5, 2));
    time.day = static_cast<png_byte>(field(8, 2));
    time.hour = static_cast<png_byte>(field(11, 2));
    time.minute = static_cast<png_byte>(field(14, 2));
    time.second = static_cast<png_byte>(field(17, 2));
    if (time.month < 1 || time.month > 12 || time.day < 1 || time.day > 31 || time.hour > 23 ||
        time.minute > 59 || time.second > 60)
    {
        return std::nullopt;
    }
    return time;
}

/// A resolution as OpenImageIO reports it (a float) that its PNG writer stores as a whole
/// number of pixels per unit and reads back unchanged; nothing for any other.
std::optional<png_uint_32> wholeResolution(double value)
{
    const auto reported = static_cast<float>(value);
    if (!(reported >= 1.0F && reported <= 16777216.0F) || std::floor(reported) != reported)
    {
        return std::nullopt;
    }
    return static_cast<png_uint_32>(reported);
}

/// The density OpenImageIO's PNG writer stores for the resolution, taking a missing YResolution
/// to be XResolution; nothing where it wouldn't read back unchanged.
std::optional<PixelDensity> densityOf(std::optional<double> x, std::optional<double> y)
{
    const std::optional<png_uint_32> across = x ? wholeResolution(*x) : std::nullopt;
    const std::optional<png_uint_32> down = y ? wholeResolution(*y) : across;
    if (!across || !down)
    {
        return std::nullopt;
    }
    return PixelDensity{*across, *down, PNG_RESOLUTION_UNKNOWN};
}

bool isResolution(const std::string& name)
{
    return name == "XResolution" || name == "YResolution" || name == "ResolutionUnit";
}

} // namespace

bool keepExif(std::span<const unsigned char> block, PngLayout* layout)
{
    const auto attributes = readExifBlock(block);
    // After the block OpenImageIO takes any attribute named ColorSpace for the Exif one.
    if (!attributes ||
        std::any_of(layout->texts.begin(), layout->texts.end(),
                    [](const PngText& text) { return equalsIgnoringCase(text.key, "ColorSpace"); }))
    {
        return false;
    }
    // The chunks' texts, time and density come first and stay.
    const std::size_t chunkTexts = layout->texts.size();
    const bool chunkTime = layout->time.has_value();
    const bool chunkDensity = layout->density.has_value();
    std::optional<double> x;
    std::optional<double> y;
    for (const ExifAttribute& attribute : *attributes)
    {
        const std::string& name = attribute.name;
        // A text chunk of the name wins, and one of another case is renamed in place.
        if (std::any_of(layout->texts.begin(),
                        layout->texts.begin() + static_cast<std::ptrdiff_t>(chunkTexts),
                        [&name](const PngText& text)
                        { return equalsIgnoringCase(attributeOfKey(text.key), name); }))
        {
            return false;
        }
        // Every written frame names its own Software.
        if (name == "Software" || (name == "DateTime" && chunkTime) ||
            (isResolution(name) && chunkDensity))
        {
            continue;
        }
        if (name == "DateTime")
        {
            const std::optional<png_time> time = timeOf(attribute.text);
            if (!time)
            {
                return false;
            }
            layout->time = time;
        }
        else if (name == "ResolutionUnit")
        {
            return false; // reported as a number, which no PNG reads back as
        }
        else if (name == "XResolution" || name == "YResolution")
        {
            (name == "XResolution" ? x : y) = attribute.number;
        }
        else if (name == "Exif:ColorSpace")
        {
            if (attribute.number != 0xFFFF)
            {
                layout->gamma.reset(); // anything but "uncalibrated" is sRGB
            }
        }
        else if (attribute.isText)
        {
            layout->texts.push_back(
                {PNG_TEXT_COMPRESSION_NONE, keyOfAttribute(name), attribute.text, "", ""});
        }
    }
    if (x || y)
    {
        layout->density = densityOf(x, y);
        return layout->density.has_value();
    }
    return true;
}

} // namespace huecast::host::frames
