#pragma once
// The source's sound resampled to the movie's rate, channels and sample size, handed out by
// exact sample counts from a start time on; silence before the sound begins and after it
// ends, and throughout when there is no sound at all.
#include "MediaSource.h"

#include <cstdint>
#include <vector>

struct SwrContext;

namespace tvqconvert {

class AudioTrack {
public:
    // `source` may be null: the movie gets silence. `start`: the source second the movie's
    // first sample comes from.
    AudioTrack(MediaSource* source, int rate, int channels, int bits, double start);
    ~AudioTrack();
    AudioTrack(const AudioTrack&) = delete;
    AudioTrack& operator=(const AudioTrack&) = delete;

    // Appends the next `sampleFrames` sample frames to `out`.
    void Read(long sampleFrames, std::vector<uint8_t>& out);

private:
    bool Refill();  // converts one more source frame into pending_; false at the end
    void AppendSilence(long sampleFrames, std::vector<uint8_t>& out) const;

    MediaSource* source_;
    int rate_, channels_, bits_, blockAlign_;
    double start_;
    SwrContext* resampler_ = nullptr;
    AVFrame* frame_ = nullptr;
    bool placed_ = false;  // the first sound has been put at its time
    bool ended_ = false;
    std::vector<uint8_t> pending_;  // converted, not yet handed out
    size_t pendingRead_ = 0;
    long dropFrames_ = 0;  // converted sample frames still to skip (before the start time)
};

}  // namespace tvqconvert
