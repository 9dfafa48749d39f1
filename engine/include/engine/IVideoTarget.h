#pragma once
// The video window as the playback side sees it: the playlist player prepares it for each
// file, the audio output tells it which frame belongs to the time played. The Qt window
// implements it; the playback tests use a headless one.
#include <cstdint>
#include <string>

#include "platform/Sync.h"

class CPlaybackEngine;

class IVideoTarget {
public:
    virtual ~IVideoTarget() = default;
    // Takes the engine (not owned) and the playlist player's engine lock; makes the frame
    // buffers. False without an engine.
    virtual bool OpenStream(CPlaybackEngine* engine, win::RecursiveMutex* engineLock,
                            win::Event* wakeEvent) = 0;
    virtual void FreeBuffers() = 0;
    virtual void SetSeekText(const std::string& text) = 0;
    // Pulls frame records up to (second, frameIndex) and shows the last one. 1 shown or
    // nothing new needed, 0 without a stream.
    virtual int ShowFrameAt(int32_t second, int32_t frameIndex) = 0;
    // The engine was re-positioned behind the frame last shown: the next ShowFrameAt takes
    // the queued frames from their start instead of waiting for the clock to pass that frame.
    virtual void RestartFrames() {}
    virtual bool GetRepeat() const = 0;
    virtual bool GetAdjust() const = 0;
};
