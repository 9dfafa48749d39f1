#pragma once
// The one lock behind events and thread queues. A waiting thread registers a condition
// variable with everything it waits on; Set and Post notify those. Keeping every check and
// every consume of an auto-reset event under one lock is what makes "exactly one waiter"
// hold without further care; the player has only a handful of threads, so one lock is cheap.
#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <span>

#include "platform/Sync.h"
#include "platform/Thread.h"

namespace win::detail {

struct Waiter {
    std::condition_variable cv;
};

struct MessageQueue {
    std::deque<Message> messages;  // under the wait lock
    Waiter* waiter = nullptr;      // the owning thread while it waits
};

struct WaitCore {
    static std::mutex& Lock();
    // Waits for one of events, or (queue not null) a message in queue.
    static uint32_t Wait(std::span<Event* const> events, MessageQueue* queue, uint32_t timeoutMs);
    // The same until a point of the steady clock: the wait is as fine as the condition
    // variable's (microseconds), not rounded to milliseconds.
    static uint32_t WaitUntil(std::span<Event* const> events, MessageQueue* queue,
                              std::chrono::steady_clock::time_point deadline);
    static void Notify(std::vector<Waiter*>& waiters);
    static void SetEvent(Event& e);
    static void ResetEvent(Event& e);
    static bool IsSet(const Event& e);
};

}  // namespace win::detail
