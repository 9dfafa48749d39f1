#pragma once
// An audio output for engine tests: records every call in order ("Stop", "Mute(1)",
// "FillAt(12)").
#include <mutex>
#include <string>
#include <vector>

#include "engine/IAudioOutput.h"

class RecordingAudioOutput : public IAudioOutput {
public:
    int Stop() override {
        Record("Stop");
        return 1;
    }
    int FillAt(int32_t second) override {
        Record("FillAt(" + std::to_string(second) + ")");
        return 1;
    }
    void Mute(int flag) override { Record("Mute(" + std::to_string(flag) + ")"); }

    std::vector<std::string> Calls() const {
        std::lock_guard lk(mutex_);
        return calls_;
    }
    void Clear() {
        std::lock_guard lk(mutex_);
        calls_.clear();
    }

private:
    void Record(const std::string& call) {
        std::lock_guard lk(mutex_);
        calls_.push_back(call);
    }
    mutable std::mutex mutex_;
    std::vector<std::string> calls_;
};
