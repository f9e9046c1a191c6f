// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
//
// TIFF frames through libtiff. The reader takes only the plain layouts (one image of 8- or 16-bit
// unsigned grey, grey and alpha, RGB or RGBA in contiguous strips, uncompressed or LZW, deflate
// or PackBits) whose every tag it knows what OpenImageIO makes of; the writer makes the calls
// OpenImageIO's TIFF writer makes for such a source, in its order, but keeps the resolution as
// the source stores it.
#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <strings.h>
#include <tiffio.h>
#include <unistd.h>

#include "host/frames/BufferedFile.h"
#include "host/frames/CommonFormats.h"
#include "host/frames/TiffDirectory.h"

namespace huecast::host::frames
{
namespace
{

/// What OpenImageIO's reader keeps of a source that its writer puts back in the file.
struct TiffLayout final : StoredLayout
{
    TiffLayout() : StoredLayout(Family::Tiff) {}

    std::uint16_t bits = 8;         ///< stored depth: 8 or 16
    std::uint16_t compression = 1;  ///< the source's compression, which the writer keeps
    std::uint32_t rowsPerStrip = 0; ///< as libtiff reports it; 0: none given
    std::optional<std::uint32_t> subfileType;
    std::optional<float> xResolution; ///< both or neither
    std::optional<float> yResolution;
    std::optional<std::uint16_t> resolutionUnit;
    bool software = false;               ///< the source named its software
    std::optional<std::string> dateTime; ///< kept as the source's, not the time of writing
    bool exifSrgb = false;               ///< an Exif directory saying sRGB
    std::vector<std::pair<ttag_t, std::string>> texts; ///< the descriptive tags, kept
    std::vector<std::uint8_t> profile;                 ///< an ICC profile, kept
};

/// The descriptive text tags OpenImageIO reports under their own names and writes back.
constexpr std::array<ttag_t, 7> kTextTags{
    TIFFTAG_IMAGEDESCRIPTION, TIFFTAG_ARTIST, TIFFTAG_COPYRIGHT,
    TIFFTAG_DOCUMENTNAME,     TIFFTAG_MAKE,   TIFFTAG_MODEL,
    TIFFTAG_HOSTCOMPUTER};

/// The deflate level OpenImageIO's writer uses when the name gives none.
constexpr int kZipQuality = 6;

// ---- libtiff, quiet ----

int ignoreMessage(TIFF* /*tif*/, void* /*user*/, const char* /*module*/, const char* /*format*/,
                  va_list /*arguments*/)
{
    return 1; // handled: nothing reaches libtiff's global handlers (stderr)
}

struct TiffCloser
{
    void operator()(TIFF* tif) const { TIFFClose(tif); }
};
using TiffHandle = std::unique_ptr<TIFF, TiffCloser>;

struct OptionsFree
{
    void operator()(TIFFOpenOptions* options) const { TIFFOpenOptionsFree(options); }
};

std::unique_ptr<TIFFOpenOptions, OptionsFree> quietOptions()
{
    std::unique_ptr<TIFFOpenOptions, OptionsFree> options(TIFFOpenOptionsAlloc());
    if (options)
    {
        TIFFOpenOptionsSetErrorHandlerExtR(options.get(), ignoreMessage, nullptr);
        TIFFOpenOptionsSetWarningHandlerExtR(options.get(), ignoreMessage, nullptr);
    }
    return options;
}

// ---- reading ----

/// Spreads `Channels` packed values per pixel at the start of `values` over RGBA, from the
/// last pixel back so that nothing is overwritten before it is read.
template <typename T, std::size_t Channels> void spread(T* values, std::size_t pixels)
{
    constexpr T kOpaque = std::numeric_limits<T>::max();
    for (std::size_t i = pixels; i-- > 0;)
    {
        const T* source = values + i * Channels;
        T* pixel = values + i * Frame::kChannels;
        const T first = source[0];
        const T second = Channels == 2 ? kOpaque : source[Channels > 2 ? 1 : 0];
        const T third = source[Channels > 2 ? 2 : 0];
        const T alpha = Channels == 2 ? source[1] : kOpaque;
        pixel[0] = first;
        pixel[1] = Channels > 2 ? second : first;
        pixel[2] = Channels > 2 ? third : first;
        pixel[3] = alpha;
    }
}

/// Turns the packed pixels at the start of the frame into RGBA, grey spread over colour and
/// alpha opaque where the file has none; divides colour by alpha where the file stored it
/// multiplied.
template <typename T> void expandPixels(Frame* frame, int channels, bool divide)
{
    T* const values = reinterpret_cast<T*>(frame->data());
    const std::size_t pixels = std::size_t{frame->width()} * frame->height();
    switch (channels)
    {
    case 1:
        spread<T, 1>(values, pixels);
        break;
    case 2:
        spread<T, 2>(values, pixels);
        break;
    case 3:
        spread<T, 3>(values, pixels);
        break;
    default:
        break;
    }
    if (!divide)
    {
        return;
    }
    // The same arithmetic as the OpenImageIO module's, so the rounding agrees.
    constexpr double kOne = std::numeric_limits<T>::max();
    for (std::size_t i = 0; i < pixels; ++i)
    {
        T* pixel = values + i * Frame::kChannels;
        const double alpha = static_cast<double>(pixel[3]) / kOne;
        for (std::size_t c = 0; c < 3; ++c)
        {
            // Where alpha is 0 the colour is emitted light: kept as it is.
            const double value =
                alpha > 0.0 ? static_cast<double>(pixel[c]) / alpha : static_cast<double>(pixel[c]);
            pixel[c] = static_cast<T>(std::min(std::round(value), kOne));
        }
    }
}

/// The compression OpenImageIO writes for a source's: the same, by its name; 0 for those the
/// module doesn't take.
std::uint16_t writtenCompression(std::uint16_t stored)
{
    switch (stored)
    {
    case COMPRESSION_NONE:
    case COMPRESSION_LZW:
    case COMPRESSION_PACKBITS:
        return stored;
    case COMPRESSION_ADOBE_DEFLATE:
    case COMPRESSION_DEFLATE:
        return COMPRESSION_ADOBE_DEFLATE; // both are "zip"
    default:
        return 0;
    }
}

/// The compression a user's name asks for, as OpenImageIO's writer spells them; 0 for names
/// (and qualities) the module doesn't reproduce.
std::uint16_t namedCompression(const std::string& name)
{
    constexpr std::array<std::pair<const char*, std::uint16_t>, 4> kNames = {{
        {"none", COMPRESSION_NONE},
        {"lzw", COMPRESSION_LZW},
        {"zip", COMPRESSION_ADOBE_DEFLATE},
        {"packbits", COMPRESSION_PACKBITS},
    }};
    for (const auto& [known, code] : kNames)
    {
        if (strcasecmp(name.c_str(), known) == 0)
        {
            return code;
        }
    }
    return 0;
}

template <typename T> T fieldOr(TIFF* tif, ttag_t tag, T fallback)
{
    T value = fallback;
    return TIFFGetField(tif, tag, &value) == 1 ? value : fallback;
}

/// The size, sample layout and compression: false for anything outside what is taken here.
bool readPixelTags(TIFF* tif, TiffLayout* layout, std::uint32_t* width, std::uint32_t* height,
                   std::uint16_t* samples)
{
    std::uint16_t photometric = 0;
    std::uint16_t planar = PLANARCONFIG_CONTIG;
    std::uint16_t format = SAMPLEFORMAT_UINT;
    if (TIFFIsTiled(tif) != 0 || TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, width) != 1 ||
        TIFFGetField(tif, TIFFTAG_IMAGELENGTH, height) != 1 ||
        TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &layout->bits) != 1 ||
        TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, samples) != 1 ||
        TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric) != 1 ||
        TIFFGetFieldDefaulted(tif, TIFFTAG_PLANARCONFIG, &planar) != 1 ||
        TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLEFORMAT, &format) != 1 ||
        TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &layout->compression) != 1)
    {
        return false;
    }
    const bool grey = photometric == PHOTOMETRIC_MINISBLACK && (*samples == 1 || *samples == 2);
    const bool rgb = photometric == PHOTOMETRIC_RGB && (*samples == 3 || *samples == 4);
    if ((layout->bits != 8 && layout->bits != 16) || format != SAMPLEFORMAT_UINT ||
        planar != PLANARCONFIG_CONTIG || (!grey && !rgb) || *width < 1 || *height < 1 ||
        *width > static_cast<std::uint32_t>(kMaxFrameEdge) ||
        *height > static_cast<std::uint32_t>(kMaxFrameEdge))
    {
        return false;
    }
    // The compressions OpenImageIO names, and so writes back; a predictor libtiff undoes.
    layout->compression = writtenCompression(layout->compression);
    std::uint16_t predictor = PREDICTOR_NONE;
    return layout->compression != 0 &&
           (TIFFGetField(tif, TIFFTAG_PREDICTOR, &predictor) != 1 || predictor == PREDICTOR_NONE ||
            predictor == PREDICTOR_HORIZONTAL);
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
    // OpenImageIO keeps the count as an int, and only when positive.
    layout->rowsPerStrip = fieldOr<std::uint32_t>(tif, TIFFTAG_ROWSPERSTRIP, 0);
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
    return true;
}

