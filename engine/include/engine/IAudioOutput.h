#pragma once
// What the engine's speed changes and re-alignment ask of the audio output. The real output
// (CDirectSoundPlayer) implements it; engine tests use a recording fake.
#include <cstdint>

class IAudioOutput {
public:
    virtual ~IAudioOutput() = default;
    virtual int Stop() = 0;                  // 1, or 0 on failure
    virtual int FillAt(int32_t second) = 0;  // refill from the engine and play from `second`
    virtual void Mute(int flag) = 0;         // 1 silences, 0 restores the volume
    // Seconds the picture is held behind the audio handed on, so that it meets what is heard
    // (the device's latency). The frames of that span are still queued by design: the
    // re-alignment must not take them for video running ahead.
    virtual float PictureLagSeconds() const { return 0.0f; }
};
