// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
//
// TIFF frames through libtiff. The reader takes only the plain layouts (one image of 8- or 16-bit
// unsigned grey, grey and alpha, RGB or RGBA in contiguous strips) whose every tag it knows what
// OpenImageIO makes of; the writer replays the calls OpenImageIO's TIFF writer makes for such a
// source, in its order, so libtiff lays the file out byte for byte the same.
#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstdarg>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <limits>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <tiffio.h>
#include <unistd.h>

#include "host/frames/CommonFormats.h"

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
};

// ---- the file's own directory, read before libtiff sees it ----

constexpr std::uint16_t kTagSubfileType = 254;
constexpr std::uint16_t kTagExifIfd = 34665;
constexpr std::uint16_t kTagExifColorSpace = 40961;
constexpr std::uint16_t kTypeShort = 3;

/// The tags whose meaning to OpenImageIO, and back through its writer, the module reproduces.
constexpr std::array<std::uint16_t, 21> kKnownTags = {
    kTagSubfileType,         TIFFTAG_IMAGEWIDTH,   TIFFTAG_IMAGELENGTH,     TIFFTAG_BITSPERSAMPLE,
    TIFFTAG_COMPRESSION,     TIFFTAG_PHOTOMETRIC,  TIFFTAG_STRIPOFFSETS,    TIFFTAG_ORIENTATION,
    TIFFTAG_SAMPLESPERPIXEL, TIFFTAG_ROWSPERSTRIP, TIFFTAG_STRIPBYTECOUNTS, TIFFTAG_XRESOLUTION,
    TIFFTAG_YRESOLUTION,     TIFFTAG_PLANARCONFIG, TIFFTAG_RESOLUTIONUNIT,  TIFFTAG_SOFTWARE,
    TIFFTAG_DATETIME,        TIFFTAG_EXTRASAMPLES, TIFFTAG_SAMPLEFORMAT,    kTagExifIfd,
    TIFFTAG_PREDICTOR,
};

std::uint16_t le16(const unsigned char* bytes)
{
    return static_cast<std::uint16_t>(bytes[0] | (bytes[1] << 8U));
}

std::uint32_t le32(const unsigned char* bytes)
{
    return static_cast<std::uint32_t>(bytes[0]) | (static_cast<std::uint32_t>(bytes[1]) << 8U) |
           (static_cast<std::uint32_t>(bytes[2]) << 16U) |
           (static_cast<std::uint32_t>(bytes[3]) << 24U);
}

bool readAt(int fd, std::uint64_t offset, void* into, std::size_t size)
{
    return ::pread(fd, into, size, static_cast<off_t>(offset)) == static_cast<ssize_t>(size);
}

struct Directory
{
    std::vector<unsigned char> entries; ///< 12 bytes each
    std::uint32_t next = 0;

    [[nodiscard]] std::size_t count() const { return entries.size() / 12; }
    [[nodiscard]] std::uint16_t tag(std::size_t index) const { return le16(&entries[index * 12]); }
    [[nodiscard]] const unsigned char* entry(std::size_t index) const
    {
        return &entries[index * 12];
    }
};

std::optional<Directory> readDirectory(int fd, std::uint32_t offset)
{
    std::array<unsigned char, 2> count{};
    if (offset == 0 || !readAt(fd, offset, count.data(), count.size()))
    {
        return std::nullopt;
    }
    Directory directory;
    directory.entries.resize(std::size_t{le16(count.data())} * 12 + 4);
    if (!readAt(fd, offset + 2, directory.entries.data(), directory.entries.size()))
    {
        return std::nullopt;
    }
    directory.next = le32(&directory.entries[directory.entries.size() - 4]);
    directory.entries.resize(directory.entries.size() - 4);
    return directory;
}

