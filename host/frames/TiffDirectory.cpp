// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#include "host/frames/TiffDirectory.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <limits>
#include <optional>
#include <utility>

#include <tiffio.h>

#include "host/FrameFiles.h"

namespace huecast::host::frames
{
namespace
{

/// The tags whose meaning to OpenImageIO, and back through its writer, the module reproduces.
constexpr std::array<std::uint16_t, 37> kKnownTags = {
    TIFFTAG_IMAGEDESCRIPTION,
    TIFFTAG_ARTIST,
    TIFFTAG_COPYRIGHT,
    TIFFTAG_DOCUMENTNAME,
    TIFFTAG_MAKE,
    TIFFTAG_MODEL,
    TIFFTAG_HOSTCOMPUTER,
    TIFFTAG_ICCPROFILE,
    TIFFTAG_SUBFILETYPE,
    TIFFTAG_IMAGEWIDTH,
    TIFFTAG_IMAGELENGTH,
    TIFFTAG_BITSPERSAMPLE,
    TIFFTAG_COMPRESSION,
    TIFFTAG_PHOTOMETRIC,
    TIFFTAG_STRIPOFFSETS,
    TIFFTAG_ORIENTATION,
    TIFFTAG_SAMPLESPERPIXEL,
    TIFFTAG_ROWSPERSTRIP,
    TIFFTAG_STRIPBYTECOUNTS,
    TIFFTAG_XRESOLUTION,
    TIFFTAG_YRESOLUTION,
    TIFFTAG_PLANARCONFIG,
    TIFFTAG_RESOLUTIONUNIT,
    TIFFTAG_SOFTWARE,
    TIFFTAG_DATETIME,
    TIFFTAG_EXTRASAMPLES,
    TIFFTAG_SAMPLEFORMAT,
    TIFFTAG_EXIFIFD,
    TIFFTAG_PREDICTOR,
    TIFFTAG_TILEWIDTH,
    TIFFTAG_TILELENGTH,
    TIFFTAG_TILEOFFSETS,
    TIFFTAG_TILEBYTECOUNTS,
    TIFFTAG_JPEGTABLES,
    TIFFTAG_REFERENCEBLACKWHITE,
    TIFFTAG_YCBCRSUBSAMPLING,
    TIFFTAG_COLORMAP,
};

/// The numbers libtiff lays out the strip or tile table by, as the directory gives them.
struct Geometry
{
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint32_t samples = 1;
    std::uint32_t tileWidth = 0;
    std::uint32_t tileHeight = 0;
    bool tileOffsets = false;
    bool stripOffsets = false;

    void take(const StoredDirectory& directory, std::size_t index)
    {
        const std::uint16_t type = directory.type(index);
        // One SHORT or LONG, held in the entry; UINT32_MAX, beyond every bound, for others.
        std::uint32_t value = std::numeric_limits<std::uint32_t>::max();
        if (directory.valueCount(index) == 1 && (type == TIFF_SHORT || type == TIFF_LONG))
        {
            value = type == TIFF_SHORT ? u16(directory.valueField(index), directory.bigEndian)
                                       : u32(directory.valueField(index), directory.bigEndian);
        }
        switch (directory.tag(index))
        {
        case TIFFTAG_IMAGEWIDTH:
            width = value;
            break;
        case TIFFTAG_IMAGELENGTH:
            height = value;
            break;
        case TIFFTAG_SAMPLESPERPIXEL:
            samples = value;
            break;
        case TIFFTAG_TILEWIDTH:
            tileWidth = value;
            break;
        case TIFFTAG_TILELENGTH:
            tileHeight = value;
            break;
        case TIFFTAG_TILEOFFSETS:
            tileOffsets = true;
            break;
        case TIFFTAG_STRIPOFFSETS:
            stripOffsets = true;
            break;
        default:
            break;
        }
    }

    /// Tiles come in multiples of 16 pixels (OpenImageIO writes no others), and overhang the
    /// image by less than that: a table of at most a tile per 256 pixels.
    [[nodiscard]] static bool tileFits(std::uint32_t tile, std::uint32_t edge)
    {
        return tile >= 16 && tile % 16 == 0 && tile <= (edge + 15) / 16 * 16;
    }

    [[nodiscard]] bool withinBounds() const
    {
        const auto maxEdge = static_cast<std::uint32_t>(kMaxFrameEdge);
        if (width < 1 || height < 1 || width > maxEdge || height > maxEdge || samples < 1 ||
            samples > 4)
        {
            return false;
        }
        if (tileWidth == 0 && tileHeight == 0 && !tileOffsets)
        {
            return stripOffsets; // a strip per row at most
        }
        return tileFits(tileWidth, width) && tileFits(tileHeight, height) && tileOffsets &&
               !stripOffsets;
    }
};

} // namespace

bool checkDirectory(int fd, DirectoryFacts* facts)
{
    const std::optional<TiffStart> start = readTiffStart(fd);
    if (!start || start->bigTiff)
    {
        return false; // BigTIFF isn't verified
    }
    const std::optional<StoredDirectory> main =
        readStoredDirectory(fd, start->firstDirectory, *start);
    if (!main || main->next != 0)
    {
        return false; // one image only: OpenImageIO reports the others as subimages
    }
    *facts = {};
    Geometry geometry;
    std::array<bool, kKnownTags.size()> seen{};
    for (std::size_t i = 0; i < main->count(); ++i)
    {
        const std::uint16_t tag = main->tag(i);
        const auto* known = std::find(kKnownTags.begin(), kKnownTags.end(), tag);
        // A tag given twice may mean one thing here and another to libtiff.
        if (known == kKnownTags.end() ||
            std::exchange(seen[static_cast<std::size_t>(known - kKnownTags.begin())], true))
        {
            return false;
        }
        geometry.take(*main, i);
        facts->predictor |= tag == TIFFTAG_PREDICTOR;
        facts->jpegTables |= tag == TIFFTAG_JPEGTABLES;
        facts->referenceBlackWhite |= tag == TIFFTAG_REFERENCEBLACKWHITE;
        facts->subsampling |= tag == TIFFTAG_YCBCRSUBSAMPLING;
        facts->colourMap |= tag == TIFFTAG_COLORMAP;
        if (tag == TIFFTAG_EXIFIFD)
        {
            // libtiff follows only a single LONG or IFD link, and ignores any other.
            const bool link = (main->type(i) == TIFF_LONG || main->type(i) == TIFF_IFD) &&
                              main->valueCount(i) == 1;
            const std::optional<StoredDirectory> exif =
                link ? readStoredDirectory(fd, main->valueOffset(i), *start) : std::nullopt;
            // A short value sits at the start of the entry's value field in either order.
            if (!exif || exif->count() != 1 || exif->tag(0) != EXIFTAG_COLORSPACE ||
                exif->type(0) != TIFF_SHORT || exif->valueCount(0) != 1 ||
                u16(exif->valueField(0), start->bigEndian) != 1)
            {
                return false;
            }
            facts->exifSrgb = true;
        }
    }
    return geometry.withinBounds();
}

} // namespace huecast::host::frames
