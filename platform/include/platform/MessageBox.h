#pragma once
// MessageBox through a service installed at start: the Qt one shows the box on the UI thread;
// a worker thread never waits for the user, so it cannot deadlock with a thread waiting for it.
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace win {

class MessageBoxService {
public:
    virtual ~MessageBoxService() = default;
    virtual int Show(const std::string& text, const std::string& caption, uint32_t flags) = 0;
};

// Installs the service used by MessageBox (null restores the default, which prints to stderr).
void SetMessageBoxService(std::shared_ptr<MessageBoxService> service);
int MessageBox(const std::string& text, const std::string& caption, uint32_t flags);

class RecordingMessageBoxService : public MessageBoxService {
public:
    struct Box {
        std::string text, caption;
        uint32_t flags;
    };
    int Show(const std::string& text, const std::string& caption, uint32_t flags) override;
    std::vector<Box> Boxes() const;

private:
    mutable std::mutex mutex_;
    std::vector<Box> boxes_;
};

}  // namespace win
