#pragma once
// Kernel-object stand-ins: events, a recursive mutex and the tick count.
#include <cstdint>
#include <mutex>
#include <span>
#include <vector>

namespace win {

namespace detail {
struct Waiter;
struct WaitCore;
}  // namespace detail

// An event as Windows has them: a manual-reset event stays set and releases every waiter;
// an auto-reset event releases exactly one waiter and clears itself. Setting a set event does
// nothing (no counting).
class Event {
public:
    explicit Event(bool manualReset, bool initiallySet = false);
    ~Event();
    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;

    void Set();
    void Reset();
    // WAIT_OBJECT_0 when signalled, WAIT_TIMEOUT otherwise. timeoutMs may be INFINITE.
    uint32_t Wait(uint32_t timeoutMs);
    bool IsSet() const;  // peeks without consuming an auto-reset event

private:
    friend struct detail::WaitCore;

    const bool manualReset_;
    bool signalled_;                        // under the global wait lock
    std::vector<detail::Waiter*> waiters_;  // under the global wait lock
};

// Waits until one of the events is set; returns WAIT_OBJECT_0 + index of the first set one,
// or WAIT_TIMEOUT.
uint32_t WaitForMultipleObjects(std::span<Event* const> events, uint32_t timeoutMs);

// Windows mutexes are recursive, so this one is too. No timed wait is offered on purpose:
// the code that must not block (the sound callback) uses TryLock.
class RecursiveMutex {
public:
    void Lock() { m_.lock(); }
    bool TryLock() { return m_.try_lock(); }
    void Unlock() { m_.unlock(); }
    // For std::scoped_lock / std::unique_lock.
    void lock() { m_.lock(); }
    bool try_lock() { return m_.try_lock(); }
    void unlock() { m_.unlock(); }

private:
    std::recursive_mutex m_;
};

// Holds a RecursiveMutex for a scope; a null mutex is allowed and does nothing, as a lock on a
// handle that was never created does nothing.
class ScopedLock {
public:
    explicit ScopedLock(RecursiveMutex* m) : m_(m) {
        if (m_)
            m_->Lock();
    }
    explicit ScopedLock(RecursiveMutex& m) : ScopedLock(&m) {}
    ~ScopedLock() {
        if (m_)
            m_->Unlock();
    }
    ScopedLock(const ScopedLock&) = delete;
    ScopedLock& operator=(const ScopedLock&) = delete;

private:
    RecursiveMutex* m_;
};

// Milliseconds of the monotonic clock, wrapping at 2^32 like GetTickCount.
uint32_t GetTickCount();

}  // namespace win
