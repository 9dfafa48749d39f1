#pragma once
// What the playlist player's tests share: generated movies, a stand-in for the main dialog that
// records what it is posted, a headless video target that reports the seek texts and frames it
// shows, and a driver for the virtual sound device.
#include <dirent.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "TempFolder.h"
#include "engine/FrameView.h"
#include "engine/Messages.h"
#include "engine/PlaylistPlayer.h"
#include "engine/TvqDecoder.h"
#include "platform/MessageTarget.h"
#include "platform/Paths.h"
#include "platform/sound/VirtualSoundDevice.h"

namespace playlist_test {

// Tiny movies keep the tests quick: 64 x 48 pictures, 10 frames a second, 8 kHz mono sound.
struct MovieSpec {
    int seconds = 2;
    int fps = 10;
    int width = 64;
    int height = 48;
    int rate = 8000;
    int channels = 1;
    int bits = 16;
    const char* codec = "jpeg";
};

inline int BytesPerSecond(const MovieSpec& m) {
    return m.rate * m.channels * m.bits / 8;
}

// The audio output's span between two notification positions for this movie's format.
inline uint32_t ChunkBytes(const MovieSpec& m) {
    const int block = m.channels * m.bits / 8;
    const int count = std::max(m.fps, CDirectSoundPlayer::kMinNotificationCount);
    return static_cast<uint32_t>(m.rate * block / count / block * block);
}

// The program folder of the build: tests run from build/tests/, the program from build/bin/.
inline std::string BinFolder() {
    return win::ProgramFolder() + "../bin/";
}

inline bool MakeMovie(const std::string& path, const MovieSpec& m) {
    char cmd[1024];
    std::snprintf(cmd, sizeof cmd,
                  "'%stvq-make' '%s' --size %dx%d --fps %d --rate %d --channels %d --bits %d "
                  "--seconds %d --codec %s --quality 80 >/dev/null",
                  BinFolder().c_str(), path.c_str(), m.width, m.height, m.fps, m.rate, m.channels,
                  m.bits, m.seconds, m.codec);
    return std::system(cmd) == 0;
}

// Threads of this process now.
inline int ThreadCount() {
    int n = 0;
    if (DIR* d = opendir("/proc/self/task")) {
        while (dirent* e = readdir(d)) {
            if (e->d_name[0] != '.')
                ++n;
        }
        closedir(d);
    }
    return n;
}

// The main dialog as far as the player is concerned. Besides every message, it notes the
// player's current file each time a new file has started (WM_PLAY_STATE (1, 1)), which is when
// the dialog marks the playing entry of its list.
class DialogStandIn : public win::RecordingMessageTarget {
public:
    void Attach(const CPlaylistPlayer* player) { player_ = player; }

    bool PostMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) override {
        if (message == WM_PLAY_STATE && wParam == 1 && lParam == 1 && player_) {
            std::string current = player_->GetCurrentFile();
            std::lock_guard lk(mutex_);
            started_.push_back(std::move(current));
        }
        return RecordingMessageTarget::PostMessage(message, wParam, lParam);
    }

    std::vector<std::string> Started() const {
        std::lock_guard lk(mutex_);
        return started_;
    }
    bool WaitForStarts(size_t count, int timeoutMs = 20000) const {
        return RecordingMessageTarget::WaitFor(
            [&](const Record&) { return Started().size() >= count; }, timeoutMs);
    }
    // Waits for (message, wParam, lParam) among the records kept since the last Clear.
    bool WaitFor(uint32_t message, uintptr_t wParam, intptr_t lParam, int timeoutMs = 20000) const {
        return RecordingMessageTarget::WaitFor(
            [&](const Record& r) {
                return r.message == message && r.wParam == wParam && r.lParam == lParam;
            },
            timeoutMs);
    }

private:
    const CPlaylistPlayer* player_ = nullptr;  // set before the player runs
    mutable std::mutex mutex_;
    std::vector<std::string> started_;  // under mutex_
};

// The headless video target, reporting the seek texts it is given and each frame it shows.
class TestView : public CFrameView {
public:
    explicit TestView(const CPlayerSettings* settings) : CFrameView(settings) {}

