// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
//
// The pixels of a TIFF file in its blocks: strips or tiles, in one plane or a plane per channel,
// read into a packed image and written from one.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include <tiffio.h>

#include "host/frames/TiffDirectory.h"
#include "host/frames/TiffLayout.h"

namespace huecast::host::frames
{
namespace
{

/// How a file's pixels are cut: strips (a block as wide as the image) or tiles, in one plane
/// or a plane per channel.
struct TiffBlocks
{
    std::uint32_t width = 0; ///< of a block, in pixels
    std::uint32_t height = 0;
    std::uint32_t across = 0; ///< blocks in a row of them
    std::uint32_t down = 0;
    std::uint32_t planes = 1;
    bool tiled = false;

    TiffBlocks(std::uint32_t imageWidth, std::uint32_t imageHeight, const TiffLayout& layout,
               std::uint32_t rowsPerStrip, int channels)
        : width(layout.tileWidth > 0 ? layout.tileWidth : imageWidth),
          height(layout.tileWidth > 0 ? layout.tileHeight : rowsPerStrip),
          across((imageWidth + width - 1) / width), down((imageHeight + height - 1) / height),
          planes(layout.separate ? static_cast<std::uint32_t>(channels) : 1),
          tiled(layout.tileWidth > 0)
    {
    }
};

// ---- reading ----

/// Reads contiguous strips, packed, into `into`: uncompressed strips that follow each other in
/// the file in one read each run (a 1080p RGB frame from ffmpeg has a strip per row).
bool readStrips(TIFF* tif, int fd, std::byte* into, std::size_t packedRow,
                std::uint32_t rowsPerStrip, std::uint32_t height)
{
    const std::uint32_t strips = TIFFNumberOfStrips(tif);
    std::uint64_t* offsets = nullptr;
    std::uint64_t* counts = nullptr;
    if (TIFFGetField(tif, TIFFTAG_STRIPOFFSETS, &offsets) != 1 ||
        TIFFGetField(tif, TIFFTAG_STRIPBYTECOUNTS, &counts) != 1 || offsets == nullptr ||
        counts == nullptr)
    {
        return false;
    }
    std::uint16_t compression = COMPRESSION_NONE;
    TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &compression);
    if (compression != COMPRESSION_NONE)
    {
        for (std::uint32_t strip = 0; strip < strips; ++strip)
        {
            const std::size_t bytes =
                packedRow * std::min(rowsPerStrip, height - strip * rowsPerStrip);
            if (TIFFReadEncodedStrip(tif, strip, into + packedRow * strip * rowsPerStrip,
                                     static_cast<tmsize_t>(bytes)) != static_cast<tmsize_t>(bytes))
            {
                return false;
            }
        }
        return true;
    }
    std::uint64_t runStart = 0;
    std::size_t runBytes = 0;
    std::byte* runInto = into;
    for (std::uint32_t strip = 0; strip <= strips; ++strip)
    {
        std::size_t bytes = 0;
        if (strip < strips)
        {
            bytes = packedRow * std::min(rowsPerStrip, height - strip * rowsPerStrip);
            if (counts[strip] < bytes)
            {
                return false; // libtiff calls a short strip an error
            }
            if (runBytes > 0 && offsets[strip] == runStart + runBytes)
            {
                runBytes += bytes;
                continue;
            }
        }
        if (runBytes > 0 && !readAt(fd, runStart, runInto, runBytes))
        {
            return false;
        }
        runInto += runBytes;
        runStart = strip < strips ? offsets[strip] : 0;
        runBytes = bytes;
    }
    return true;
}

/// Copies `count` samples of `Bytes` each into every `stride` bytes: a plane's row into pixels.
template <std::size_t Bytes>
void scatter(const std::byte* from, std::byte* to, std::size_t count, std::size_t stride)
{
    for (std::size_t i = 0; i < count; ++i)
    {
        std::memcpy(to + i * stride, from + i * Bytes, Bytes);
    }
}

/// How the frame's start holds the packed samples.
struct Packing
{
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::size_t sampleBytes = 0;
    std::size_t pixelBytes = 0;
};

/// Places one row of a block, `columns` wide, at `to`: a plane's samples go between the others.
void placeRow(const std::byte* from, std::byte* to, std::size_t columns, std::uint32_t plane,
              const TiffBlocks& blocks, const Packing& packing)
{
    if (blocks.planes == 1)
    {
        std::memcpy(to, from, columns * packing.pixelBytes);
        return;
    }
    to += plane * packing.sampleBytes;
    switch (packing.sampleBytes)
    {
    case 1:
        scatter<1>(from, to, columns, packing.pixelBytes);
        break;
    case 2:
        scatter<2>(from, to, columns, packing.pixelBytes);
        break;
    default:
        scatter<4>(from, to, columns, packing.pixelBytes);
        break;
    }
}

/// Reads tiles, or strips of a plane each, one block at a time into a scratch block whose rows
/// then go to their places in `into`.
bool readBlocks(TIFF* tif, const TiffBlocks& blocks, const Packing& packing, std::byte* into)
{
    const std::size_t blockRow =
        std::size_t{blocks.width} * (blocks.planes == 1 ? packing.pixelBytes : packing.sampleBytes);
    const std::size_t blockBytes = blockRow * blocks.height;
    const tmsize_t libtiffBytes = blocks.tiled ? TIFFTileSize(tif) : TIFFStripSize(tif);
    const std::uint32_t count = blocks.tiled ? TIFFNumberOfTiles(tif) : TIFFNumberOfStrips(tif);
    if (libtiffBytes <= 0 || static_cast<std::size_t>(libtiffBytes) != blockBytes ||
        count != blocks.across * blocks.down * blocks.planes)
    {
        return false;
    }
    std::vector<std::byte> block(blockBytes);
    for (std::uint32_t index = 0; index < count; ++index)
    {
        const std::uint32_t plane = index / (blocks.across * blocks.down);
        const std::uint32_t top = index / blocks.across % blocks.down * blocks.height;
        const std::uint32_t left = index % blocks.across * blocks.width;
        const std::uint32_t rows = std::min(blocks.height, packing.height - top);
        const std::size_t wanted = blocks.tiled ? blockBytes : blockRow * rows;
        const tmsize_t got =
            blocks.tiled
                ? TIFFReadEncodedTile(tif, index, block.data(), static_cast<tmsize_t>(wanted))
                : TIFFReadEncodedStrip(tif, index, block.data(), static_cast<tmsize_t>(wanted));
        if (got != static_cast<tmsize_t>(wanted))
        {
            return false;
        }
        const std::size_t columns = std::min(blocks.width, packing.width - left);
        for (std::uint32_t row = 0; row < rows; ++row)
        {
            placeRow(block.data() + row * blockRow,
                     into + (std::size_t{top + row} * packing.width + left) * packing.pixelBytes,
                     columns, plane, blocks, packing);
        }
    }
    return true;
}

// ---- writing ----

/// Copies plane `plane` of `count` packed pixels of `pixelBytes` into `to`.
void gatherPlane(const std::byte* from, std::byte* to, std::size_t count, std::size_t pixelBytes,
                 std::size_t sampleBytes, std::uint32_t plane)
{
    from += plane * sampleBytes;
    for (std::size_t i = 0; i < count; ++i)
    {
        std::memcpy(to + i * sampleBytes, from + i * pixelBytes, sampleBytes);
    }
}

/// Writes a packed row, or a packed tile at (left, top), in one plane or a plane per channel.
class BlockWriter
{
public:
    BlockWriter(TIFF* tif, const TiffBlocks& blocks, std::size_t sampleBytes, int channels)
        : m_tif(tif), m_blocks(blocks), m_sampleBytes(sampleBytes),
          m_pixelBytes(sampleBytes * static_cast<std::size_t>(channels)),
          m_plane(blocks.planes > 1 ? std::size_t{blocks.width} * blocks.height * sampleBytes : 0)
    {
    }

