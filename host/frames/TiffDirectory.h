// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
// A TIFF file's own directory, read before libtiff sees it: the module's check that a file holds
// only tags whose meaning it keeps.
#pragma once

#include "host/frames/TiffEntries.h"

namespace huecast::host::frames
{

/// What the check of a directory found beside its tags' names.
struct DirectoryFacts
{
    bool exifSrgb = false;            ///< an Exif directory that holds just the sRGB colour space
    bool predictor = false;           ///< a Predictor tag
    bool jpegTables = false;          ///< JPEG tables, which only JPEG uses
    bool referenceBlackWhite = false; ///< which only YCbCr uses
    bool subsampling = false;         ///< YCbCr subsampling, which only YCbCr uses
    bool colourMap = false;           ///< which only a palette uses
};

/// Whether the file is a classic TIFF (either byte order) of one image that carries only known
/// tags, an Exif directory, if any, that holds just the sRGB colour space, and a size, sample
/// count and tiles within bounds: libtiff lays out a strip or tile table by them as it opens the
/// file, so these bound what it allocates to what the frame needs.
[[nodiscard]] bool checkDirectory(int fd, DirectoryFacts* facts);

} // namespace huecast::host::frames
