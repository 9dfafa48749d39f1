#pragma once
// PostMessage to a window: the playback side reaches the dialog only through this.
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

namespace win {

class MessageTarget {
public:
    virtual ~MessageTarget() = default;
    // Queues the message for the window's own thread; never waits for it to be handled.
    virtual bool PostMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) = 0;
};

// Keeps every posted message, for tests. Thread-safe.
class RecordingMessageTarget : public MessageTarget {
public:
    struct Record {
        uint32_t message;
        uintptr_t wParam;
        intptr_t lParam;
    };
    bool PostMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) override;
    std::vector<Record> Messages() const;
    std::vector<Record> MessagesOf(uint32_t message) const;
    void Clear();
    // Waits until a posted record satisfies pred (looks at records already posted too).
    bool WaitFor(const std::function<bool(const Record&)>& pred, int timeoutMs) const;
    bool WaitForMessage(uint32_t message, int timeoutMs) const {
        return WaitFor([message](const Record& r) { return r.message == message; }, timeoutMs);
    }

private:
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::vector<Record> records_;
};

}  // namespace win
