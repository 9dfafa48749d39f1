#include "platform/Sync.h"

#include <algorithm>
#include <chrono>
#include <optional>

#include "WaitCore.h"

namespace win {
namespace detail {

std::mutex& WaitCore::Lock() {
    static std::mutex lock;
    return lock;
}

void WaitCore::Notify(std::vector<Waiter*>& waiters) {
    for (Waiter* w : waiters) w->cv.notify_one();
}

void WaitCore::SetEvent(Event& e) {
    std::lock_guard lk(Lock());
    if (e.signalled_)
        return;
    e.signalled_ = true;
    Notify(e.waiters_);
}

void WaitCore::ResetEvent(Event& e) {
    std::lock_guard lk(Lock());
    e.signalled_ = false;
}

bool WaitCore::IsSet(const Event& e) {
    std::lock_guard lk(Lock());
    return e.signalled_;
}

uint32_t WaitCore::Wait(std::span<Event* const> events, MessageQueue* queue, uint32_t timeoutMs) {
    if (timeoutMs == INFINITE)
        return WaitUntil(events, queue, std::chrono::steady_clock::time_point::max());
    return WaitUntil(events, queue,
                     std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs));
}

uint32_t WaitCore::WaitUntil(std::span<Event* const> events, MessageQueue* queue,
                             std::chrono::steady_clock::time_point deadline) {
    std::unique_lock lk(Lock());
    auto ready = [&]() -> std::optional<uint32_t> {
        for (size_t i = 0; i < events.size(); ++i) {
            Event* e = events[i];
            if (!e->signalled_)
                continue;
            if (!e->manualReset_)
                e->signalled_ = false;
            return WAIT_OBJECT_0 + static_cast<uint32_t>(i);
        }
        if (queue && !queue->messages.empty())
            return WAIT_OBJECT_0 + static_cast<uint32_t>(events.size());
        return std::nullopt;
    };
    if (auto r = ready())
        return *r;
    const bool forever = deadline == std::chrono::steady_clock::time_point::max();
    if (!forever && std::chrono::steady_clock::now() >= deadline)
        return WAIT_TIMEOUT;

    Waiter self;
    for (Event* e : events) e->waiters_.push_back(&self);
    if (queue)
        queue->waiter = &self;
    std::optional<uint32_t> result;
    while (!(result = ready())) {
        if (forever) {
            self.cv.wait(lk);
        } else if (self.cv.wait_until(lk, deadline) == std::cv_status::timeout) {
            result = ready();
            break;
        }
    }
    for (Event* e : events) std::erase(e->waiters_, &self);
    if (queue)
        queue->waiter = nullptr;
    return result.value_or(WAIT_TIMEOUT);
}

}  // namespace detail

Event::Event(bool manualReset, bool initiallySet)
    : manualReset_(manualReset), signalled_(initiallySet) {}

Event::~Event() = default;

void Event::Set() {
    detail::WaitCore::SetEvent(*this);
}
void Event::Reset() {
    detail::WaitCore::ResetEvent(*this);
}
bool Event::IsSet() const {
    return detail::WaitCore::IsSet(*this);
}

uint32_t Event::Wait(uint32_t timeoutMs) {
    Event* self = this;
    return detail::WaitCore::Wait(std::span<Event* const>(&self, 1), nullptr, timeoutMs);
}

uint32_t WaitForMultipleObjects(std::span<Event* const> events, uint32_t timeoutMs) {
    return detail::WaitCore::Wait(events, nullptr, timeoutMs);
}

uint32_t GetTickCount() {
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<uint32_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

}  // namespace win
