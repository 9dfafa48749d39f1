#include "platform/Thread.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <unordered_map>

#include "WaitCore.h"

namespace win {
namespace {

using detail::MessageQueue;
using detail::WaitCore;

std::atomic<ThreadId> g_nextId{1};

// Queues by thread id, under the wait lock. A queue leaves the map when its thread ends, so
// posting to an ended thread fails as it does on Windows.
std::unordered_map<ThreadId, std::shared_ptr<MessageQueue>>& Queues() {
    static std::unordered_map<ThreadId, std::shared_ptr<MessageQueue>> queues;
    return queues;
}

// The calling thread's id and queue; the queue is unregistered when the thread ends.
struct ThreadState {
    ThreadId id = 0;
    std::shared_ptr<MessageQueue> queue;
    ~ThreadState() {
        if (!queue)
            return;
        std::lock_guard lk(WaitCore::Lock());
        Queues().erase(id);
    }
};
thread_local ThreadState t_state;

std::shared_ptr<MessageQueue> RegisterQueue(ThreadId id) {
    auto queue = std::make_shared<MessageQueue>();
    std::lock_guard lk(WaitCore::Lock());
    Queues()[id] = queue;
    return queue;
}

MessageQueue& OwnQueue() {
    EnsureMessageQueue();
    return *t_state.queue;
}

}  // namespace

ThreadId GetCurrentThreadId() {
    if (t_state.id == 0)
        t_state.id = g_nextId.fetch_add(1);
    return t_state.id;
}

void EnsureMessageQueue() {
    if (!t_state.queue)
        t_state.queue = RegisterQueue(GetCurrentThreadId());
}

bool PostThreadMessage(ThreadId id, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    std::lock_guard lk(WaitCore::Lock());
    auto it = Queues().find(id);
    if (it == Queues().end())
        return false;
    MessageQueue& q = *it->second;
    q.messages.push_back(Message{message, wParam, lParam});
    if (q.waiter)
        q.waiter->cv.notify_one();
    return true;
}

bool PeekMessage(Message& out, bool remove) {
    MessageQueue& q = OwnQueue();
    std::lock_guard lk(WaitCore::Lock());
    if (q.messages.empty())
        return false;
    out = q.messages.front();
    if (remove)
        q.messages.pop_front();
    return true;
}

bool GetMessage(Message& out) {
    MessageQueue& q = OwnQueue();
    while (!PeekMessage(out, true)) WaitCore::Wait({}, &q, INFINITE);
    return out.message != WM_QUIT;
}

uint32_t MsgWaitForMultipleObjects(std::span<Event* const> events, uint32_t timeoutMs) {
    return WaitCore::Wait(events, &OwnQueue(), timeoutMs);
}

uint32_t MsgWaitUntil(std::span<Event* const> events,
                      std::chrono::steady_clock::time_point deadline) {
    return WaitCore::WaitUntil(events, &OwnQueue(), deadline);
}

void SetCurrentThreadPriority(ThreadPriority priority) {
    // Linux threads carry their own nice value, set here relative to the main thread's as a
    // Windows priority is relative to its process's class. Raising it needs a privilege an
    // ordinary user usually lacks; then the thread simply keeps its priority. Ten steps down
    // weighs a tenth, so on a busy machine a waiting frame always runs first.
    const int offset = priority == ThreadPriority::AboveNormal   ? -2
                       : priority == ThreadPriority::BelowNormal ? 10
                                                                 : 0;
    const int nice =
        std::clamp(getpriority(PRIO_PROCESS, static_cast<id_t>(getpid())) + offset, -20, 19);
    const auto tid = static_cast<id_t>(syscall(SYS_gettid));
    (void)setpriority(PRIO_PROCESS, tid, nice);
}

WorkerThread::~WorkerThread() {
    // The thread's own id is known before the thread runs, so asking it first never touches
    // thread_ while Start may still be assigning it.
    if (IsCurrentThread()) {
        if (thread_.joinable())
            thread_.detach();
        return;
    }
    if (thread_.joinable())
        thread_.join();
}

bool WorkerThread::Start(std::function<void()> body, ThreadPriority priority) {
    if (thread_.joinable())
        return false;
    const ThreadId id = g_nextId.fetch_add(1);
    auto queue = RegisterQueue(id);
    id_ = id;
    thread_ = std::thread([id, queue, priority, body = std::move(body)]() mutable {
        t_state.id = id;
        t_state.queue = std::move(queue);
        SetCurrentThreadPriority(priority);
        body();
    });
    return true;
}

bool WorkerThread::Join() {
    if (IsCurrentThread() || !thread_.joinable())
        return false;
    thread_.join();
    return true;
}

}  // namespace win
