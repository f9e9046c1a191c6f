// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
// Graded clips written back as movies: the video encoded anew at the source's times, every
// other stream (sound, subtitles, timecode) copied packet for packet.
#include <algorithm>
#include <optional>
#include <utility>

#include <fmt/format.h>

extern "C"
{
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
}

#include "host/HostError.h"
#include "host/clips/ClipCodecs.h"

namespace huecast::host::clips
{
namespace
{

struct OutputCloser
{
    void operator()(AVFormatContext* context) const
    {
        if (context->pb != nullptr && (context->oformat->flags & AVFMT_NOFILE) == 0)
        {
            avio_closep(&context->pb);
        }
        avformat_free_context(context);
    }
};
using Output = std::unique_ptr<AVFormatContext, OutputCloser>;

constexpr int kDefaultCrf = 16;

/// The encoder a movie gets without --codec: the source's own where Debian's FFmpeg has one and
/// the container holds it, else ProRes 422 HQ in QuickTime and MXF, H.264 elsewhere.
const AVCodec* defaultEncoder(AVCodecID source, const AVOutputFormat& container)
{
    const AVCodec* own = source == AV_CODEC_ID_PRORES ? avcodec_find_encoder_by_name("prores_ks")
                         : source == AV_CODEC_ID_H264 ? avcodec_find_encoder_by_name("libx264")
                                                      : avcodec_find_encoder(source);
    if (own != nullptr && avformat_query_codec(&container, source, FF_COMPLIANCE_NORMAL) == 1)
    {
        return own;
    }
    const std::string_view name = container.name;
    const bool quickTime = name.find("mov") != std::string_view::npos || name == "mxf";
    return avcodec_find_encoder_by_name(quickTime ? "prores_ks" : "libx264");
}

/// The encoder's pixel format nearest the source's: its own where the encoder takes it.
AVPixelFormat pixelFormatFor(const AVCodec& encoder, AVPixelFormat source)
{
    if (encoder.pix_fmts == nullptr)
    {
        return source;
    }
    int loss = 0;
    return avcodec_find_best_pix_fmt_of_list(
        encoder.pix_fmts, source,
        av_pix_fmt_desc_get(source) != nullptr &&
            (av_pix_fmt_desc_get(source)->flags & AV_PIX_FMT_FLAG_ALPHA) != 0,
        &loss);
}

/// One movie being written.
class OpenMovie
{
public:
    bool open(const std::string& source, const std::string& path, const std::string& destination,
              const MovieOptions& options, foundation::Error* error);
    bool write(const Frame& frame, std::int64_t time, foundation::Error* error);
    bool finish(foundation::Error* error);

private:
    bool startEncoder(const Frame& frame, foundation::Error* error);
    bool addCopiedStreams(foundation::Error* error);
    bool convert(const Frame& frame, foundation::Error* error);
    /// Sends a frame (null: the end) to the encoder and writes every packet it gives back.
    bool encode(const AVFrame* frame, foundation::Error* error);
    /// Copies the other streams' packets up to the time (in the video stream's time base).
    bool copyUntil(std::optional<std::int64_t> videoTime, foundation::Error* error);
    bool failed(foundation::Error* error, const std::string& what) const
    {
        return hostError(error, HostError::FrameNotWritten, what);
    }

