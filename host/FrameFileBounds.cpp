// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
//
// What a frame file's header declares, held against what the file could hold, before any
// reader allocates for it: a 141-byte PNG whose text chunk claims two gigabytes, or a kilobyte
// declaring a 16384² frame, cost readers seconds and gigabytes before they found the data
// missing.
#include "host/FrameFileBounds.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>
#include <optional>
#include <set>
#include <vector>

#include <fmt/format.h>

#include "host/FrameFiles.h"
#include "host/HostError.h"
#include "host/frames/TiffEntries.h"

namespace huecast::host
{
namespace
{

// The most a deflate stream can expand: 258 bytes from every match of about two bits, which
// zlib's own documentation puts at 1032:1. PNG and OpenEXR's ZIP compression use it.
constexpr std::uint64_t kDeflateRatio = 1032;
// Room for headers, tables and rounding beside the compressed data.
constexpr std::uint64_t kSlackBytes = std::uint64_t{1} << 20;
// Chunks and attributes looked at before giving the rest to the reader: time stays bounded on a
// file of millions of tiny chunks.
constexpr int kMaxHeaderItems = 1 << 20;

// The file being checked, read where it is needed; its descriptor is the caller's.
class File
{
public:
    explicit File(int fd) : m_fd(fd) {}
    /// Exactly `size` bytes at `offset`, or false.
    bool read(std::uint64_t offset, void* into, std::size_t size) const
    {
        return m_fd >= 0 && frames::readAt(m_fd, offset, into, size);
    }

private:
    int m_fd;
};

std::uint32_t bigEndian32(const unsigned char* bytes)
{
    return std::uint32_t{bytes[0]} << 24 | std::uint32_t{bytes[1]} << 16 |
           std::uint32_t{bytes[2]} << 8 | std::uint32_t{bytes[3]};
}

std::int32_t littleEndian32(const unsigned char* bytes)
{
    const std::uint32_t value = std::uint32_t{bytes[0]} | std::uint32_t{bytes[1]} << 8 |
                                std::uint32_t{bytes[2]} << 16 | std::uint32_t{bytes[3]} << 24;
    std::int32_t signedValue = 0;
    std::memcpy(&signedValue, &value, sizeof value);
    return signedValue;
}

// Every frame path refuses frames beyond kMaxFrameEdge each way; saying so from the header
// spares the libraries allocating line buffers for a width of millions first.
bool outsideFrameEdges(foundation::Error* error, std::uint64_t width, std::uint64_t height)
{
    if (width >= 1 && height >= 1 && width <= static_cast<std::uint64_t>(kMaxFrameEdge) &&
        height <= static_cast<std::uint64_t>(kMaxFrameEdge))
    {
        return false;
    }
    hostError(error, HostError::FrameUnreadable,
              fmt::format("Its size of {}×{} pixels is outside 1 to {} each way", width, height,
                          kMaxFrameEdge));
    return true;
}

bool tooLarge(foundation::Error* error, std::uint64_t width, std::uint64_t height,
              std::uint64_t fileSize)
{
    return hostError(error, HostError::FrameUnreadable,
                     fmt::format("It declares {}×{} pixels, more than its {} bytes could hold",
                                 width, height, fileSize));
}

bool pastTheEnd(foundation::Error* error, std::string_view what, std::uint64_t size)
{
    return hostError(
        error, HostError::FrameUnreadable,
        fmt::format("It is damaged: {} claims {} bytes, past the file's end", what, size));
}

// Walks the chunks: each must end inside the file, and the image data must be able to hold the
// rows IHDR declares.
bool checkPng(const File& file, std::uint64_t fileSize, foundation::Error* error)
{
    std::uint64_t offset = 8;
    std::uint64_t width = 0;
    std::uint64_t height = 0;
    std::uint64_t rowBits = 0;
    std::uint64_t imageData = 0;
    for (int item = 0; offset + 8 <= fileSize; ++item)
    {
        if (item == kMaxHeaderItems)
        {
            return true; // the chunks not looked at are the reader's to judge
        }
        std::array<unsigned char, 8> header{};
        if (!file.read(offset, header.data(), header.size()))
        {
            return true; // the reader says what is wrong
        }
        const std::uint64_t length = bigEndian32(header.data());
        const std::string_view type(reinterpret_cast<const char*>(header.data() + 4), 4);
        if (offset + 12 + length > fileSize)
        {
            return pastTheEnd(error, fmt::format("its {} chunk", type), length);
        }
        if (type == "IHDR" && length >= 13)
        {
            std::array<unsigned char, 13> ihdr{};
            if (file.read(offset + 8, ihdr.data(), ihdr.size()))
            {
                width = bigEndian32(ihdr.data());
                height = bigEndian32(ihdr.data() + 4);
                constexpr std::array<std::uint64_t, 7> kChannels = {1, 0, 3, 1, 2, 0, 4};
                const std::uint64_t channels = ihdr[9] < kChannels.size() ? kChannels[ihdr[9]] : 4;
                rowBits = width * channels * ihdr[8];
            }
        }
        imageData += type == "IDAT" ? length : 0;
        if (type == "IEND")
        {
            break;
        }
        offset += 12 + length;
    }
    if (outsideFrameEdges(error, width, height))
    {
        return false;
    }
    // Each row is a filter byte and its pixels, deflated.
    const std::uint64_t rowBytes = 1 + (rowBits + 7) / 8;
    const double raw = static_cast<double>(height) * static_cast<double>(rowBytes);
    if (raw > static_cast<double>(imageData * kDeflateRatio + kSlackBytes))
    {
        return tooLarge(error, width, height, fileSize);
    }
    return true;
}

// How far each OpenEXR compression can expand its data at most. DWAA and DWAB make an 8×8 block
// of one colour a DC value and an end-of-block mark, both deflated: about 128 bytes from 1/250
// of a byte each, so 2^16 holds them; a compression unknown here gets the same.
std::uint64_t exrRatio(unsigned char compression)
{
    switch (compression)
    {
    case 0: // none
        return 1;
    case 1: // RLE: 128 bytes from two
        return 64;
    case 2: // ZIPS
    case 3: // ZIP
        return kDeflateRatio;
    case 4: // PIZ: wavelet, then Huffman with runs of at most 255 codes
        return 4096;
    case 5: // PXR24: floats cut to 24 bits, then deflated
        return 2 * kDeflateRatio;
    case 6: // B44
    case 7: // B44A: a flat 4×4 block in 3 bytes
        return 32;
    default:
        return std::uint64_t{1} << 16;
    }
}

// How many scan lines each OpenEXR compression takes at once: its decompressor sets aside that
// many lines' worth as the file is opened, however few the image has.
std::uint64_t exrLinesPerBlock(unsigned char compression)
{
    switch (compression)
    {
    case 0: // none
    case 1: // RLE
    case 2: // ZIPS
        return 1;
    case 3: // ZIP
    case 5: // PXR24
        return 16;
    case 4: // PIZ
    case 6: // B44
    case 7: // B44A
    case 8: // DWAA
        return 32;
    default: // DWAB, and any other
        return 256;
    }
}

// Reads one null-terminated name of at most 255 bytes at `offset`, moving past it.
std::optional<std::string> exrName(const File& file, std::uint64_t fileSize, std::uint64_t& offset)
{
    std::array<char, 256> name{};
    const std::size_t available =
        static_cast<std::size_t>(std::min<std::uint64_t>(name.size(), fileSize - offset));
    if (offset >= fileSize || !file.read(offset, name.data(), available))
    {
        return std::nullopt;
    }
    const auto end = std::find(name.begin(), name.begin() + available, '\0');
    if (end == name.begin() + available)
    {
        return std::nullopt;
    }
    offset += static_cast<std::uint64_t>(end - name.begin()) + 1;
    return std::string(name.begin(), end);
}

// The bytes OpenEXR's reader takes for an attribute of a fixed-size type, whatever size the
// file gives it; nothing for the types whose reader goes by the given size.
std::optional<std::uint64_t> exrFixedSize(std::string_view type)
{
    constexpr std::array<std::pair<std::string_view, std::uint64_t>, 24> kSizes = {{
        {"box2i", 16},      {"box2f", 16},   {"chromaticities", 32},
        {"compression", 1}, {"double", 8},   {"envmap", 1},
        {"float", 4},       {"int", 4},      {"keycode", 28},
        {"lineOrder", 1},   {"m33f", 36},    {"m33d", 72},
        {"m44f", 64},       {"m44d", 128},   {"rational", 8},
        {"tiledesc", 9},    {"timecode", 8}, {"v2i", 8},
        {"v2f", 8},         {"v2d", 16},     {"v3i", 12},
        {"v3f", 12},        {"v3d", 24},     {"deepImageState", 1},
    }};
    for (const auto& [name, size] : kSizes)
    {
        if (name == type)
        {
            return size;
        }
    }
    return std::nullopt;
}

// What an OpenEXR header holds that bounds its pixels.
struct ExrHeader
{
    std::optional<std::array<std::int32_t, 4>> window;
    // A header without a compression attribute has OpenEXR's default, ZIP.
    unsigned char compression = 3;
    double pixelBytes = 0; // a channel sampled every other pixel counts a quarter
    std::optional<std::array<std::uint32_t, 2>> tile; // a tiled file's tile size
};

// Reads a channel list as OpenEXR's reader does, up to its empty name, whatever size the file
// gives it; the offset past it, or nothing when it runs past the file.
std::optional<std::uint64_t> readChannels(const File& file, std::uint64_t fileSize,
                                          std::uint64_t offset, ExrHeader& header)
{
    for (int channel = 0; channel < kMaxHeaderItems; ++channel)
    {
        const std::optional<std::string> name = exrName(file, fileSize, offset);
        if (!name)
        {
            return std::nullopt;
        }
        if (name->empty())
        {
            return offset;
        }
        std::array<unsigned char, 16> fields{};
        if (!file.read(offset, fields.data(), fields.size()))
        {
            return std::nullopt;
        }
        const double bytes = littleEndian32(fields.data()) == 1 ? 2.0 : 4.0; // half, else 32 bits
        const std::int32_t xSampling = littleEndian32(fields.data() + 8);
        const std::int32_t ySampling = littleEndian32(fields.data() + 12);
        if (xSampling >= 1 && ySampling >= 1)
        {
            header.pixelBytes += bytes / xSampling / ySampling;
        }
        offset += fields.size();
    }
    return std::nullopt;
}

// The result of walking one header: its end, or a verdict already reached.
struct HeaderWalk
{
    std::optional<std::uint64_t> end; // the offset past the header's terminating byte
    bool refused = false;             // the error says why
};

// One attribute of a header: its name, its type and the size the file gives its value.
struct ExrAttribute
{
    std::string name;
    std::string type;
    std::int32_t given = 0;
    std::uint64_t size = 0; // `given` as the reader takes it, unsigned
};

// Whether an attribute's value is where its size says.
enum class AttributeFit : std::uint8_t
{
    Fits,
    Refused,    // the error says why
    Unreadable, // the reader says what is wrong
};

AttributeFit refuseAttribute(const ExrAttribute& attribute, std::uint64_t size,
                             foundation::Error* error)
{
    (void)pastTheEnd(error, fmt::format("its attribute \"{}\"", attribute.name), size);
    return AttributeFit::Refused;
}

AttributeFit misSizedAttribute(const ExrAttribute& attribute, foundation::Error* error)
{
    (void)hostError(error, HostError::FrameUnreadable,
                    fmt::format("It is damaged: its attribute \"{}\" says {} bytes, which a {} "
                                "doesn't take",
                                attribute.name, attribute.size, attribute.type));
    return AttributeFit::Refused;
}

// Checks the size of the attribute's value at `offset`: fixed-size types by their own size (a
// file giving another is damaged), channel lists to their terminator (which must be where
// their size says), previews and the rest by the size given, each ending inside the file.
AttributeFit fitAttribute(const File& file, std::uint64_t fileSize, std::uint64_t offset,
                          const ExrAttribute& attribute, ExrHeader& header,
                          foundation::Error* error)
{
    std::uint64_t taken = attribute.size;
    if (attribute.type == "chlist")
    {
        const std::optional<std::uint64_t> end = readChannels(file, fileSize, offset, header);
        if (!end || *end > fileSize)
        {
            return refuseAttribute(attribute, attribute.size, error);
        }
        if (*end != offset + attribute.size)
        {
            return misSizedAttribute(attribute, error);
        }
    }
    else if (attribute.type == "preview")
    {
        std::array<unsigned char, 8> extent{};
        if (!file.read(offset, extent.data(), extent.size()))
        {
            return AttributeFit::Unreadable;
        }
        taken = 8 + std::uint64_t{static_cast<std::uint32_t>(littleEndian32(extent.data()))} *
                        static_cast<std::uint32_t>(littleEndian32(extent.data() + 4)) * 4;
    }
    else if (const std::optional<std::uint64_t> fixed = exrFixedSize(attribute.type);
             fixed && *fixed != attribute.size)
    {
        return misSizedAttribute(attribute, error);
    }
    if (attribute.given < 0 || offset + taken > fileSize)
    {
        return refuseAttribute(attribute, std::max(attribute.size, taken), error);
    }
    return taken == attribute.size ? AttributeFit::Fits : misSizedAttribute(attribute, error);
}

// Keeps the data window, tile size and compression the header gives, the last of each: OpenEXR's
// reader lets a later attribute of a name overwrite an earlier one. False when the value at
// `offset` can't be read.
bool noteAttribute(const File& file, std::uint64_t offset, const ExrAttribute& attribute,
                   ExrHeader& header)
{
    std::array<unsigned char, 16> value{};
    if (attribute.size <= value.size() && !file.read(offset, value.data(), attribute.size))
    {
        return false;
    }
    if (attribute.name == "dataWindow" && attribute.type == "box2i")
    {
        header.window =
            std::array<std::int32_t, 4>{littleEndian32(&value[0]), littleEndian32(&value[4]),
                                        littleEndian32(&value[8]), littleEndian32(&value[12])};
    }
    else if (attribute.name == "tiles" && attribute.type == "tiledesc")
    {
        header.tile =
            std::array<std::uint32_t, 2>{static_cast<std::uint32_t>(littleEndian32(&value[0])),
                                         static_cast<std::uint32_t>(littleEndian32(&value[4]))};
    }
    else if (attribute.name == "compression" && attribute.type == "compression")
    {
        header.compression = value[0];
    }
    return true;
}

// Walks one header's attributes as OpenEXR's reader does, each checked by fitAttribute.
HeaderWalk walkExrHeader(const File& file, std::uint64_t fileSize, std::uint64_t offset,
                         ExrHeader& header, foundation::Error* error)
{
    for (int item = 0; item < kMaxHeaderItems; ++item)
    {
        const std::optional<std::string> name = exrName(file, fileSize, offset);
        if (!name || name->empty())
        {
            return {name ? std::optional(offset) : std::nullopt, false};
        }
        const std::optional<std::string> type = exrName(file, fileSize, offset);
        std::array<unsigned char, 4> sizeBytes{};
        if (!type || !file.read(offset, sizeBytes.data(), sizeBytes.size()))
        {
            return {}; // the reader says what is wrong
        }
        ExrAttribute attribute{*name, *type, littleEndian32(sizeBytes.data()), 0};
        attribute.size = static_cast<std::uint64_t>(static_cast<std::uint32_t>(attribute.given));
        offset += 4;
        switch (fitAttribute(file, fileSize, offset, attribute, header, error))
        {
        case AttributeFit::Refused:
            return {std::nullopt, true};
        case AttributeFit::Unreadable:
            return {};
        case AttributeFit::Fits:
            break;
        }
        if (!noteAttribute(file, offset, attribute, header))
        {
            return {};
        }
        offset += attribute.size;
    }
    return {};
}

// Walks every header (a multi-part file has one a part, then an empty one); the first part's
// data window must fit what its compression could make of the file's bytes.
bool checkExr(const File& file, std::uint64_t fileSize, foundation::Error* error)
{
    std::array<unsigned char, 8> start{};
    if (!file.read(0, start.data(), start.size()))
    {
        return true;
    }
    constexpr unsigned char kDeep = 0x08; // version flags, second byte
    constexpr unsigned char kMultiPart = 0x10;
    constexpr unsigned char kTiled = 0x02; // a single-part file's tiles, whatever its attributes
    ExrHeader header;
    std::uint64_t offset = 8;
    for (int part = 0; part < kMaxHeaderItems; ++part)
    {
        ExrHeader partHeader;
        const HeaderWalk walk = walkExrHeader(file, fileSize, offset, partHeader, error);
        if (walk.refused)
        {
            return false;
        }
        if (!walk.end)
        {
            return true;
        }
        if (part == 0)
        {
            header = partHeader;
        }
        offset = *walk.end;
        unsigned char next = 0;
        if ((start[5] & kMultiPart) == 0 || !file.read(offset, &next, 1) || next == 0)
        {
            break;
        }
    }
    // Without a data window of its own, a header has OpenEXR's default, 64×64.
    const std::array<std::int32_t, 4> window =
        header.window.value_or(std::array<std::int32_t, 4>{0, 0, 63, 63});
    if (window[2] < window[0] || window[3] < window[1])
    {
        return true;
    }
    const auto width = static_cast<std::uint64_t>(std::int64_t{window[2]} - window[0] + 1);
    const auto height = static_cast<std::uint64_t>(std::int64_t{window[3]} - window[1] + 1);
    if (outsideFrameEdges(error, width, height))
    {
        return false;
    }
    // A deep file's samples a pixel are its own; the reader refuses it anyway.
    if ((start[5] & kDeep) != 0 || header.pixelBytes <= 0.0)
    {
        return true;
    }
    const double held =
        static_cast<double>(fileSize) * static_cast<double>(exrRatio(header.compression)) +
        kSlackBytes;
    const double raw = static_cast<double>(width) * static_cast<double>(height) * header.pixelBytes;
    if (raw > held)
    {
        return tooLarge(error, width, height, fileSize);
    }
    // OpenEXR sets aside a whole tile's worth, or a block of scan lines' worth, as it opens the
    // file, whatever the window: up to 64 MiB (a 2048×2048 tile of RGBA floats) passes, more
    // only as the data window would.
    constexpr double kAnyBlock = 64.0 * (1 << 20);
    const double lines =
        static_cast<double>(std::max(height, exrLinesPerBlock(header.compression)));
    const bool tiled = (start[5] & kTiled) != 0;
    if (!tiled &&
        static_cast<double>(width) * lines * header.pixelBytes > std::max(held, kAnyBlock))
    {
        return tooLarge(error, width, height, fileSize);
    }
    const double tile = tiled && header.tile
                            ? static_cast<double>((*header.tile)[0]) *
                                  static_cast<double>((*header.tile)[1]) * header.pixelBytes
                            : 0.0;
    if (tile > std::max(held, kAnyBlock))
    {
        return hostError(error, HostError::FrameUnreadable,
                         fmt::format("It declares tiles of {}×{} pixels, more than its {} bytes "
                                     "could hold",
                                     (*header.tile)[0], (*header.tile)[1], fileSize));
    }
    return true;
}

// How far each TIFF compression can expand its data at most. JPEG makes a flat 8×8 block a few
// bits; codecs unknown here get 2^16.
std::uint64_t tiffRatio(std::uint64_t compression)
{
    switch (compression)
    {
    case 1: // none
        return 1;
    case 5: // LZW: its table of 4096 strings restarts, so a run costs about 6 kB per 8 MB
        return 4096;
    case 8: // deflate
    case 32946:
        return kDeflateRatio;
    case 32773: // PackBits: 128 bytes from two
        return 64;
    case 6: // JPEG, old and new
    case 7:
        return 2048;
    default:
        return std::uint64_t{1} << 16;
    }
}

// What the first directory says of the first image's size, with the defaults of a directory
// without these tags.
struct TiffDirectory
{
    std::uint64_t width = 0;
    std::uint64_t height = 0;
    std::uint64_t bits = 1;
    std::uint64_t samples = 1;
    std::uint64_t ratio = 1;
    bool subsampled = false;