/// Reads the strips, packed, into `into`: uncompressed strips that follow each other in the
/// file in one read each run (a 1080p RGB frame from ffmpeg has a strip per row).
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

} // namespace

bool readTiff(const std::string& path, Frame* frame, std::shared_ptr<const StoredLayout>* layout,
              int* channels)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
    {
        return false;
    }
    bool exifSrgb = false;
    bool predictor = false;
    if (!onlyKnownTags(fd, &exifSrgb, &predictor))
    {
        ::close(fd);
        return false;
    }
    const auto options = quietOptions();
    // libtiff owns the descriptor from here on, and closes it; it reads through it rather than
    // a mapping, as the strips do.
    TiffHandle tif(options ? TIFFFdOpenExt(fd, path.c_str(), "rm", options.get()) : nullptr);
    if (!tif)
    {
        ::close(fd);
        return false;
    }
    auto stored = std::make_shared<TiffLayout>();
    stored->exifSrgb = exifSrgb;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    int samples = 0;
    bool associated = false;
    if (!readTags(tif.get(), stored.get(), &width, &height, &samples, &associated) ||
        (predictor && stored->compression != COMPRESSION_LZW &&
         stored->compression != COMPRESSION_ADOBE_DEFLATE))
    {
        return false; // a predictor means nothing to the other codecs: a tag libtiff doesn't know
    }
    const PixelType type = stored->bits == 8 ? PixelType::UInt8 : PixelType::UInt16;
    frame->reshape(width, height, type);

    // The strips, packed as stored, go to the start of the frame, then spread out to RGBA.
    const std::size_t packedRow =
        std::size_t{width} * static_cast<std::size_t>(samples) * bytesPerChannel(type);
    const tmsize_t stripSize = TIFFStripSize(tif.get());
    std::uint32_t rowsPerStrip = height;
    TIFFGetFieldDefaulted(tif.get(), TIFFTAG_ROWSPERSTRIP, &rowsPerStrip);
    rowsPerStrip = std::clamp<std::uint32_t>(rowsPerStrip, 1, height);
    if (stripSize <= 0 || static_cast<std::size_t>(stripSize) != packedRow * rowsPerStrip)
    {
        return false;
    }
    const std::uint32_t strips = TIFFNumberOfStrips(tif.get());
    if (strips != (height + rowsPerStrip - 1) / rowsPerStrip ||
        !readStrips(tif.get(), fd, frame->data(), packedRow, rowsPerStrip, height))
    {
        return false;
    }
    // libtiff puts decoded 16-bit values in the machine's order; strips read as stored keep the
    // file's.
    if (type == PixelType::UInt16 && stored->compression == COMPRESSION_NONE &&
        TIFFIsByteSwapped(tif.get()) != 0)
    {
        TIFFSwabArrayOfShort(reinterpret_cast<std::uint16_t*>(frame->data()),
                             static_cast<tmsize_t>(packedRow / 2 * height));
    }
    if (type == PixelType::UInt8)
    {
        expandPixels<std::uint8_t>(frame, samples, associated);
    }
    else
    {
        expandPixels<std::uint16_t>(frame, samples, associated);
    }
    *channels = samples;
    *layout = std::move(stored);
    return true;
}

