// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
// The frame-file module: frames read and written with OpenImageIO.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <new>
#include <optional>
#include <string_view>
#include <vector>

#include <OpenImageIO/imageio.h>
#include <fmt/format.h>

#include "host/FrameFileModule.h"
#include "host/FrameFiles.h"
#include "host/HostError.h"

namespace huecast::host
{
namespace
{

/// What a read kept of the source: OpenImageIO's own description, which its writers take.
struct OiioLayout final : StoredFrameLayout
{
    explicit OiioLayout(OIIO::ImageSpec read)
        : StoredFrameLayout(Module::OpenImageIO), header(std::move(read))
    {
    }

    const OIIO::ImageSpec header;
};

OIIO::TypeDesc typeDescOf(PixelType type)
{
    switch (type)
    {
    case PixelType::UInt8:
        return OIIO::TypeDesc::UINT8;
    case PixelType::UInt16:
        return OIIO::TypeDesc::UINT16;
    case PixelType::Float:
        return OIIO::TypeDesc::FLOAT;
    }
    return OIIO::TypeDesc::FLOAT;
}

PixelType pixelTypeOf(const OIIO::TypeDesc& stored)
{
    if (stored.basetype == OIIO::TypeDesc::UINT8)
    {
        return PixelType::UInt8;
    }
    if (stored.basetype == OIIO::TypeDesc::UINT16)
    {
        return PixelType::UInt16; // 10- and 12-bit DPX and TIFF arrive as 16-bit
    }
    return PixelType::Float;
}

/// The error text OIIO keeps for the object, else its global one, without a trailing newline.
template <typename Io> std::string oiioError(Io* io)
{
    std::string text = io != nullptr && io->has_error() ? io->geterror() : OIIO::geterror();
    while (!text.empty() && text.back() == '\n')
    {
        text.pop_back();
    }
    // A reader that fails on every strip says so for each: the first says what happened.
    if (const std::size_t newline = text.find('\n'); newline != std::string::npos)
    {
        text.resize(newline);
    }
    return text.empty() ? std::string("unknown error") : text;
}

/// Spreads what read_image put into the first channels of each pixel over RGBA.
template <typename T> void expandChannels(Frame* frame, int channels)
{
    const T opaque = std::is_floating_point_v<T> ? T(1) : std::numeric_limits<T>::max();
    for (std::uint32_t y = 0; y < frame->height(); ++y)
    {
        const std::span<T> row = frame->rowAs<T>(y);
        for (std::size_t x = 0; x < row.size(); x += Frame::kChannels)
        {
            T* pixel = &row[x];
            if (channels <= 2)
            {
                pixel[3] = channels == 2 ? pixel[1] : opaque;
                pixel[1] = pixel[0];
                pixel[2] = pixel[0];
            }
            else if (channels == 3)
            {
                pixel[3] = opaque;
            }
        }
    }
}

/// Calls `function` with a zero of the frame's channel type, so a template can pick its type.
template <typename Function> void withChannelType(const Frame& frame, Function&& function)
{
    switch (frame.type())
    {
    case PixelType::UInt8:
        function(std::uint8_t{});
        break;
    case PixelType::UInt16:
        function(std::uint16_t{});
        break;
    case PixelType::Float:
        function(float{});
        break;
    }
}

void expandChannels(Frame* frame, int channels)
{
    withChannelType(*frame, [&](auto zero) { expandChannels<decltype(zero)>(frame, channels); });
}

/// Whether the reader hands over colour multiplied by alpha: OpenImageIO premultiplies what
/// files store straight unless asked not to (and then says so), so what it still hands over
/// premultiplied is what the file stored that way: OpenEXR, and TIFF with associated alpha.
bool deliversPremultiplied(const OIIO::ImageInput& input, const OIIO::ImageSpec& header)
{
    const std::string_view name = input.format_name();
    return (header.nchannels == 2 || header.nchannels == 4) &&
           header.get_int_attribute("oiio:UnassociatedAlpha", 0) == 0 &&
           (name == "openexr" || name == "tiff");
}

/// Divides colour by alpha, or multiplies it, in place. Where alpha is 0 (or NaN) the colour is
/// emitted light (a glow, fire): kept as it is both ways.
template <typename T> void associate(Frame* frame, bool divide)
{
    constexpr double kOne = std::is_floating_point_v<T> ? 1.0 : std::numeric_limits<T>::max();
    for (std::uint32_t y = 0; y < frame->height(); ++y)
    {
        const std::span<T> row = frame->rowAs<T>(y);
        for (std::size_t x = 0; x < row.size(); x += Frame::kChannels)
        {
            const double alpha = static_cast<double>(row[x + 3]) / kOne;
            for (std::size_t c = 0; c < 3; ++c)
            {
                auto value = static_cast<double>(row[x + c]);
                if (alpha > 0.0)
                {
                    value = divide ? value / alpha : value * alpha;
                }
                if constexpr (std::is_floating_point_v<T>)
                {
                    row[x + c] = static_cast<T>(value);
                }
                else
                {
                    row[x + c] = static_cast<T>(std::min(std::round(value), kOne));
                }
            }
        }
    }
}

void associate(Frame* frame, bool divide)
{
    withChannelType(*frame, [&](auto zero) { associate<decltype(zero)>(frame, divide); });
}

/// Opens a file, asking for straight colour where it stores colour that way.
std::unique_ptr<OIIO::ImageInput> openInput(const std::string& path)
{
    OIIO::ImageSpec config;
    config.attribute("oiio:UnassociatedAlpha", 1);
    return OIIO::ImageInput::open(path, &config);
}

/// Reads the input's current image (a file's first, a clip's chosen frame) into the frame.
bool readCurrentImage(OIIO::ImageInput& input, Frame* frame,
                      std::shared_ptr<const StoredFrameLayout>* layout, int* channels,
                      foundation::Error* error)
{
    const OIIO::ImageSpec& header = input.spec();
    if (header.deep)
    {
        return hostError(error, HostError::FrameUnreadable,
                         "It holds a deep image; only flat images can be graded");
    }
    if (header.nchannels < 1 || header.nchannels > 4)
    {
        return hostError(error, HostError::FrameUnreadable,
                         fmt::format("It has {} channels; frames of grey, grey and alpha, RGB or "
                                     "RGBA (1 to 4 channels) can be graded",
                                     header.nchannels));
    }
    if (header.width < 1 || header.height < 1 || header.depth != 1 ||
        header.width > kMaxFrameEdge || header.height > kMaxFrameEdge)
    {
        return hostError(error, HostError::FrameUnreadable,
                         fmt::format("Its size of {}×{} pixels is outside 1 to {} each way",
                                     header.width, header.height, kMaxFrameEdge));
    }
    const PixelType type = pixelTypeOf(header.format);
    try
    {
        frame->reshape(static_cast<std::uint32_t>(header.width),
                       static_cast<std::uint32_t>(header.height), type);
    }
    catch (const std::bad_alloc&)
    {
        const double megabytes =
            static_cast<double>(header.width) * static_cast<double>(header.height) *
            static_cast<double>(Frame::kChannels * bytesPerChannel(type)) / (1024.0 * 1024.0);
        return hostError(error, HostError::FrameUnreadable,
                         fmt::format("Its {}×{} pixels need {:.0f} MiB, more memory than this "
                                     "process could get",
                                     header.width, header.height, megabytes));
    }
    // A reader may report missing or damaged data and still return true (a TIFF strip past the
    // file's end reads as black): any error it reports while reading fails the frame. What
    // opening it noted without failing is let go first.
    (void)input.geterror();
    if (!input.read_image(input.current_subimage(), 0, 0, header.nchannels, typeDescOf(type),
                          frame->data(), static_cast<OIIO::stride_t>(frame->bytesPerPixel()),
                          static_cast<OIIO::stride_t>(frame->rowBytes())) ||
        input.has_error())
    {
        return hostError(error, HostError::FrameUnreadable, oiioError(&input));
    }
    expandChannels(frame, header.nchannels);
    if (deliversPremultiplied(input, header))
    {
        associate(frame, true);
    }
    *layout = std::make_shared<const OiioLayout>(header);
    *channels = header.nchannels;
    return true;
}

bool read(const std::string& path, Frame* frame, std::shared_ptr<const StoredFrameLayout>* layout,
          int* channels, foundation::Error* error)
{
    auto input = openInput(path);
    if (!input)
    {
        return hostError(error, HostError::FrameUnreadable, oiioError<OIIO::ImageInput>(nullptr));
    }
    return readCurrentImage(*input, frame, layout, channels, error);
}

bool readLayout(const std::string& path, std::shared_ptr<const StoredFrameLayout>* layout,
                foundation::Error* error)
{
    auto input = openInput(path);
    if (!input)
    {
        return hostError(error, HostError::FrameUnreadable, oiioError<OIIO::ImageInput>(nullptr));
    }
    *layout = std::make_shared<const OiioLayout>(input->spec());
    return true;
}

/// The stored channel type a depth option asks for, or nothing for the source's own.
std::optional<OIIO::TypeDesc> storedTypeOf(StoredDepth depth)
{
    switch (depth)
    {
    case StoredDepth::Kept:
        return std::nullopt;
    case StoredDepth::UInt8:
        return OIIO::TypeDesc::UINT8;
    case StoredDepth::UInt16:
        return OIIO::TypeDesc::UINT16;
    case StoredDepth::Half:
        return OIIO::TypeDesc::HALF;
    case StoredDepth::Float:
        return OIIO::TypeDesc::FLOAT;
    }
    return std::nullopt;
}

/// The layout's metadata for the written file: the user's depth and compression, and a
/// Software tag; everything else the source had (its colour space among it) stays.
void applyWriteOptions(OIIO::ImageSpec* layout, const FrameWriteOptions& options)
{
    if (const auto type = storedTypeOf(options.depth))
    {
        layout->set_format(*type);
        layout->erase_attribute("oiio:BitsPerSample");
    }
    if (!options.compression.empty())
    {
        layout->attribute("compression", options.compression);
    }
    layout->attribute("Software", "Huecast " HUECAST_VERSION);
    // The frame holds straight colour; writers that can store it so (PNG, TIFF) then leave
    // it alone.
    layout->attribute("oiio:UnassociatedAlpha", 1);
}

/// Writes the pixels a tile at a time. Edge tiles reach past the image, and OpenImageIO's own
/// tiling (write_image) fills that part from a buffer it never cleared, so two writes of one
/// frame differed and the file carried stray memory; here each tile starts from zeros.
bool writeTiles(OIIO::ImageOutput& output, const Frame& pixels)
{
    const OIIO::ImageSpec& written = output.spec();
    const auto tileWidth = static_cast<std::uint32_t>(written.tile_width);
    const auto tileHeight = static_cast<std::uint32_t>(std::max(written.tile_height, 1));
    const std::size_t pixelBytes = pixels.bytesPerPixel();
    std::vector<std::byte> tile(std::size_t{tileWidth} * tileHeight * pixelBytes);
    for (std::uint32_t top = 0; top < pixels.height(); top += tileHeight)
    {
        for (std::uint32_t left = 0; left < pixels.width(); left += tileWidth)
        {
            std::fill(tile.begin(), tile.end(), std::byte{0});
            const std::uint32_t rows = std::min(tileHeight, pixels.height() - top);
            const std::size_t rowBytes = std::min(tileWidth, pixels.width() - left) * pixelBytes;
            for (std::uint32_t y = 0; y < rows; ++y)
            {
                std::memcpy(&tile[std::size_t{y} * tileWidth * pixelBytes],
                            pixels.row(top + y) + left * pixelBytes, rowBytes);
            }
            if (!output.write_tile(static_cast<int>(left), static_cast<int>(top), 0,
                                   typeDescOf(pixels.type()), tile.data(),
                                   static_cast<OIIO::stride_t>(pixelBytes),
                                   static_cast<OIIO::stride_t>(tileWidth * pixelBytes)))
            {
                return false;
            }
        }
    }
    return true;
}

bool write(const std::string& path, const std::string& destination, const Frame& frame,
           const StoredFrameLayout* stored, int channels, const FrameWriteOptions& options,
           foundation::Error* error)
{
    if (stored != nullptr && stored->module != StoredFrameLayout::Module::OpenImageIO)
    {
        return hostError(error, HostError::FrameNotWritten,
                         "The source's layout comes from another reader than OpenImageIO");
    }
    auto output = OIIO::ImageOutput::create(path);
    if (!output)
    {
        return hostError(error, HostError::FrameNotWritten, oiioError<OIIO::ImageOutput>(nullptr));
    }
    OIIO::ImageSpec layout =
        stored != nullptr
            ? static_cast<const OiioLayout*>(stored)->header
            : OIIO::ImageSpec(1, 1, static_cast<int>(Frame::kChannels), typeDescOf(frame.type()));
    layout.width = static_cast<int>(frame.width());
    layout.height = static_cast<int>(frame.height());
    layout.full_width = layout.width;
    layout.full_height = layout.height;
    layout.x = layout.y = layout.full_x = layout.full_y = 0;
    layout.nchannels = channels;
    layout.channelnames = {"R", "G", "B"};
    layout.alpha_channel = -1;
    if (layout.nchannels == 4)
    {
        layout.channelnames.emplace_back("A");
        layout.alpha_channel = 3;
    }
    layout.channelformats.clear();
    applyWriteOptions(&layout, options);

    // OpenEXR stores colour premultiplied.
    std::optional<Frame> premultiplied;
    if (channels == 4 && std::string_view(output->format_name()) == "openexr")
    {
        premultiplied = frame;
        associate(&*premultiplied, false);
    }
    const Frame& pixels = premultiplied ? *premultiplied : frame;

    // The writer is chosen by the real name; the pixels go to the host's temporary.
    bool opened = output->open(destination, layout);
    std::string reason;
    if (opened && options.depth != StoredDepth::Kept && output->spec().format != layout.format)
    {
        // The writer quietly picked another depth: say so rather than write what wasn't asked.
        reason =
            fmt::format("{} can't store {} channels", output->format_name(), layout.format.c_str());
        opened = false;
    }
    const bool tiled = opened && output->spec().tile_width > 0;
    const bool written =
        opened &&
        (tiled ? writeTiles(*output, pixels)
               : output->write_image(typeDescOf(pixels.type()), pixels.data(),
                                     static_cast<OIIO::stride_t>(pixels.bytesPerPixel()),
                                     static_cast<OIIO::stride_t>(pixels.rowBytes()))) &&
        output->close();
    if (!written)
    {
        if (reason.empty())
        {
            reason = oiioError(output.get());
        }
        output.reset();
        return hostError(error, HostError::FrameNotWritten, reason);
    }
    return true;
}

// The module's calls: nothing thrown inside (by OpenImageIO, or memory running out) crosses
// into the host; it becomes the call's error.
template <typename Body> bool guarded(HostError code, foundation::Error* error, Body&& body)
{
    try
    {
        return body();
    }
    catch (const std::bad_alloc&)
    {
        return hostError(error, code, "There was not enough memory for it");
    }
    catch (const std::exception& exception)
    {
        return hostError(error, code, exception.what());
    }
    catch (...)
    {
        return hostError(error, code, "An unknown failure interrupted it");
    }
}

bool guardedRead(const std::string& path, Frame* frame,
                 std::shared_ptr<const StoredFrameLayout>* layout, int* channels,
                 foundation::Error* error)
{
    return guarded(HostError::FrameUnreadable, error,
                   [&] { return read(path, frame, layout, channels, error); });
}

bool guardedWrite(const std::string& path, const std::string& destination, const Frame& frame,
                  const StoredFrameLayout* layout, int channels, const FrameWriteOptions& options,
                  foundation::Error* error)
{
    return guarded(HostError::FrameNotWritten, error,
                   [&]
                   { return write(path, destination, frame, layout, channels, options, error); });
}

bool guardedReadLayout(const std::string& path, std::shared_ptr<const StoredFrameLayout>* layout,
                       foundation::Error* error)
{
    return guarded(HostError::FrameUnreadable, error,
                   [&] { return readLayout(path, layout, error); });
}

} // namespace
} // namespace huecast::host

const huecast::host::FrameFileModule* HuecastFrameFileModule()
{
    static const huecast::host::FrameFileModule module{
        huecast::host::FrameFileModule::kVersion, huecast::host::guardedRead,
        huecast::host::guardedWrite, huecast::host::guardedReadLayout};
    return &module;
}