/// Whether the file is a little-endian classic TIFF of one image that carries only known tags,
/// and an Exif directory, if any, that holds just the sRGB colour space; sets `exifSrgb`.
bool onlyKnownTags(int fd, bool* exifSrgb)
{
    std::array<unsigned char, 8> header{};
    if (!readAt(fd, 0, header.data(), header.size()) || header[0] != 'I' || header[1] != 'I' ||
        le16(&header[2]) != 42)
    {
        return false; // big-endian files and BigTIFF aren't verified
    }
    const std::optional<Directory> main = readDirectory(fd, le32(&header[4]));
    if (!main || main->next != 0)
    {
        return false; // one image only: OpenImageIO reports the others as subimages
    }
    *exifSrgb = false;
    for (std::size_t i = 0; i < main->count(); ++i)
    {
        const std::uint16_t tag = main->tag(i);
        if (std::find(kKnownTags.begin(), kKnownTags.end(), tag) == kKnownTags.end())
        {
            return false;
        }
        if (tag == kTagExifIfd)
        {
            const std::optional<Directory> exif = readDirectory(fd, le32(main->entry(i) + 8));
            if (!exif || exif->count() != 1 || exif->tag(0) != kTagExifColorSpace ||
                le16(exif->entry(0) + 2) != kTypeShort || le32(exif->entry(0) + 4) != 1 ||
                le16(exif->entry(0) + 8) != 1)
            {
                return false;
            }
            *exifSrgb = true;
        }
    }
    return true;
}

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

/// Spreads `channels` packed values per pixel at the start of the frame over RGBA, from the
/// last pixel back so that nothing is overwritten before it is read; divides colour by alpha
/// where the file stored it multiplied.
template <typename T> void expandPixels(Frame* frame, int channels, bool divide)
{
    constexpr T kOpaque = std::numeric_limits<T>::max();
    T* const values = reinterpret_cast<T*>(frame->data());
    const std::size_t pixels = std::size_t{frame->width()} * frame->height();
    const auto stride = static_cast<std::size_t>(channels);
    for (std::size_t i = pixels; i-- > 0;)
    {
        const T* source = values + i * stride;
        T* pixel = values + i * Frame::kChannels;
        if (channels <= 2)
        {
            const T grey = source[0];
            const T alpha = channels == 2 ? source[1] : kOpaque;
            pixel[0] = grey;
            pixel[1] = grey;
            pixel[2] = grey;
            pixel[3] = alpha;
        }
        else if (channels == 3)
        {
            const T red = source[0];
            const T green = source[1];
            const T blue = source[2];
            pixel[0] = red;
            pixel[1] = green;
            pixel[2] = blue;
            pixel[3] = kOpaque;
        }
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
            const double value = alpha > 0.0 ? static_cast<double>(pixel[c]) / alpha : 0.0;
            pixel[c] = static_cast<T>(std::min(std::round(value), kOne));
        }
    }
}

template <typename T> T fieldOr(TIFF* tif, ttag_t tag, T fallback)
{
    T value = fallback;
    return TIFFGetField(tif, tag, &value) == 1 ? value : fallback;
}

