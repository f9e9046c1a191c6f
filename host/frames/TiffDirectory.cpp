// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#include "host/frames/TiffDirectory.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <optional>
#include <vector>

#include <tiffio.h>
#include <unistd.h>

namespace huecast::host::frames
{
namespace
{

/// The tags whose meaning to OpenImageIO, and back through its writer, the module reproduces.
constexpr std::array<std::uint16_t, 29> kKnownTags = {
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
};

struct Directory
{
    std::vector<unsigned char> entries; ///< 12 bytes each
    std::uint32_t next = 0;
    bool bigEndian = false;

    [[nodiscard]] std::size_t count() const { return entries.size() / 12; }
    [[nodiscard]] std::uint16_t tag(std::size_t index) const
    {
        return u16(&entries[index * 12], bigEndian);
    }
    [[nodiscard]] const unsigned char* entry(std::size_t index) const
    {
        return &entries[index * 12];
    }
};

std::optional<Directory> readDirectory(int fd, std::uint32_t offset, bool bigEndian)
{
    std::array<unsigned char, 2> count{};
    if (offset == 0 || !readAt(fd, offset, count.data(), count.size()))
    {
        return std::nullopt;
    }
    Directory directory;
    directory.bigEndian = bigEndian;
    directory.entries.resize(std::size_t{u16(count.data(), bigEndian)} * 12 + 4);
    if (!readAt(fd, offset + 2, directory.entries.data(), directory.entries.size()))
    {
        return std::nullopt;
    }
    directory.next = u32(&directory.entries[directory.entries.size() - 4], bigEndian);
    directory.entries.resize(directory.entries.size() - 4);
    return directory;
}

} // namespace

bool readAt(int fd, std::uint64_t offset, void* into, std::size_t size)
{
    auto* bytes = static_cast<unsigned char*>(into);
    while (size > 0)
    {
        const ssize_t count = ::pread(fd, bytes, size, static_cast<off_t>(offset));
        if (count < 0 && errno == EINTR)
        {
            continue;
        }
        if (count <= 0)
        {
            return false;
        }
        bytes += count;
        offset += static_cast<std::uint64_t>(count);
        size -= static_cast<std::size_t>(count);
    }
    return true;
}

/// Whether the file is a classic TIFF (either byte order) of one image that carries only known
/// tags, and an Exif directory, if any, that holds just the sRGB colour space; says whether there
/// is such a directory, and a predictor.
bool onlyKnownTags(int fd, bool* exifSrgb, bool* predictor)
{
    std::array<unsigned char, 8> header{};
    if (!readAt(fd, 0, header.data(), header.size()))
    {
        return false;
    }
    const bool big = header[0] == 'M' && header[1] == 'M';
    if ((!big && (header[0] != 'I' || header[1] != 'I')) || u16(&header[2], big) != 42)
    {
        return false; // BigTIFF isn't verified
    }
    const std::optional<Directory> main = readDirectory(fd, u32(&header[4], big), big);
    if (!main || main->next != 0)
    {
        return false; // one image only: OpenImageIO reports the others as subimages
    }
    *exifSrgb = false;
    *predictor = false;
    for (std::size_t i = 0; i < main->count(); ++i)
    {
        const std::uint16_t tag = main->tag(i);
        if (std::find(kKnownTags.begin(), kKnownTags.end(), tag) == kKnownTags.end())
        {
            return false;
        }
        *predictor |= tag == TIFFTAG_PREDICTOR;
        if (tag == TIFFTAG_EXIFIFD)
        {
            const std::optional<Directory> exif =
                readDirectory(fd, u32(main->entry(i) + 8, big), big);
            // A short value sits at the start of the entry's value field in either order.
            if (!exif || exif->count() != 1 || exif->tag(0) != EXIFTAG_COLORSPACE ||
                u16(exif->entry(0) + 2, big) != TIFF_SHORT || u32(exif->entry(0) + 4, big) != 1 ||
                u16(exif->entry(0) + 8, big) != 1)
            {
                return false;
            }
            *exifSrgb = true;
        }
    }
    return true;
}

} // namespace huecast::host::frames
