#include "VideoTrack.h"

extern "C" {
#include <libavutil/display.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <cmath>

namespace tvqconvert {
namespace {

uint16_t Be16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] << 8 | p[1]);
}

// A picture starting this close after a moment still counts as shown then: containers round
// times to their clock's tick (a millisecond in Matroska), which must not make a picture one
// frame late. Never more than this, whatever the tick.
constexpr double kMaxTimeSlack = 0.005;

}  // namespace

bool IsStorableJpeg(const uint8_t* data, size_t size, int width, int height) {
    if (size < 4 || data[0] != 0xFF || data[1] != 0xD8)
        return false;
    bool haveTables = false, haveFrameHeader = false;
    size_t pos = 2;
    while (pos + 4 <= size) {
        if (data[pos] != 0xFF)
            return false;
        const uint8_t marker = data[pos + 1];
        if (marker == 0xFF) {  // fill byte
            ++pos;
            continue;
        }
        if (marker == 0xDA)  // the scan: everything it needs must have come by now
            return haveFrameHeader && haveTables;
        const size_t length = Be16(data + pos + 2);
        if (length < 2 || pos + 2 + length > size)
            return false;
        const uint8_t* body = data + pos + 4;
        if (marker == 0xC4) {
            haveTables = true;
        } else if (marker == 0xC0) {  // baseline frame header
            if (length != 17 || body[0] != 8 || Be16(body + 1) != height ||
                Be16(body + 3) != width || body[5] != 3)
                return false;
            // Luma sampled 2x2, both chroma components 1x1: 4:2:0.
            if (body[7] != 0x22 || body[10] != 0x11 || body[13] != 0x11)
                return false;
            haveFrameHeader = true;
        } else if (marker >= 0xC1 && marker <= 0xCF && marker != 0xC8 && marker != 0xCC) {
            return false;  // progressive, lossless or arithmetic coding
        }
        pos += 2 + length;
    }
    return false;
}

VideoTrack::VideoTrack(MediaSource& source, bool copyJpeg) : source_(source), copyJpeg_(copyJpeg) {
    slack_ = std::clamp(av_q2d(source.Stream()->time_base), 1e-6, kMaxTimeSlack);
}

bool VideoTrack::Load(Timed& out) {
    AVPacket* packet = av_packet_alloc();
    std::shared_ptr<AVFrame> frame(av_frame_alloc(), [](AVFrame* f) { av_frame_free(&f); });
    if (!packet || !frame) {
        av_packet_free(&packet);
        return false;
    }
    bool ok = false;
    int64_t timestamp = AV_NOPTS_VALUE, duration = 0;
    if (copyJpeg_) {
        const int w = source_.Codec()->width, h = source_.Codec()->height;
        while (!ok && source_.NextPacket(packet)) {
            timestamp = packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts;
            duration = packet->duration;
            if (IsStorableJpeg(packet->data, static_cast<size_t>(packet->size), w, h)) {
                out.picture.jpeg = std::make_shared<const std::vector<uint8_t>>(
                    packet->data, packet->data + packet->size);
                out.picture.frame.reset();
                ++copied_;
                ok = true;
            } else if (source_.DecodePacket(packet, frame.get())) {
                out.picture.frame = frame;
                out.picture.jpeg.reset();
                ok = true;
            }
            av_packet_unref(packet);
        }
    } else if (source_.NextFrame(frame.get())) {
        timestamp = frame->best_effort_timestamp;
        duration = frame->pkt_duration;
        out.picture.frame = frame;
        out.picture.jpeg.reset();
        ok = true;
    }
    av_packet_free(&packet);
    if (!ok)
        return false;
    const AVStream* stream = source_.Stream();
    double start = timestamp != AV_NOPTS_VALUE ? source_.Seconds(timestamp) : lastStart_ + 0.04;
    double seconds = duration > 0 ? duration * av_q2d(stream->time_base) : 0;
    if (seconds <= 0) {
        const AVRational rate =
            stream->avg_frame_rate.num > 0 ? stream->avg_frame_rate : stream->r_frame_rate;
        seconds = rate.num > 0 && rate.den > 0 ? av_q2d(av_inv_q(rate)) : 0.04;
    }
    // Out-of-order or repeated timestamps (broken files) keep the order the pictures came in.
    if (start <= lastStart_)
        start = lastStart_ + 1e-6;
    lastStart_ = start;
    out.start = start;
    out.duration = seconds;
    return true;
}

