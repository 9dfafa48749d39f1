#pragma once
// What the audio output's and the frame view's tests share: a video target that records what it
// is asked to show, and a fixture that plays a real engine (over the fake decoder component)
// through the virtual sound device, one notification span at a time.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "engine/DirectSoundPlayer.h"
#include "engine/IVideoTarget.h"
#include "engine/PlaybackEngine.h"
#include "engine/TvqDecoder.h"
#include "platform/MessageTarget.h"
#include "platform/sound/VirtualSoundDevice.h"

namespace sound_test {

class RecordingVideoTarget : public IVideoTarget {
public:
    bool OpenStream(CPlaybackEngine* engine, win::RecursiveMutex*, win::Event*) override {
        return engine != nullptr;
    }
    void FreeBuffers() override {}
    void SetSeekText(const std::string&) override {}
    int ShowFrameAt(int32_t second, int32_t frameIndex) override {
        {
            std::lock_guard lk(mutex_);
            shown_.emplace_back(second, frameIndex);
        }
        changed_.notify_all();
        return 1;
    }
    bool GetRepeat() const override { return false; }
    bool GetAdjust() const override { return adjust_.load(); }
    void SetAdjust(bool on) { adjust_ = on; }

    std::vector<std::pair<int32_t, int32_t>> Shown() const {
        std::lock_guard lk(mutex_);
        return shown_;
    }
    size_t Count() const {
        std::lock_guard lk(mutex_);
        return shown_.size();
    }
    bool WaitForCount(size_t count, int timeoutMs = 10000) const {
        std::unique_lock lk(mutex_);
        return changed_.wait_for(lk, std::chrono::milliseconds(timeoutMs),
                                 [&] { return shown_.size() >= count; });
    }

private:
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::vector<std::pair<int32_t, int32_t>> shown_;  // under mutex_
    std::atomic<bool> adjust_{false};
};

class AudioOutputTest : public ::testing::Test {
protected:
    void SetUp() override {
        CTvqDecoder::SetLibraryPathForTesting(FAKE_TVQ_COMPONENT);
        win::SetSoundDeviceFactory([d = device_] { return d; });
    }
    void TearDown() override {
        player_.Close();
        {
            win::ScopedLock e(engineLock_);
            player_.SetEngine(nullptr);
        }
        engine_.reset();
        win::SetSoundDeviceFactory({});
        CTvqDecoder::SetLibraryPathForTesting("");
    }

    // Opens a fake movie ("fake:fps=..:rate=.." options) at `startSecond` and the output on it.
    int OpenMovie(const std::string& options, int32_t startSecond = 0) {
        engine_ = std::make_unique<CPlaybackEngine>("fake:" + options, startSecond);
        return player_.Open(engine_.get(), &wake_, &window_, 1, &engineLock_, &video_);
    }

    std::shared_ptr<win::SoundRing> Ring() const { return device_->FirstBuffer(); }

    // Plays `bytes` and waits until the output has refilled what was played and counted it.
    bool Play(uint32_t bytes) {
        const uint64_t before = device_->Unlocks();
        device_->Advance(bytes);
        if (!device_->WaitForUnlocks(before + 1, 10000))
            return false;
        // The notification thread holds the engine lock from before the refill until the frame
        // is shown; once the test gets it, the write cursor, counters and frame are settled.
        win::ScopedLock e(engineLock_);
        return true;
    }
    // Plays `bytes` and waits for the frame shown for it; returns that frame.
    std::pair<int32_t, int32_t> PlayAndShow(uint32_t bytes) {
        const size_t before = video_.Count();
        if (!Play(bytes) || !video_.WaitForCount(before + 1))
            return {-1, -1};
        return video_.Shown().back();
    }
    int SetSpeed(Speed speed, SpeedDirection direction) {
        win::ScopedLock e(engineLock_);
        return engine_->SetSpeed(speed, &player_, direction);
    }

    std::shared_ptr<win::VirtualSoundDevice> device_ = std::make_shared<win::VirtualSoundDevice>();
    win::RecursiveMutex engineLock_;
    win::Event wake_{true};
    win::RecordingMessageTarget window_;
    RecordingVideoTarget video_;
    std::unique_ptr<CPlaybackEngine> engine_;
    CDirectSoundPlayer player_;  // declared last: closed before what it points at goes
};

}  // namespace sound_test
