// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
// Inside the clip module: FFmpeg's objects owned the C++ way, and its error codes as text.
#pragma once

#include <array>
#include <memory>
#include <optional>
#include <string>

extern "C"
{
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/error.h>
#include <libswscale/swscale.h>
}

namespace huecast::host::clips
{

struct InputCloser
{
    void operator()(AVFormatContext* context) const { avformat_close_input(&context); }
};
struct CodecFreer
{
    void operator()(AVCodecContext* context) const { avcodec_free_context(&context); }
};
struct FrameFreer
{
    void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
struct PacketFreer
{
    void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};
struct ScalerFreer
{
    void operator()(SwsContext* context) const { sws_freeContext(context); }
};

using Input = std::unique_ptr<AVFormatContext, InputCloser>;
using Codec = std::unique_ptr<AVCodecContext, CodecFreer>;
using FramePtr = std::unique_ptr<AVFrame, FrameFreer>;
using Packet = std::unique_ptr<AVPacket, PacketFreer>;
using Scaler = std::unique_ptr<SwsContext, ScalerFreer>;

/// FFmpeg's words for an error code.
inline std::string errorText(int code)
{
    std::array<char, AV_ERROR_MAX_STRING_SIZE> text{};
    av_strerror(code, text.data(), text.size());
    return text.data();
}

/// Opens a container for reading, with what its streams hold found; null with the reason.
Input openInput(const std::string& path, std::string* reason);

/// Sets the scaler's YCbCr matrix to the colour space's, in both directions (one of them is
/// RGB and takes none), and each side's range where given: full (true) or limited; the scaler
/// keeps its own guess for a side not given.
void setColourMatrix(SwsContext* scaler, AVColorSpace space, std::optional<bool> sourceFull,
                     std::optional<bool> targetFull);

/// The stream a clip's pictures come from (not a cover image), or -1.
int videoStreamOf(const AVFormatContext& input);

} // namespace huecast::host::clips
