#pragma once
// The engine's queue of stored frames, oldest first. A few MB hold seconds of a JPEG movie, so
// unlike the ring of decoded frames it is never sized up front and never refuses a frame for
// room. The decode thread appends under the engine's decode lock and the frame view takes under
// its data lock; the queue's own mutex covers the moment of each call only.
#include <cstdint>
#include <deque>
#include <mutex>

#include "engine/StoredFrame.h"

class CStoredFrameQueue {
public:
    void Push(StoredFrame frame);
    // The oldest frame and the frames queued behind it; false when the queue is empty.
    bool Pop(StoredFrame* frame, int32_t* queuedAfter = nullptr);
    // A copy of the oldest frame, left queued (its bytes are shared); false when empty.
    bool Peek(StoredFrame* frame) const;
    // Drops the oldest frames until at most `frames` remain.
    void KeepNewest(int32_t frames);
    void Reset();

    int32_t GetCount() const;  // frames
    int64_t GetBytes() const;  // stored bytes of the frames queued, repeats counted again

private:
    mutable std::mutex mutex_;
    std::deque<StoredFrame> frames_;  // under mutex_
    int64_t bytes_ = 0;               // under mutex_
};