/// Reads the layout's tags the way OpenImageIO does; false for anything outside it.
bool readTags(TIFF* tif, TiffLayout* layout, std::uint32_t* width, std::uint32_t* height,
              int* channels, bool* associated)
{
    std::uint16_t samples = 0;
    std::uint16_t photometric = 0;
    std::uint16_t planar = PLANARCONFIG_CONTIG;
    std::uint16_t format = SAMPLEFORMAT_UINT;
    if (TIFFIsTiled(tif) != 0 || TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, width) != 1 ||
        TIFFGetField(tif, TIFFTAG_IMAGELENGTH, height) != 1 ||
        TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &layout->bits) != 1 ||
        TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &samples) != 1 ||
        TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric) != 1 ||
        TIFFGetFieldDefaulted(tif, TIFFTAG_PLANARCONFIG, &planar) != 1 ||
        TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLEFORMAT, &format) != 1 ||
        TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &layout->compression) != 1)
    {
        return false;
    }
    const bool grey = photometric == PHOTOMETRIC_MINISBLACK && (samples == 1 || samples == 2);
    const bool rgb = photometric == PHOTOMETRIC_RGB && (samples == 3 || samples == 4);
    if ((layout->bits != 8 && layout->bits != 16) || format != SAMPLEFORMAT_UINT ||
        planar != PLANARCONFIG_CONTIG || (!grey && !rgb) || *width < 1 || *height < 1 ||
        *width > static_cast<std::uint32_t>(kMaxFrameEdge) ||
        *height > static_cast<std::uint32_t>(kMaxFrameEdge))
    {
        return false;
    }
    if (layout->compression != COMPRESSION_NONE)
    {
        return false; // compressed layouts aren't verified yet
    }
    *channels = samples;
    // An alpha channel must say which kind it is: without the tag OpenImageIO guesses.
    std::uint16_t extraCount = 0;
    std::uint16_t* extra = nullptr;
    const bool hasExtra = TIFFGetField(tif, TIFFTAG_EXTRASAMPLES, &extraCount, &extra) == 1;
    const bool alpha = samples == 2 || samples == 4;
    *associated = false;
    if (alpha)
    {
        if (!hasExtra || extraCount != 1 ||
            (extra[0] != EXTRASAMPLE_UNASSALPHA && extra[0] != EXTRASAMPLE_ASSOCALPHA))
        {
            return false;
        }
        *associated = extra[0] == EXTRASAMPLE_ASSOCALPHA;
    }
    else if (hasExtra && extraCount != 0)
    {
        return false;
    }
    if (fieldOr<std::uint16_t>(tif, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT) !=
        ORIENTATION_TOPLEFT)
    {
        return false;
    }
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
    char* text = nullptr;
    layout->software = TIFFGetField(tif, TIFFTAG_SOFTWARE, &text) == 1 && text != nullptr;
    text = nullptr;
    if (TIFFGetField(tif, TIFFTAG_DATETIME, &text) == 1 && text != nullptr)
    {
        layout->dateTime = text;
    }
    return true;
}

