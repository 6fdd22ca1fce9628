#include "ui/VideoEncoder.h"

#include <string_view>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

namespace duolo {

struct VideoEncoder::State {
    AVFormatContext* format = nullptr;
    AVCodecContext* codec = nullptr;
    AVStream* stream = nullptr;
    AVFrame* frame = nullptr;
    AVPacket* packet = nullptr;
    SwsContext* scaler = nullptr;
    int64_t next = 0;  // presentation time of the next frame, in frames
    bool headerWritten = false;

    ~State()
    {
        sws_freeContext(scaler);
        av_packet_free(&packet);
        av_frame_free(&frame);
        avcodec_free_context(&codec);
        if (format) {
            if (format->pb)
                avio_closep(&format->pb);
            avformat_free_context(format);
        }
    }
};

VideoEncoder::VideoEncoder() = default;
VideoEncoder::~VideoEncoder() = default;

QString VideoEncoder::codecName() const
{
    return state_ && state_->codec && state_->codec->codec ? QString::fromLatin1(state_->codec->codec->name) : QString();
}

bool VideoEncoder::fail(const QString& what, int code)
{
    QString reason = what;
    if (code < 0) {
        char text[AV_ERROR_MAX_STRING_SIZE] = {};
        av_strerror(code, text, sizeof text);
        reason += QStringLiteral(": ") + QString::fromLocal8Bit(text);
    }
    error_ = path_ + QStringLiteral(": cannot write the video: ") + reason;
    state_.reset();
    return false;
}

bool VideoEncoder::open(const QString& path, int width, int height, int framesPerSecond)
{
    // The encoders' statistics are for FFmpeg's own tools; errors reach the user as messages.
    av_log_set_level(AV_LOG_ERROR);
    path_ = path;
    state_ = std::make_unique<State>();
    State& s = *state_;
    width &= ~1;
    height &= ~1;
    if (width < 2 || height < 2)
        return fail(QStringLiteral("the picture is empty"));
    const QByteArray file = path.toLocal8Bit();
    int code = avformat_alloc_output_context2(&s.format, nullptr, "mp4", file.constData());
    if (code < 0)
        return fail(QStringLiteral("no MP4 writer"), code);
    const AVCodec* codec = avcodec_find_encoder_by_name("libx264");
    if (!codec)
        codec = avcodec_find_encoder(AV_CODEC_ID_H264);
    if (!codec)
        codec = avcodec_find_encoder(AV_CODEC_ID_MPEG4);
    if (!codec)
        return fail(QStringLiteral("no H.264 or MPEG-4 encoder is installed"));
    s.stream = avformat_new_stream(s.format, nullptr);
    s.codec = avcodec_alloc_context3(codec);
    if (!s.stream || !s.codec)
        return fail(QStringLiteral("out of memory"));
    s.codec->width = width;
    s.codec->height = height;
    s.codec->pix_fmt = AV_PIX_FMT_YUV420P;
    s.codec->time_base = AVRational{1, framesPerSecond};
    s.codec->framerate = AVRational{framesPerSecond, 1};
    s.codec->gop_size = framesPerSecond;
    s.codec->bit_rate = static_cast<int64_t>(width) * height * 4;  // used by encoders without a quality scale
    if (s.format->oformat->flags & AVFMT_GLOBALHEADER)
        s.codec->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    if (std::string_view(codec->name) == "libx264") {
        // Near-transparent quality: the pictures are mostly flat colour and thin lines.
        av_opt_set(s.codec->priv_data, "crf", "18", 0);
        av_opt_set(s.codec->priv_data, "preset", "fast", 0);
    }
    if ((code = avcodec_open2(s.codec, codec, nullptr)) < 0)
        return fail(QStringLiteral("the encoder refused the settings"), code);
    if ((code = avcodec_parameters_from_context(s.stream->codecpar, s.codec)) < 0)
        return fail(QStringLiteral("the encoder's parameters"), code);
    s.stream->time_base = s.codec->time_base;
    if ((code = avio_open(&s.format->pb, file.constData(), AVIO_FLAG_WRITE)) < 0)
        return fail(QStringLiteral("the file cannot be created"), code);
    if ((code = avformat_write_header(s.format, nullptr)) < 0)
        return fail(QStringLiteral("the MP4 header"), code);
    s.headerWritten = true;
    s.frame = av_frame_alloc();
    s.packet = av_packet_alloc();
    if (!s.frame || !s.packet)
        return fail(QStringLiteral("out of memory"));
    s.frame->format = AV_PIX_FMT_YUV420P;
    s.frame->width = width;
    s.frame->height = height;
    if ((code = av_frame_get_buffer(s.frame, 0)) < 0)
        return fail(QStringLiteral("out of memory"), code);
    return true;
}

bool VideoEncoder::addFrame(const QImage& picture)
{
    if (!state_)
        return false;
    State& s = *state_;
    const QImage rgb = picture.convertToFormat(QImage::Format_RGB32);  // B, G, R, X bytes in memory
    s.scaler = sws_getCachedContext(s.scaler, rgb.width(), rgb.height(), AV_PIX_FMT_BGRA, s.codec->width,
                                    s.codec->height, AV_PIX_FMT_YUV420P, SWS_BICUBIC, nullptr, nullptr, nullptr);
    if (!s.scaler)
        return fail(QStringLiteral("the picture cannot be converted"));
    int code = av_frame_make_writable(s.frame);
    if (code < 0)
        return fail(QStringLiteral("out of memory"), code);
    const uint8_t* source[1] = {rgb.constBits()};
    const int stride[1] = {static_cast<int>(rgb.bytesPerLine())};
    sws_scale(s.scaler, source, stride, 0, rgb.height(), s.frame->data, s.frame->linesize);
    s.frame->pts = s.next++;
    if ((code = avcodec_send_frame(s.codec, s.frame)) < 0)
        return fail(QStringLiteral("the encoder refused a picture"), code);
    return encode(false);
}

// Moves every packet the encoder has ready into the file.
bool VideoEncoder::encode(bool flushing)
{
    State& s = *state_;
    for (;;) {
        const int code = avcodec_receive_packet(s.codec, s.packet);
        if (code == AVERROR(EAGAIN) || (flushing && code == AVERROR_EOF))
            return true;
        if (code < 0)
            return fail(QStringLiteral("the encoder failed"), code);
        // Every picture lasts one frame: the MP4 writer needs that for the last one too.
        if (s.packet->duration == 0)
            s.packet->duration = 1;
        av_packet_rescale_ts(s.packet, s.codec->time_base, s.stream->time_base);
        s.packet->stream_index = s.stream->index;
        if (const int written = av_interleaved_write_frame(s.format, s.packet); written < 0)
            return fail(QStringLiteral("writing the file"), written);
    }
}

void VideoEncoder::abandon() { state_.reset(); }

bool VideoEncoder::finish()
{
    if (!state_)
        return false;
    State& s = *state_;
    int code = avcodec_send_frame(s.codec, nullptr);
    if (code < 0)
        return fail(QStringLiteral("the encoder failed"), code);
    if (!encode(true))
        return false;
    if ((code = av_write_trailer(s.format)) < 0)
        return fail(QStringLiteral("the end of the file"), code);
    state_.reset();
    return true;
}

} // namespace duolo