bool VideoTrack::PictureAt(double seconds, Picture& out) {
    if (!haveCurrent_) {
        if (!Load(current_)) {
            endTime_ = 0;
            return false;
        }
        haveCurrent_ = true;
    }
    for (;;) {
        if (!haveNext_ && !ended_) {
            haveNext_ = Load(next_);
            ended_ = !haveNext_;
        }
        if (!haveNext_ || next_.start > seconds + slack_)
            break;
        current_ = std::move(next_);
        haveNext_ = false;
    }
    if (ended_) {
        endTime_ = current_.start + current_.duration;
        if (seconds >= endTime_ - slack_)
            return false;
    }
    out = current_.picture;
    return true;
}

Scaler::~Scaler() {
    sws_freeContext(context_);
}

int UprightRotation(const AVStream& stream) {
    const uint8_t* matrix = av_stream_get_side_data(&stream, AV_PKT_DATA_DISPLAYMATRIX, nullptr);
    if (!matrix)
        return 0;
    // The matrix turns counter-clockwise; only quarter turns are honoured.
    const double degrees = -av_display_rotation_get(reinterpret_cast<const int32_t*>(matrix));
    if (!std::isfinite(degrees))
        return 0;
    const int quarter = static_cast<int>(std::lround(degrees / 90.0));
    return ((quarter % 4) + 4) % 4 * 90;
}

bool Scaler::Scale(const AVFrame& frame, int width, int height, uint8_t* bottomUpBgr) {
    const bool sideways = rotation_ == 90 || rotation_ == 270;
    const int scaledW = sideways ? height : width, scaledH = sideways ? width : height;
    context_ = sws_getCachedContext(context_, frame.width, frame.height,
                                    static_cast<AVPixelFormat>(frame.format), scaledW, scaledH,
                                    AV_PIX_FMT_BGR24, SWS_BILINEAR, nullptr, nullptr, nullptr);
    if (!context_)
        return false;
    const int stride = (width * 3 + 3) & ~3;
    if (rotation_ == 0) {
        // A negative stride starting at the last row writes the picture bottom-up.
        uint8_t* planes[4] = {bottomUpBgr + static_cast<ptrdiff_t>(height - 1) * stride, nullptr,
                              nullptr, nullptr};
        int strides[4] = {-stride, 0, 0, 0};
        return sws_scale(context_, frame.data, frame.linesize, 0, frame.height, planes, strides) ==
               height;
    }
    const int inStride = scaledW * 3;
    upright_.resize(static_cast<size_t>(inStride) * scaledH);
    uint8_t* planes[4] = {upright_.data(), nullptr, nullptr, nullptr};
    int strides[4] = {inStride, 0, 0, 0};
    if (sws_scale(context_, frame.data, frame.linesize, 0, frame.height, planes, strides) !=
        scaledH)
        return false;
    // Output pixel (x, y), y counted from the top, takes the scaled pixel it turns onto.
    for (int y = 0; y < height; ++y) {
        uint8_t* out = bottomUpBgr + static_cast<ptrdiff_t>(height - 1 - y) * stride;
        for (int x = 0; x < width; ++x, out += 3) {
            int ix, iy;
            if (rotation_ == 90) {
                ix = y;
                iy = scaledH - 1 - x;
            } else if (rotation_ == 270) {
                ix = scaledW - 1 - y;
                iy = x;
            } else {
                ix = scaledW - 1 - x;
                iy = scaledH - 1 - y;
            }
            const uint8_t* in = upright_.data() + static_cast<ptrdiff_t>(iy) * inStride + ix * 3;
            out[0] = in[0];
            out[1] = in[1];
            out[2] = in[2];
        }
    }
    return true;
}

}  // namespace tvqconvert