    void SetSeekText(const std::string& text) override {
        {
            std::lock_guard lk(mutex_);
            seekTexts_.push_back(text);
        }
        CFrameView::SetSeekText(text);
    }
    std::vector<std::string> SeekTexts() const {
        std::lock_guard lk(mutex_);
        return seekTexts_;
    }
    int Shown() const {
        std::lock_guard lk(mutex_);
        return shown_;
    }
    int ShowFrameAt(int32_t second, int32_t frameIndex) override {
        const int r = CFrameView::ShowFrameAt(second, frameIndex);
        {
            std::lock_guard lk(mutex_);
            ++showCalls_;
        }
        changed_.notify_all();
        return r;
    }
    // Waits until ShowFrameAt has returned `count` times. The audio output calls it once when
    // it opens and once after each refill, so this waits for the time updates of the refills
    // counted so far.
    bool WaitForShowCalls(uint64_t count, int timeoutMs = 10000) {
        std::unique_lock lk(mutex_);
        return changed_.wait_for(lk, std::chrono::milliseconds(timeoutMs),
                                 [&] { return showCalls_ >= count; });
    }
    // Waits until a frame of at least `second` has been shown.
    bool WaitForSecond(int32_t second, int timeoutMs = 10000) {
        std::unique_lock lk(mutex_);
        return changed_.wait_for(lk, std::chrono::milliseconds(timeoutMs),
                                 [&] { return shown_ > 0 && GetFramePosition().first >= second; });
    }

protected:
    void Invalidate() override {
        {
            std::lock_guard lk(mutex_);
            ++shown_;
        }
        changed_.notify_all();
    }

private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::string> seekTexts_;  // under mutex_
    int shown_ = 0;                       // under mutex_
    uint64_t showCalls_ = 0;              // under mutex_
};

// Plays the virtual sound device in place of a sound card. Each step plays one notification
// span of every playing buffer and waits until the output has refilled it, so playback runs as
// fast as the player keeps up, and stands still whenever a test wants it to.
class VirtualSoundCard {
public:
    explicit VirtualSoundCard(uint32_t chunkBytes)
        : device_(std::make_shared<win::VirtualSoundDevice>()), chunk_(chunkBytes) {
        win::SetSoundDeviceFactory([d = device_] { return d; });
    }
    ~VirtualSoundCard() {
        StopRunning();
        win::SetSoundDeviceFactory({});
    }

    win::VirtualSoundDevice& Device() { return *device_; }

    // Plays `spans` spans; false when a refill did not come in time (nothing plays, or it is
    // paused). While the output stands still for a moment (a restart between its stop and its
    // play) the card waits for it, as a real card keeps running.
    bool Play(int spans, int timeoutMs = 5000) {
        for (int i = 0; i < spans; ++i) {
            const auto deadline =
                std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
            for (;;) {
                const uint64_t before = device_->Unlocks();
                if (!device_->Advance(chunk_).empty()) {
                    // The refill of that span, or the whole-buffer fill of a restart.
                    if (!device_->WaitForUnlocks(before + 1, timeoutMs))
                        return false;
                    break;
                }
                if (std::chrono::steady_clock::now() > deadline)
                    return false;
                device_->WaitForUnlocks(before + 1, kIdleMs);
            }
        }
        return true;
    }
    // Moves the play cursors without waiting for anything.
    void Advance(int spans) {
        for (int i = 0; i < spans; ++i) device_->Advance(chunk_);
    }

    // Plays on a thread of its own until StopRunning.
    void StartRunning() {
        if (thread_.joinable())
            return;
        stop_ = false;
        thread_ = std::thread([this] {
            while (!stop_.load()) {
                const uint64_t before = device_->Unlocks();
                device_->Advance(chunk_);
                // With nothing playing this is the idle pace of the card.
                device_->WaitForUnlocks(before + 1, kIdleMs);
            }
        });
    }
    void StopRunning() {
        stop_ = true;
        if (thread_.joinable())
            thread_.join();
    }

private:
    static constexpr int kIdleMs = 5;

    std::shared_ptr<win::VirtualSoundDevice> device_;
    const uint32_t chunk_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

}  // namespace playlist_test
