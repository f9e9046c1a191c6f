// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
//
// TIFF frames written through libtiff. The writer makes the calls OpenImageIO's TIFF writer
// makes for a source the reader took, in its order (strips or tiles, one plane or a plane per
// channel, its compressions and their predictors, JPEG in YCbCr at its quality), but keeps the
// resolution as the source stores it.
#include <algorithm>
#include <array>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <tiffio.h>
#include <unistd.h>

#include "host/frames/BufferedFile.h"
#include "host/frames/CommonFormats.h"
#include "host/frames/TiffLayout.h"

namespace huecast::host::frames
{
namespace
{

/// The deflate level OpenImageIO's writer uses when the name gives none.
constexpr int kZipQuality = 6;
/// The JPEG quality OpenImageIO's writer uses when the name gives none.
constexpr int kJpegQuality = 95;
/// OpenImageIO's writer puts JPEG in strips of this many rows.
constexpr std::uint32_t kJpegRowsPerStrip = 64;

/// What the writer stores: the samples, the compression and the strips.
struct Written
{
    int bits = 8;
    bool floats = false;
    std::uint16_t compression = COMPRESSION_NONE;
    int quality = -1; ///< the deflate level or JPEG quality a name gave; -1 none
    std::uint32_t rowsPerStrip = 0;
};

// ---- libtiff on the buffered file ----

tmsize_t fileRead(thandle_t handle, void* into, tmsize_t size)
{
    return size < 0 ? 0
                    : static_cast<tmsize_t>(static_cast<BufferedFile*>(handle)->read(
                          into, static_cast<std::size_t>(size)));
}

tmsize_t fileWrite(thandle_t handle, void* from, tmsize_t size)
{
    return size >= 0 &&
                   static_cast<BufferedFile*>(handle)->write(from, static_cast<std::size_t>(size))
               ? size
               : -1;
}

toff_t fileSeek(thandle_t handle, toff_t offset, int whence)
{
    return static_cast<BufferedFile*>(handle)->seek(offset, whence);
}

int fileClose(thandle_t /*handle*/)
{
    return 0;
}

toff_t fileSize(thandle_t handle)
{
    return static_cast<BufferedFile*>(handle)->size();
}

int noMap(thandle_t /*handle*/, void** /*base*/, toff_t* /*size*/)
{
    return 0;
}

void noUnmap(thandle_t /*handle*/, void* /*base*/, toff_t /*size*/) {}

/// Closes a descriptor on the way out, unless it was released.
struct FdCloser
{
    int fd;
    explicit FdCloser(int descriptor) : fd(descriptor) {}
    FdCloser(const FdCloser&) = delete;
    FdCloser& operator=(const FdCloser&) = delete;
    ~FdCloser()
    {
        if (fd >= 0)
        {
            ::close(fd);
        }
    }
};

// ---- what is written ----

/// The stored samples the depth asks for, as OpenImageIO's writer stores them; false where the
/// module doesn't turn the frame's values into them as OpenImageIO does.
bool chooseSamples(const Frame& frame, const TiffLayout& layout, StoredDepth depth,
                   Written* written)
{
    switch (depth)
    {
    case StoredDepth::Kept:
        // OpenImageIO's writer stores a half source's samples as floats.
        written->bits = layout.floats ? 32 : layout.bits;
        written->floats = layout.floats;
        break;
    case StoredDepth::UInt8:
    case StoredDepth::UInt16:
        written->bits = depth == StoredDepth::UInt8 ? 8 : 16;
        break;
    case StoredDepth::Float:
        written->bits = 32;
        written->floats = true;
        break;
    case StoredDepth::Half:
        return false; // it stores floats instead, which the OpenImageIO module calls a failure
    }
    // OpenImageIO rounds floats to integers one way four at a time and another for a row's
    // last few: float frames go to floats only. A 1-bit source's graded colour it keeps at 1
    // bit, from 8-bit frames.
    return (frame.type() != PixelType::Float || written->floats) &&
           (written->bits != 1 || frame.type() == PixelType::UInt8);
}

/// The compression a user's name asks for, as OpenImageIO's writer reads it ("zip:9": deflate
/// at level 9); 0 for names the module doesn't take.
std::uint16_t namedCompression(const std::string& name, int* quality)
{
    constexpr std::array<std::pair<const char*, std::uint16_t>, 5> kNames = {{
        {"none", COMPRESSION_NONE},
        {"lzw", COMPRESSION_LZW},
        {"zip", COMPRESSION_ADOBE_DEFLATE},
        {"packbits", COMPRESSION_PACKBITS},
        {"jpeg", COMPRESSION_JPEG},
    }};
    const std::string_view text(name);
    const std::size_t colon = text.find(':');
    if (colon != std::string_view::npos)
    {
        const std::string_view digits = text.substr(colon + 1);
        const auto [end, error] =
            std::from_chars(digits.data(), digits.data() + digits.size(), *quality);
        if (error != std::errc{} || end != digits.data() + digits.size())
        {
            return 0;
        }
    }
    for (const auto& [known, code] : kNames)
    {
        if (equalsIgnoringCase(text.substr(0, colon), known))
        {
            return code;
        }
    }
    return 0;
}

/// The compression the writer stores for the source's or the named one, and its strips; false
/// for names the module doesn't take, for JPEG in planes, which libtiff refuses in
/// OpenImageIO's strips of a row, and for JPEG in tiles, which OpenImageIO can't read back.
bool chooseCompression(const TiffLayout& layout, const std::string& name, int channels,
                       std::uint32_t height, Written* written)
{
    written->compression =
        name.empty() ? layout.compression : namedCompression(name, &written->quality);
    if (written->compression == 0)
    {
        return false;
    }
    if (written->compression == COMPRESSION_JPEG &&
        (written->bits != 8 || written->floats || channels != 3))
    {
        // OpenImageIO's writer keeps JPEG for 8-bit RGB, and deflates the rest.
        written->compression = COMPRESSION_ADOBE_DEFLATE;
        written->quality = -1;
    }
    if (written->compression == COMPRESSION_JPEG && (layout.separate || layout.tileWidth > 0))
    {
        return false;
    }
    if (layout.separate)
    {
        written->rowsPerStrip = 1; // its only strips for planes
    }
    else if (written->compression == COMPRESSION_JPEG)
    {
        written->rowsPerStrip = std::min<std::uint32_t>(kJpegRowsPerStrip, height);
    }
    else
    {
        // The source's rows per strip, or the writer's own 32.
        written->rowsPerStrip = layout.rowsPerStrip > 0
                                    ? std::clamp<std::uint32_t>(layout.rowsPerStrip, 1, height)
                                    : 32;
    }
    return true;
}

// ---- tags ----

/// The resolution tags as the source stores them: OpenImageIO reports them so, zeros and
/// tiny or contradicting densities included, and reads back what is written here.
void setResolution(TIFF* tif, const TiffLayout& layout)
{
    if (layout.xResolution && layout.yResolution)
    {
        TIFFSetField(tif, TIFFTAG_XRESOLUTION, static_cast<double>(*layout.xResolution));
        TIFFSetField(tif, TIFFTAG_YRESOLUTION, static_cast<double>(*layout.yResolution));
    }
    if (layout.resolutionUnit)
    {
        TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, static_cast<int>(*layout.resolutionUnit));
    }
}

/// The compression, its predictor and quality, and the photometric it implies.
void setCompression(TIFF* tif, const Written& written)
{
    TIFFSetField(tif, TIFFTAG_COMPRESSION, written.compression);
    if (written.compression == COMPRESSION_LZW || written.compression == COMPRESSION_ADOBE_DEFLATE)
    {
        if (written.bits != 1) // libtiff has no predictor for bits
        {
            TIFFSetField(tif, TIFFTAG_PREDICTOR,
                         written.floats ? PREDICTOR_FLOATINGPOINT : PREDICTOR_HORIZONTAL);
        }
        if (written.compression == COMPRESSION_ADOBE_DEFLATE)
        {
            TIFFSetField(tif, TIFFTAG_ZIPQUALITY,
                         written.quality > 0 ? std::min(written.quality, 9) : kZipQuality);
        }
    }
    else if (written.compression == COMPRESSION_JPEG)
    {
        TIFFSetField(tif, TIFFTAG_JPEGQUALITY,
                     written.quality > 0 ? std::min(written.quality, 100) : kJpegQuality);
        // libjpeg turns the RGB given into YCbCr, its chroma halved both ways.
        TIFFSetField(tif, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);
        TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_YCBCR);
        return;
    }
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
}

