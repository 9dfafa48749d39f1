#include "platform/MessageBox.h"

#include <cstdio>

#include "platform/WinTypes.h"

namespace win {
namespace {

// Without a user interface a box can only be reported.
class StderrMessageBoxService : public MessageBoxService {
public:
    int Show(const std::string& text, const std::string& caption, uint32_t) override {
        std::fprintf(stderr, "[%s] %s\n", caption.c_str(), text.c_str());
        return IDOK;
    }
};

std::mutex g_serviceLock;
std::shared_ptr<MessageBoxService>& Service() {
    static std::shared_ptr<MessageBoxService> service = std::make_shared<StderrMessageBoxService>();
    return service;
}

}  // namespace

void SetMessageBoxService(std::shared_ptr<MessageBoxService> service) {
    std::lock_guard lk(g_serviceLock);
    Service() = service ? std::move(service) : std::make_shared<StderrMessageBoxService>();
}

int MessageBox(const std::string& text, const std::string& caption, uint32_t flags) {
    std::shared_ptr<MessageBoxService> service;
    {
        std::lock_guard lk(g_serviceLock);
        service = Service();
    }
    return service->Show(text, caption, flags);
}

int RecordingMessageBoxService::Show(const std::string& text, const std::string& caption,
                                     uint32_t flags) {
    std::lock_guard lk(mutex_);
    boxes_.push_back(Box{text, caption, flags});
    return IDOK;
}

std::vector<RecordingMessageBoxService::Box> RecordingMessageBoxService::Boxes() const {
    std::lock_guard lk(mutex_);
    return boxes_;
}

}  // namespace win
