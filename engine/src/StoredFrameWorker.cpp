#include "engine/StoredFrameWorker.h"

#include <utility>

void CStoredFrameWorker::Hand(Job job) {
    std::lock_guard life(lifeMutex_);
    {
        std::lock_guard lock(mutex_);
        job_ = std::move(job);
        pending_ = true;
        stopping_ = false;
    }
    changed_.notify_all();
    if (!thread_.joinable())
        thread_ = std::thread([this] { Loop(); });
}

void CStoredFrameWorker::Stop() {
    std::lock_guard life(lifeMutex_);
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        pending_ = false;
        job_ = Job{};
    }
    changed_.notify_all();
    if (thread_.joinable())
        thread_.join();
}

void CStoredFrameWorker::WaitIdle() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return (!pending_ || stopping_) && !running_; });
}

bool CStoredFrameWorker::HasPending() const {
    std::lock_guard lock(mutex_);
    return pending_;
}

void CStoredFrameWorker::Loop() {
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return pending_ || stopping_; });
        if (stopping_)
            return;
        Job job = std::exchange(job_, Job{});
        pending_ = false;
        running_ = true;
        lock.unlock();
        run_(job);
        lock.lock();
        running_ = false;
        changed_.notify_all();
    }
}
