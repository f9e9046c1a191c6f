// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
// OpenEXR frames through OpenEXR itself: single-part scanline or single-level tiled RGB and RGBA
// files of half or float channels, read and written as the OpenImageIO module does (the same
// library underneath, the header's attributes carried, the same arithmetic on premultiplied
// colour, the data window written from 0, 0).
#include <algorithm>
#include <array>
#include <bit>
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <memory>
#include <mutex>
#include <optional>
#include <string_view>
#include <thread>
#include <type_traits>

#include <Imath/half.h>
#include <OpenEXR/ImfChannelList.h>
#include <OpenEXR/ImfFrameBuffer.h>
#include <OpenEXR/ImfHeader.h>
#include <OpenEXR/ImfInputFile.h>
#include <OpenEXR/ImfOutputFile.h>
#include <OpenEXR/ImfRationalAttribute.h>
#include <OpenEXR/ImfStandardAttributes.h>
#include <OpenEXR/ImfStdIO.h>
#include <OpenEXR/ImfStringAttribute.h>
#include <OpenEXR/ImfThreading.h>
#include <OpenEXR/ImfTiledOutputFile.h>
#include <OpenEXR/ImfVersion.h>

#include "host/frames/CommonFormats.h"
#include "host/frames/HalfFloats.h"

namespace huecast::host::frames
{
namespace
{

/// What a read kept: the source's header (only attributes the writer is known to carry over as
/// OpenImageIO does) and its channel type.
struct ExrLayout final : StoredLayout
{
    ExrLayout(Imf::Header sourceHeader, Imf::PixelType sourceType)
        : StoredLayout(Family::OpenExr), header(std::move(sourceHeader)), type(sourceType)
    {
    }