// ---- writing ----

namespace
{

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

/// One row of the frame as the file stores it: `Channels` of RGBA, at the stored depth.
template <typename From, typename To, std::size_t Channels>
void packRow(const Frame& frame, std::uint32_t y, To* into)
{
    const From* pixel = frame.rowAs<From>(y).data();
    for (std::uint32_t x = 0; x < frame.width(); ++x, pixel += Frame::kChannels, into += Channels)
    {
        for (std::size_t c = 0; c < Channels; ++c)
        {
            if constexpr (std::is_same_v<From, To>)
            {
                into[c] = pixel[c];
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

/// The source's rows per strip, or the writer's own 32.
std::uint32_t writtenRowsPerStrip(const TiffLayout& layout, std::uint32_t height)
{
    return layout.rowsPerStrip > 0 ? std::clamp<std::uint32_t>(layout.rowsPerStrip, 1, height) : 32;
}

/// OpenImageIO's writer's calls for the layout, from opening to the first checkpoint.
void setTags(TIFF* tif, const Frame& frame, const TiffLayout& layout, int channels, int bits,
             std::uint16_t compression)
{
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, frame.width());
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, frame.height());
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, writtenRowsPerStrip(layout, frame.height()));
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, channels);
    TIFFSetField(tif, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, bits);
    TIFFSetField(tif, TIFFTAG_SAMPLEFORMAT, SAMPLEFORMAT_UINT);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, compression);
    if (compression == COMPRESSION_LZW || compression == COMPRESSION_ADOBE_DEFLATE)
    {
        TIFFSetField(tif, TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL);
        if (compression == COMPRESSION_ADOBE_DEFLATE)
        {
            TIFFSetField(tif, TIFFTAG_ZIPQUALITY, kZipQuality);
        }
    }
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
    if (channels == 4)
    {
        const std::uint16_t unassociated = EXTRASAMPLE_UNASSALPHA;
        TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, 1, &unassociated);
    }
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
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
    // Software and DateTime are kept in the order they were set, which decides where their
    // text lands: the source's order, and what the source lacked after it.
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

