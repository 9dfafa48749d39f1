#include "platform/MessageTarget.h"

#include <algorithm>
#include <chrono>

namespace win {

bool RecordingMessageTarget::PostMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) {
    {
        std::lock_guard lk(mutex_);
        records_.push_back(Record{message, wParam, lParam});
    }
    changed_.notify_all();
    return true;
}

std::vector<RecordingMessageTarget::Record> RecordingMessageTarget::Messages() const {
    std::lock_guard lk(mutex_);
    return records_;
}

std::vector<RecordingMessageTarget::Record> RecordingMessageTarget::MessagesOf(
    uint32_t message) const {
    std::vector<Record> out;
    std::lock_guard lk(mutex_);
    std::copy_if(records_.begin(), records_.end(), std::back_inserter(out),
                 [message](const Record& r) { return r.message == message; });
    return out;
}

void RecordingMessageTarget::Clear() {
    std::lock_guard lk(mutex_);
    records_.clear();
}

bool RecordingMessageTarget::WaitFor(const std::function<bool(const Record&)>& pred,
                                     int timeoutMs) const {
    std::unique_lock lk(mutex_);
    return changed_.wait_for(lk, std::chrono::milliseconds(timeoutMs),
                             [&] { return std::any_of(records_.begin(), records_.end(), pred); });
}

}  // namespace win
