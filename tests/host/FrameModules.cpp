// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#include "tests/host/FrameModules.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <regex>

#include <OpenImageIO/imageio.h>
#include <gtest/gtest.h>
extern "C"
{
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libavutil/pixdesc.h>
}

#include "platform/foundation/DynamicModule.h"

namespace huecast::test
{
namespace
{

template <typename Module> const Module* loadModule(const char* name, const char* entry)
{
    const std::string path = std::string(HUECAST_LIBRARY_DIR) + "/" + name;
    foundation::ModuleFailure failure;
    const Module* module =
        foundation::loadModule(path, entry, &Module::version, Module::kVersion, &failure);
    if (module == nullptr)
    {
        ADD_FAILURE() << failure.reason;
    }
    return module;
}

} // namespace

const host::FrameFileModule* oiioModule()
{
    static const auto* module =
        loadModule<host::FrameFileModule>(host::kFrameFileModuleName, "HuecastFrameFileModule");
    return module;
}

const host::CommonFrameFileModule* commonModule()
{
    static const auto* module = loadModule<host::CommonFrameFileModule>(
        host::kCommonFrameFileModuleName, "HuecastCommonFrameFileModule");
    return module;
}

namespace
{

void expectSameFrames(const host::Frame& expected, const host::Frame& actual)
{
    ASSERT_EQ(expected.width(), actual.width());
    ASSERT_EQ(expected.height(), actual.height());
    ASSERT_EQ(expected.type(), actual.type());
    for (std::uint32_t y = 0; y < expected.height(); ++y)
    {
        ASSERT_EQ(std::memcmp(expected.row(y), actual.row(y), expected.pixelRowBytes()), 0)
            << "row " << y << " differs";
    }
}

} // namespace

std::string withoutTimeStamps(const std::string& bytes)
{
    static const std::regex kStamp("[0-9]{4}:[0-9]{2}:[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}");
    return std::regex_replace(bytes, kStamp, "2000:01:01 00:00:00");
}

namespace
{

using Attributes = std::map<std::string, std::string>;

/// What OpenImageIO reports for the file: the layout of its pixels and every attribute, each as
/// "type value".
Attributes attributesOf(const std::string& path)
{
    Attributes attributes;
    auto input = OIIO::ImageInput::open(path);
    if (!input)
    {
        ADD_FAILURE() << "OpenImageIO can't read " << path << ": " << OIIO::geterror();
        return attributes;
    }
    const OIIO::ImageSpec& header = input->spec();
    attributes["(size)"] = OIIO::Strutil::fmt::format(
        "{}x{}+{}+{} in {}x{}+{}+{}", header.width, header.height, header.x, header.y,
        header.full_width, header.full_height, header.full_x, header.full_y);
    attributes["(tiles)"] =
        OIIO::Strutil::fmt::format("{}x{}", header.tile_width, header.tile_height);
    attributes["(channels)"] = OIIO::Strutil::fmt::format(
        "{} {}", OIIO::Strutil::join(header.channelnames, ","), header.format.c_str());
    for (const OIIO::ParamValue& value : header.extra_attribs)
    {
        attributes[value.name().string()] =
            std::string(value.type().c_str()) + " " + value.get_string(0);
    }
    return attributes;
}

struct FfmpegFree
{
    void operator()(AVFormatContext* input) const { avformat_close_input(&input); }
    void operator()(AVCodecContext* decoder) const { avcodec_free_context(&decoder); }
    void operator()(AVPacket* packet) const { av_packet_free(&packet); }
    void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
template <typename T> using FfmpegPointer = std::unique_ptr<T, FfmpegFree>;

/// Decodes the file's first frame with FFmpeg's libraries; false where they can't.
bool decodeWithFfmpeg(const std::string& path, AVFrame* frame)
{
    AVFormatContext* opened = nullptr;
    if (avformat_open_input(&opened, path.c_str(), nullptr, nullptr) < 0)
    {
        return false;
    }
    const FfmpegPointer<AVFormatContext> input(opened);
    const int stream = avformat_find_stream_info(opened, nullptr) < 0
                           ? -1
                           : av_find_best_stream(opened, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    const AVCodec* codec =
        stream < 0 ? nullptr : avcodec_find_decoder(opened->streams[stream]->codecpar->codec_id);
    const FfmpegPointer<AVCodecContext> decoder(avcodec_alloc_context3(codec));
    const FfmpegPointer<AVPacket> packet(av_packet_alloc());
    if (codec == nullptr || !decoder || !packet ||
        avcodec_parameters_to_context(decoder.get(), opened->streams[stream]->codecpar) < 0 ||
        avcodec_open2(decoder.get(), codec, nullptr) < 0)
    {
        return false;
    }
    while (av_read_frame(opened, packet.get()) >= 0)
    {
        const bool sent =
            packet->stream_index != stream || avcodec_send_packet(decoder.get(), packet.get()) >= 0;
        av_packet_unref(packet.get());
        if (!sent)
        {
            return false;
        }
        if (avcodec_receive_frame(decoder.get(), frame) == 0)
        {
            return true;
        }
    }
    avcodec_send_packet(decoder.get(), nullptr);
    return avcodec_receive_frame(decoder.get(), frame) == 0;
}

/// What FFmpeg, which reads these formats too, makes of the file: its first frame's size, pixel
/// format and pixels, or that it can't. The aspect ratio, which comes from the resolution, is
/// left out: that is kept as the source stores it.
std::string ffmpegDecoding(const std::string& path)
{
    const FfmpegPointer<AVFrame> frame(av_frame_alloc());
    if (!frame || !decodeWithFfmpeg(path, frame.get()))
    {
        return "(FFmpeg can't decode it)";
    }
    const auto format = static_cast<AVPixelFormat>(frame->format);
    const int size = av_image_get_buffer_size(format, frame->width, frame->height, 1);
    std::string decoded(static_cast<std::size_t>(std::max(size, 0)), '\0');
    if (size < 0 ||
        av_image_copy_to_buffer(reinterpret_cast<std::uint8_t*>(decoded.data()), size, frame->data,
                                frame->linesize, format, frame->width, frame->height, 1) < 0)
    {
        return "(FFmpeg can't copy its pixels)";
    }
    const char* name = av_get_pix_fmt_name(format);
    return std::to_string(frame->width) + "x" + std::to_string(frame->height) + " " +
           (name != nullptr ? name : "?") + " " + decoded;
}

} // namespace

CommonModule compareWithOpenImageIO(const std::string& source, const TempDir& dir,
                                    const std::string& output,
                                    const host::FrameWriteOptions& options)
{
    const auto* oiio = oiioModule();
    const auto* common = commonModule();
    if (oiio == nullptr || common == nullptr)
    {
        ADD_FAILURE() << "a frame-file module didn't load";
        return CommonModule::Declined;
    }
    host::Frame commonFrame;
    std::shared_ptr<const host::StoredFrameLayout> commonLayout;
    int commonChannels = 0;
    std::string damage;
    if (!common->read(source, &commonFrame, &commonLayout, &commonChannels, &damage))
    {
        return CommonModule::Declined;
    }
    host::Frame oiioFrame;
    std::shared_ptr<const host::StoredFrameLayout> oiioLayout;
    int oiioChannels = 0;
    foundation::Error error;
    EXPECT_TRUE(oiio->read(source, &oiioFrame, &oiioLayout, &oiioChannels, &error))
        << error.localizedDescription();
    EXPECT_EQ(commonChannels, oiioChannels);
    expectSameFrames(oiioFrame, commonFrame);

    const int written = oiioChannels == 2 || oiioChannels >= 4 ? 4 : 3;
    const std::string path = dir.pathOf(output);
    const std::string byOiio = dir.pathOf("oiio-" + output);
    const std::string byCommon = dir.pathOf("common-" + output);
    EXPECT_TRUE(oiio->write(path, byOiio, oiioFrame, oiioLayout.get(), written, options, &error))
        << error.localizedDescription();
    if (!common->write(path, byCommon, commonFrame, commonLayout.get(), written, options))
    {
        ADD_FAILURE() << "the common module read " << source << " but didn't write it";
        return CommonModule::Took;
    }
    // Both files read back alike, pixels and metadata, but for the resolution: kept as the
    // source stores it, where OpenImageIO's own write mends a zero or a contradicting one.
    host::Frame oiioAgain;
    host::Frame commonAgain;
    std::shared_ptr<const host::StoredFrameLayout> ignored;
    int channels = 0;
    EXPECT_TRUE(oiio->read(byOiio, &oiioAgain, &ignored, &channels, &error));
    EXPECT_TRUE(oiio->read(byCommon, &commonAgain, &ignored, &channels, &error))
        << error.localizedDescription();
    expectSameFrames(oiioAgain, commonAgain);
    Attributes expected = attributesOf(byOiio);
    const Attributes read = attributesOf(source);
    for (const char* name : {"XResolution", "YResolution", "ResolutionUnit"})
    {
        if (const auto found = read.find(name); found != read.end())
        {
            expected[name] = found->second;
        }
    }
    Attributes actual = attributesOf(byCommon);
    // A time the source doesn't give is the time of writing, to the second.
    for (Attributes* attributes : {&expected, &actual})
    {
        for (auto& [name, value] : *attributes)
        {
            value = read.contains(name) ? value : withoutTimeStamps(value);
        }
    }
    EXPECT_EQ(expected, actual) << source << " written as " << output
                                << " reads back unlike OpenImageIO's write (kept: " << byOiio
                                << ", " << byCommon << ")";
    EXPECT_EQ(ffmpegDecoding(byOiio), ffmpegDecoding(byCommon))
        << source << " written as " << output << " is decoded by ffmpeg unlike OpenImageIO's write";
    return CommonModule::Took;
}

} // namespace huecast::test
