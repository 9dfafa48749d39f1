// The audio output on a real SDL device: SDL's disk driver writes every sample the callback
// produced to a file, so what was heard can be checked sample by sample, at its volume.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <vector>

#include "DirectSoundPlayerTestSupport.h"
#include "FakeTvq.h"
#include "engine/Messages.h"
#include "platform/sound/SdlSoundDevice.h"

namespace {

// Takes frame records up to the position shown, as the video window does, so that the engine
// drains its video queue and reaches the end of the file.
class ConsumingVideoTarget : public sound_test::RecordingVideoTarget {
public:
    void Attach(CPlaybackEngine* engine, win::RecursiveMutex* lock) {
        engine_ = engine;
        lock_ = lock;
        frame_.resize(engine->GetPictureFormat().biSizeImage);
    }
    int ShowFrameAt(int32_t second, int32_t frameIndex) override {
        {
            win::ScopedLock e(lock_);
            while (engine_ &&
                   (last_.first < second || (last_.first == second && last_.second < frameIndex))) {
                int32_t s = 0, i = 0;
                if (engine_->ReadFrame(frame_.data(), static_cast<int32_t>(frame_.size()), &s,
                                       &i) <= 0)
                    break;
                last_ = {s, i};
            }
        }
        return RecordingVideoTarget::ShowFrameAt(second, frameIndex);
    }

private:
    CPlaybackEngine* engine_ = nullptr;  // set before playing
    win::RecursiveMutex* lock_ = nullptr;
    std::vector<uint8_t> frame_;                // notification thread only
    std::pair<int32_t, int32_t> last_{-1, -1};  // notification thread only
};

// The sample value the fake component's bytes of `second` make in 16-bit sound.
int16_t FakeSample(int32_t second) {
    const uint8_t b = FakeAudioByte(second);
    return static_cast<int16_t>(static_cast<uint16_t>(b | (b << 8)));
}

TEST(DirectSoundPlayerSdl, EverySecondIsHeardOnceAndInOrder) {
    constexpr int kSeconds = 5;
    const std::string file = (std::filesystem::temp_directory_path() /
                              ("tvq-output-" + std::to_string(getpid()) + ".raw"))
                                 .string();
    std::filesystem::remove(file);
    // 2 ms a callback, well below the 11.6 ms of sound each carries: the file plays several
    // times faster than real time.
    sound_test::SdlDriver disk("disk", file, "2");
    win::SetSoundDeviceFactory({});  // the SDL device
    if (!win::SdlSoundDevice::Open(win::DefaultPrimaryFormat()))
        GTEST_SKIP() << "SDL has no disk audio driver here";
    CTvqDecoder::SetLibraryPathForTesting(FAKE_TVQ_COMPONENT);
    win::RecursiveMutex engineLock;
    win::Event wake(true);
    win::RecordingMessageTarget window;
    ConsumingVideoTarget video;
    // The device's own format, so that the samples reach the file unchanged.
    CPlaybackEngine engine("fake:fps=10:rate=44100:ch=2:bits=16:len=" + std::to_string(kSeconds),
                           0);
    video.Attach(&engine, &engineLock);
    // At the user's level of -6 dB: the device's mixer scales every sample by its gain.
    const int32_t volume = win::SoundRing::VolumeOfGain(0.5f);
    const float gain = win::SoundRing::GainOf(volume);
    const auto level = [gain](int32_t second) {
        return static_cast<int16_t>(static_cast<float>(FakeSample(second)) * gain);
    };
    {
        CDirectSoundPlayer player;
        player.SetUserVolume(volume, 0);
        ASSERT_EQ(player.Open(&engine, &wake, &window, 1, &engineLock, &video), 1);
        ASSERT_EQ(wake.Wait(60000), win::WAIT_OBJECT_0) << "the end of the file never came";
        player.Close();  // closes the device: the file is complete
    }
    CTvqDecoder::SetLibraryPathForTesting("");

    // Runs of each second's level in the order heard, silence left out.
    const std::vector<int16_t> heard = sound_test::ReadSamples(file);
    std::filesystem::remove(file);
    std::map<int16_t, size_t> count;
    std::vector<int16_t> order;
    for (const int16_t s : heard) {
        if (s == 0)
            continue;
        ++count[s];
        if (order.empty() || order.back() != s)
            order.push_back(s);
    }
    std::vector<int16_t> expected;
    for (int s = 0; s < kSeconds; ++s) expected.push_back(level(s));
    EXPECT_EQ(order, expected);
    // Whole seconds of samples, none lost or played twice. The last one is cut short where
    // the end of the file stops the buffer.
    for (int s = 0; s + 1 < kSeconds; ++s) EXPECT_EQ(count[level(s)], 88200u) << s;
    EXPECT_GT(count[level(kSeconds - 1)], 0u);
    EXPECT_FALSE(window.MessagesOf(WM_PLAY_POSITION).empty());
}

}  // namespace
