#include "MediaSource.h"

#include <algorithm>
#include <thread>

namespace tvqconvert {
namespace {

std::string AvError(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

}  // namespace

MediaSource::~MediaSource() {
    av_packet_free(&packet_);
    avcodec_free_context(&codec_);
    avformat_close_input(&format_);
}

OpenResult MediaSource::Open(const std::string& path, AVMediaType type, std::string& error) {
    int rc = avformat_open_input(&format_, path.c_str(), nullptr, nullptr);
    if (rc < 0) {
        error = AvError(rc);
        return OpenResult::Unreadable;
    }
    rc = avformat_find_stream_info(format_, nullptr);
    if (rc < 0) {
        error = AvError(rc);
        return OpenResult::Unreadable;
    }
    const AVCodec* decoder = nullptr;
    streamIndex_ = av_find_best_stream(format_, type, -1, -1, &decoder, 0);
    if (streamIndex_ == AVERROR_STREAM_NOT_FOUND) {
        error = std::string(path) + " has no " + (type == AVMEDIA_TYPE_VIDEO ? "video" : "audio") +
                " stream";
        return OpenResult::NoStream;
    }
    if (streamIndex_ < 0 || !decoder) {
        const AVCodecID id = streamIndex_ >= 0 ? format_->streams[streamIndex_]->codecpar->codec_id
                                               : AV_CODEC_ID_NONE;
        error = std::string("Please install codec for ") +
                (id != AV_CODEC_ID_NONE ? avcodec_get_name(id) : path.c_str()) +
                " (no decoder for the " + (type == AVMEDIA_TYPE_VIDEO ? "video" : "audio") +
                " of " + path + ")";
        return OpenResult::Unusable;
    }
    stream_ = format_->streams[streamIndex_];
    origin_ = StreamStart();
    for (unsigned i = 0; i < format_->nb_streams; ++i)
        if (static_cast<int>(i) != streamIndex_)
            format_->streams[i]->discard = AVDISCARD_ALL;
    codec_ = avcodec_alloc_context3(decoder);
    packet_ = av_packet_alloc();
    if (!codec_ || !packet_ || avcodec_parameters_to_context(codec_, stream_->codecpar) < 0) {
        error = "out of memory opening " + path;
        return OpenResult::Unusable;
    }
    codec_->pkt_timebase = stream_->time_base;
    // Frame threads on both cores; the encoders take over whatever the decoder leaves idle.
    // MJPEG decodes one packet at a time (pictures passed through undecoded mix with decoded
    // ones), which frame threads would delay.
    codec_->thread_count =
        decoder->id == AV_CODEC_ID_MJPEG
            ? 1
            : static_cast<int>(std::clamp(std::thread::hardware_concurrency(), 1u, 4u));
    rc = avcodec_open2(codec_, decoder, nullptr);
    if (rc < 0) {
        error = "cannot decode the " + std::string(avcodec_get_name(decoder->id)) + " of " + path +
                ": " + AvError(rc);
        return OpenResult::Unusable;
    }
    return OpenResult::Opened;
}

void MediaSource::SeekTo(double seconds) {
    if (seconds <= 0)
        return;
    const auto target = static_cast<int64_t>((origin_ + seconds) * AV_TIME_BASE);
    if (avformat_seek_file(format_, -1, INT64_MIN, target, target, AVSEEK_FLAG_BACKWARD) >= 0)
        avcodec_flush_buffers(codec_);
}

bool MediaSource::NextPacket(AVPacket* packet) {
    for (;;) {
        if (av_read_frame(format_, packet) < 0)
            return false;
        if (packet->stream_index == streamIndex_)
            return true;
        av_packet_unref(packet);
    }
}

bool MediaSource::DecodePacket(const AVPacket* packet, AVFrame* frame) {
    if (avcodec_send_packet(codec_, packet) < 0) {
        ++errors_;
        return false;
    }
    if (avcodec_receive_frame(codec_, frame) < 0) {
        ++errors_;
        return false;
    }
    return true;
}

bool MediaSource::NextFrame(AVFrame* frame) {
    for (;;) {
        const int rc = avcodec_receive_frame(codec_, frame);
        if (rc == 0)
            return true;
        if (rc == AVERROR_EOF)
            return false;
        if (rc != AVERROR(EAGAIN)) {
            ++errors_;
            if (flushed_)
                return false;
            continue;
        }
        if (flushed_)
            return false;
        if (!NextPacket(packet_)) {
            flushed_ = true;
            avcodec_send_packet(codec_, nullptr);
            continue;
        }
        if (avcodec_send_packet(codec_, packet_) < 0)
            ++errors_;
        av_packet_unref(packet_);
    }
}

double MediaSource::Duration() const {
    if (stream_->duration > 0 && stream_->duration != AV_NOPTS_VALUE)
        return StreamStart() - origin_ + stream_->duration * av_q2d(stream_->time_base);
    if (format_->duration > 0) {
        const double fileStart = format_->start_time == AV_NOPTS_VALUE
                                     ? 0
                                     : static_cast<double>(format_->start_time) / AV_TIME_BASE;
        return fileStart - origin_ + static_cast<double>(format_->duration) / AV_TIME_BASE;
    }
    return 0;
}

double MediaSource::StreamStart() const {
    if (stream_->start_time != AV_NOPTS_VALUE)
        return stream_->start_time * av_q2d(stream_->time_base);
    return format_->start_time == AV_NOPTS_VALUE
               ? 0
               : static_cast<double>(format_->start_time) / AV_TIME_BASE;
}

double MediaSource::Seconds(int64_t timestamp) const {
    return timestamp * av_q2d(stream_->time_base) - origin_;
}

}  // namespace tvqconvert
