// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
//
// TIFF frames read through libtiff. The reader takes one image of grey, grey and alpha, RGB or
// RGBA in 8- or 16-bit unsigned or 16- or 32-bit float samples, in strips or tiles, in one plane
// or a plane per channel, uncompressed, LZW, deflate or PackBits, and 8-bit RGB in YCbCr JPEG,
// whose every tag it knows what OpenImageIO makes of; it reads the pixels as OpenImageIO does.
#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <tiffio.h>
#include <unistd.h>

#include "host/frames/CommonFormats.h"
#include "host/frames/HalfFloats.h"
#include "host/frames/TiffDirectory.h"
#include "host/frames/TiffLayout.h"

namespace huecast::host::frames
{
namespace
{

// ---- pixels ----

/// Spreads `Channels` packed values per pixel from `from` over RGBA at `to`, grey over colour
/// and alpha opaque where the file has none, from the last pixel back: where the two are one
/// buffer, nothing is overwritten before it is read.
template <typename T, std::size_t Channels>
void spread(const T* from, T* to, std::size_t pixels, T opaque)
{
    for (std::size_t i = pixels; i-- > 0;)
    {
        const T* source = from + i * Channels;
        T* pixel = to + i * Frame::kChannels;
        const T first = source[0];
        const T second = Channels > 2 ? source[1] : first;
        const T third = Channels > 2 ? source[2] : first;
        const T alpha = Channels == 2 ? source[1] : (Channels == 4 ? source[3] : opaque);
        pixel[0] = first;
        pixel[1] = second;
        pixel[2] = third;
        pixel[3] = alpha;
    }
}

/// 8-bit RGB spread as above a word a pixel: each pixel's four bytes are read whole and the
/// fourth, the next pixel's red, becomes the alpha. The last pixel, whose fourth byte may lie
/// past `from`, goes alone first. In place, a pixel's word is read before any write reaches it.
void spreadRgb8(const std::uint8_t* from, std::uint8_t* to, std::size_t pixels, std::uint8_t opaque)
{
    if (pixels == 0)
    {
        return;
    }
    spread<std::uint8_t, 3>(from + (pixels - 1) * 3, to + (pixels - 1) * 4, 1, opaque);
    constexpr bool kLittle = std::endian::native == std::endian::little;
    constexpr std::uint32_t kColour = kLittle ? 0x00FFFFFFU : 0xFFFFFF00U;
    const std::uint32_t alpha = kLittle ? std::uint32_t{opaque} << 24U : opaque;
    for (std::size_t i = pixels - 1; i-- > 0;)
    {
        std::uint32_t pixel = 0;
        std::memcpy(&pixel, from + i * 3, sizeof pixel);
        pixel = (pixel & kColour) | alpha;
        std::memcpy(to + i * 4, &pixel, sizeof pixel);
    }
}

template <typename T> void spread(const T* from, T* to, std::size_t pixels, int channels, T opaque)
{
    switch (channels)
    {
    case 1:
        spread<T, 1>(from, to, pixels, opaque);
        break;
    case 2:
        spread<T, 2>(from, to, pixels, opaque);
        break;
    case 3:
        if constexpr (std::is_same_v<T, std::uint8_t>)
        {
            spreadRgb8(from, to, pixels, opaque);
        }
        else
        {
            spread<T, 3>(from, to, pixels, opaque);
        }
        break;
    default:
        if (from != to)
        {
            spread<T, 4>(from, to, pixels, opaque);
        }
        break;
    }
}

/// Divides colour by alpha, with the OpenImageIO module's arithmetic so that the rounding
/// agrees; where alpha is 0 the colour is emitted light, kept as it is.
template <typename T> void divideByAlpha(Frame* frame)
{
    constexpr double kOne = std::is_floating_point_v<T> ? 1.0 : std::numeric_limits<T>::max();
    T* const values = reinterpret_cast<T*>(frame->data());
    const std::size_t pixels = std::size_t{frame->width()} * frame->height();
    for (std::size_t i = 0; i < pixels; ++i)
    {
        T* pixel = values + i * Frame::kChannels;
        const double alpha = static_cast<double>(pixel[3]) / kOne;
        for (std::size_t c = 0; c < 3; ++c)
        {
            auto value = static_cast<double>(pixel[c]);
            if (alpha > 0.0)
            {
                value /= alpha;
            }
            if constexpr (std::is_floating_point_v<T>)
            {
                pixel[c] = static_cast<T>(value);
            }
            else
            {
                pixel[c] = static_cast<T>(std::min(std::round(value), kOne));
            }
        }
    }
}

/// Turns the packed samples at the start of the frame into its RGBA values: halves widened to
/// floats a row at a time from the last (a row of halves ends before its floats begin, but for
/// the first row, which goes through the scratch row like every other).
void widenHalves(Frame* frame, int channels)
{
    const std::size_t rowValues = std::size_t{frame->width()} * static_cast<std::size_t>(channels);
    std::vector<float> scratch(rowValues);
    const auto* halves = reinterpret_cast<const std::uint16_t*>(frame->data());
    for (std::uint32_t y = frame->height(); y-- > 0;)
    {
        halvesToFloats(halves + y * rowValues, scratch.data(), rowValues);
        spread<float>(scratch.data(), frame->rowAs<float>(y).data(), frame->width(), channels,
                      1.0F);
    }
}

/// Turns the packed samples at the start of the frame into RGBA; divides colour by alpha where
/// the file stored it multiplied.
template <typename T> void expandPixels(Frame* frame, int channels, bool divide, T opaque)
{
    T* const values = reinterpret_cast<T*>(frame->data());
    spread<T>(values, values, std::size_t{frame->width()} * frame->height(), channels, opaque);
    if (divide)
    {
        divideByAlpha<T>(frame);
    }
}

void expandPixels(Frame* frame, const TiffLayout& layout, int channels, bool divide)
{
    if (frame->type() == PixelType::UInt8)
    {
        expandPixels<std::uint8_t>(frame, channels, divide, 0xFF);
    }
    else if (frame->type() == PixelType::UInt16)
    {
        expandPixels<std::uint16_t>(frame, channels, divide, 0xFFFF);
    }
    else if (layout.bits == 32)
    {
        expandPixels<float>(frame, channels, divide, 1.0F);
    }
    else
    {
        widenHalves(frame, channels);
        if (divide)
        {
            divideByAlpha<float>(frame);
        }
    }
}

// ---- tags ----

/// The descriptive text tags OpenImageIO reports under their own names and writes back.
constexpr std::array<ttag_t, 7> kTextTags{
    TIFFTAG_IMAGEDESCRIPTION, TIFFTAG_ARTIST, TIFFTAG_COPYRIGHT,
    TIFFTAG_DOCUMENTNAME,     TIFFTAG_MAKE,   TIFFTAG_MODEL,
    TIFFTAG_HOSTCOMPUTER};

/// The compression OpenImageIO writes for a source's: the same, by its name; 0 for those the
/// module doesn't take.
std::uint16_t writtenCompression(std::uint16_t stored)
{
    switch (stored)
    {
    case COMPRESSION_NONE:
    case COMPRESSION_LZW:
    case COMPRESSION_PACKBITS:
    case COMPRESSION_JPEG:
        return stored;
    case COMPRESSION_ADOBE_DEFLATE:
    case COMPRESSION_DEFLATE:
        return COMPRESSION_ADOBE_DEFLATE; // both are "zip"
    default:
        return 0;
    }
}

template <typename T> T fieldOr(TIFF* tif, ttag_t tag, T fallback)
{
    T value = fallback;
    return TIFFGetField(tif, tag, &value) == 1 ? value : fallback;
}

/// Whether the file is one libtiff's RGBA interface reads as OpenImageIO does, into 8-bit RGB
/// (grey for 1-bit files) with opaque alpha: JPEG, whose YCbCr libjpeg turns into RGB; 8-bit
/// palettes; 1-bit grey, black or white at 0; and other 8-bit YCbCr.
bool readsThroughRgba(const TiffLayout& layout)
{
    return layout.compression == COMPRESSION_JPEG || layout.photometric == PHOTOMETRIC_PALETTE ||
           layout.photometric == PHOTOMETRIC_YCBCR || layout.bits == 1;
}

/// Whether the samples are of a kind taken here: grey or RGB, with or without alpha, in 8- or
/// 16-bit integers or 16- or 32-bit floats; or, in strips of one plane of unsigned samples, the
/// kinds read through the RGBA interface (for JPEG, only 8-bit YCbCr: its own tiled JPEG
/// OpenImageIO can't read back).
bool takenSamples(const TiffLayout& layout, std::uint16_t format, std::uint16_t planar,
                  std::uint16_t samples)
{
    const std::uint16_t photometric = layout.photometric;
    if (readsThroughRgba(layout))
    {
        const bool ycbcr = photometric == PHOTOMETRIC_YCBCR && samples == 3 && layout.bits == 8;
        const bool palette = photometric == PHOTOMETRIC_PALETTE && samples == 1 && layout.bits == 8;
        const bool bilevel =
            (photometric == PHOTOMETRIC_MINISBLACK || photometric == PHOTOMETRIC_MINISWHITE) &&
            samples == 1 && layout.bits == 1;
        return (layout.compression == COMPRESSION_JPEG ? ycbcr : ycbcr || palette || bilevel) &&
               format == SAMPLEFORMAT_UINT && planar == PLANARCONFIG_CONTIG &&
               layout.tileWidth == 0;
    }
    const bool grey = photometric == PHOTOMETRIC_MINISBLACK && (samples == 1 || samples == 2);
    const bool rgb = photometric == PHOTOMETRIC_RGB && (samples == 3 || samples == 4);
    const bool integers = format == SAMPLEFORMAT_UINT && (layout.bits == 8 || layout.bits == 16);
    const bool floats = format == SAMPLEFORMAT_IEEEFP && (layout.bits == 16 || layout.bits == 32);
    return (grey || rgb) && (integers || floats) &&
           (planar == PLANARCONFIG_CONTIG || planar == PLANARCONFIG_SEPARATE);
}

/// The size, sample layout, blocks and compression: false for anything outside what is taken
/// here.
bool readPixelTags(TIFF* tif, TiffLayout* layout, std::uint32_t* width, std::uint32_t* height,
                   std::uint16_t* samples)
{
    std::uint16_t planar = PLANARCONFIG_CONTIG;
    std::uint16_t format = SAMPLEFORMAT_UINT;
    if (TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, width) != 1 ||
        TIFFGetField(tif, TIFFTAG_IMAGELENGTH, height) != 1 ||
        TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &layout->bits) != 1 ||
        TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, samples) != 1 ||
        TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &layout->photometric) != 1 ||
        TIFFGetFieldDefaulted(tif, TIFFTAG_PLANARCONFIG, &planar) != 1 ||
        TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLEFORMAT, &format) != 1 ||
        TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &layout->compression) != 1 ||
        (TIFFIsTiled(tif) != 0 &&
         (TIFFGetField(tif, TIFFTAG_TILEWIDTH, &layout->tileWidth) != 1 ||
          TIFFGetField(tif, TIFFTAG_TILELENGTH, &layout->tileHeight) != 1 ||
          layout->tileWidth == 0 || layout->tileHeight == 0)))
    {
        return false;
    }
    if (!takenSamples(*layout, format, planar, *samples) || *width < 1 || *height < 1 ||
        *width > static_cast<std::uint32_t>(kMaxFrameEdge) ||
        *height > static_cast<std::uint32_t>(kMaxFrameEdge))
    {
        return false;
    }
    layout->floats = format == SAMPLEFORMAT_IEEEFP;
    layout->separate = planar == PLANARCONFIG_SEPARATE;
    // The compressions OpenImageIO names, and so writes back; a predictor libtiff undoes.
    layout->compression = writtenCompression(layout->compression);
    std::uint16_t predictor = PREDICTOR_NONE;
    return layout->compression != 0 &&
           (TIFFGetField(tif, TIFFTAG_PREDICTOR, &predictor) != 1 || predictor == PREDICTOR_NONE ||
            predictor == PREDICTOR_HORIZONTAL ||
            (predictor == PREDICTOR_FLOATINGPOINT && layout->floats));
}

