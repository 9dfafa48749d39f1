// The opening and the re-alignment with the real frame view on a device that holds sound
// unheard: the first picture is up before any sound plays, and a picture held back by the
// device's latency is not taken for drift (which would skip the movie ahead second by second).
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "DirectSoundPlayerTestSupport.h"
#include "engine/FrameView.h"

namespace {

// 22050 Hz stereo at 25 fps: 40 notifications, the sound buffer just under one second.
constexpr const char* kMovie = "fake:fps=25:rate=22050:ch=2:bits=16:w=32:h=16:len=60";
constexpr uint32_t kBytesPerSecond = 88200;

class AdjustWithLatency : public sound_test::AudioOutputTest {
protected:
    void TearDown() override {
        AudioOutputTest::TearDown();
        view_.FreeBuffers();
    }

    // Opens the movie once the decode thread has filled its queues, as it has in play,
    // with the frame view as the output's picture.
    void OpenWithView(uint32_t latencyMs) {
        device_->SetLatency(kBytesPerSecond * latencyMs / 1000);
        engine_ = std::make_unique<CPlaybackEngine>(kMovie, 0);
        ASSERT_TRUE(engine_->IsRunning());
        ASSERT_TRUE(WaitForQueuedSound(kBytesPerSecond * 2));
        ASSERT_TRUE(view_.OpenStream(engine_.get(), &engineLock_, nullptr));
        ASSERT_EQ(player_.Open(engine_.get(), &wake_, &window_, 1, &engineLock_, &view_), 1);
    }
    bool WaitForQueuedSound(int32_t bytes) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (engine_->GetAudioQueuedBytes() < bytes) {
            if (std::chrono::steady_clock::now() > deadline) {
                ADD_FAILURE() << "the decode thread queued no more sound";
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return true;
    }
    // Plays `spans` notification spans; false as soon as the clock is not where plain play
    // puts it (a re-alignment restarted the output at another second).
    bool PlayRunsOn(int spans) {
        const uint32_t span = player_.GetChunkBytes();
        for (int i = 1; i <= spans; ++i) {
            // Played faster than real time, the sound would outrun the decode thread and the
            // empty sound queue would read as video far ahead: keep half a second queued.
            if (!WaitForQueuedSound(kBytesPerSecond / 2))
                return false;
            if (!Play(span))
                return false;
            if (player_.GetClock() != uint64_t{span} * static_cast<uint64_t>(i)) {
                ADD_FAILURE() << "clock jumped to " << player_.GetClock() << " bytes at span " << i
                              << ", frame " << view_.GetFramePosition().first << ","
                              << view_.GetFramePosition().second;
                return false;
            }
        }
        return true;
    }

    CPlayerSettings settings_;  // adjust on
    CFrameView view_{&settings_};
};

TEST_F(AdjustWithLatency, TheFirstPictureIsUpBeforeAnySoundPlays) {
    ASSERT_NO_FATAL_FAILURE(OpenWithView(0));
    EXPECT_EQ(view_.GetFramePosition(), std::make_pair(0, 0));
    EXPECT_EQ(player_.GetClock(), 0u);
    // The next frame comes when its time is heard, not before.
    EXPECT_TRUE(PlayRunsOn(1));
    EXPECT_EQ(view_.GetFramePosition(), std::make_pair(0, 0));
}

TEST_F(AdjustWithLatency, PictureHeldBackByTheDeviceIsNoDrift) {
    // 60 ms unheard: the picture runs 60 ms behind the sound handed on, so the video queue
    // holds that much more than the sound queue beside the one-second buffer.
    ASSERT_NO_FATAL_FAILURE(OpenWithView(60));
    ASSERT_TRUE(PlayRunsOn(3 * player_.GetNotificationCount()));
    // Three seconds played, 60 ms of them unheard: the picture is in second 2, not skipped on.
    EXPECT_EQ(view_.GetFramePosition().first, 2);
}

}  // namespace
