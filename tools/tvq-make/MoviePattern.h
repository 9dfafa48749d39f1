#pragma once
// The pictures and sounds of a synthetic movie.
//
// "test": each frame shows its second and frame index in large digits, a bar that sweeps
// across the picture once per second, and the machine-readable frame marker; each second's
// audio is the tone of that second (codec/TestPattern.h).
// "demo": colourful shapes moving over a slowly changing background, the title "TVQ Player
// demo" and the play time, with a simple melody; it carries the frame markers but no tones.
// "sync": the test pictures over silence broken by a 20 ms burst (at most half a frame) that
// starts on the first sample of every frame; its pitch names the frame's index within its
// second (modulo kSyncPitches), so a recording of what was heard tells when each frame began.
#include "codec/TvqFormat.h"

#include <cstddef>
#include <cstdint>

namespace tvqmake {

enum class PatternKind { Test, Demo, Sync };

// The sync pattern's bursts: frame index i sounds kSyncLowestHz + kSyncStepHz * (i % kSyncPitches).
constexpr int kSyncLowestHz = 600;
constexpr int kSyncStepHz = 120;
constexpr int kSyncPitches = 25;
constexpr int kSyncBurstMs = 20;

class MoviePattern {
public:
    MoviePattern(const tvq::TvqStreamFormat& format, PatternKind kind)
        : format_(format), kind_(kind) {}

    // Draws frame `frame` of second `second` into a padded bottom-up BGR frame buffer.
    void PaintFrame(uint8_t* frameBuffer, int second, int frame) const;

    // Writes `sampleFrames` sample frames of second `second` from its start; returns bytes.
    size_t MakeAudio(uint8_t* pcm, int second, long sampleFrames) const;

private:
    void PaintTest(uint8_t* frameBuffer, int second, int frame) const;
    void PaintDemo(uint8_t* frameBuffer, int second, int frame) const;
    double MelodySample(long sampleIndex) const;
    double SyncSample(long sampleInSecond) const;

    tvq::TvqStreamFormat format_;
    PatternKind kind_;
};

}  // namespace tvqmake