/// Software and DateTime are kept in the order they were set, which decides where their text
/// lands: the source's order, and what the source lacked after it.
void setStamps(TIFF* tif, const TiffLayout& layout)
{
    const std::string stamp = layout.dateTime.value_or(timeOfWriting());
    if (layout.dateTime && !layout.software)
    {
        TIFFSetField(tif, TIFFTAG_DATETIME, stamp.c_str());
    }
    TIFFSetField(tif, TIFFTAG_SOFTWARE, kSoftware);
    if (!layout.dateTime || layout.software)
    {
        TIFFSetField(tif, TIFFTAG_DATETIME, stamp.c_str());
    }
}

/// OpenImageIO's writer's calls for the layout, from opening to the first checkpoint.
void setTags(TIFF* tif, const Frame& frame, const TiffLayout& layout, int channels,
             const Written& written)
{
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, frame.width());
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, frame.height());
    if (layout.tileWidth > 0)
    {
        TIFFSetField(tif, TIFFTAG_TILEWIDTH, layout.tileWidth);
        TIFFSetField(tif, TIFFTAG_TILELENGTH, layout.tileHeight);
    }
    else
    {
        TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, written.rowsPerStrip);
    }
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, channels);
    TIFFSetField(tif, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, written.bits);
    TIFFSetField(tif, TIFFTAG_SAMPLEFORMAT,
                 written.floats ? SAMPLEFORMAT_IEEEFP : SAMPLEFORMAT_UINT);
    setCompression(tif, written);
    if (channels == 4)
    {
        const std::uint16_t unassociated = EXTRASAMPLE_UNASSALPHA;
        TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, 1, &unassociated);
    }
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG,
                 layout.separate ? PLANARCONFIG_SEPARATE : PLANARCONFIG_CONTIG);
    setResolution(tif, layout);
    if (layout.subfileType)
    {
        TIFFSetField(tif, TIFFTAG_SUBFILETYPE, *layout.subfileType);
    }
    for (const auto& [tag, text] : layout.texts)
    {
        TIFFSetField(tif, tag, text.c_str());
    }
    if (!layout.profile.empty())
    {
        TIFFSetField(tif, TIFFTAG_ICCPROFILE, static_cast<std::uint32_t>(layout.profile.size()),
                     layout.profile.data());
    }
    setStamps(tif, layout);
}

