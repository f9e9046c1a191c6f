// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
// What a PNG read keeps for the write, shared by the reader and the Exif block's reading.
#pragma once

#include <algorithm>
#include <cctype>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include <png.h>

#include "host/frames/CommonFormats.h"

namespace huecast::host::frames
{

/// pHYs: OpenImageIO reports it as a resolution, zeros included, and the numbers are kept.
struct PixelDensity
{
    png_uint_32 x = 0;
    png_uint_32 y = 0;
    int unit = PNG_RESOLUTION_UNKNOWN;
};

/// A text chunk as stored: OpenImageIO reports each under its key (three keys renamed), and
/// reads the same from the chunk written back.
struct PngText
{
    int compression = PNG_TEXT_COMPRESSION_NONE;
    std::string key;
    std::string text;
    std::string language;
    std::string translatedKey;
};

struct PngLayout final : StoredLayout
{
    PngLayout() : StoredLayout(Family::Png) {}

    int bitDepth = 8;
    std::optional<png_fixed_point> gamma; ///< gAMA without sRGB; none for sRGB
    std::optional<PixelDensity> density;
    std::optional<png_time> time;
    std::string profileName; ///< iCCP, kept with its profile
    std::vector<png_byte> profile;
    std::vector<PngText> texts; ///< every text chunk before the pixels but the tool's own
};

/// Adds to the layout, read from every chunk before the pixels but this one, what OpenImageIO's
/// PNG writer keeps of the attributes it reads from an eXIf chunk: the strings as text chunks,
/// DateTime as the time, the resolution as the density, the Exif colour space. False for a block
/// `readExifBlock` refuses, or attributes read or written in ways not kept here.
[[nodiscard]] bool keepExif(std::span<const unsigned char> block, PngLayout* layout);

} // namespace huecast::host::frames