    const Imf::Header header;
    const Imf::PixelType type;
};

/// One attribute a taken file may hold: the type it must have, and whether OpenImageIO carries
/// it into the file it writes (the others are rebuilt from the frame and the options).
struct KnownAttribute
{
    std::string_view name;
    std::string_view type;
    bool carried;
};

// The attributes OpenImageIO's writer and ffmpeg's exr encoder put in a file (a density where
// render's source had one), each checked to come back through OpenImageIO as written here.
// Others are carried as they are when of a type below.
constexpr std::array<KnownAttribute, 16> kKnownAttributes{{
    {"tiles", "tiledesc", false},
    {"channels", "chlist", false},
    {"compression", "compression", false},
    {"dataWindow", "box2i", false},
    {"displayWindow", "box2i", false},
    {"lineOrder", "lineOrder", false},
    {"pixelAspectRatio", "float", true},
    {"screenWindowCenter", "v2f", true},
    {"screenWindowWidth", "float", true},
    {"capDate", "string", true},
    {"Software", "string", false},
    {"framesPerSecond", "rational", true},
    {"gamma", "float", true},
    {"writer", "string", true},
    {"xDensity", "float", true},
    {"ResolutionUnit", "string", false},
}};

const KnownAttribute* knownAttribute(std::string_view name)
{
    const auto* found =
        std::find_if(kKnownAttributes.begin(), kKnownAttributes.end(),
                     [&](const KnownAttribute& known) { return known.name == name; });
    return found != kKnownAttributes.end() ? found : nullptr;
}

/// Whether OpenImageIO reads an attribute no one above names into an attribute of the same
/// name and type, which its own write gives back unchanged (a tool's or a studio's strings and
/// numbers, comments, owner, chromaticities): so it is carried as it is. Its own "oiio:" names
/// it reads in ways of its own.
bool isCarriedAsItIs(std::string_view name, std::string_view type)
{
    constexpr std::array<std::string_view, 11> kTypes{"string", "float", "double",        "int",
                                                      "v2i",    "v2f",   "v3i",           "v3f",
                                                      "m33f",   "m44f",  "chromaticities"};
    return !name.starts_with("oiio:") &&
           std::find(kTypes.begin(), kTypes.end(), type) != kTypes.end();
}

/// Whether every attribute is one OpenImageIO is known to take over unchanged. It drops empty
/// strings and ends strings at the first NUL.
bool hasOnlyKnownAttributes(const Imf::Header& header)
{
    for (auto it = header.begin(); it != header.end(); ++it)
    {
        const KnownAttribute* known = knownAttribute(it.name());
        if (known != nullptr ? known->type != it.attribute().typeName()
                             : !isCarriedAsItIs(it.name(), it.attribute().typeName()))
        {
            return false;
        }
        if (const auto* text = dynamic_cast<const Imf::StringAttribute*>(&it.attribute());
            text != nullptr &&
            (text->value().empty() || text->value().find('\0') != std::string::npos))
        {
            return false;
        }
        // A denominator past int's range comes back reduced, or not at all.
        if (const auto* rate = dynamic_cast<const Imf::RationalAttribute*>(&it.attribute());
            rate != nullptr && rate->value().d >= (1U << 31U))
        {
            return false;
        }
    }
    return true;
}

bool isTakenCompression(Imf::Compression compression)
{
    switch (compression)
    {
    case Imf::NO_COMPRESSION:
    case Imf::RLE_COMPRESSION:
    case Imf::ZIPS_COMPRESSION:
    case Imf::ZIP_COMPRESSION:
    case Imf::PIZ_COMPRESSION:
    case Imf::PXR24_COMPRESSION:
    case Imf::B44_COMPRESSION:
    case Imf::B44A_COMPRESSION:
    case Imf::DWAA_COMPRESSION:
    case Imf::DWAB_COMPRESSION:
        return true;
    default:
        return false;
    }
}

/// The channel set's count as the host counts a source's channels (3 for R, G, B; 4 with A; 1
/// for Y, grey; 2 for Y and A), or nothing for any other set, sampled or mixed-type channels,
/// or a type other than half and float. `type` gets the common type.
std::optional<int> rgbChannels(const Imf::ChannelList& list, Imf::PixelType* type)
{
    int colours = 0;
    bool grey = false;
    bool alpha = false;
    std::optional<Imf::PixelType> common;
    for (auto it = list.begin(); it != list.end(); ++it)
    {
        const std::string_view name = it.name();
        const Imf::Channel& channel = it.channel();
        if ((name != "R" && name != "G" && name != "B" && name != "A" && name != "Y") ||
            channel.xSampling != 1 || channel.ySampling != 1 ||
            (channel.type != Imf::HALF && channel.type != Imf::FLOAT) ||
            (common && *common != channel.type))
        {
            return std::nullopt;
        }
        common = channel.type;
        alpha = alpha || name == "A";
        grey = grey || name == "Y";
        colours += name == "A" ? 0 : 1;
    }
    // The list holds each name once: Y alone, or R, G and B without it.
    if (!common || (grey ? colours != 1 : colours != 3))
    {
        return std::nullopt;
    }
    *type = *common;
    return colours + (alpha ? 1 : 0);
}

/// The frame's channel a file's channel goes to: grey to red, spread over green and blue after.
std::size_t placeOf(std::string_view name)
{
    return name == "R" || name == "Y" ? 0 : name == "G" ? 1 : name == "B" ? 2 : 3;
}

/// Gives green and blue the grey that went to red.
void spreadGrey(Frame* frame)
{
    for (std::uint32_t y = 0; y < frame->height(); ++y)
    {
        const std::span<float> row = frame->rowAs<float>(y);
        for (std::size_t x = 0; x < row.size(); x += Frame::kChannels)
        {
            row[x + 1] = row[x];
            row[x + 2] = row[x];
        }
    }
}

/// Sets OpenEXR's worker pool once for the process. OpenImageIO makes it as large as its own
/// (OPENIMAGEIO_THREADS, else one per core); here the frames are read and written on two
/// threads of their own, and every worker beyond the cores those leave costs more in hand-offs
/// than it gains (an uncompressed file is a task per scan line), so the pool is two smaller.
void setUpThreads()
{
    static std::once_flag once;
    std::call_once(once,
                   []
                   {
                       int count = static_cast<int>(std::thread::hardware_concurrency());
                       if (const char* value = std::getenv("OPENIMAGEIO_THREADS"))
                       {
                           const int asked = std::atoi(value);
                           count = asked > 0 ? asked : count;
                       }
                       Imf::setGlobalThreadCount(std::max(count - 2, 0));
                   });
}

/// Divides colour by alpha as the OpenImageIO module does for the premultiplied colour
/// OpenImageIO hands over: in double; where alpha is 0 (or NaN) the colour is emitted light,
/// kept as it is.
void unpremultiply(float* pixels, std::size_t count)
{
    for (std::size_t x = 0; x < count * Frame::kChannels; x += Frame::kChannels)
    {
        const auto alpha = static_cast<double>(pixels[x + 3]);
        for (std::size_t c = 0; c < 3; ++c)
        {
            const auto value = static_cast<double>(pixels[x + c]);
            pixels[x + c] = static_cast<float>(alpha > 0.0 ? value / alpha : value);
        }
    }
}

// Room for many scan lines between system calls: OpenEXR reads and writes a line at a time
// when the file is uncompressed.
constexpr std::size_t kStreamBuffer = std::size_t{1} << 20;

constexpr int kOpenImageIoZipLevel = 4;  // OpenImageIO's zip level unless the name gives one
constexpr int kOpenImageIoDwaLevel = 45; // and its DWA level

/// How a file is written: the method, and the level of the methods that take one.
struct WrittenCompression
{
    Imf::Compression method = Imf::ZIP_COMPRESSION;
    int zipLevel = kOpenImageIoZipLevel;
    std::optional<int> dwaLevel; ///< set for DWAA and DWAB only
};

bool isDwa(Imf::Compression method)
{
    return method == Imf::DWAA_COMPRESSION || method == Imf::DWAB_COMPRESSION;
}

/// The level after the name's colon as OpenImageIO reads it: zip's one digit, DWA's whole
/// number (it keeps the digits before any fraction); nothing for any other text.
std::optional<int> levelNamed(std::string_view text, bool dwa)
{
    const std::size_t digits = std::min(text.find_first_not_of("0123456789"), text.size());
    if (digits == 0 || digits > (dwa ? 6 : 1) ||
        (digits < text.size() &&
         (!dwa || text[digits] != '.' ||
          text.find_first_not_of("0123456789", digits + 1) != std::string_view::npos)))
    {
        return std::nullopt;
    }
    const int level = std::stoi(std::string(text.substr(0, digits)));
    return dwa || level >= 1 ? std::optional(level) : std::nullopt;
}

/// The written compression for the user's compression name as OpenImageIO reads it ("zip",
/// "PIZ", "zip:6", "dwaa:60"), or nothing for a name it treats in ways not reproduced here.
std::optional<WrittenCompression> compressionNamed(std::string_view text)
{
    std::string name(text.substr(0, text.find(':')));
    std::transform(name.begin(), name.end(), name.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    constexpr std::array<std::pair<std::string_view, Imf::Compression>, 10> kNames{{
        {"none", Imf::NO_COMPRESSION},
        {"rle", Imf::RLE_COMPRESSION},
        {"zips", Imf::ZIPS_COMPRESSION},
        {"zip", Imf::ZIP_COMPRESSION},
        {"piz", Imf::PIZ_COMPRESSION},
        {"pxr24", Imf::PXR24_COMPRESSION},
        {"b44", Imf::B44_COMPRESSION},
        {"b44a", Imf::B44A_COMPRESSION},
        {"dwaa", Imf::DWAA_COMPRESSION},
        {"dwab", Imf::DWAB_COMPRESSION},
    }};
    const auto* found = std::find_if(kNames.begin(), kNames.end(),
                                     [&](const auto& entry) { return entry.first == name; });
    if (found == kNames.end())
    {
        return std::nullopt;
    }
    WrittenCompression written{found->second, kOpenImageIoZipLevel, std::nullopt};
    const bool zip =
        written.method == Imf::ZIPS_COMPRESSION || written.method == Imf::ZIP_COMPRESSION;
    const bool dwa = isDwa(written.method);
    if (dwa)
    {
        written.dwaLevel = kOpenImageIoDwaLevel;
    }
    if (name.size() != text.size())
    {
        const std::optional<int> level =
            zip || dwa ? levelNamed(text.substr(name.size() + 1), dwa) : std::nullopt;
        if (!level)
        {
            return std::nullopt;
        }
        (zip ? written.zipLevel : *written.dwaLevel) = *level;
    }
    return written;
}

/// The compression of a file written without a name for one: the source's, at OpenImageIO's
/// own levels (it doesn't take a DWA level over from the source's header).
WrittenCompression sourceCompression(const Imf::Header& header)
{
    WrittenCompression written{header.compression(), kOpenImageIoZipLevel, std::nullopt};
    if (isDwa(written.method))
    {
        written.dwaLevel = kOpenImageIoDwaLevel;
    }
    return written;
}

/// The header OpenImageIO writes for the frame: the source's carried attributes over the
/// defaults, the Software tag, a capture date, the channels and the compression.
Imf::Header headerFor(const Frame& frame, const ExrLayout& layout, int channels,
                      Imf::PixelType type, const WrittenCompression& compression)
{
    const Imath::Box2i window(Imath::V2i(0, 0), Imath::V2i(static_cast<int>(frame.width()) - 1,
                                                           static_cast<int>(frame.height()) - 1));
    Imf::Header header(window, window);
    for (auto it = layout.header.begin(); it != layout.header.end(); ++it)
    {
        const KnownAttribute* known = knownAttribute(it.name());
        if (known != nullptr ? known->carried
                             : isCarriedAsItIs(it.name(), it.attribute().typeName()))
        {
            header.insert(it.name(), it.attribute());
        }
    }
    header.insert("Software", Imf::StringAttribute(kSoftware));
    // OpenImageIO reads any density but 0 as pixels per inch, whatever unit the file names.
    const auto* density = layout.header.findTypedAttribute<Imf::FloatAttribute>("xDensity");
    const auto* unit = layout.header.findTypedAttribute<Imf::StringAttribute>("ResolutionUnit");
    if (density != nullptr && density->value() != 0.0F)
    {
        header.insert("ResolutionUnit", Imf::StringAttribute("in"));
    }
    else if (unit != nullptr)
    {
        header.insert("ResolutionUnit", *unit);
    }
    if (!Imf::hasCapDate(header))
    {
        Imf::addCapDate(header, timeOfWriting());
    }
    for (const char* name : {"R", "G", "B", "A"})
    {
        if (name[0] != 'A' || channels == 4)
        {
            header.channels().insert(name, Imf::Channel(type, 1, 1, false));
        }
    }
    // Tiles as the source's, as OpenImageIO writes them; the window starts at 0 whatever the
    // source's data and display windows were.
    if (layout.header.hasTileDescription())
    {
        header.setTileDescription(layout.header.tileDescription());
    }
    header.compression() = compression.method;
    header.zipCompressionLevel() = compression.zipLevel;
    if (compression.dwaLevel)
    {
        // OpenImageIO names the level in the header, where its reader finds it again.
        header.dwaCompressionLevel() = static_cast<float>(*compression.dwaLevel);
        header.insert("dwaCompressionLevel",
                      Imf::FloatAttribute(static_cast<float>(*compression.dwaLevel)));
    }
    return header;
}

constexpr std::array<const char*, 4> kChannelNames{"R", "G", "B", "A"};

/// Slices for the first `channels` of R, G, B and A, interleaved values of `type` `pixelBytes`
/// apart in rows `rowBytes` apart from `base`.
Imf::FrameBuffer slicesOf(std::byte* base, Imf::PixelType type, std::size_t channels,
                          std::size_t pixelBytes, std::size_t rowBytes)
{
    const std::size_t size = type == Imf::HALF ? sizeof(half) : sizeof(float);
    Imf::FrameBuffer buffer;
    for (std::size_t c = 0; c < channels; ++c)
    {
        buffer.insert(kChannelNames[c], Imf::Slice(type, reinterpret_cast<char*>(base + c * size),
                                                   pixelBytes, rowBytes, 1, 1, 1.0));
    }
    return buffer;
}

/// Float slices for the file's channels at their places in the frame's RGBA rows, placed so that
/// the file's pixel (`first`) lands on the frame's first; alpha 1 where the file has none.
Imf::FrameBuffer channelSlices(Frame* frame, const Imf::ChannelList& list, Imath::V2i first)
{
    const std::size_t pixelBytes = frame->bytesPerPixel();
    const std::size_t rowBytes = frame->rowBytes();
    // OpenEXR addresses a slice from the file's pixel (0, 0), which may lie outside the frame.
    std::byte* const origin =
        frame->data() -
        static_cast<std::ptrdiff_t>(first.y) * static_cast<std::ptrdiff_t>(rowBytes) -
        static_cast<std::ptrdiff_t>(first.x) * static_cast<std::ptrdiff_t>(pixelBytes);
    Imf::FrameBuffer buffer;
    for (auto it = list.begin(); it != list.end(); ++it)
    {
        buffer.insert(it.name(), Imf::Slice(Imf::FLOAT,
                                            reinterpret_cast<char*>(origin + placeOf(it.name()) *
                                                                                 sizeof(float)),
                                            pixelBytes, rowBytes, 1, 1, 0.0));
    }
    if (list.findChannel("A") == nullptr)
    {
        buffer.insert("A",
                      Imf::Slice(Imf::FLOAT, reinterpret_cast<char*>(origin + 3 * sizeof(float)),
                                 pixelBytes, rowBytes, 1, 1, 1.0));
    }
    return buffer;
}

/// Puts rows of the frame into the band as `T`, each row's channels one after another (the
/// order OpenEXR stores them in, so its copy reads each run in sequence), premultiplied when
/// there is alpha: the arithmetic of the OpenImageIO module, then the conversion to the stored
/// type, rounded as Imath's half rounds. `scratch` holds a row's values as floats.
template <typename T>
void fillBand(const Frame& frame, std::uint32_t top, std::uint32_t rows, std::size_t channels,
              T* band, float* scratch)
{
    const std::size_t width = frame.width();
    for (std::uint32_t y = 0; y < rows; ++y)
    {
        const float* source = frame.rowAs<float>(top + y).data();
        T* const target = band + static_cast<std::size_t>(y) * width * channels;
        float* const values = std::is_same_v<T, float> ? reinterpret_cast<float*>(target) : scratch;
        if (channels == 3)
        {
            for (std::size_t x = 0; x < width; ++x, source += Frame::kChannels)
            {
                values[x] = source[0];
                values[width + x] = source[1];
                values[2 * width + x] = source[2];
            }
        }
        for (std::size_t x = 0; channels == 4 && x < width; ++x, source += Frame::kChannels)
        {
            // Emitted light, where alpha is 0, is not multiplied away.
            const auto alpha = static_cast<double>(source[3]);
            for (std::size_t c = 0; c < 3; ++c)
            {
                values[c * width + x] =
                    alpha > 0.0 ? static_cast<float>(static_cast<double>(source[c]) * alpha)
                                : source[c];
            }
            values[3 * width + x] = source[3];
        }
        if constexpr (std::is_same_v<T, half>)
        {
            floatsToHalves(values, reinterpret_cast<std::uint16_t*>(target), width * channels);
        }
    }
}

/// Slices over a band of `rows` rows laid out as `fillBand` lays them, the first being row
/// `top` of the file.
template <typename T>
Imf::FrameBuffer bandSlices(T* band, std::size_t width, std::size_t channels, std::uint32_t top)
{
    const std::size_t rowBytes = width * channels * sizeof(T);
    // Channel c of a row starts c × width values in, each value next to the one before.
    auto* const base = reinterpret_cast<std::byte*>(band) -
                       static_cast<std::ptrdiff_t>(top) * static_cast<std::ptrdiff_t>(rowBytes);
    Imf::FrameBuffer slices;
    for (std::size_t c = 0; c < channels; ++c)
    {
        slices.insert(kChannelNames[c],
                      Imf::Slice(std::is_same_v<T, half> ? Imf::HALF : Imf::FLOAT,
                                 reinterpret_cast<char*>(base + c * width * sizeof(T)), sizeof(T),
                                 rowBytes, 1, 1, 1.0));
    }
    return slices;
}

/// Writes the frame's rows through a band of rows at a time, enough for every worker to
/// compress a block of them.
template <typename T>
void writeBands(Imf::OutputFile& file, const Frame& frame, std::size_t channels)
{
    constexpr std::uint32_t kBandRows = 128;
    const std::size_t width = frame.width();
    const auto band = std::make_unique_for_overwrite<T[]>(
        std::size_t{std::min(frame.height(), kBandRows)} * width * channels);
    const auto scratch = std::make_unique_for_overwrite<float[]>(width * channels);
    for (std::uint32_t top = 0; top < frame.height(); top += kBandRows)
    {
        const std::uint32_t rows = std::min(kBandRows, frame.height() - top);
        fillBand(frame, top, rows, channels, band.get(), scratch.get());
        file.setFrameBuffer(bandSlices(band.get(), width, channels, top));
        file.writePixels(static_cast<int>(rows));
    }
}

/// Writes every tile from the whole frame, converted at once: a tile spans many rows.
template <typename T>
void writeTiles(Imf::TiledOutputFile& file, const Frame& frame, std::size_t channels)
{
    const std::size_t width = frame.width();
    const auto whole = std::make_unique_for_overwrite<T[]>(frame.height() * width * channels);
    const auto scratch = std::make_unique_for_overwrite<float[]>(width * channels);
    fillBand(frame, 0, frame.height(), channels, whole.get(), scratch.get());
    file.setFrameBuffer(bandSlices(whole.get(), width, channels, 0));
    file.writeTiles(0, file.numXTiles() - 1, 0, file.numYTiles() - 1);
}

/// Writes the frame's pixels as the header describes them, in tiles where it has a tile
/// description. OpenEXR takes the stored type only, so rows are premultiplied and converted,
/// except float RGB scan lines, which go straight from the frame.
void writePixels(std::ofstream& stream, const std::string& name, const Frame& frame,
                 const Imf::Header& header, Imf::PixelType type, std::size_t channels)
{
    setUpThreads();
    Imf::StdOFStream exrStream(stream, name.c_str());
    if (header.hasTileDescription())
    {
        Imf::TiledOutputFile file(exrStream, header, Imf::globalThreadCount());
        if (type == Imf::FLOAT)
        {
            writeTiles<float>(file, frame, channels);
        }
        else
        {
            writeTiles<half>(file, frame, channels);
        }
        return;
    }
    Imf::OutputFile file(exrStream, header, Imf::globalThreadCount());
    if (type == Imf::FLOAT && channels == 3)
    {
        file.setFrameBuffer(slicesOf(const_cast<std::byte*>(frame.data()), Imf::FLOAT, channels,
                                     frame.bytesPerPixel(), frame.rowBytes()));
        file.writePixels(static_cast<int>(frame.height()));
    }
    else if (type == Imf::FLOAT)
    {
        writeBands<float>(file, frame, channels);
    }
    else
    {
        writeBands<half>(file, frame, channels);
    }
}

/// Reads an uncompressed file's scan lines as stored (each line's channels one after another,
/// in the channel list's order, little-endian) and widens them into the frame's RGBA rows:
/// OpenEXR's own copy into a frame buffer goes value by value. False for a line whose size is
/// not what the header says, as a damaged file's may be.
bool readStoredLines(Imf::InputFile& file, const Imf::ChannelList& list, Imf::PixelType type,
                     int top, Frame* frame)
{
    const std::size_t width = frame->width();
    const std::size_t valueBytes = type == Imf::HALF ? sizeof(half) : sizeof(float);
    std::array<std::size_t, Frame::kChannels> places{};
    std::size_t count = 0;
    for (auto it = list.begin(); it != list.end(); ++it, ++count)
    {
        places[count] = placeOf(it.name());
    }
    // Each line's channels widened side by side, then laid out as RGBA in one pass.
    const auto planes = std::make_unique_for_overwrite<float[]>(width * Frame::kChannels);
    std::fill_n(planes.get() + 3 * width, width, 1.0F); // a missing alpha is opaque
    const auto halves = std::make_unique_for_overwrite<std::uint16_t[]>(width);
    for (std::uint32_t y = 0; y < frame->height(); ++y)
    {
        const char* data = nullptr;
        int size = 0;
        file.rawPixelData(top + static_cast<int>(y), data, size);
        if (size < 0 || static_cast<std::size_t>(size) != width * count * valueBytes)
        {
            return false;
        }
        for (std::size_t c = 0; c < count; ++c)
        {
            float* const plane = planes.get() + places[c] * width;
            const char* const stored = data + c * width * valueBytes;
            if (type == Imf::HALF)
            {
                // Copied out first: OpenEXR's line buffer holds bytes, not halves.
                std::memcpy(halves.get(), stored, width * sizeof(half));
                halvesToFloats(halves.get(), plane, width);
            }
            else
            {
                std::memcpy(plane, stored, width * sizeof(float));
            }
        }
        float* row = frame->rowAs<float>(y).data();
        const float* const red = planes.get();
        const float* const green = red + width;
        const float* const blue = green + width;
        const float* const alpha = blue + width;
        for (std::size_t x = 0; x < width; ++x, row += Frame::kChannels)
        {
            row[0] = red[x];
            row[1] = green[x];
            row[2] = blue[x];
            row[3] = alpha[x];
        }
    }
    return true;
}

} // namespace

bool readOpenExr(const std::string& path, Frame* frame, std::shared_ptr<const StoredLayout>* layout,
                 int* channels)
{
    setUpThreads();
    const auto buffer = std::make_unique_for_overwrite<char[]>(kStreamBuffer);
    std::ifstream stream;
    stream.rdbuf()->pubsetbuf(buffer.get(), static_cast<std::streamsize>(kStreamBuffer));
    stream.open(path, std::ios::binary);
    if (!stream)
    {
        return false;
    }
    Imf::StdIFStream exrStream(stream, path.c_str());
    Imf::InputFile file(exrStream, Imf::globalThreadCount());
    const Imf::Header& header = file.header();
    const int version = file.version();
    const bool tiled = Imf::isTiled(version);
    if (Imf::isMultiPart(version) || Imf::isNonImage(version) || !hasOnlyKnownAttributes(header) ||
        header.lineOrder() != Imf::INCREASING_Y || !isTakenCompression(header.compression()) ||
        (tiled &&
         (!header.hasTileDescription() || header.tileDescription().mode != Imf::ONE_LEVEL ||
          header.tileDescription().xSize > static_cast<unsigned>(kMaxFrameEdge) ||
          header.tileDescription().ySize > static_cast<unsigned>(kMaxFrameEdge))))
    {
        return false; // mipmaps and ripmaps OpenImageIO reads as levels of their own
    }
    const Imath::Box2i& data = header.dataWindow();
    const std::int64_t width = std::int64_t{data.max.x} - data.min.x + 1;
    const std::int64_t height = std::int64_t{data.max.y} - data.min.y + 1;
    // The data window's pixels are the frame, wherever the display window is: OpenImageIO
    // writes them back from 0, 0.
    constexpr int kMaxOrigin = 1 << 24; // keeps the slices' origins far from wrapping
    if (width < 1 || height < 1 || width > kMaxFrameEdge || height > kMaxFrameEdge ||
        std::abs(std::int64_t{data.min.x}) > kMaxOrigin ||
        std::abs(std::int64_t{data.min.y}) > kMaxOrigin)
    {
        return false;
    }
    Imf::PixelType type = Imf::HALF;
    const std::optional<int> count = rgbChannels(header.channels(), &type);
    if (!count)
    {
        return false;
    }

    // OpenEXR turns half into float straight into the frame's rows and fills a missing alpha
    // with 1, as OpenImageIO's conversion and the OpenImageIO module's opaque fill do.
    frame->reshape(static_cast<std::uint32_t>(width), static_cast<std::uint32_t>(height),
                   PixelType::Float);
    if (!tiled && header.compression() == Imf::NO_COMPRESSION &&
        std::endian::native == std::endian::little)
    {
        if (!readStoredLines(file, header.channels(), type, data.min.y, frame))
        {
            return false;
        }
    }
    else
    {
        file.setFrameBuffer(channelSlices(frame, header.channels(), data.min));
        file.readPixels(data.min.y, data.max.y);
    }
    if (*count <= 2)
    {
        spreadGrey(frame);
    }
    if (*count == 2 || *count == 4)
    {
        for (std::uint32_t y = 0; y < frame->height(); ++y)
        {
            unpremultiply(frame->rowAs<float>(y).data(), frame->width());
        }
    }
    *layout = std::make_shared<const ExrLayout>(header, type);
    *channels = *count;
    return true;
}

bool writeOpenExr(const std::string& destination, const Frame& frame, const StoredLayout& layout,
                  int channels, const FrameWriteOptions& options)
{
    const auto& exr = static_cast<const ExrLayout&>(layout);
    if ((channels != 3 && channels != 4) || frame.type() != PixelType::Float ||
        frame.width() == 0 || frame.height() == 0)
    {
        return false;
    }
    Imf::PixelType type = exr.type;
    switch (options.depth)
    {
    case StoredDepth::Kept:
        break;
    case StoredDepth::Half:
        type = Imf::HALF;
        break;
    case StoredDepth::Float:
        type = Imf::FLOAT;
        break;
    default:
        return false; // OpenImageIO refuses integer depths for OpenEXR: its message is wanted
    }
    const auto compression = options.compression.empty()
                                 ? std::optional(sourceCompression(exr.header))
                                 : compressionNamed(options.compression);
    if (!compression)
    {
        return false;
    }

    // OpenEXR writes the offsets of the scan lines when the file object goes, and swallows any
    // failure there, as the stream's own last flush would be: the stream is checked after both.
    const auto buffer = std::make_unique_for_overwrite<char[]>(kStreamBuffer);
    std::ofstream stream;
    stream.rdbuf()->pubsetbuf(buffer.get(), static_cast<std::streamsize>(kStreamBuffer));
    stream.open(destination, std::ios::binary | std::ios::trunc);
    if (!stream)
    {
        return false;
    }
    writePixels(stream, destination, frame, headerFor(frame, exr, channels, type, *compression),
                type, static_cast<std::size_t>(channels));
    stream.close();
    return !stream.fail();
}

} // namespace huecast::host::frames