/// Whether alpha is stored associated; false when an alpha channel doesn't say which kind it is
/// (without the tag OpenImageIO guesses) or extra samples come without alpha.
bool readAlphaTags(TIFF* tif, std::uint16_t samples, bool* associated)
{
    std::uint16_t extraCount = 0;
    std::uint16_t* extra = nullptr;
    const bool hasExtra = TIFFGetField(tif, TIFFTAG_EXTRASAMPLES, &extraCount, &extra) == 1;
    *associated = false;
    if (samples != 2 && samples != 4)
    {
        return !hasExtra || extraCount == 0;
    }
    if (!hasExtra || extraCount != 1 ||
        (extra[0] != EXTRASAMPLE_UNASSALPHA && extra[0] != EXTRASAMPLE_ASSOCALPHA))
    {
        return false;
    }
    *associated = extra[0] == EXTRASAMPLE_ASSOCALPHA;
    return true;
}

/// The resolution and its unit as stored; false for one without the other or an unknown unit.
bool readResolutionTags(TIFF* tif, TiffLayout* layout)
{
    float resolution = 0.0F;
    if (TIFFGetField(tif, TIFFTAG_XRESOLUTION, &resolution) == 1)
    {
        layout->xResolution = resolution;
    }
    if (TIFFGetField(tif, TIFFTAG_YRESOLUTION, &resolution) == 1)
    {
        layout->yResolution = resolution;
    }
    if (layout->xResolution.has_value() != layout->yResolution.has_value())
    {
        return false;
    }
    std::uint16_t unit = 0;
    if (TIFFGetField(tif, TIFFTAG_RESOLUTIONUNIT, &unit) == 1)
    {
        if (unit < RESUNIT_NONE || unit > RESUNIT_CENTIMETER)
        {
            return false;
        }
        layout->resolutionUnit = unit;
    }
    return true;
}