    [[nodiscard]] std::size_t pixelBytes() const { return m_pixelBytes; }

    [[nodiscard]] bool write(std::byte* packed, std::uint32_t left, std::uint32_t top)
    {
        const std::size_t pixels =
            std::size_t{m_blocks.width} * (m_blocks.tiled ? m_blocks.height : 1);
        for (std::uint32_t plane = 0; plane < m_blocks.planes; ++plane)
        {
            std::byte* from = packed;
            if (m_blocks.planes > 1)
            {
                gatherPlane(packed, m_plane.data(), pixels, m_pixelBytes, m_sampleBytes, plane);
                from = m_plane.data();
            }
            const auto sample = static_cast<std::uint16_t>(plane);
            if ((m_blocks.tiled ? TIFFWriteTile(m_tif, from, left, top, 0, sample)
                                : TIFFWriteScanline(m_tif, from, top, sample)) < 0)
            {
                return false;
            }
        }
        return true;
    }

private:
    TIFF* m_tif;
    const TiffBlocks& m_blocks;
    std::size_t m_sampleBytes;
    std::size_t m_pixelBytes;
    std::vector<std::byte> m_plane;
};

/// Writes the pixels a band of rows at a time: a scan line per row in strips, a row of tiles
/// in tiles, each tile zero past the image's edge as the OpenImageIO module hands it over.
bool writeBlocks(TIFF* tif, const Frame& frame, const TiffBlocks& blocks, PackRows pack,
                 int channels, std::size_t sampleBytes)
{
    BlockWriter writer(tif, blocks, sampleBytes, channels);
    const std::uint32_t bandRows = blocks.tiled ? blocks.height : 1;
    const std::size_t bandRow = std::size_t{frame.width()} * writer.pixelBytes();
    std::vector<std::byte> band(bandRow * bandRows);
    const std::size_t tileRow = std::size_t{blocks.width} * writer.pixelBytes();
    std::vector<std::byte> tile(blocks.tiled ? tileRow * blocks.height : 0);
    for (std::uint32_t top = 0; top < frame.height(); top += bandRows)
    {
        const std::uint32_t rows = std::min(bandRows, frame.height() - top);
        pack(frame, top, rows, channels, band.data());
        if (!blocks.tiled)
        {
            if (!writer.write(band.data(), 0, top))
            {
                return false;
            }
            continue;
        }
        for (std::uint32_t left = 0; left < frame.width(); left += blocks.width)
        {
            std::fill(tile.begin(), tile.end(), std::byte{0});
            const std::size_t bytes =
                std::min(blocks.width, frame.width() - left) * writer.pixelBytes();
            for (std::uint32_t row = 0; row < rows; ++row)
            {
                std::memcpy(tile.data() + row * tileRow,
                            band.data() + row * bandRow + left * writer.pixelBytes(), bytes);
            }
            if (!writer.write(tile.data(), left, top))
            {
                return false;
            }
        }
    }
    return true;
}

} // namespace