template <typename T> void expand(Frame* frame, int channels, bool divide)
{
    expandPixels<T>(frame, channels, divide);
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
    if (!onlyKnownTags(fd, &exifSrgb))
    {
        ::close(fd);
        return false;
    }
    const auto options = quietOptions();
    // libtiff owns the descriptor from here on, and closes it.
    TiffHandle tif(options ? TIFFFdOpenExt(fd, path.c_str(), "r", options.get()) : nullptr);
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
    if (!readTags(tif.get(), stored.get(), &width, &height, &samples, &associated))
    {
        return false;
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
    if (strips != (height + rowsPerStrip - 1) / rowsPerStrip)
    {
        return false;
    }
    for (std::uint32_t strip = 0; strip < strips; ++strip)
    {
        const std::uint32_t first = strip * rowsPerStrip;
        const std::size_t bytes = packedRow * std::min(rowsPerStrip, height - first);
        if (TIFFReadEncodedStrip(tif.get(), strip, frame->data() + packedRow * first,
                                 static_cast<tmsize_t>(bytes)) != static_cast<tmsize_t>(bytes))
        {
            return false;
        }
    }
    if (type == PixelType::UInt8)
    {
        expand<std::uint8_t>(frame, samples, associated);
    }
    else
    {
        expand<std::uint16_t>(frame, samples, associated);
    }
    *channels = samples;
    *layout = std::move(stored);
    return true;
}

// ---- writing ----

namespace
{

/// The file being written, in memory: libtiff seeks back to rewrite its directory, and a file
/// written strip by strip would cost a system call per strip; this costs one for the whole.
struct MemoryFile
{
    std::vector<unsigned char> bytes;
    std::size_t position = 0;
};

tmsize_t memoryRead(thandle_t handle, void* into, tmsize_t size)
{
    auto* file = static_cast<MemoryFile*>(handle);
    if (size < 0 || file->position >= file->bytes.size())
    {
        return 0;
    }
    const std::size_t count =
        std::min(static_cast<std::size_t>(size), file->bytes.size() - file->position);
    std::memcpy(into, file->bytes.data() + file->position, count);
    file->position += count;
    return static_cast<tmsize_t>(count);
}

tmsize_t memoryWrite(thandle_t handle, void* from, tmsize_t size)
{
    auto* file = static_cast<MemoryFile*>(handle);
    if (size < 0)
    {
        return -1;
    }
    const auto count = static_cast<std::size_t>(size);
    if (file->position + count > file->bytes.size())
    {
        file->bytes.resize(file->position + count); // a gap left by a seek reads as zeros
    }
    std::memcpy(file->bytes.data() + file->position, from, count);
    file->position += count;
    return size;
}

toff_t memorySeek(thandle_t handle, toff_t offset, int whence)
{
    auto* file = static_cast<MemoryFile*>(handle);
    std::uint64_t base = 0;
    if (whence == SEEK_CUR)
    {
        base = file->position;
    }
    else if (whence == SEEK_END)
    {
        base = file->bytes.size();
    }
    file->position = static_cast<std::size_t>(base + offset);
    return file->position;
}

int memoryClose(thandle_t /*handle*/)
{
    return 0;
}

toff_t memorySize(thandle_t handle)
{
    return static_cast<MemoryFile*>(handle)->bytes.size();
}

int noMap(thandle_t /*handle*/, void** /*base*/, toff_t* /*size*/)
{
    return 0;
}

void noUnmap(thandle_t /*handle*/, void* /*base*/, toff_t /*size*/) {}

bool writeWhole(const std::string& destination, const std::vector<unsigned char>& bytes)
{
    const int fd = ::open(destination.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0)
    {
        return false;
    }
    std::size_t done = 0;
    while (done < bytes.size())
    {
        const ssize_t count = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (count < 0 && errno == EINTR)
        {
            continue;
        }
        if (count <= 0)
        {
            ::close(fd);
            return false;
        }
        done += static_cast<std::size_t>(count);
    }
    return ::close(fd) == 0;
}

/// The time of writing as OpenImageIO stamps it: local time.
std::string localTimeStamp()
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    std::array<char, 32> text{};
    std::snprintf(text.data(), text.size(), "%4d:%02d:%02d %02d:%02d:%02d", local.tm_year + 1900,
                  local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
    return text.data();
}

/// One row of the frame as the file stores it: `channels` of RGBA, at the stored depth.
template <typename From, typename To>
void packRow(const Frame& frame, std::uint32_t y, int channels, To* into)
{
    const std::span<const From> row = frame.rowAs<From>(y);
    const auto count = static_cast<std::size_t>(channels);
    for (std::size_t x = 0, out = 0; x < row.size(); x += Frame::kChannels, out += count)
    {
        for (std::size_t c = 0; c < count; ++c)
        {
            if constexpr (std::is_same_v<From, To>)
            {
                into[out + c] = row[x + c];
            }
            else
            {
                into[out + c] = static_cast<To>(row[x + c] * 257U); // 8 to 16 bits, exactly
            }
        }
    }
}

/// The resolution tags OpenImageIO writes: it mends missing, tiny or contradicting densities.
void setResolution(TIFF* tif, const TiffLayout& layout)
{
    float x = layout.xResolution.value_or(1.0F);
    float y = layout.yResolution.value_or(1.0F);
    std::optional<std::uint16_t> unit = layout.resolutionUnit;
    bool written = layout.xResolution.has_value();
    x = x <= 0.0F ? 1.0F : x;
    y = y <= 0.0F ? 1.0F : y;
    const float aspect = layout.xResolution ? *layout.yResolution / *layout.xResolution : 1.0F;
    if (x < 1.0F || y < 1.0F || aspect * x != y)
    {
        if (x < 1.0F || y < 1.0F)
        {
            x = y = 1.0F;
            unit = RESUNIT_NONE;
        }
        y = x * aspect;
        written = true;
    }
    if (written)
    {
        TIFFSetField(tif, TIFFTAG_XRESOLUTION, static_cast<double>(x));
        TIFFSetField(tif, TIFFTAG_YRESOLUTION, static_cast<double>(y));
    }
    if (unit)
    {
        TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, static_cast<int>(*unit));
    }
}

/// OpenImageIO's writer's calls for the layout, from opening to the first checkpoint.
void setTags(TIFF* tif, const Frame& frame, const TiffLayout& layout, int channels, int bits)
{
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, frame.width());
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, frame.height());
    const std::uint32_t rows =
        layout.rowsPerStrip > 0 ? std::clamp<std::uint32_t>(layout.rowsPerStrip, 1, frame.height())
                                : 32;
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, rows);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, channels);
    TIFFSetField(tif, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, bits);
    TIFFSetField(tif, TIFFTAG_SAMPLEFORMAT, SAMPLEFORMAT_UINT);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_NONE);
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
    // Software and DateTime are kept in the order they were set, which decides where their
    // text lands: the source's order, and what the source lacked after it.
    const std::string stamp = layout.dateTime.value_or(localTimeStamp());
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

