// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
// OpenEXR frames written through OpenEXR itself as the OpenImageIO module writes them: the
// source header's attributes carried, the same arithmetic on premultiplied colour, the data
// window written from 0, 0.
#include <algorithm>
#include <array>
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
#include <OpenEXR/ImfOutputFile.h>
#include <OpenEXR/ImfRationalAttribute.h>
#include <OpenEXR/ImfStandardAttributes.h>
#include <OpenEXR/ImfStdIO.h>
#include <OpenEXR/ImfStringAttribute.h>
#include <OpenEXR/ImfThreading.h>
#include <OpenEXR/ImfTiledOutputFile.h>
#include <OpenEXR/ImfVersion.h>

#include "host/frames/CommonFormats.h"
#include "host/frames/ExrLayout.h"
#include "host/frames/HalfFloats.h"

namespace huecast::host::frames
{
namespace
{

constexpr int kOpenImageIoZipLevel = 4;  // OpenImageIO's zip level unless the name gives one
constexpr int kOpenImageIoDwaLevel = 45; // and its DWA level

/// How a file is written: the method, and the level of the methods that take one.
struct WrittenCompression
{
    Imf::Compression method = Imf::ZIP_COMPRESSION;
    int zipLevel = kOpenImageIoZipLevel;
    int dwaLevel = kOpenImageIoDwaLevel; ///< used by DWAA and DWAB only
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
    const std::string_view name = text.substr(0, text.find(':'));
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
    const auto* found =
        std::find_if(kNames.begin(), kNames.end(),
                     [&](const auto& entry) { return equalsIgnoringCase(entry.first, name); });
    if (found == kNames.end())
    {
        return std::nullopt;
    }
    WrittenCompression written{found->second, kOpenImageIoZipLevel, kOpenImageIoDwaLevel};
    const bool zip =
        written.method == Imf::ZIPS_COMPRESSION || written.method == Imf::ZIP_COMPRESSION;
    const bool dwa = isDwa(written.method);
    if (name.size() != text.size())
    {
        const std::optional<int> level =
            zip || dwa ? levelNamed(text.substr(name.size() + 1), dwa) : std::nullopt;
        if (!level)
        {
            return std::nullopt;
        }
        (zip ? written.zipLevel : written.dwaLevel) = *level;
    }
    return written;
}

/// The compression of a file written without a name for one: the source's, at OpenImageIO's
/// own levels (it doesn't take a DWA level over from the source's header).
WrittenCompression sourceCompression(const Imf::Header& header)
{
    return WrittenCompression{header.compression(), kOpenImageIoZipLevel, kOpenImageIoDwaLevel};
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
    if (isDwa(compression.method))
    {
        // OpenImageIO names the level in the header, where its reader finds it again.
        const auto level = static_cast<float>(compression.dwaLevel);
        header.dwaCompressionLevel() = level;
        header.insert("dwaCompressionLevel", Imf::FloatAttribute(level));
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

} // namespace

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