/// The text and profile tags OpenImageIO reports and writes back.
void readDescriptiveTags(TIFF* tif, TiffLayout* layout)
{
    char* text = nullptr;
    layout->software = TIFFGetField(tif, TIFFTAG_SOFTWARE, &text) == 1 && text != nullptr;
    text = nullptr;
    if (TIFFGetField(tif, TIFFTAG_DATETIME, &text) == 1 && text != nullptr)
    {
        layout->dateTime = text;
    }
    for (const ttag_t tag : kTextTags)
    {
        text = nullptr;
        // OpenImageIO drops an empty text.
        if (TIFFGetField(tif, tag, &text) == 1 && text != nullptr && text[0] != '\0')
        {
            layout->texts.emplace_back(tag, text);
        }
    }
    std::uint32_t length = 0;
    void* profile = nullptr;
    if (TIFFGetField(tif, TIFFTAG_ICCPROFILE, &length, &profile) == 1 && profile != nullptr)
    {
        const auto* bytes = static_cast<const std::uint8_t*>(profile);
        layout->profile.assign(bytes, bytes + length);
    }
}

/// Reads the layout's tags the way OpenImageIO does; false for anything outside it.
bool readTags(TIFF* tif, TiffLayout* layout, std::uint32_t* width, std::uint32_t* height,
              int* channels, bool* associated)
{
    std::uint16_t samples = 0;
    if (!readPixelTags(tif, layout, width, height, &samples) ||
        !readAlphaTags(tif, samples, associated) ||
        fieldOr<std::uint16_t>(tif, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT) !=
            ORIENTATION_TOPLEFT)
    {
        return false;
    }
    *channels = samples;
    // OpenImageIO keeps the count of a file in strips as an int, and only when positive.
    layout->rowsPerStrip =
        layout->tileWidth > 0 ? 0 : fieldOr<std::uint32_t>(tif, TIFFTAG_ROWSPERSTRIP, 0);
    if (layout->rowsPerStrip > static_cast<std::uint32_t>(std::numeric_limits<int>::max()))
    {
        layout->rowsPerStrip = 0;
    }
    std::uint32_t subfile = 0;
    if (TIFFGetField(tif, TIFFTAG_SUBFILETYPE, &subfile) == 1)
    {
        if (subfile != 0)
        {
            return false;
        }
        layout->subfileType = subfile;
    }
    if (!readResolutionTags(tif, layout))
    {
        return false;
    }
    readDescriptiveTags(tif, layout);
    return true;
}

