#pragma once
// Worker threads with their own message queues, in the manner of Windows thread queues:
// messages are posted to a thread by id, delivered in order, and a thread can wait for any of
// several events or for a message to arrive.
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <thread>

#include "platform/Sync.h"
#include "platform/WinTypes.h"

namespace win {

using ThreadId = uint32_t;  // 0 is never a valid id

struct Message {
    uint32_t message = 0;
    uintptr_t wParam = 0;
    intptr_t lParam = 0;
};

// BelowNormal is for work that may wait behind playback (the seek preview's decoding).
enum class ThreadPriority { BelowNormal, Normal, AboveNormal };

// Id of the calling thread (assigned on first use; stable for the thread's life).
ThreadId GetCurrentThreadId();

// Gives the calling thread a message queue if it has none. Worker threads get theirs before
// their body runs; other threads (the UI thread, test threads) call this once.
void EnsureMessageQueue();

// Appends a message to the queue of thread `id`. False when that thread has no queue (never
// made one, or it has ended).
bool PostThreadMessage(ThreadId id, uint32_t message, uintptr_t wParam, intptr_t lParam);

// Takes (remove = true) or looks at the oldest message of the calling thread's queue.
bool PeekMessage(Message& out, bool remove);

// Waits for a message; false when it is WM_QUIT.
bool GetMessage(Message& out);

// Waits until one of the events is set or the calling thread's queue holds a message.
// Returns WAIT_OBJECT_0 + index of the first set event, WAIT_OBJECT_0 + events.size() when a
// message is waiting, or WAIT_TIMEOUT. An auto-reset event that is reported is consumed.
uint32_t MsgWaitForMultipleObjects(std::span<Event* const> events, uint32_t timeoutMs);
// The same with a deadline of the steady clock, to the microsecond rather than the
// millisecond (the sound thread's frame timer).
uint32_t MsgWaitUntil(std::span<Event* const> events,
                      std::chrono::steady_clock::time_point deadline);

// A thread with a message queue. The queue exists before Start returns, so messages may be
// posted to Id() at once. The object must outlive the thread; Join waits for the end.
class WorkerThread {
public:
    WorkerThread() = default;
    ~WorkerThread();  // joins a thread still running
    WorkerThread(const WorkerThread&) = delete;
    WorkerThread& operator=(const WorkerThread&) = delete;

    bool Start(std::function<void()> body, ThreadPriority priority = ThreadPriority::Normal);
    ThreadId Id() const { return id_; }
    bool IsStarted() const { return thread_.joinable(); }
    bool IsCurrentThread() const { return id_ != 0 && id_ == GetCurrentThreadId(); }
    // Waits for the thread to end (WaitForSingleObject on its handle). Refuses (false) to wait
    // for itself.
    bool Join();
    bool PostMessage(uint32_t message, uintptr_t wParam = 0, intptr_t lParam = 0) const {
        return PostThreadMessage(id_, message, wParam, lParam);
    }

private:
    std::thread thread_;
    ThreadId id_ = 0;
};

// Best effort: sets the calling thread's priority; raising it works only where the system lets
// an ordinary user.
void SetCurrentThreadPriority(ThreadPriority priority);

}  // namespace win