/// The Exif directory OpenImageIO adds for sRGB, and its link from the image's directory.
bool writeExif(TIFF* tif)
{
    std::uint64_t offset = 0;
    return TIFFCreateEXIFDirectory(tif) == 0 && TIFFSetField(tif, EXIFTAG_COLORSPACE, 1) == 1 &&
           TIFFWriteCustomDirectory(tif, &offset) == 1 && TIFFSetDirectory(tif, 0) == 1 &&
           TIFFSetField(tif, TIFFTAG_EXIFIFD, offset) == 1;
}

// ---- pixels ----

/// An 8-bit RGBA row as RGB, a word a pixel: each pixel's four bytes are written whole and the
/// next pixel's red overwrites the fourth. The last pixel, whose fourth byte would land past the
/// row, goes alone.
void packRgb8(const std::uint8_t* pixel, std::uint8_t* into, std::uint32_t width)
{
    if (width == 0)
    {
        return;
    }
    for (std::uint32_t x = 0; x + 1 < width; ++x)
    {
        std::uint32_t value = 0;
        std::memcpy(&value, pixel + std::size_t{x} * Frame::kChannels, sizeof value);
        std::memcpy(into + std::size_t{x} * 3, &value, sizeof value);
    }
    std::memcpy(into + std::size_t{width - 1} * 3,
                pixel + std::size_t{width - 1} * Frame::kChannels, 3);
}

/// One row of the frame as the file stores it: `Channels` of RGBA, at the stored depth.
template <typename From, typename To, std::size_t Channels>
void packRow(const Frame& frame, std::uint32_t y, To* into)
{
    const From* pixel = frame.rowAs<From>(y).data();
    // A local width: the byte stores below may alias the frame, which would reload it each pixel.
    const std::uint32_t width = frame.width();
    if constexpr (std::is_same_v<From, std::uint8_t> && std::is_same_v<To, std::uint8_t> &&
                  Channels == 3)
    {
        packRgb8(pixel, into, width);
        return;
    }
    for (std::uint32_t x = 0; x < width; ++x, pixel += Frame::kChannels, into += Channels)
    {
        for (std::size_t c = 0; c < Channels; ++c)
        {
            if constexpr (std::is_same_v<From, To>)
            {
                into[c] = pixel[c];
            }
            else if constexpr (std::is_floating_point_v<To>)
            {
                // OpenImageIO's conversion: a float multiply by the reciprocal of the largest
                // value, not a division.
                constexpr float kScale =
                    1.0F / static_cast<float>(std::numeric_limits<From>::max());
                into[c] = static_cast<float>(pixel[c]) * kScale;
            }
            else if constexpr (sizeof(From) < sizeof(To))
            {
                into[c] = static_cast<To>(pixel[c] * 257U); // 8 to 16 bits, exactly
            }
            else
            {
                // 16 to 8 bits, rounded to nearest as OpenImageIO's conversion through float
                // does for every value
                into[c] = static_cast<To>((pixel[c] * 255U + 32767U) / 65535U);
            }
        }
    }
}

template <typename From, typename To>
void packRows(const Frame& frame, std::uint32_t top, std::uint32_t rows, int channels,
              std::byte* into)
{
    const std::size_t rowValues = std::size_t{frame.width()} * static_cast<std::size_t>(channels);
    auto* values = reinterpret_cast<To*>(into);
    for (std::uint32_t row = 0; row < rows; ++row)
    {
        if (channels == 3)
        {
            packRow<From, To, 3>(frame, top + row, values + row * rowValues);
        }
        else
        {
            packRow<From, To, 4>(frame, top + row, values + row * rowValues);
        }
    }
}

