// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
// Clips read through FFmpeg's libraries: the video stream decoded from its start, never by
// seeking, so that every frame the decoder gives comes out once, in the order players show
// them, B-frames and variable frame rates included.
#include <cmath>
#include <utility>

#include <fmt/format.h>

#include "host/clips/ClipCodecs.h"

extern "C"
{
#include <libavutil/display.h>
#include <libavutil/pixdesc.h>
}

#include "host/FrameFiles.h"
#include "host/HostError.h"

namespace huecast::host::clips
{

Input openInput(const std::string& path, std::string* reason)
{
    AVFormatContext* opened = nullptr;
    int code = avformat_open_input(&opened, path.c_str(), nullptr, nullptr);
    Input input(opened);
    if (code >= 0)
    {
        code = avformat_find_stream_info(input.get(), nullptr);
    }
    if (code < 0)
    {
        *reason = errorText(code);
        return nullptr;
    }
    return input;
}

void setColourMatrix(SwsContext* scaler, AVColorSpace space, std::optional<bool> sourceFull,
                     std::optional<bool> targetFull)
{
    int* inverse = nullptr;
    int* table = nullptr;
    int sourceRange = 0;
    int targetRange = 0;
    int brightness = 0;
    int contrast = 0;
    int saturation = 0;
    sws_getColorspaceDetails(scaler, &inverse, &sourceRange, &table, &targetRange, &brightness,
                             &contrast, &saturation);
    const int* coefficients = sws_getCoefficients(space);
    sws_setColorspaceDetails(scaler, coefficients, sourceFull.value_or(sourceRange != 0) ? 1 : 0,
                             coefficients, targetFull.value_or(targetRange != 0) ? 1 : 0,
                             brightness, contrast, saturation);
}

int videoStreamOf(const AVFormatContext& input)
{
    for (unsigned i = 0; i < input.nb_streams; ++i)
    {
        const AVStream& stream = *input.streams[i];
        if (stream.codecpar->codec_type == AVMEDIA_TYPE_VIDEO &&
            (stream.disposition & AV_DISPOSITION_ATTACHED_PIC) == 0)
        {
            return static_cast<int>(i);
        }
    }
    return -1;
}

namespace
{

/// How a frame is turned for display, as ffmpeg's own player and command line turn it: a
/// transpose for quarter turns (each index counted from the far edge where `flip...` says),
/// or, without one, rows and columns taken in reverse.
struct Turn
{
    bool transpose = false;
    bool flipRows = false;
    bool flipColumns = false;

    [[nodiscard]] bool any() const { return transpose || flipRows || flipColumns; }
};

Turn turnOf(const AVStream& stream)
{
    const auto* matrix = reinterpret_cast<const std::int32_t*>(
        av_stream_get_side_data(&stream, AV_PKT_DATA_DISPLAYMATRIX, nullptr));
    if (matrix == nullptr)
    {
        return {};
    }
    double theta = -std::round(av_display_rotation_get(matrix));
    theta -= 360 * std::floor(theta / 360 + 0.9 / 360);
    if (std::fabs(theta - 90) < 1.0)
    {
        return matrix[3] > 0 ? Turn{true, false, false} : Turn{true, true, false};
    }
    if (std::fabs(theta - 180) < 1.0)
    {
        return {false, matrix[4] < 0, matrix[0] < 0};
    }
    if (std::fabs(theta - 270) < 1.0)
    {
        return matrix[3] < 0 ? Turn{true, true, true} : Turn{true, false, true};
    }
    if (std::fabs(theta) < 1.0)
    {
        return {false, matrix[4] < 0, false};
    }
    return {}; // a turn by another angle would need resampling: shown as stored
}

template <typename T> void turnPixels(const Frame& source, const Turn& turn, Frame* target)
{
    const std::uint32_t width = source.width();
    const std::uint32_t height = source.height();
    for (std::uint32_t y = 0; y < target->height(); ++y)
    {
        T* out = target->rowAs<T>(y).data();
        for (std::uint32_t x = 0; x < target->width(); ++x, out += Frame::kChannels)
        {
            std::uint32_t row = turn.transpose ? x : y;
            std::uint32_t column = turn.transpose ? y : x;
            row = turn.flipRows ? height - 1 - row : row;
            column = turn.flipColumns ? width - 1 - column : column;
            const T* in = source.rowAs<T>(row).data() + std::size_t{column} * Frame::kChannels;
            std::copy(in, in + Frame::kChannels, out);
        }
    }
}

/// The decoder's pixel format with its depth and alpha, as the frames it gives are delivered.
struct Delivery
{
    AVPixelFormat format = AV_PIX_FMT_RGBA;
    PixelType type = PixelType::UInt8;
    int channels = 3;
};

Delivery deliveryOf(AVPixelFormat decoded)
{
    const AVPixFmtDescriptor* description = av_pix_fmt_desc_get(decoded);
    Delivery delivery;
    if (description == nullptr)
    {
        return delivery;
    }
    if (description->comp[0].depth > 8)
    {
        delivery.format = AV_PIX_FMT_RGBA64;
        delivery.type = PixelType::UInt16;
    }
    delivery.channels = (description->flags & AV_PIX_FMT_FLAG_ALPHA) != 0 ? 4 : 3;
    return delivery;
}

/// The frames the stream holds, counted from its packets without decoding them.
bool countFrames(const std::string& path, int stream, long* frames, std::string* reason)
{
    Input input = openInput(path, reason);
    if (!input)
    {
        return false;
    }
    for (unsigned i = 0; i < input->nb_streams; ++i)
    {
        input->streams[i]->discard =
            static_cast<int>(i) == stream ? AVDISCARD_DEFAULT : AVDISCARD_ALL;
    }
    const Packet packet(av_packet_alloc());
    *frames = 0;
    int code = 0;
    while (packet && (code = av_read_frame(input.get(), packet.get())) >= 0)
    {
        if (packet->stream_index == stream && (packet->flags & AV_PKT_FLAG_DISCARD) == 0)
        {
            ++*frames;
        }
        av_packet_unref(packet.get());
    }
    if (code != AVERROR_EOF)
    {
        *reason = packet ? errorText(code) : "out of memory";
        return false;
    }
    return true;
}

} // namespace

/// One clip open for reading, at the frame its decoder reached.
class OpenClip
{
public:
    explicit OpenClip(std::string path) : m_path(std::move(path)) {}

