#include "engine/StoredFrameQueue.h"

#include <algorithm>
#include <utility>

namespace {

int64_t BytesOf(const StoredFrame& frame) {
    return frame.bytes ? static_cast<int64_t>(frame.bytes->size()) : 0;
}

}  // namespace

void CStoredFrameQueue::Push(StoredFrame frame) {
    std::lock_guard lock(mutex_);
    bytes_ += BytesOf(frame);
    frames_.push_back(std::move(frame));
}

bool CStoredFrameQueue::Pop(StoredFrame* frame, int32_t* queuedAfter) {
    std::lock_guard lock(mutex_);
    if (frames_.empty())
        return false;
    bytes_ -= BytesOf(frames_.front());
    *frame = std::move(frames_.front());
    frames_.pop_front();
    if (queuedAfter)
        *queuedAfter = static_cast<int32_t>(frames_.size());
    return true;
}

bool CStoredFrameQueue::Peek(StoredFrame* frame) const {
    std::lock_guard lock(mutex_);
    if (frames_.empty())
        return false;
    *frame = frames_.front();
    return true;
}

void CStoredFrameQueue::KeepNewest(int32_t frames) {
    std::lock_guard lock(mutex_);
    while (static_cast<int64_t>(frames_.size()) > std::max<int32_t>(frames, 0)) {
        bytes_ -= BytesOf(frames_.front());
        frames_.pop_front();
    }
}

void CStoredFrameQueue::Reset() {
    std::lock_guard lock(mutex_);
    std::deque<StoredFrame>().swap(frames_);
    bytes_ = 0;
}

int32_t CStoredFrameQueue::GetCount() const {
    std::lock_guard lock(mutex_);
    return static_cast<int32_t>(frames_.size());
}

int64_t CStoredFrameQueue::GetBytes() const {
    std::lock_guard lock(mutex_);
    return bytes_;
}