/// The Exif directory OpenImageIO adds for sRGB, and its link from the image's directory.
bool writeExif(TIFF* tif)
{
    std::uint64_t offset = 0;
    return TIFFCreateEXIFDirectory(tif) == 0 && TIFFSetField(tif, EXIFTAG_COLORSPACE, 1) == 1 &&
           TIFFWriteCustomDirectory(tif, &offset) == 1 && TIFFSetDirectory(tif, 0) == 1 &&
           TIFFSetField(tif, TIFFTAG_EXIFIFD, offset) == 1;
}

template <typename From, typename To, std::size_t Channels>
bool writeRows(TIFF* tif, const Frame& frame)
{
    std::vector<To> row(std::size_t{frame.width()} * Channels);
    for (std::uint32_t y = 0; y < frame.height(); ++y)
    {
        packRow<From, To, Channels>(frame, y, row.data());
        if (TIFFWriteScanline(tif, row.data(), y, 0) < 0)
        {
            return false;
        }
    }
    return true;
}

template <typename From, typename To> bool writeRows(TIFF* tif, const Frame& frame, int channels)
{
    return channels == 3 ? writeRows<From, To, 3>(tif, frame) : writeRows<From, To, 4>(tif, frame);
}

} // namespace

bool writeTiff(const std::string& destination, const Frame& frame, const StoredLayout& layout,
               int channels, const FrameWriteOptions& options)
{
    const auto& stored = static_cast<const TiffLayout&>(layout);
    if ((channels != 3 && channels != 4) || frame.type() == PixelType::Float)
    {
        return false;
    }
    int bits = stored.bits;
    if (options.depth == StoredDepth::UInt8 || options.depth == StoredDepth::UInt16)
    {
        bits = options.depth == StoredDepth::UInt8 ? 8 : 16;
    }
    else if (options.depth != StoredDepth::Kept)
    {
        return false;
    }
    // The source's compression is kept unless the user names one.
    const std::uint16_t compression =
        options.compression.empty() ? stored.compression : namedCompression(options.compression);
    if (compression == 0)
    {
        return false;
    }
    // With more than one thread OpenImageIO deflates whole strips itself, which libtiff, given
    // a strip of one row at a time, does with another library: the bytes differ. Longer strips
    // come out the same either way.
    if (compression == COMPRESSION_ADOBE_DEFLATE && frame.height() > 1 &&
        writtenRowsPerStrip(stored, frame.height()) == 1)
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
    const auto tiffOptions = quietOptions();
    TiffHandle tif(tiffOptions ? TIFFClientOpenExt(destination.c_str(), "w", &file, fileRead,
                                                   fileWrite, fileSeek, fileClose, fileSize, noMap,
                                                   noUnmap, tiffOptions.get())
                               : nullptr);
    if (!tif)
    {
        return false;
    }
    setTags(tif.get(), frame, stored, channels, bits, compression);
    if (TIFFCheckpointDirectory(tif.get()) != 1)
    {
        return false;
    }
    const bool fromBytes = frame.type() == PixelType::UInt8;
    bool written = false;
    if (bits == 8)
    {
        written = fromBytes ? writeRows<std::uint8_t, std::uint8_t>(tif.get(), frame, channels)
                            : writeRows<std::uint16_t, std::uint8_t>(tif.get(), frame, channels);
    }
    else
    {
        written = fromBytes ? writeRows<std::uint8_t, std::uint16_t>(tif.get(), frame, channels)
                            : writeRows<std::uint16_t, std::uint16_t>(tif.get(), frame, channels);
    }
    // The directory is finished where the checkpoint put it; an Exif link added after that
    // moves it to the end of the file when it is closed.
    if (!written || TIFFWriteDirectory(tif.get()) != 1 ||
        (stored.exifSrgb && !writeExif(tif.get())))
    {
        return false;
    }
    TIFF* const closing = tif.release();
    TIFFClose(closing); // writes what is left; it reports no failure, the file does
    return file.flush() && ::close(std::exchange(destinationFd.fd, -1)) == 0;
}

} // namespace huecast::host::frames