    bool start(foundation::Error* error);
    bool read(long index, Frame* frame, int* channels, std::int64_t* time,
              foundation::Error* error);
    [[nodiscard]] long frameCount() const { return m_frames; }

private:
    bool restart(foundation::Error* error);
    /// The next frame from the decoder into m_decoded, the stream's end drained too.
    bool decodeNext(foundation::Error* error);
    /// Converts and turns the decoded frame `index`.
    bool deliver(long index, Frame* frame, int* channels, foundation::Error* error);
    static bool failed(foundation::Error* error, long index, const std::string& what)
    {
        return hostError(error, HostError::FrameUnreadable,
                         fmt::format("Its frame {} can't be decoded: {}", index + 1, what));
    }

    std::string m_path;
    Input m_input;
    Codec m_decoder;
    int m_stream = -1;
    Turn m_turn;
    Packet m_packet{av_packet_alloc()};
    FramePtr m_decoded{av_frame_alloc()};
    Scaler m_scaler;
    Frame m_upright; // the converted frame before its turn
    long m_frames = 0;
    long m_next = 0; // the index of the frame the decoder gives next
    bool m_draining = false;
};

bool OpenClip::start(foundation::Error* error)
{
    std::string reason;
    if (!restart(error))
    {
        return false;
    }
    if (!countFrames(m_path, m_stream, &m_frames, &reason))
    {
        return hostError(error, HostError::FrameUnreadable,
                         fmt::format("Its packets can't be read: {}", reason));
    }
    return true;
}

bool OpenClip::restart(foundation::Error* error)
{
    std::string reason;
    m_decoder.reset();
    m_input = openInput(m_path, &reason);
    if (!m_input)
    {
        return hostError(error, HostError::FrameUnreadable,
                         fmt::format("It can't be opened as a clip: {}", reason));
    }
    m_stream = videoStreamOf(*m_input);
    if (m_stream < 0)
    {
        return hostError(error, HostError::FrameUnreadable, "It holds no video stream");
    }
    AVStream& stream = *m_input->streams[m_stream];
    for (unsigned i = 0; i < m_input->nb_streams; ++i)
    {
        m_input->streams[i]->discard =
            static_cast<int>(i) == m_stream ? AVDISCARD_DEFAULT : AVDISCARD_ALL;
    }
    const AVCodec* codec = avcodec_find_decoder(stream.codecpar->codec_id);
    if (codec == nullptr)
    {
        return hostError(error, HostError::FrameUnreadable,
                         fmt::format("Its video codec ({}) has no decoder here",
                                     avcodec_get_name(stream.codecpar->codec_id)));
    }
    m_decoder.reset(avcodec_alloc_context3(codec));
    if (!m_decoder || !m_packet || !m_decoded ||
        avcodec_parameters_to_context(m_decoder.get(), stream.codecpar) < 0)
    {
        return hostError(error, HostError::FrameUnreadable, "Out of memory for its decoder");
    }
    m_decoder->pkt_timebase = stream.time_base;
    m_decoder->thread_count = 0;
    // A damaged packet fails its frame rather than being concealed or dropped.
    m_decoder->err_recognition |= AV_EF_EXPLODE;
    if (const int code = avcodec_open2(m_decoder.get(), codec, nullptr); code < 0)
    {
        return hostError(error, HostError::FrameUnreadable,
                         fmt::format("Its decoder can't start: {}", errorText(code)));
    }
    m_turn = turnOf(stream);
    m_next = 0;
    m_draining = false;
    return true;
}

bool OpenClip::decodeNext(foundation::Error* error)
{
    for (;;)
    {
        const int received = avcodec_receive_frame(m_decoder.get(), m_decoded.get());
        if (received >= 0)
        {
            if ((m_decoded->flags & AV_FRAME_FLAG_DISCARD) != 0)
            {
                continue;
            }
            if ((m_decoded->flags & AV_FRAME_FLAG_CORRUPT) != 0 ||
                m_decoded->decode_error_flags != 0)
            {
                return failed(error, m_next, "its data is damaged");
            }
            return true;
        }
        if (received == AVERROR_EOF)
        {
            return hostError(error, HostError::FrameUnreadable,
                             fmt::format("Its video stream ended after {} of the {} frames it "
                                         "holds packets for",
                                         m_next, m_frames));
        }
        if (received != AVERROR(EAGAIN))
        {
            return failed(error, m_next, errorText(received));
        }
        if (m_draining)
        {
            return failed(error, m_next, "the decoder stopped");
        }
        const int read = av_read_frame(m_input.get(), m_packet.get());
        if (read == AVERROR_EOF)
        {
            m_draining = true;
            (void)avcodec_send_packet(m_decoder.get(), nullptr);
            continue;
        }
        if (read < 0)
        {
            return failed(error, m_next, errorText(read));
        }
        int sent = 0;
        if (m_packet->stream_index == m_stream)
        {
            sent = avcodec_send_packet(m_decoder.get(), m_packet.get());
        }
        av_packet_unref(m_packet.get());
        if (sent < 0)
        {
            return failed(error, m_next, errorText(sent));
        }
    }
}

bool OpenClip::deliver(long index, Frame* frame, int* channels, foundation::Error* error)
{
    const AVFrame& decoded = *m_decoded;
    if (decoded.width < 1 || decoded.height < 1 || decoded.width > kMaxFrameEdge ||
        decoded.height > kMaxFrameEdge)
    {
        return failed(error, index,
                      fmt::format("its size of {}×{} pixels is outside 1 to {} each way",
                                  decoded.width, decoded.height, kMaxFrameEdge));
    }
    const auto format = static_cast<AVPixelFormat>(decoded.format);
    const Delivery delivery = deliveryOf(format);
    // The conversion ffmpeg's command line makes to RGB: bicubic, with the frame's own matrix
    // and range.
    m_scaler.reset(sws_getCachedContext(m_scaler.release(), decoded.width, decoded.height, format,
                                        decoded.width, decoded.height, delivery.format, SWS_BICUBIC,
                                        nullptr, nullptr, nullptr));
    if (!m_scaler)
    {
        return failed(error, index,
                      fmt::format("its pixel format ({}) can't be converted to RGB",
                                  av_get_pix_fmt_name(format)));
    }
    setColourMatrix(m_scaler.get(), decoded.colorspace,
                    decoded.color_range == AVCOL_RANGE_JPEG ? std::optional(true) : std::nullopt,
                    std::nullopt);
    const auto width = static_cast<std::uint32_t>(decoded.width);
    const auto height = static_cast<std::uint32_t>(decoded.height);
    Frame* converted = m_turn.any() ? &m_upright : frame;
    converted->reshape(width, height, delivery.type);
    std::uint8_t* planes[4] = {reinterpret_cast<std::uint8_t*>(converted->data()), nullptr, nullptr,
                               nullptr};
    int strides[4] = {static_cast<int>(converted->rowBytes()), 0, 0, 0};
    sws_scale(m_scaler.get(), decoded.data, decoded.linesize, 0, decoded.height, planes, strides);
    if (m_turn.any())
    {
        frame->reshape(m_turn.transpose ? height : width, m_turn.transpose ? width : height,
                       delivery.type);
        if (delivery.type == PixelType::UInt16)
        {
            turnPixels<std::uint16_t>(m_upright, m_turn, frame);
        }
        else
        {
            turnPixels<std::uint8_t>(m_upright, m_turn, frame);
        }
    }
    *channels = delivery.channels;
    return true;
}

bool OpenClip::read(long index, Frame* frame, int* channels, std::int64_t* time,
                    foundation::Error* error)
{
    if (index < 0 || index >= m_frames)
    {
        return hostError(error, HostError::FrameUnreadable,
                         fmt::format("It has no frame {}", index + 1));
    }
    if (index < m_next && !restart(error))
    {
        return false;
    }
    while (m_next <= index)
    {
        if (!decodeNext(error))
        {
            return false;
        }
        ++m_next;
    }
    const bool delivered = deliver(index, frame, channels, error);
    *time = m_decoded->best_effort_timestamp;
    av_frame_unref(m_decoded.get());
    return delivered;
}

bool openClip(const std::string& path, std::shared_ptr<void>* clip, long* frames,
              foundation::Error* error)
{
    auto opened = std::make_shared<OpenClip>(path);
    if (!opened->start(error))
    {
        return false;
    }
    *frames = opened->frameCount();
    *clip = std::move(opened);
    return true;
}

bool readClipFrame(void* clip, long index, Frame* frame, int* channels, std::int64_t* time,
                   foundation::Error* error)
{
    return static_cast<OpenClip*>(clip)->read(index, frame, channels, time, error);
}

} // namespace huecast::host::clips