/// Reads the kinds `readsThroughRgba` names through libtiff's RGBA interface, as OpenImageIO
/// does. The raster's words become the frame's bytes.
bool readThroughRgba(TIFF* tif, Frame* frame)
{
    std::byte* const bytes = frame->data();
    if (TIFFReadRGBAImageOriented(tif, frame->width(), frame->height(),
                                  reinterpret_cast<std::uint32_t*>(bytes), ORIENTATION_TOPLEFT,
                                  1) != 1)
    {
        return false;
    }
    const std::size_t pixels = std::size_t{frame->width()} * frame->height();
    for (std::size_t i = 0; i < pixels; ++i)
    {
        std::uint32_t word = 0;
        std::memcpy(&word, bytes + i * 4, sizeof word);
        bytes[i * 4] = static_cast<std::byte>(TIFFGetR(word));
        bytes[i * 4 + 1] = static_cast<std::byte>(TIFFGetG(word));
        bytes[i * 4 + 2] = static_cast<std::byte>(TIFFGetB(word));
        bytes[i * 4 + 3] = static_cast<std::byte>(TIFFGetA(word));
    }
    return true;
}

/// Whether the tags that belong to one kind of file come with that kind: libtiff would
/// otherwise make of them what OpenImageIO may not (a predictor beside another codec, JPEG's
/// tables beside another, subsampled YCbCr in JPEG, which OpenImageIO reads its own way).
bool fitsItsKind(const DirectoryFacts& facts, const TiffLayout& layout)
{
    const bool jpeg = layout.compression == COMPRESSION_JPEG;
    const bool ycbcr = layout.photometric == PHOTOMETRIC_YCBCR;
    return (!facts.predictor || layout.compression == COMPRESSION_LZW ||
            layout.compression == COMPRESSION_ADOBE_DEFLATE) &&
           (!facts.jpegTables || jpeg) && (!facts.referenceBlackWhite || ycbcr) &&
           (!facts.subsampling || (ycbcr && !jpeg)) &&
           facts.colourMap == (layout.photometric == PHOTOMETRIC_PALETTE);
}

