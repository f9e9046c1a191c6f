// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
// The frame-file module: frames read and written with OpenImageIO.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <new>

#include <OpenImageIO/imageio.h>
#include <fmt/format.h>
#include <unistd.h>

#include "host/FrameFileModule.h"
#include "host/FrameFiles.h"
#include "host/HostError.h"

namespace huecast::host
{
namespace
{

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

void expandChannels(Frame* frame, int channels)
{
    switch (frame->type())
    {
    case PixelType::UInt8:
        expandChannels<std::uint8_t>(frame, channels);
        break;
    case PixelType::UInt16:
        expandChannels<std::uint16_t>(frame, channels);
        break;
    case PixelType::Float:
        expandChannels<float>(frame, channels);
        break;
    }
}

std::string temporaryPathFor(const std::string& path)
{
    const std::filesystem::path target(path);
    return (target.parent_path() /
            fmt::format(".{}.huecast-{}.partial", target.filename().string(), ::getpid()))
        .string();
}

bool read(const std::string& path, Frame* frame, std::shared_ptr<const void>* format, int* channels,
          foundation::Error* error)
{
    auto input = OIIO::ImageInput::open(path);
    if (!input)
    {
        return hostError(error, HostError::FrameUnreadable, oiioError<OIIO::ImageInput>(nullptr));
    }
    const OIIO::ImageSpec& header = input->spec();
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
    if (!input->read_image(0, 0, 0, header.nchannels, typeDescOf(type), frame->data(),
                           static_cast<OIIO::stride_t>(frame->bytesPerPixel()),
                           static_cast<OIIO::stride_t>(frame->rowBytes())))
    {
        return hostError(error, HostError::FrameUnreadable, oiioError(input.get()));
    }
    expandChannels(frame, header.nchannels);
    *format = std::make_shared<const OIIO::ImageSpec>(header);
    *channels = header.nchannels;
    return true;
}

bool write(const std::string& path, const Frame& frame, const void* format, int channels,
           foundation::Error* error)
{
    auto output = OIIO::ImageOutput::create(path);
    if (!output)
    {
        return hostError(error, HostError::FrameNotWritten, oiioError<OIIO::ImageOutput>(nullptr));
    }
    OIIO::ImageSpec layout =
        format != nullptr
            ? *static_cast<const OIIO::ImageSpec*>(format)
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

    // The writer is chosen by the real name; the pixels go to a temporary one first.
    const std::string temporary = temporaryPathFor(path);
    const bool written = output->open(temporary, layout) &&
                         output->write_image(typeDescOf(frame.type()), frame.data(),
                                             static_cast<OIIO::stride_t>(frame.bytesPerPixel()),
                                             static_cast<OIIO::stride_t>(frame.rowBytes())) &&
                         output->close();
    if (!written)
    {
        const std::string reason = oiioError(output.get());
        output.reset();
        std::remove(temporary.c_str());
        return hostError(error, HostError::FrameNotWritten, reason);
    }
    std::error_code renameError;
    std::filesystem::rename(temporary, path, renameError);
    if (renameError)
    {
        std::remove(temporary.c_str());
        return hostError(error, HostError::FrameNotWritten, renameError.message());
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

bool guardedRead(const std::string& path, Frame* frame, std::shared_ptr<const void>* format,
                 int* channels, foundation::Error* error)
{
    return guarded(HostError::FrameUnreadable, error,
                   [&] { return read(path, frame, format, channels, error); });
}

bool guardedWrite(const std::string& path, const Frame& frame, const void* format, int channels,
                  foundation::Error* error)
{
    return guarded(HostError::FrameNotWritten, error,
                   [&] { return write(path, frame, format, channels, error); });
}

} // namespace
} // namespace huecast::host

const huecast::host::FrameFileModule* HuecastFrameFileModule()
{
    static const huecast::host::FrameFileModule module{huecast::host::FrameFileModule::kVersion,
                                                       huecast::host::guardedRead,
                                                       huecast::host::guardedWrite};
    return &module;
}
