// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
// OpenEXR frames read through OpenEXR itself: single-part scanline or single-level tiled RGB,
// RGBA and grey files of half or float channels, read as the OpenImageIO module reads them (the
// same library underneath, the same arithmetic on premultiplied colour).
#include <algorithm>
#include <array>
#include <bit>
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <cstring>
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
#include <OpenEXR/ImfRationalAttribute.h>
#include <OpenEXR/ImfStandardAttributes.h>
#include <OpenEXR/ImfStdIO.h>
#include <OpenEXR/ImfStringAttribute.h>
#include <OpenEXR/ImfThreading.h>
#include <OpenEXR/ImfVersion.h>

#include "host/frames/CommonFormats.h"
#include "host/frames/ExrLayout.h"
#include "host/frames/HalfFloats.h"

namespace huecast::host::frames
{
namespace
{

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

/// Float slices for the file's channels at their places in the frame's RGBA rows, placed so that
/// the file's pixel (`first`) lands on the frame's first; alpha 1 where the file has none.
Imf::FrameBuffer channelSlices(Frame* frame, const Imf::ChannelList& list, const Imath::V2i& first)
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
    // Colour a grey file doesn't hold is spread from it later; a missing alpha is opaque.
    std::fill_n(planes.get(), 3 * width, 0.0F);
    std::fill_n(planes.get() + 3 * width, width, 1.0F);
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
        // A scan-line file may carry a stale tile description, which the writer would follow.
        tiled != header.hasTileDescription() ||
        (tiled && (header.tileDescription().mode != Imf::ONE_LEVEL ||
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

} // namespace huecast::host::frames
