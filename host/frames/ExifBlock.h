// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
// An Exif block (a TIFF header and directories, as a PNG's eXIf chunk holds it) read into the
// attributes OpenImageIO reads from it: the module's check that it holds only tags whose
// attributes it knows.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <vector>

namespace huecast::host::frames
{

/// One attribute as OpenImageIO names it ("Make", "Exif:DateTimeOriginal", "GPS:Latitude"): a
/// string, or a number or array of numbers, of which the first value is kept (a rational as
/// numerator over denominator).
struct ExifAttribute
{
    std::string name;
    bool isText = false;
    std::string text;
    double number = 0.0;
};

/// The attributes OpenImageIO reads from the block, in the block's order. Nothing for a block
/// holding a tag, type or count outside the module's table, a tag twice in a directory, a value
/// or directory reaching past the block, a directory met twice, or values that overlap.
[[nodiscard]] std::optional<std::vector<ExifAttribute>>
readExifBlock(std::span<const unsigned char> block);

} // namespace huecast::host::frames