template <typename From, typename To> bool writeRows(TIFF* tif, const Frame& frame, int channels)
{
    std::vector<To> row(std::size_t{frame.width()} * static_cast<std::size_t>(channels));
    for (std::uint32_t y = 0; y < frame.height(); ++y)
    {
        packRow<From, To>(frame, y, channels, row.data());
        if (TIFFWriteScanline(tif, row.data(), y, 0) < 0)
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
    // The source's compression is kept unless the user names one; only none is reproduced.
    const bool none = options.compression.empty()
                          ? stored.compression == COMPRESSION_NONE
                          : strcasecmp(options.compression.c_str(), "none") == 0;
    const bool widens = frame.type() == PixelType::UInt8 && bits == 16;
    if (!none || (frame.type() == PixelType::UInt16 && bits == 8))
    {
        return false;
    }

    MemoryFile file;
    file.bytes.reserve(std::size_t{frame.width()} * frame.height() *
                           static_cast<std::size_t>(channels * bits / 8) +
                       4096);
    const auto tiffOptions = quietOptions();
    TiffHandle tif(tiffOptions ? TIFFClientOpenExt(destination.c_str(), "w", &file, memoryRead,
                                                   memoryWrite, memorySeek, memoryClose, memorySize,
                                                   noMap, noUnmap, tiffOptions.get())
                               : nullptr);
    if (!tif)
    {
        return false;
    }
    setTags(tif.get(), frame, stored, channels, bits);
    if (TIFFCheckpointDirectory(tif.get()) != 1)
    {
        return false;
    }
    bool written = false;
    if (bits == 8)
    {
        written = writeRows<std::uint8_t, std::uint8_t>(tif.get(), frame, channels);
    }
    else if (widens)
    {
        written = writeRows<std::uint8_t, std::uint16_t>(tif.get(), frame, channels);
    }
    else
    {
        written = writeRows<std::uint16_t, std::uint16_t>(tif.get(), frame, channels);
    }
    // The directory is finished where the checkpoint put it; an Exif link added after that
    // moves it to the end of the file when it is closed.
    if (!written || TIFFWriteDirectory(tif.get()) != 1 ||
        (stored.exifSrgb && !writeExif(tif.get())))
    {
        return false;
    }
    TIFF* const closing = tif.release();
    TIFFClose(closing); // writes the directory; it reports no failure
    return writeWhole(destination, file.bytes);
}

} // namespace huecast::host::frames