    static bool uses(std::uint16_t tag)
    {
        return (tag >= 256 && tag <= 259) || tag == 262 || tag == 277;
    }

    void take(std::uint16_t tag, std::uint64_t value)
    {
        switch (tag)
        {
        case 256:
            width = value;
            break;
        case 257:
            height = value;
            break;
        case 258:
            bits = value;
            break;
        case 259:
            ratio = tiffRatio(value);
            break;
        case 262: // YCbCr, whose chroma may be subsampled
            subsampled = value == 6;
            break;
        case 277:
            samples = value;
            break;
        default:
            break;
        }
    }
};

// The first directory of a TIFF file, each tag as libtiff reads it: the first of any given
// twice, its first value of any integer type; a value of another type can't be bounded, so it
// counts as the largest. Nothing for a file whose directory libtiff can't read either.
std::optional<TiffDirectory> readTiffDirectory(int fd)
{
    const std::optional<frames::TiffStart> start = frames::readTiffStart(fd);
    const std::optional<frames::StoredDirectory> stored =
        start ? frames::readStoredDirectory(fd, start->firstDirectory, *start) : std::nullopt;
    if (!stored)
    {
        return std::nullopt;
    }
    TiffDirectory directory;
    std::set<std::uint16_t> seen;
    for (std::size_t i = 0; i < stored->count(); ++i)
    {
        const std::uint16_t tag = stored->tag(i);
        if (TiffDirectory::uses(tag) && seen.insert(tag).second)
        {
            directory.take(tag, frames::firstInteger(fd, *stored, i)
                                    .value_or(std::numeric_limits<std::uint64_t>::max()));
        }
    }
    return directory;
}

// Reads the first directory of a TIFF file: the image's size, samples and bits, and its
// compression; the strips and tiles can hold no more than the file's bytes.
bool checkTiff(int fd, std::uint64_t fileSize, foundation::Error* error)
{
    const std::optional<TiffDirectory> directory = readTiffDirectory(fd);
    if (!directory)
    {
        return true; // the reader decides
    }
    if (outsideFrameEdges(error, directory->width, directory->height))
    {
        return false;
    }
    // Subsampled chroma holds a quarter of what three full samples would: counted as one sample.
    const double raw =
        static_cast<double>(directory->width) * static_cast<double>(directory->height) *
        static_cast<double>((directory->subsampled ? 1 : directory->samples) * directory->bits) /
        8.0;
    if (raw > static_cast<double>(fileSize) * static_cast<double>(directory->ratio) + kSlackBytes)
    {
        return tooLarge(error, directory->width, directory->height, fileSize);
    }
    return true;
}

} // namespace

bool checkDeclaredSize(int fd, frames::Family family, std::uint64_t fileSize,
                       foundation::Error* error)
{
    const File file(fd);
    switch (family)
    {
    case frames::Family::Png:
        return checkPng(file, fileSize, error);
    case frames::Family::OpenExr:
        return checkExr(file, fileSize, error);
    case frames::Family::Tiff:
        return checkTiff(fd, fileSize, error);
    }
    return true;
}

} // namespace huecast::host
