#include "AudioTrack.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

#include <algorithm>
#include <cmath>

namespace tvqconvert {

AudioTrack::AudioTrack(MediaSource* source, int rate, int channels, int bits, double start)
    : source_(source),
      rate_(rate),
      channels_(channels),
      bits_(bits),
      blockAlign_(channels * bits / 8),
      start_(start) {
    if (source_) {
        frame_ = av_frame_alloc();
        source_->SeekTo(start);
    }
    ended_ = !source_ || !frame_;
}

AudioTrack::~AudioTrack() {
    swr_free(&resampler_);
    av_frame_free(&frame_);
}

void AudioTrack::AppendSilence(long sampleFrames, std::vector<uint8_t>& out) const {
    out.insert(out.end(), static_cast<size_t>(sampleFrames) * blockAlign_,
               bits_ == 8 ? uint8_t{0x80} : uint8_t{0});
}

bool AudioTrack::Refill() {
    if (ended_)
        return false;
    const bool got = source_->NextFrame(frame_);
    if (got && !resampler_) {
        AVChannelLayout in = frame_->ch_layout;
        if (in.order == AV_CHANNEL_ORDER_UNSPEC)
            av_channel_layout_default(&in, in.nb_channels);
        AVChannelLayout out;
        av_channel_layout_default(&out, channels_);
        const AVSampleFormat outFormat = bits_ == 8 ? AV_SAMPLE_FMT_U8 : AV_SAMPLE_FMT_S16;
        if (swr_alloc_set_opts2(&resampler_, &out, outFormat, rate_, &in,
                                static_cast<AVSampleFormat>(frame_->format), frame_->sample_rate, 0,
                                nullptr) < 0 ||
            swr_init(resampler_) < 0) {
            ended_ = true;
            return false;
        }
    }
    if (!resampler_) {
        ended_ = true;
        return false;
    }
    // At the end the resampler gives back the samples it still holds.
    const int inSamples = got ? frame_->nb_samples : 0;
    const int room = swr_get_out_samples(resampler_, inSamples);
    if (room <= 0) {
        ended_ = !got;
        if (got)
            av_frame_unref(frame_);
        return got;
    }
    const size_t before = pending_.size();
    pending_.resize(before + static_cast<size_t>(room) * blockAlign_);
    uint8_t* outPlanes[1] = {pending_.data() + before};
    const int made =
        swr_convert(resampler_, outPlanes, room,
                    got ? const_cast<const uint8_t**>(frame_->extended_data) : nullptr, inSamples);
    pending_.resize(before + static_cast<size_t>(std::max(made, 0)) * blockAlign_);
    if (got && !placed_) {
        // The first sound decides where the source's sound sits against the start time.
        placed_ = true;
        const int64_t ts = frame_->best_effort_timestamp;
        const double first = ts != AV_NOPTS_VALUE ? source_->Seconds(ts) : start_;
        const long offset = std::lround((first - start_) * rate_);
        if (offset > 0) {
            std::vector<uint8_t> silence;
            AppendSilence(offset, silence);
            pending_.insert(pending_.begin() + static_cast<ptrdiff_t>(before), silence.begin(),
                            silence.end());
        } else {
            dropFrames_ = -offset;
        }
    }
    if (dropFrames_ > 0) {
        const size_t available = (pending_.size() - pendingRead_) / blockAlign_;
        const size_t drop = std::min<size_t>(available, static_cast<size_t>(dropFrames_));
        pendingRead_ += drop * blockAlign_;
        dropFrames_ -= static_cast<long>(drop);
    }
    if (got)
        av_frame_unref(frame_);
    else
        ended_ = true;
    return true;
}

void AudioTrack::Read(long sampleFrames, std::vector<uint8_t>& out) {
    const size_t wanted = static_cast<size_t>(sampleFrames) * blockAlign_;
    while (pending_.size() - pendingRead_ < wanted && Refill()) {
    }
    const size_t take = std::min(wanted, pending_.size() - pendingRead_);
    out.insert(out.end(), pending_.begin() + static_cast<ptrdiff_t>(pendingRead_),
               pending_.begin() + static_cast<ptrdiff_t>(pendingRead_ + take));
    pendingRead_ += take;
    if (take < wanted)
        AppendSilence(static_cast<long>((wanted - take) / blockAlign_), out);
    // Keep the buffer from growing over a long movie.
    if (pendingRead_ > (1u << 20)) {
        pending_.erase(pending_.begin(), pending_.begin() + static_cast<ptrdiff_t>(pendingRead_));
        pendingRead_ = 0;
    }
}

}  // namespace tvqconvert