    std::string m_path;
    MovieOptions m_options;
    Input m_source;
    int m_sourceVideo = -1;
    Output m_output;
    Codec m_encoder;
    const AVCodec* m_codec = nullptr;
    AVStream* m_video = nullptr;
    std::vector<int> m_streamMap; // source stream → output stream, -1 where not copied
    Packet m_packet{av_packet_alloc()};
    Packet m_pending{av_packet_alloc()}; // a copied packet read but not yet due
    bool m_hasPending = false;
    bool m_sourceEnded = false;
    FramePtr m_picture{av_frame_alloc()};
    Scaler m_scaler;
    std::optional<std::int64_t> m_firstTime;
    std::int64_t m_lastTime = AV_NOPTS_VALUE;
};

bool OpenMovie::open(const std::string& source, const std::string& path,
                     const std::string& destination, const MovieOptions& options,
                     foundation::Error* error)
{
    m_path = path;
    m_options = options;
    std::string reason;
    m_source = openInput(source, &reason);
    if (!m_source)
    {
        return failed(
            error, fmt::format("{} can't be opened again to copy its streams: {}", source, reason));
    }
    m_sourceVideo = videoStreamOf(*m_source);
    const AVOutputFormat* container = av_guess_format(nullptr, path.c_str(), nullptr);
    AVFormatContext* output = nullptr;
    if (m_sourceVideo < 0 || container == nullptr ||
        avformat_alloc_output_context2(&output, container, nullptr, destination.c_str()) < 0)
    {
        return failed(error, "No container that FFmpeg writes is named by its extension");
    }
    m_output.reset(output);
    m_codec = options.codec.empty()
                  ? defaultEncoder(m_source->streams[m_sourceVideo]->codecpar->codec_id, *container)
                  : avcodec_find_encoder_by_name(options.codec.c_str());
    if (m_codec == nullptr || m_codec->type != AVMEDIA_TYPE_VIDEO)
    {
        return failed(error, options.codec.empty()
                                 ? "FFmpeg here has no video encoder for it"
                                 : fmt::format("FFmpeg here has no video encoder named \"{}\" "
                                               "(ffmpeg -encoders lists them)",
                                               options.codec));
    }
    if (avformat_query_codec(container, m_codec->id, FF_COMPLIANCE_NORMAL) == 0)
    {
        return failed(error, fmt::format("Its container ({}) can't hold {} video", container->name,
                                         m_codec->name));
    }
    m_video = avformat_new_stream(m_output.get(), nullptr);
    if (m_video == nullptr || !m_packet || !m_pending || !m_picture)
    {
        return failed(error, "Out of memory for the movie");
    }
    if (!addCopiedStreams(error))
    {
        return false;
    }
    if ((container->flags & AVFMT_NOFILE) == 0)
    {
        if (const int code = avio_open(&m_output->pb, destination.c_str(), AVIO_FLAG_WRITE);
            code < 0)
        {
            return failed(error, errorText(code));
        }
    }
    return true;
}

bool OpenMovie::addCopiedStreams(foundation::Error* error)
{
    m_streamMap.assign(m_source->nb_streams, -1);
    for (unsigned i = 0; i < m_source->nb_streams; ++i)
    {
        const AVStream& in = *m_source->streams[i];
        if (static_cast<int>(i) == m_sourceVideo)
        {
            m_source->streams[i]->discard = AVDISCARD_ALL;
            continue;
        }
        // A timecode track has no codec; the container says at its header whether it takes it.
        if (in.codecpar->codec_id != AV_CODEC_ID_NONE &&
            avformat_query_codec(m_output->oformat, in.codecpar->codec_id, FF_COMPLIANCE_NORMAL) ==
                0)
        {
            return failed(error, fmt::format("Its container ({}) can't hold the source's stream "
                                             "{} ({} {}): name a container that does, such as "
                                             ".mov or .mkv",
                                             m_output->oformat->name, i,
                                             av_get_media_type_string(in.codecpar->codec_type),
                                             avcodec_get_name(in.codecpar->codec_id)));
        }
        AVStream* out = avformat_new_stream(m_output.get(), nullptr);
        if (out == nullptr || avcodec_parameters_copy(out->codecpar, in.codecpar) < 0)
        {
            return failed(error, "Out of memory for the movie");
        }
        // The source's tag stays where this container knows it for the same codec.
        const unsigned tag = in.codecpar->codec_tag;
        if (m_output->oformat->codec_tag == nullptr ||
            av_codec_get_id(m_output->oformat->codec_tag, tag) != in.codecpar->codec_id)
        {
            out->codecpar->codec_tag = 0;
        }
        out->time_base = in.time_base;
        out->avg_frame_rate = in.avg_frame_rate; // a timecode track is read at its rate
        out->r_frame_rate = in.r_frame_rate;
        out->disposition = in.disposition;
        av_dict_copy(&out->metadata, in.metadata, 0);
        m_streamMap[i] = out->index;
    }
    return true;
}

bool OpenMovie::startEncoder(const Frame& frame, foundation::Error* error)
{
    const AVStream& in = *m_source->streams[m_sourceVideo];
    m_encoder.reset(avcodec_alloc_context3(m_codec));
    if (!m_encoder)
    {
        return failed(error, "Out of memory for the encoder");
    }
    AVCodecContext& encoder = *m_encoder;
    encoder.width = static_cast<int>(frame.width());
    encoder.height = static_cast<int>(frame.height());
    encoder.time_base = in.time_base;
    encoder.framerate = in.avg_frame_rate.num > 0 ? in.avg_frame_rate : in.r_frame_rate;
    encoder.sample_aspect_ratio = in.codecpar->sample_aspect_ratio;
    encoder.pix_fmt = pixelFormatFor(*m_codec, static_cast<AVPixelFormat>(in.codecpar->format));
    encoder.color_range = in.codecpar->color_range;
    encoder.colorspace = in.codecpar->color_space;
    encoder.color_primaries = in.codecpar->color_primaries;
    encoder.color_trc = in.codecpar->color_trc;
    encoder.thread_count = 0;
    if ((m_output->oformat->flags & AVFMT_GLOBALHEADER) != 0)
    {
        encoder.flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    }
    const bool takesCrf = av_opt_find(encoder.priv_data, "crf", nullptr, 0, 0) != nullptr;
    if (m_options.crf && !takesCrf)
    {
        return failed(error, fmt::format("The {} encoder takes no --crf", m_codec->name));
    }
    if (takesCrf)
    {
        av_opt_set_int(encoder.priv_data, "crf", m_options.crf.value_or(kDefaultCrf), 0);
    }
    else if (std::string_view(m_codec->name) == "prores_ks")
    {
        const AVPixFmtDescriptor* description = av_pix_fmt_desc_get(encoder.pix_fmt);
        const bool alpha = description != nullptr && (description->flags & AV_PIX_FMT_FLAG_ALPHA);
        av_opt_set(encoder.priv_data, "profile", alpha ? "4444" : "hq", 0);
    }
    else
    {
        encoder.flags |= AV_CODEC_FLAG_QSCALE; // near-transparent quality for older codecs
        encoder.global_quality = FF_QP2LAMBDA * 2;
    }
    if (const int code = avcodec_open2(&encoder, m_codec, nullptr); code < 0)
    {
        return failed(
            error, fmt::format("The {} encoder can't start: {}", m_codec->name, errorText(code)));
    }
    m_video->time_base = encoder.time_base;
    m_video->avg_frame_rate = encoder.framerate;
    avcodec_parameters_from_context(m_video->codecpar, &encoder);
    // The pictures are turned upright here, so no turn is written: timecode and the rest stay.
    av_dict_copy(&m_video->metadata, in.metadata, 0);
    av_dict_set(&m_video->metadata, "rotate", nullptr, 0);
    m_video->disposition = in.disposition;
    if (const int code = avformat_write_header(m_output.get(), nullptr); code < 0)
    {
        return failed(error, fmt::format("Its header can't be written: {}", errorText(code)));
    }
    return true;
}

bool OpenMovie::convert(const Frame& frame, foundation::Error* error)
{
    const AVCodecContext& encoder = *m_encoder;
    if (frame.type() == PixelType::Float)
    {
        return failed(error, "Float frames can't be encoded");
    }
    const AVPixelFormat source =
        frame.type() == PixelType::UInt16 ? AV_PIX_FMT_RGBA64 : AV_PIX_FMT_RGBA;
    const auto width = static_cast<int>(frame.width());
    const auto height = static_cast<int>(frame.height());
    if (width != encoder.width || height != encoder.height)
    {
        return failed(error, "A frame's size differs from the first frame's");
    }
    m_scaler.reset(sws_getCachedContext(m_scaler.release(), width, height, source, width, height,
                                        encoder.pix_fmt, SWS_BICUBIC, nullptr, nullptr, nullptr));
    av_frame_unref(m_picture.get());
    m_picture->format = encoder.pix_fmt;
    m_picture->width = width;
    m_picture->height = height;
    if (!m_scaler || av_frame_get_buffer(m_picture.get(), 0) < 0)
    {
        return failed(error, fmt::format("RGB can't be converted to {}",
                                         av_get_pix_fmt_name(encoder.pix_fmt)));
    }
    setColourMatrix(m_scaler.get(), encoder.colorspace, true,
                    encoder.color_range == AVCOL_RANGE_JPEG);
    const std::uint8_t* planes[4] = {reinterpret_cast<const std::uint8_t*>(frame.data()), nullptr,
                                     nullptr, nullptr};
    const int strides[4] = {static_cast<int>(frame.rowBytes()), 0, 0, 0};
    sws_scale(m_scaler.get(), planes, strides, 0, height, m_picture->data, m_picture->linesize);
    m_picture->color_range = encoder.color_range;
    m_picture->colorspace = encoder.colorspace;
    m_picture->color_primaries = encoder.color_primaries;
    m_picture->color_trc = encoder.color_trc;
    return true;
}

bool OpenMovie::encode(const AVFrame* frame, foundation::Error* error)
{
    if (const int code = avcodec_send_frame(m_encoder.get(), frame); code < 0)
    {
        return failed(error,
                      fmt::format("The {} encoder failed: {}", m_codec->name, errorText(code)));
    }
    for (;;)
    {
        const int code = avcodec_receive_packet(m_encoder.get(), m_packet.get());
        if (code == AVERROR(EAGAIN) || code == AVERROR_EOF)
        {
            return true;
        }
        if (code < 0)
        {
            return failed(error,
                          fmt::format("The {} encoder failed: {}", m_codec->name, errorText(code)));
        }
        m_packet->stream_index = m_video->index;
        av_packet_rescale_ts(m_packet.get(), m_encoder->time_base, m_video->time_base);
        if (const int written = av_interleaved_write_frame(m_output.get(), m_packet.get());
            written < 0)
        {
            return failed(error, errorText(written));
        }
    }
}

bool OpenMovie::copyUntil(std::optional<std::int64_t> videoTime, foundation::Error* error)
{
    const AVRational videoBase = m_source->streams[m_sourceVideo]->time_base;
    while (!m_sourceEnded)
    {
        if (!m_hasPending)
        {
            const int code = av_read_frame(m_source.get(), m_pending.get());
            if (code == AVERROR_EOF)
            {
                m_sourceEnded = true;
                break;
            }
            if (code < 0)
            {
                return failed(error, fmt::format("The source's streams can't be read on: {}",
                                                 errorText(code)));
            }
            m_hasPending = true;
        }
        AVPacket& packet = *m_pending;
        const AVRational base = m_source->streams[packet.stream_index]->time_base;
        const std::int64_t at = packet.dts != AV_NOPTS_VALUE ? packet.dts : packet.pts;
        const bool timed = at != AV_NOPTS_VALUE;
        if (videoTime && timed && av_compare_ts(at, base, *videoTime, videoBase) > 0)
        {
            break; // due with a later frame
        }
        const int target = m_streamMap[static_cast<std::size_t>(packet.stream_index)];
        const bool before = m_options.partial && m_firstTime && timed &&
                            av_compare_ts(at, base, *m_firstTime, videoBase) < 0;
        m_hasPending = false;
        if (target < 0 || before)
        {
            av_packet_unref(&packet);
            continue;
        }
        packet.stream_index = target;
        packet.pos = -1;
        av_packet_rescale_ts(&packet, base, m_output->streams[target]->time_base);
        if (const int code = av_interleaved_write_frame(m_output.get(), &packet); code < 0)
        {
            return failed(error,
                          fmt::format("A copied packet can't be written: {}", errorText(code)));
        }
    }
    return true;
}

bool OpenMovie::write(const Frame& frame, std::int64_t time, foundation::Error* error)
{
    if (!m_encoder && !startEncoder(frame, error))
    {
        return false;
    }
    if (!convert(frame, error))
    {
        return false;
    }
    // The source's own time; a frame without one, or out of order, follows the last.
    if (time == AV_NOPTS_VALUE || (m_lastTime != AV_NOPTS_VALUE && time <= m_lastTime))
    {
        time = m_lastTime == AV_NOPTS_VALUE ? 0 : m_lastTime + 1;
    }
    m_picture->pts = time;
    m_lastTime = time;
    if (!m_firstTime)
    {
        m_firstTime = time;
    }
    return copyUntil(time, error) && encode(m_picture.get(), error);
}

bool OpenMovie::finish(foundation::Error* error)
{
    if (!m_encoder)
    {
        return failed(error, "No frame was graded");
    }
    if (!encode(nullptr, error))
    {
        return false;
    }
    // A part of a clip keeps the other streams up to its last frame's end; a whole clip keeps
    // them whole.
    std::optional<std::int64_t> end;
    if (m_options.partial)
    {
        const AVRational rate = m_encoder->framerate;
        const std::int64_t duration =
            rate.num > 0 ? av_rescale_q(1, av_inv_q(rate), m_encoder->time_base) : 1;
        end = m_lastTime + std::max<std::int64_t>(duration, 1) - 1;
    }
    if (!copyUntil(end, error))
    {
        return false;
    }
    if (const int code = av_write_trailer(m_output.get()); code < 0)
    {
        return failed(error, fmt::format("Its end can't be written: {}", errorText(code)));
    }
    if (m_output->pb != nullptr && m_output->pb->error < 0)
    {
        return failed(error, errorText(m_output->pb->error));
    }
    return true;
}

} // namespace

bool openMovie(const std::string& source, const std::string& path, const std::string& destination,
               const MovieOptions& options, std::shared_ptr<void>* movie, foundation::Error* error)
{
    auto opened = std::make_shared<OpenMovie>();
    if (!opened->open(source, path, destination, options, error))
    {
        return false;
    }
    *movie = std::move(opened);
    return true;
}

bool writeMovieFrame(void* movie, const Frame& frame, std::int64_t time, foundation::Error* error)
{
    return static_cast<OpenMovie*>(movie)->write(frame, time, error);
}

bool finishMovie(void* movie, foundation::Error* error)
{
    return static_cast<OpenMovie*>(movie)->finish(error);
}

} // namespace huecast::host::clips