bool readPackedPixels(TIFF* tif, int fd, const TiffLayout& layout, Frame* frame, int samples)
{
    Packing packing{frame->width(), frame->height(), std::size_t{layout.bits} / 8, 0};
    packing.pixelBytes = packing.sampleBytes * static_cast<std::size_t>(samples);
    std::uint32_t rowsPerStrip = packing.height;
    TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &rowsPerStrip);
    rowsPerStrip = std::clamp<std::uint32_t>(rowsPerStrip, 1, packing.height);
    const TiffBlocks blocks(packing.width, packing.height, layout, rowsPerStrip, samples);
    if (blocks.tiled || blocks.planes > 1)
    {
        return readBlocks(tif, blocks, packing, frame->data());
    }
    const std::size_t packedRow = std::size_t{packing.width} * packing.pixelBytes;
    const tmsize_t stripSize = TIFFStripSize(tif);
    if (stripSize <= 0 || static_cast<std::size_t>(stripSize) != packedRow * rowsPerStrip ||
        TIFFNumberOfStrips(tif) != blocks.down ||
        !readStrips(tif, fd, frame->data(), packedRow, rowsPerStrip, packing.height))
    {
        return false;
    }
    // libtiff puts decoded values in the machine's order; strips read as stored keep the file's.
    if (layout.compression == COMPRESSION_NONE && TIFFIsByteSwapped(tif) != 0)
    {
        const std::size_t values = packedRow / packing.sampleBytes * packing.height;
        if (packing.sampleBytes == 2)
        {
            TIFFSwabArrayOfShort(reinterpret_cast<std::uint16_t*>(frame->data()),
                                 static_cast<tmsize_t>(values));
        }
        else if (packing.sampleBytes == 4)
        {
            TIFFSwabArrayOfLong(reinterpret_cast<std::uint32_t*>(frame->data()),
                                static_cast<tmsize_t>(values));
        }
    }
    return true;
}

bool writePixels(TIFF* tif, const Frame& frame, const TiffLayout& layout,
                 std::uint32_t rowsPerStrip, PackRows pack, int channels, std::size_t sampleBytes)
{
    return writeBlocks(tif, frame,
                       TiffBlocks(frame.width(), frame.height(), layout, rowsPerStrip, channels),
                       pack, channels, sampleBytes);
}

} // namespace huecast::host::frames