template <typename From> PackRows packerFrom([[maybe_unused]] const Written& written)
{
    if constexpr (std::is_floating_point_v<From>)
    {
        return packRows<From, float>; // chooseSamples lets float frames to floats only
    }
    else
    {
        if (written.floats)
        {
            return packRows<From, float>;
        }
        return written.bits == 8 ? packRows<From, std::uint8_t> : packRows<From, std::uint16_t>;
    }
}

PackRows packer(const Frame& frame, const Written& written)
{
    switch (frame.type())
    {
    case PixelType::UInt8:
        return packerFrom<std::uint8_t>(written);
    case PixelType::UInt16:
        return packerFrom<std::uint16_t>(written);
    case PixelType::Float:
        return packerFrom<float>(written);
    }
    return nullptr;
}

/// Writes an 8-bit frame's `channels` at one bit each, in strips of `rowsPerStrip` rows: the top
/// bit of each value, first in its byte, as OpenImageIO narrows 8 bits to 1.
bool writeBits(TIFF* tif, const Frame& frame, int channels, std::uint32_t rowsPerStrip)
{
    const auto values = static_cast<std::size_t>(channels);
    const std::size_t rowBytes = (frame.width() * values + 7) / 8;
    std::vector<std::uint8_t> strip(rowBytes * rowsPerStrip);
    for (std::uint32_t top = 0; top < frame.height(); top += rowsPerStrip)
    {
        const std::uint32_t rows = std::min(rowsPerStrip, frame.height() - top);
        std::fill(strip.begin(), strip.end(), std::uint8_t{0});
        for (std::uint32_t row = 0; row < rows; ++row)
        {
            const std::span<const std::uint8_t> pixels = frame.rowAs<std::uint8_t>(top + row);
            std::uint8_t* const bits = strip.data() + row * rowBytes;
            for (std::size_t i = 0; i < frame.width() * values; ++i)
            {
                const std::uint8_t value = pixels[i / values * Frame::kChannels + i % values];
                bits[i / 8] |= static_cast<std::uint8_t>((value >> 7U) << (7U - i % 8));
            }
        }
        if (TIFFWriteEncodedStrip(tif, TIFFComputeStrip(tif, top, 0), strip.data(),
                                  static_cast<tmsize_t>(rowBytes * rows)) < 0)
        {
            return false;
        }
    }
    return true;
}

} // namespace

bool writeTiff(const std::string& destination, const Frame& frame, const StoredLayout& layout,
               int channels, const FrameWriteOptions& options)
{
    const auto& stored = static_cast<const TiffLayout&>(layout);
    Written written;
    if ((channels != 3 && channels != 4) ||
        !chooseSamples(frame, stored, options.depth, &written) ||
        !chooseCompression(stored, options.compression, channels, frame.height(), &written))
    {
        return false;
    }

    // Read as well as written: linking an Exif directory reads the image's back.
    FdCloser destinationFd(
        ::open(destination.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
    if (destinationFd.fd < 0)
    {
        return false;
    }
    BufferedFile file(destinationFd.fd);
    const auto tiffOptions = quietTiffOptions();
    TiffHandle tif(tiffOptions ? TIFFClientOpenExt(destination.c_str(), "w", &file, fileRead,
                                                   fileWrite, fileSeek, fileClose, fileSize, noMap,
                                                   noUnmap, tiffOptions.get())
                               : nullptr);
    if (!tif)
    {
        return false;
    }
    setTags(tif.get(), frame, stored, channels, written);
    if (TIFFCheckpointDirectory(tif.get()) != 1)
    {
        return false;
    }
    // The directory is finished where the checkpoint put it (JPEG's once more after its strips,
    // as OpenImageIO's writer does); an Exif link added after that moves it to the end of the
    // file when it is closed.
    if (!(written.bits == 1
              ? writeBits(tif.get(), frame, channels, written.rowsPerStrip)
              : writePixels(tif.get(), frame, stored, written.rowsPerStrip, packer(frame, written),
                            channels, static_cast<std::size_t>(written.bits / 8))) ||
        (written.compression == COMPRESSION_JPEG && TIFFCheckpointDirectory(tif.get()) != 1) ||
        TIFFWriteDirectory(tif.get()) != 1 || (stored.exifSrgb && !writeExif(tif.get())) ||
        TIFFFlush(tif.get()) != 1)
    {
        return false;
    }
    // Everything is written: closing reports no failure, and what the file took is its own.
    TIFF* const closing = tif.release();
    TIFFClose(closing);
    return file.flush() && ::close(std::exchange(destinationFd.fd, -1)) == 0;
}

} // namespace huecast::host::frames