PixelType frameType(const TiffLayout& layout)
{
    if (layout.floats)
    {
        return PixelType::Float;
    }
    return layout.bits <= 8 ? PixelType::UInt8 : PixelType::UInt16;
}

} // namespace

bool readTiff(const std::string& path, Frame* frame, std::shared_ptr<const StoredLayout>* layout,
              int* channels)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
    {
        return false;
    }
    DirectoryFacts facts;
    if (!checkDirectory(fd, &facts))
    {
        ::close(fd);
        return false;
    }
    const auto options = quietTiffOptions();
    // libtiff owns the descriptor from here on, and closes it; it reads through it rather than
    // a mapping, as the strips do.
    TiffHandle tif(options ? TIFFFdOpenExt(fd, path.c_str(), "rm", options.get()) : nullptr);
    if (!tif)
    {
        ::close(fd);
        return false;
    }
    auto stored = std::make_shared<TiffLayout>();
    stored->exifSrgb = facts.exifSrgb;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    int samples = 0;
    bool associated = false;
    if (!readTags(tif.get(), stored.get(), &width, &height, &samples, &associated) ||
        !fitsItsKind(facts, *stored))
    {
        return false;
    }
    frame->reshape(width, height, frameType(*stored));
    if (readsThroughRgba(*stored))
    {
        if (!readThroughRgba(tif.get(), frame))
        {
            return false;
        }
    }
    else
    {
        // The samples, packed as stored, go to the start of the frame, then spread out to RGBA.
        if (!readPackedPixels(tif.get(), fd, *stored, frame, samples))
        {
            return false;
        }
        expandPixels(frame, *stored, samples, associated);
    }
    // A palette's colours are RGB to OpenImageIO; the writer stores them so, as it does YCbCr.
    *channels = stored->photometric == PHOTOMETRIC_PALETTE ? 3 : samples;
    *layout = std::move(stored);
    return true;
}

} // namespace huecast::host::frames
