// The sound path from the sound layer up to the audio output. The output over the virtual sound
// device: buffer geometry, the clock, refills, the time it reports in each display mode, pause,
// end of file and failures; with the real frame view on a device that holds sound unheard, the
// opening and the re-alignment (the first picture is up before any sound plays, and a picture
// held back by the device's latency is not taken for drift, which would skip the movie ahead
// second by second); and on SDL's disk driver, which writes every sample the callback produced
// to a file, so what was heard can be checked sample by sample, at its volume. Below it the
// sound layer on its own: buffer semantics on the virtual device, the play cursor of stamped
// takes and the frame timer that reads it, and the SDL device on SDL's headless drivers.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <SDL.h>

#include "DirectSoundPlayerTestSupport.h"
#include "FakeTvq.h"
#include "engine/FrameView.h"
#include "engine/Messages.h"
#include "platform/Paths.h"
#include "platform/Sync.h"
#include "platform/Text.h"
#include "platform/sound/DirectSound.h"
#include "platform/sound/SdlSoundDevice.h"
#include "platform/sound/VirtualSoundDevice.h"

namespace {

using sound_test::AudioOutputTest;
using sound_test::RecordingVideoTarget;

// Picks an SDL driver (and for "disk" its file and delay per callback in ms) for one test and
// restores the environment afterwards.
class SdlDriver {
public:
    explicit SdlDriver(const char* driver, const std::string& diskFile = "",
                       const char* diskDelayMs = nullptr) {
        if (const char* old = getenv("SDL_AUDIODRIVER"))
            oldDriver_ = old;
        setenv("SDL_AUDIODRIVER", driver, 1);
        if (!diskFile.empty())
            setenv("SDL_DISKAUDIOFILE", diskFile.c_str(), 1);
        if (diskDelayMs)
            setenv("SDL_DISKAUDIODELAY", diskDelayMs, 1);
    }
    ~SdlDriver() {
        unsetenv("SDL_DISKAUDIOFILE");
        unsetenv("SDL_DISKAUDIODELAY");
        if (oldDriver_.empty())
            unsetenv("SDL_AUDIODRIVER");
        else
            setenv("SDL_AUDIODRIVER", oldDriver_.c_str(), 1);
    }

private:
    std::string oldDriver_;
};

// The 16-bit samples of what the device played, and of the file SDL's disk driver wrote.
std::vector<int16_t> Samples(const std::vector<uint8_t>& bytes) {
    std::vector<int16_t> out(bytes.size() / 2);
    std::memcpy(out.data(), bytes.data(), out.size() * 2);
    return out;
}
std::vector<int16_t> ReadSamples(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Samples({std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()});
}
// A file in the temp folder named for this process.
std::string TempFile(const std::string& name) {
    return (std::filesystem::temp_directory_path() / (name + std::to_string(getpid()) + ".raw"))
        .string();
}

// 8000 Hz mono 16 bits at 10 fps: 16000 bytes a second, 40 spans of exactly 400 bytes, so
// whole seconds fall on notification positions.
constexpr const char* kEvenMovie = "fps=10:rate=8000:ch=1:bits=16:len=60";
constexpr uint32_t kEvenBps = 16000;
constexpr uint32_t kEvenChunk = 400;

TEST_F(AudioOutputTest, PositionsAreTheFrameRateButAtLeastFortyInWholeSampleFrames) {
    ASSERT_EQ(OpenMovie("fps=50:rate=8000:ch=1:bits=8"), 1);
    EXPECT_EQ(player_.GetNotificationCount(), 50);
    EXPECT_EQ(player_.GetChunkBytes(), 160u);
    EXPECT_EQ(Ring()->Notifications().back().dwOffset, 7999u);
    player_.Close();
    // 12 fps: 40 positions. 22050 x 4 / 40 = 2205, cut to a multiple of the 4-byte block.
    ASSERT_EQ(OpenMovie("fps=12:rate=22050:ch=2:bits=16"), 1);
    EXPECT_EQ(player_.GetChunkBytes(), 2204u);
    EXPECT_EQ(Ring()->Size(), 88160u);
    const auto positions = Ring()->Notifications();
    ASSERT_EQ(positions.size(), 40u);
    for (size_t i = 0; i < positions.size(); ++i)
        EXPECT_EQ(positions[i].dwOffset, 2204u * (i + 1) - 1) << i;  // 2203, 4407, ...
    EXPECT_TRUE(Ring()->IsPlaying());
}

TEST_F(AudioOutputTest, BufferIsFilledBeforePlayAndEachSpanRefilledOnce) {
    ASSERT_EQ(OpenMovie("fps=12:rate=22050:ch=2:bits=16", 5), 1);
    const auto ring = Ring();
    // The whole buffer holds second 5 before anything is played.
    const uint8_t* data = ring->Data();
    EXPECT_TRUE(std::all_of(data, data + 88160, [](uint8_t b) { return b == FakeAudioByte(5); }));
    EXPECT_EQ(player_.GetClock(), 5u * 88200);

    // One span played: exactly that span is written again, with the 40 bytes left of second 5
    // first, and the clock counts it.
    ASSERT_TRUE(Play(2204));
    EXPECT_EQ(player_.GetWriteCursor(), 2204u);
    EXPECT_EQ(player_.GetClock(), 5u * 88200 + 2204);
    EXPECT_TRUE(std::all_of(data, data + 40, [](uint8_t b) { return b == FakeAudioByte(5); }));
    EXPECT_NE(data[40], FakeAudioByte(5));
    EXPECT_TRUE(
        std::all_of(data + 2204, data + 88160, [](uint8_t b) { return b == FakeAudioByte(5); }));
}

TEST_F(AudioOutputTest, WrappedPlayCursorRefillsBothParts) {
    ASSERT_EQ(OpenMovie("fps=12:rate=22050:ch=2:bits=16"), 1);
    for (int i = 0; i < 39; ++i) ASSERT_TRUE(Play(2204));
    ASSERT_EQ(player_.GetWriteCursor(), 39u * 2204);
    const uint32_t clock = player_.GetClock();
    // Marks in the part before the end and the part after the start of the next refill. The
    // notification thread is idle, and the device orders these writes before its next ones.
    uint8_t* data = Ring()->Data();
    data[87000] = 0xEE;
    data[1000] = 0xEE;
    data[3000] = 0xEE;  // beyond the play cursor: must stay

    ASSERT_TRUE(Play(2 * 2204));  // from 85956 round the end to 2204
    EXPECT_EQ(player_.GetWriteCursor(), 2204u);
    EXPECT_EQ(Ring()->PlayCursor(), 2204u);
    EXPECT_EQ(player_.GetClock(), clock + 2 * 2204);
    EXPECT_NE(data[87000], 0xEE);
    EXPECT_NE(data[1000], 0xEE);
    EXPECT_EQ(data[3000], 0xEE);
}

TEST_F(AudioOutputTest, NormalPlayReportsEvenSecondsAndShowsTheFrameOfTheClock) {
    ASSERT_EQ(OpenMovie(kEvenMovie), 1);
    ASSERT_EQ(video_.Shown().front(), std::make_pair(0, 0));  // Open shows the start
    int expectedPosts = 0;
    for (uint32_t step = 1; step <= 160; ++step) {  // four seconds
        const auto shown = PlayAndShow(kEvenChunk);
        const uint32_t clock = step * kEvenChunk;
        ASSERT_EQ(shown, std::make_pair(static_cast<int32_t>(clock / kEvenBps),
                                        static_cast<int32_t>(10 * (clock % kEvenBps) / kEvenBps)));
        if ((clock / kEvenBps) % 2 == 0)
            ++expectedPosts;
    }
    const auto posts = window_.MessagesOf(WM_PLAY_POSITION);
    EXPECT_EQ(static_cast<int>(posts.size()), expectedPosts);
    for (const auto& p : posts) {
        EXPECT_EQ(p.wParam % 2, 0u);
        EXPECT_EQ(p.lParam, 0);
    }
    EXPECT_TRUE(
        std::any_of(posts.begin(), posts.end(), [](const auto& p) { return p.wParam == 2; }));
    EXPECT_TRUE(
        std::any_of(posts.begin(), posts.end(), [](const auto& p) { return p.wParam == 4; }));
}

TEST_F(AudioOutputTest, ForwardDisplaySkipsSecondsByItsFactor) {
    ASSERT_EQ(OpenMovie(kEvenMovie, 20), 1);
    ASSERT_EQ(SetSpeed(Speed::X2, SpeedDirection::Forward), 1);  // 2x
    EXPECT_EQ(player_.IsMuted(), 1);
    EXPECT_EQ(Ring()->Volume(), win::DSBVOLUME_MIN);
    window_.Clear();

    std::vector<int32_t> seconds;
    seconds.push_back(PlayAndShow(kEvenChunk).first);  // just after entering
    uint32_t played = kEvenChunk;
    for (int half = 1; half <= 4; ++half) {
        seconds.push_back(PlayAndShow(half * kEvenBps / 2 - played).first);
        played = half * kEvenBps / 2;
    }
    EXPECT_EQ(seconds, (std::vector<int32_t>{20, 21, 23, 24, 26}));
    EXPECT_EQ(player_.GetExtraSeconds(), 4);
    std::vector<uintptr_t> posted;
    for (const auto& p : window_.MessagesOf(WM_PLAY_POSITION)) posted.push_back(p.wParam);
    EXPECT_EQ(posted, (std::vector<uintptr_t>{20, 24, 26}));
}

TEST_F(AudioOutputTest, BackwardAtFactorOneCountsDownWithoutExtraSeconds) {
    ASSERT_EQ(OpenMovie(kEvenMovie, 20), 1);
    ASSERT_EQ(SetSpeed(Speed::X1, SpeedDirection::Backward), 1);
    const int32_t start = engine_->GetBackwardStart();
    ASSERT_GE(start, 20);
    const size_t shownBefore = video_.Count();
    ASSERT_TRUE(Play(kEvenChunk));  // the first update only takes the base

    EXPECT_EQ(PlayAndShow(kEvenBps / 4), std::make_pair(start, 10 - 2));
    EXPECT_EQ(video_.Count(), shownBefore + 1);
    EXPECT_EQ(player_.GetBackwardBase(), 20 * kEvenBps + kEvenChunk);
    EXPECT_EQ(PlayAndShow(kEvenBps * 3 / 4), std::make_pair(start - 1, 10));
    // (A whole buffer at once would look like nothing played: the cursor would be back.)
    EXPECT_EQ(PlayAndShow(kEvenBps / 2), std::make_pair(start - 1, 5));
    EXPECT_EQ(PlayAndShow(kEvenBps / 2), std::make_pair(start - 2, 10));
    EXPECT_EQ(player_.GetExtraSeconds(), 0);
}

TEST_F(AudioOutputTest, PauseAndResumeKeepTheClock) {
    ASSERT_EQ(OpenMovie(kEvenMovie), 1);
    for (int i = 0; i < 5; ++i) ASSERT_TRUE(Play(kEvenChunk));
    const uint32_t clock = player_.GetClock();
    player_.Pause();
    EXPECT_EQ(player_.IsPaused(), 1);
    EXPECT_FALSE(Ring()->IsPlaying());
    EXPECT_TRUE(device_->Advance(kEvenChunk).empty());  // nothing plays while paused
    EXPECT_EQ(player_.GetClock(), clock);

    player_.Resume();
    EXPECT_EQ(player_.IsPaused(), 0);
    EXPECT_TRUE(Ring()->IsPlaying());
    EXPECT_EQ(player_.GetClock(), clock);
    EXPECT_EQ(player_.GetWriteCursor(), 5 * kEvenChunk);
    ASSERT_TRUE(Play(kEvenChunk));
    EXPECT_EQ(player_.GetClock(), clock + kEvenChunk);

    // A buffer lost while paused is restored and refilled on resume; the clock stays.
    player_.Pause();
    device_->LoseBuffers();
    device_->FailOn(win::SoundOp::Restore, 2);
    player_.Resume();
    EXPECT_TRUE(Ring()->IsPlaying());
    EXPECT_FALSE(Ring()->IsLost());
    EXPECT_EQ(player_.GetClock(), clock + kEvenChunk);
}

TEST_F(AudioOutputTest, StopRewindsAndMuteSilences) {
    ASSERT_EQ(OpenMovie(kEvenMovie), 1);
    // Waiting for each frame shown: none of these may arrive after the restart below.
    for (int i = 0; i < 3; ++i) ASSERT_EQ(PlayAndShow(kEvenChunk).first, 0);
    player_.Mute(1);
    EXPECT_EQ(Ring()->Volume(), win::DSBVOLUME_MIN);
    EXPECT_EQ(device_->Advance(2), std::vector<uint8_t>(2, 0));
    player_.Mute(0);
    EXPECT_EQ(Ring()->Volume(), 0);

    EXPECT_EQ(player_.Stop(), 1);
    EXPECT_EQ(player_.GetClock(), 0u);
    EXPECT_EQ(player_.GetWriteCursor(), 0u);
    EXPECT_FALSE(Ring()->IsPlaying());
    EXPECT_EQ(Ring()->PlayCursor(), 0u);
    // Restarting unmutes and plays from the new second.
    player_.Mute(1);
    EXPECT_EQ(player_.FillAt(7), 1);
    EXPECT_EQ(Ring()->Volume(), 0);
    EXPECT_EQ(player_.GetClock(), 7u * kEvenBps);
    EXPECT_EQ(PlayAndShow(kEvenChunk), std::make_pair(7, 0));
    EXPECT_EQ(player_.FillAt(-3), 1);  // before the start counts as second 0
    EXPECT_EQ(player_.GetClock(), 0u);
}

TEST_F(AudioOutputTest, UserVolumeScalesWhatIsHeardAndNeitherMuteUndoesTheOther) {
    player_.SetUserVolume(win::SoundRing::VolumeOfGain(0.5f), 0);  // before any buffer exists
    ASSERT_EQ(OpenMovie(kEvenMovie), 1);
    const int16_t full = static_cast<int16_t>(FakeAudioByte(0) * 0x101);
    for (int16_t s : Samples(device_->Advance(4))) EXPECT_NEAR(s, full / 2, 1);
    // (user gain, user mute, speed modes' mute) in turn, and the sample heard then.
    struct Step {
        float gain;
        int userMute, speedMute;
        int16_t heard;
    };
    const Step steps[] = {{0.25f, 0, 0, int16_t(full / 4)},
                          {1.0f, 0, 0, full},
                          {1.0f, 1, 0, 0},
                          {1.0f, 1, 1, 0},
                          {1.0f, 1, 0, 0},
                          {1.0f, 0, 1, 0},
                          {1.0f, 0, 0, full}};
    for (const Step& step : steps) {
        player_.SetUserVolume(win::SoundRing::VolumeOfGain(step.gain), step.userMute);
        player_.Mute(step.speedMute);
        for (int16_t s : Samples(device_->Advance(4)))
            EXPECT_NEAR(s, step.heard, 1) << step.gain << " " << step.userMute << step.speedMute;
    }
    // A restart clears only the speed modes' mute.
    player_.SetUserVolume(win::DSBVOLUME_MAX, 1);
    player_.Mute(1);
    EXPECT_EQ(player_.FillAt(3), 1);
    EXPECT_EQ(player_.IsMuted(), 0);
    EXPECT_EQ(Ring()->Volume(), win::DSBVOLUME_MIN);
    player_.SetUserVolume(win::DSBVOLUME_MAX, 0);
    EXPECT_EQ(Ring()->Volume(), win::DSBVOLUME_MAX);
}

TEST_F(AudioOutputTest, CloseEndsTheThreadAndSetsTheWakeEvent) {
    ASSERT_EQ(OpenMovie(kEvenMovie), 1);
    ASSERT_TRUE(Play(kEvenChunk));
    EXPECT_TRUE(player_.IsThreadRunning());
    EXPECT_FALSE(wake_.IsSet());
    player_.Close();
    EXPECT_TRUE(wake_.IsSet());
    EXPECT_FALSE(player_.IsThreadRunning());
    EXPECT_TRUE(device_->Buffers().empty());
    EXPECT_EQ(player_.Stop(), 0);  // nothing left to stop
    player_.Close();               // a second close does nothing

    // The same object serves the next file.
    wake_.Reset();
    ASSERT_EQ(OpenMovie(kEvenMovie, 3), 1);
    EXPECT_EQ(PlayAndShow(kEvenChunk), std::make_pair(3, 0));
    EXPECT_EQ(device_->CreatedBuffers(), 2);
}

TEST_F(AudioOutputTest, EngineEndStopsTheBufferAndWakesThePlaylist) {
    ASSERT_EQ(OpenMovie(kEvenMovie), 1);
    ASSERT_TRUE(Play(kEvenChunk));
    {
        win::ScopedLock e(engineLock_);
        engine_->Shutdown();
    }
    device_->Advance(kEvenChunk);
    ASSERT_EQ(wake_.Wait(10000), win::WAIT_OBJECT_0);
    EXPECT_FALSE(Ring()->IsPlaying());
    EXPECT_EQ(player_.GetWriteCursor(), 0u);
}

TEST_F(AudioOutputTest, ResyncIsAskedOnlyWhenAdjustIsOn) {
    ASSERT_EQ(OpenMovie(kEvenMovie), 1);
    // Shared: the notification thread may still call it after the test body has ended.
    auto ticks = std::make_shared<std::atomic<int>>(0);
    engine_->SetTickSource([ticks] {
        ++*ticks;
        return 1000u;
    });
    // Nobody takes frames here, so video soon leads audio by more than a second: with adjust
    // on, that would be re-aligned at once.
    for (int i = 0; i < 40; ++i) ASSERT_EQ(PlayAndShow(kEvenChunk).first, i < 39 ? 0 : 1);
    EXPECT_EQ(ticks->load(), 0);
    video_.SetAdjust(true);
    // Each Resync runs at the end of its notification; the refill after it proves it is done.
    ASSERT_TRUE(Play(kEvenChunk));
    ASSERT_TRUE(Play(kEvenChunk));
    EXPECT_GE(ticks->load(), 1);
}

// ---- the frame timer -----------------------------------------------------------------------

TEST_F(AudioOutputTest, BetweenNotificationsTheTimerPutsTheNextFrameUpOnce) {
    // 8000 Hz mono 16 bits at 25 fps: 16 bytes a millisecond, a frame every 640 bytes. Takes
    // stamped with the real clock: the play cursor runs through them in real time.
    device_->SetClock([] { return std::chrono::steady_clock::now(); });
    ASSERT_EQ(OpenMovie("fps=25:rate=8000:ch=1:bits=16:len=60"), 1);
    device_->Advance(400);
    device_->Advance(400);  // 50 ms taken at once: frame 1 is heard at 40 ms, frame 2 never
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (video_.Shown().back() != std::make_pair(0, 1) &&
           std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const auto shown = video_.Shown();
    EXPECT_EQ(std::count(shown.begin(), shown.end(), std::make_pair(0, 1)), 1);
    EXPECT_EQ(shown.back(), std::make_pair(0, 1));
    EXPECT_TRUE(std::is_sorted(shown.begin(), shown.end()));
}

// ---- failures ------------------------------------------------------------------------------

// What the trace file gained since construction or the last call.
class TraceFile {
public:
    TraceFile() { Appended(); }  // what was there before does not count
    std::string Appended() {
        std::ifstream in(path_, std::ios::binary);
        std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        std::string added = all.size() > start_ ? all.substr(start_) : "";
        start_ = all.size();
        return added;
    }
    // Whether every one of these lines (UTF-8 here) was appended since the last look.
    bool Gained(std::initializer_list<const char*> lines) {
        const std::string added = Appended();
        return std::all_of(lines.begin(), lines.end(), [&](const char* line) {
            return added.find(win::Utf8ToCp936(line)) != std::string::npos;
        });
    }

private:
    std::string path_ =
        win::WritableFolder(win::ProgramFolder()) + CDirectSoundPlayer::kTraceFileName;
    size_t start_ = 0;
};

TEST_F(AudioOutputTest, FailuresAreTracedInCodePage936) {
    TraceFile trace;
    // No device at all.
    win::SetSoundDeviceFactory([] { return std::shared_ptr<win::SoundDevice>(); });
    EXPECT_EQ(OpenMovie(kEvenMovie), 0);
    const std::string first = trace.Appended();
    const std::string gbk = "\xB4\xB4\xBD\xA8m_pDirectSound\xCA\xA7\xB0\xDC\n";
    EXPECT_NE(first.find(gbk), std::string::npos) << first;
    EXPECT_EQ(first.front(), '[');  // the time stamp line comes first
    EXPECT_FALSE(player_.IsThreadRunning());
    EXPECT_FALSE(wake_.IsSet());
    win::SetSoundDeviceFactory([d = device_] { return d; });

    const std::pair<win::SoundOp, const char*> openSteps[] = {
        {win::SoundOp::CreatePrimary, "创建pDSBPrimary失败\n"},
        {win::SoundOp::SetFormat, "pDSBPrimary->SetFormat(&wfx)失败\n"},
        {win::SoundOp::CreateSecondary, "创建m_pDSBuffer失败\n"},
        {win::SoundOp::QueryNotify, "QueryInterface失败\n"},
        {win::SoundOp::SetNotifications, "SetNotificationPositions失败\n"},
    };
    for (const auto& [op, text] : openSteps) {
        device_->FailOn(op, 1);
        EXPECT_EQ(OpenMovie(kEvenMovie), 0) << text;
        EXPECT_TRUE(trace.Gained({text})) << text;
        EXPECT_FALSE(player_.IsThreadRunning());
    }

    // A failed refill ends the notification thread, which wakes the playlist.
    const std::pair<win::SoundOp, const char*> refillSteps[] = {
        {win::SoundOp::GetPosition,
         "HandleNotificationThread(void* pParam),GetCurrentPosition()失败\n"},
        {win::SoundOp::Lock, "HandleNotificationThread(void* pParam),Lock失败\n"},
    };
    for (const auto& [op, text] : refillSteps) {
        wake_.Reset();
        ASSERT_EQ(OpenMovie(kEvenMovie), 1);
        device_->FailOn(op, 1);
        device_->Advance(kEvenChunk);
        ASSERT_EQ(wake_.Wait(10000), win::WAIT_OBJECT_0) << text;
        EXPECT_TRUE(trace.Gained({text})) << text;
    }

    device_->FailOn(win::SoundOp::Lock, 1);
    EXPECT_EQ(player_.FillAt(2), 0);
    EXPECT_TRUE(trace.Gained({"PlayBuffer(),Lock失败\n"}));
    device_->FailOn(win::SoundOp::Stop, 1);
    EXPECT_EQ(player_.Stop(), 0);
    EXPECT_TRUE(trace.Gained({"Stop()失败\n"}));
    player_.Pause();
    device_->FailOn(win::SoundOp::GetStatus, 1);
    EXPECT_EQ(player_.PlayBuffer(0), 0);
    EXPECT_TRUE(
        trace.Gained({"m_pDSBuffer->GetStatus()失败\n", "PlayBuffer()：恢复缓冲区和数据失败\n"}));
}

TEST_F(AudioOutputTest, ClockCountsPastFourGigabytesAndShowsWhatIsHeard) {
    // 192 kHz stereo 16-bit: 768000 bytes a second; second 6000 lies past 2^32 bytes.
    ASSERT_EQ(OpenMovie("fps=25:rate=192000:len=40"), 1);
    const uint32_t span = player_.GetChunkBytes();
    ASSERT_EQ(span, 768000u / 40);
    {
        win::ScopedLock e(engineLock_);
        player_.FillAt(6000);
    }
    EXPECT_EQ(player_.GetClock(), 6000ull * 768000);
    EXPECT_EQ(PlayAndShow(span), std::make_pair(6000, 0));  // 25 ms in
    // The device holds 60 ms unheard: the picture steps back to what was heard, never before
    // the start of this run.
    device_->SetLatency(768000 * 60 / 1000);
    EXPECT_EQ(PlayAndShow(span), std::make_pair(6000, 0));
    for (int i = 0; i < 4; ++i) PlayAndShow(span);
    EXPECT_EQ(player_.GetClock(), 6000ull * 768000 + 6 * span);
    EXPECT_EQ(video_.Shown().back(), std::make_pair(6000, 2));  // 150 - 60 = 90 ms
}

TEST_F(AudioOutputTest, FileTheDecoderRefusesOpensAndItsSilenceRunsTheClock) {
    // The engine keeps its stand-in format (88100 bytes a second, not 11025 x 4).
    ASSERT_EQ(OpenMovie("refuse=1"), 1);
    EXPECT_EQ(engine_->GetAudioFormat().nAvgBytesPerSec, 88100u);
    ASSERT_NE(Ring(), nullptr);
    // The clock runs on its silence: 88100 bytes make one second of the picture's time.
    const uint32_t span = player_.GetChunkBytes();
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(Play(span));
    EXPECT_EQ(player_.GetClock(), 3ull * span);
}

TEST_F(AudioOutputTest, DeviceGoneDuringPlayEndsTheFileAndTheNextOnePlays) {
    ASSERT_EQ(OpenMovie("fps=12:rate=4000:len=40"), 1);
    ASSERT_NE(PlayAndShow(player_.GetChunkBytes()).first, -1);
    device_->SetGone(true);
    EXPECT_EQ(wake_.Wait(10000), win::WAIT_OBJECT_0) << "no hang when the output goes away";
    player_.Close();
    {
        win::ScopedLock e(engineLock_);
        player_.SetEngine(nullptr);
    }
    engine_.reset();
    wake_.Reset();
    device_->SetGone(false);
    ASSERT_EQ(OpenMovie("fps=12:rate=4000:len=40"), 1);
    for (int i = 0; i < 3; ++i) PlayAndShow(player_.GetChunkBytes());
    EXPECT_EQ(PlayAndShow(player_.GetChunkBytes()), std::make_pair(0, 1));  // 100 ms in
}

// ---- the output on SDL's disk driver ----------------------------------------------------

// The sample value the fake component's bytes of `second` make in 16-bit sound.
int16_t FakeSample(int32_t second) {
    const uint8_t b = FakeAudioByte(second);
    return static_cast<int16_t>(static_cast<uint16_t>(b | (b << 8)));
}

TEST(DirectSoundPlayerSdl, EverySecondIsHeardOnceAndInOrder) {
    constexpr int kSeconds = 5;
    const std::string file = TempFile("tvq-output-");
    std::filesystem::remove(file);
    // 2 ms a callback, well below the 11.6 ms of sound each carries: the file plays several
    // times faster than real time.
    SdlDriver disk("disk", file, "2");
    win::SetSoundDeviceFactory({});  // the SDL device
    if (!win::SdlSoundDevice::Open(win::DefaultPrimaryFormat()))
        GTEST_SKIP() << "SDL has no disk audio driver here";
    CTvqDecoder::SetLibraryPathForTesting(FAKE_TVQ_COMPONENT);
    win::RecursiveMutex engineLock;
    win::Event wake(true);
    win::RecordingMessageTarget window;
    // The device's own format, so that the samples reach the file unchanged.
    CPlaybackEngine engine("fake:fps=10:rate=44100:ch=2:bits=16:len=" + std::to_string(kSeconds),
                           0);
    // The frame view takes the frames up to the position shown, so that the engine drains its
    // video queue and reaches the end of the file. No re-alignment: it restarts the sound.
    CPlayerSettings settings;
    settings.SetAdjust(false);
    CFrameView video(&settings);
    ASSERT_TRUE(video.OpenStream(&engine, &engineLock, nullptr));
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
    video.FreeBuffers();
    CTvqDecoder::SetLibraryPathForTesting("");

    // Runs of each second's level in the order heard, silence left out.
    const std::vector<int16_t> heard = ReadSamples(file);
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

// ---- the frame view on a device that holds sound unheard ---------------------------------

// 22050 Hz stereo at 25 fps: 40 notifications, the sound buffer just under one second.
constexpr const char* kMovie = "fake:fps=25:rate=22050:ch=2:bits=16:w=32:h=16:len=60";
constexpr uint32_t kBytesPerSecond = 88200;

class AdjustWithLatency : public AudioOutputTest {
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

// ---- the sound layer on its own ----------------------------------------------------------

using namespace win;

WAVEFORMATEX Pcm(uint32_t rate, uint16_t channels, uint16_t bits) {
    WAVEFORMATEX f;
    f.nChannels = channels;
    f.nSamplesPerSec = rate;
    f.wBitsPerSample = bits;
    f.nBlockAlign = static_cast<uint16_t>(channels * bits / 8);
    f.nAvgBytesPerSec = rate * f.nBlockAlign;
    return f;
}

constexpr uint32_t kStreamFlags =
    DSBCAPS_GETCURRENTPOSITION2 | DSBCAPS_CTRLPOSITIONNOTIFY | DSBCAPS_CTRLVOLUME;

DSBUFFERDESC Desc(uint32_t bytes, const WAVEFORMATEX* f, uint32_t flags = kStreamFlags) {
    DSBUFFERDESC desc;
    desc.dwFlags = flags;
    desc.dwBufferBytes = bytes;
    desc.lpwfxFormat = f;
    return desc;
}

// The two parts a Lock hands out.
struct Locked {
    HRESULT Lock(DirectSoundBuffer& b, uint32_t offset, uint32_t bytes) {
        return b.Lock(offset, bytes, &p1, &n1, &p2, &n2, 0);
    }
    HRESULT Unlock(DirectSoundBuffer& b) { return b.Unlock(p1, n1, p2, n2); }
    void* p1 = nullptr;
    void* p2 = nullptr;
    uint32_t n1 = 0, n2 = 0;
};

class SoundLayerTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetSoundDeviceFactory([d = device_] { return d; });
        ASSERT_EQ(DirectSoundCreate(&ds_), DS_OK);
    }
    void TearDown() override { SetSoundDeviceFactory({}); }

    std::unique_ptr<DirectSoundBuffer> MakeBuffer(uint32_t bytes, const WAVEFORMATEX& f,
                                                  uint32_t flags = kStreamFlags) {
        const DSBUFFERDESC desc = Desc(bytes, &f, flags);
        std::unique_ptr<DirectSoundBuffer> b;
        EXPECT_EQ(ds_->CreateSoundBuffer(&desc, &b), DS_OK);
        return b;
    }

    // Writes `bytes` of `value` at `offset` through Lock/Unlock.
    static void Write(DirectSoundBuffer& b, uint32_t offset, uint32_t bytes, uint8_t value) {
        Locked l;
        ASSERT_EQ(l.Lock(b, offset, bytes), DS_OK);
        std::memset(l.p1, value, l.n1);
        if (l.p2)
            std::memset(l.p2, value, l.n2);
        ASSERT_EQ(l.Unlock(b), DS_OK);
    }

    std::shared_ptr<VirtualSoundDevice> device_ = std::make_shared<VirtualSoundDevice>();
    std::unique_ptr<DirectSound> ds_;
};

TEST_F(SoundLayerTest, LockAcrossTheEndHandsOutTwoParts) {
    auto b = MakeBuffer(400, Pcm(8000, 1, 8));
    Locked l, other;
    ASSERT_EQ(l.Lock(*b, 300, 250), DS_OK);
    EXPECT_EQ(l.n1, 100u);
    EXPECT_EQ(l.n2, 150u);
    EXPECT_EQ(static_cast<uint8_t*>(l.p1) - static_cast<uint8_t*>(l.p2), 300);
    // A second lock before the unlock, and an unlock of other pointers, are refused.
    EXPECT_NE(other.Lock(*b, 0, 10), DS_OK);
    EXPECT_EQ(b->Unlock(l.p2, l.n1, nullptr, 0), DSERR_INVALIDPARAM);
    EXPECT_EQ(l.Unlock(*b), DS_OK);

    ASSERT_EQ(l.Lock(*b, 0, 400), DS_OK);
    EXPECT_EQ(l.n1, 400u);
    EXPECT_EQ(l.p2, nullptr);
    EXPECT_EQ(l.n2, 0u);
    EXPECT_EQ(l.Unlock(*b), DS_OK);
    EXPECT_EQ(l.Lock(*b, 400, 1), DSERR_INVALIDPARAM);
    EXPECT_EQ(l.Lock(*b, 0, 401), DSERR_INVALIDPARAM);
}

TEST_F(SoundLayerTest, PlayingLoopsAndStopKeepsThePosition) {
    auto b = MakeBuffer(400, Pcm(8000, 1, 8));
    Write(*b, 0, 200, 1);
    Write(*b, 200, 200, 2);
    EXPECT_TRUE(device_->Advance(50).empty());  // not playing: nothing moves

    ASSERT_EQ(b->Play(0, 0, DSBPLAY_LOOPING), DS_OK);
    uint32_t status = 0;
    ASSERT_EQ(b->GetStatus(&status), DS_OK);
    EXPECT_EQ(status, DSBSTATUS_PLAYING | DSBSTATUS_LOOPING);

    std::vector<uint8_t> heard = device_->Advance(350);
    ASSERT_EQ(heard.size(), 350u);
    EXPECT_EQ(heard[199], 1);
    EXPECT_EQ(heard[200], 2);
    uint32_t play = 0, write = 0;
    ASSERT_EQ(b->GetCurrentPosition(&play, &write), DS_OK);
    EXPECT_EQ(play, 350u);

    heard = device_->Advance(100);  // round the end
    EXPECT_EQ(heard.front(), 2);
    EXPECT_EQ(heard.back(), 1);
    ASSERT_EQ(b->GetCurrentPosition(&play, nullptr), DS_OK);
    EXPECT_EQ(play, 50u);

    ASSERT_EQ(b->Stop(), DS_OK);
    EXPECT_TRUE(device_->Advance(100).empty());
    ASSERT_EQ(b->GetCurrentPosition(&play, nullptr), DS_OK);
    EXPECT_EQ(play, 50u);
    ASSERT_EQ(b->SetCurrentPosition(390), DS_OK);
    ASSERT_EQ(b->Play(0, 0, 0), DS_OK);  // once, not looping: stops at the end
    EXPECT_EQ(device_->Advance(100).size(), 10u);
    ASSERT_EQ(b->GetStatus(&status), DS_OK);
    EXPECT_EQ(status, 0u);
}

TEST_F(SoundLayerTest, NotificationFiresWhenItsByteIsPlayed) {
    auto b = MakeBuffer(400, Pcm(8000, 1, 8));
    Event e0(false), e1(false), e2(false), e3(false);
    std::unique_ptr<DirectSoundNotify> notify;
    ASSERT_EQ(b->QueryInterface(&notify), DS_OK);
    const DSBPOSITIONNOTIFY positions[] = {{99, &e0}, {199, &e1}, {299, &e2}, {399, &e3}};
    ASSERT_EQ(notify->SetNotificationPositions(4, positions), DS_OK);
    ASSERT_EQ(b->Play(0, 0, DSBPLAY_LOOPING), DS_OK);

    device_->Advance(99);  // bytes 0..98: position 99 not yet played
    EXPECT_FALSE(e0.IsSet());
    device_->Advance(1);
    EXPECT_EQ(e0.Wait(0), WAIT_OBJECT_0);
    device_->Advance(250);  // 100..349 passes 199 and 299
    EXPECT_FALSE(e0.IsSet());
    EXPECT_EQ(e1.Wait(0), WAIT_OBJECT_0);
    EXPECT_EQ(e2.Wait(0), WAIT_OBJECT_0);
    EXPECT_FALSE(e3.IsSet());
    device_->Advance(120);  // 350..399, 0..69: the last position, across the end
    EXPECT_EQ(e3.Wait(0), WAIT_OBJECT_0);
    EXPECT_FALSE(e0.IsSet());
    device_->Advance(800);  // two laps at once: every position once
    for (Event* e : {&e0, &e1, &e2, &e3}) EXPECT_EQ(e->Wait(0), WAIT_OBJECT_0);

    // Positions are set while stopped, inside the buffer, with an event.
    const DSBPOSITIONNOTIFY outside[] = {{400, &e0}};
    EXPECT_EQ(notify->SetNotificationPositions(1, outside), DSERR_INVALIDCALL);
    ASSERT_EQ(b->Stop(), DS_OK);
    EXPECT_EQ(notify->SetNotificationPositions(1, outside), DSERR_INVALIDPARAM);
    const DSBPOSITIONNOTIFY noEvent[] = {{10, nullptr}};
    EXPECT_EQ(notify->SetNotificationPositions(1, noEvent), DSERR_INVALIDPARAM);
}

TEST_F(SoundLayerTest, VolumeIsHundredthsOfADecibel) {
    EXPECT_FLOAT_EQ(SoundRing::GainOf(0), 1.0f);
    EXPECT_NEAR(SoundRing::GainOf(-600), 0.501f, 0.001f);
    EXPECT_EQ(SoundRing::GainOf(DSBVOLUME_MIN), 0.0f);
    // A user's level as a gain and back.
    EXPECT_EQ(SoundRing::VolumeOfGain(1.0f), DSBVOLUME_MAX);
    EXPECT_EQ(SoundRing::VolumeOfGain(0.5f), -602);
    EXPECT_EQ(SoundRing::VolumeOfGain(0.0f), DSBVOLUME_MIN);
    EXPECT_EQ(SoundRing::VolumeOfGain(1e-9f), DSBVOLUME_MIN);
    EXPECT_NEAR(SoundRing::GainOf(SoundRing::VolumeOfGain(0.05f)), 0.05f, 0.0005f);

    auto b = MakeBuffer(100, Pcm(8000, 1, 16));
    Write(*b, 0, 100, 0x55);
    ASSERT_EQ(b->SetVolume(DSBVOLUME_MIN), DS_OK);
    ASSERT_EQ(b->Play(0, 0, DSBPLAY_LOOPING), DS_OK);
    EXPECT_EQ(device_->Advance(10), std::vector<uint8_t>(10, 0));
    ASSERT_EQ(b->SetVolume(0), DS_OK);
    EXPECT_EQ(device_->Advance(10), std::vector<uint8_t>(10, 0x55));
    EXPECT_EQ(b->SetVolume(1), DSERR_INVALIDPARAM);
    EXPECT_EQ(b->SetVolume(-10001), DSERR_INVALIDPARAM);

    // Volume needs DSBCAPS_CTRLVOLUME, notifications DSBCAPS_CTRLPOSITIONNOTIFY.
    auto plain = MakeBuffer(100, Pcm(8000, 1, 16), DSBCAPS_GETCURRENTPOSITION2);
    EXPECT_EQ(plain->SetVolume(0), DSERR_INVALIDCALL);
    std::unique_ptr<DirectSoundNotify> notify;
    EXPECT_EQ(plain->QueryInterface(&notify), DSERR_NOINTERFACE);
    EXPECT_EQ(notify, nullptr);
}

TEST_F(SoundLayerTest, LostBufferRefusesUntilRestored) {
    auto b = MakeBuffer(100, Pcm(8000, 2, 16));
    ASSERT_EQ(b->Play(0, 0, DSBPLAY_LOOPING), DS_OK);
    device_->LoseBuffers();
    uint32_t status = 0;
    ASSERT_EQ(b->GetStatus(&status), DS_OK);
    EXPECT_EQ(status, DSBSTATUS_BUFFERLOST);
    Locked l;
    EXPECT_EQ(l.Lock(*b, 0, 100), DSERR_BUFFERLOST);
    EXPECT_EQ(b->Play(0, 0, DSBPLAY_LOOPING), DSERR_BUFFERLOST);
    device_->FailOn(SoundOp::Restore, 2);
    EXPECT_EQ(b->Restore(), DSERR_BUFFERLOST);
    EXPECT_EQ(b->Restore(), DSERR_BUFFERLOST);
    EXPECT_EQ(b->Restore(), DS_OK);
    ASSERT_EQ(b->GetStatus(&status), DS_OK);
    EXPECT_EQ(status, 0u);
    EXPECT_EQ(l.Lock(*b, 0, 100), DS_OK);
    EXPECT_EQ(l.Unlock(*b), DS_OK);
}

TEST_F(SoundLayerTest, CreationChecksItsArguments) {
    const DSBUFFERDESC primaryDesc = Desc(0, nullptr, DSBCAPS_PRIMARYBUFFER);
    std::unique_ptr<DirectSoundBuffer> primary;
    ASSERT_EQ(ds_->CreateSoundBuffer(&primaryDesc, &primary), DS_OK);
    const WAVEFORMATEX cd = Pcm(44100, 2, 16);
    EXPECT_EQ(primary->SetFormat(&cd), DS_OK);
    void* p1 = nullptr;
    uint32_t n1 = 0;
    EXPECT_EQ(primary->Lock(0, 4, &p1, &n1, nullptr, nullptr, 0), DSERR_INVALIDCALL);

    std::unique_ptr<DirectSoundBuffer> b;
    const auto create = [&](uint32_t bytes, const WAVEFORMATEX& f) {
        const DSBUFFERDESC desc = Desc(bytes, &f);
        return ds_->CreateSoundBuffer(&desc, &b);
    };
    WAVEFORMATEX odd = Pcm(22050, 2, 16);
    odd.nBlockAlign = 3;
    EXPECT_EQ(create(1000, odd), DSERR_BADFORMAT);
    EXPECT_EQ(primary->SetFormat(&odd), DSERR_BADFORMAT);
    const WAVEFORMATEX ok = Pcm(22050, 1, 8);
    EXPECT_EQ(create(0, ok), DSERR_INVALIDPARAM);
    EXPECT_EQ(b, nullptr);
    // A byte rate that disagrees with the sample rate (the engine's stand-in format for a file
    // it cannot decode) plays; none at all does not.
    WAVEFORMATEX standIn = Pcm(11025, 2, 16);
    standIn.nAvgBytesPerSec = 88100;
    EXPECT_EQ(create(1000, standIn), DS_OK);
    standIn.nAvgBytesPerSec = 0;
    EXPECT_EQ(create(1000, standIn), DSERR_BADFORMAT);

    device_->FailOn(SoundOp::CreateSecondary, 1);
    EXPECT_NE(create(1000, ok), DS_OK);
    EXPECT_EQ(create(1000, ok), DS_OK);
    EXPECT_EQ(device_->Buffers().size(), 1u);
    b.reset();  // releasing detaches it from the device
    EXPECT_TRUE(device_->Buffers().empty());
}

TEST_F(SoundLayerTest, StampedTakesRunThePlayCursorOnWithTheClockNeverPastTheTake) {
    // 8000 Hz mono 16 bits: 16 bytes a millisecond. 20 ms taken but unheard.
    std::chrono::steady_clock::time_point now{};
    device_->SetClock([&now] { return now; });
    device_->SetLatency(320);
    auto b = MakeBuffer(1600, Pcm(8000, 1, 16));
    ASSERT_EQ(b->Play(0, 0, DSBPLAY_LOOPING), DS_OK);
    const auto at = [&](std::chrono::microseconds later) {
        now += later;
        uint32_t play = 0, write = 0, unheard = 0;
        EXPECT_EQ(b->GetCurrentPosition(&play, &write), DS_OK);
        EXPECT_EQ(b->GetLatency(&unheard), DS_OK);
        return std::vector<uint32_t>{play, write, unheard};
    };
    using us = std::chrono::microseconds;
    device_->Advance(160);  // a 10 ms take: the cursor runs through it in 10 ms
    EXPECT_EQ(at(us(0)), (std::vector<uint32_t>{0, 160, 160}));
    EXPECT_EQ(at(us(2500)), (std::vector<uint32_t>{40, 160, 160}));
    EXPECT_EQ(at(us(2560)), (std::vector<uint32_t>{80, 160, 160}));     // whole samples only
    EXPECT_EQ(at(us(100000)), (std::vector<uint32_t>{160, 160, 160}));  // and stops at its end
    // A take that comes early (a device faster than the clock) moves the cursor on to the
    // end of the take before: it never falls more than a take behind.
    device_->Advance(160);
    EXPECT_EQ(at(us(5000)), (std::vector<uint32_t>{240, 320, 160}));
    device_->Advance(160);
    EXPECT_EQ(at(us(0)), (std::vector<uint32_t>{320, 480, 160}));
    EXPECT_EQ(at(us(15000)), (std::vector<uint32_t>{480, 480, 160}));
    // Round the end of the buffer, and once set the cursor is where it was put until a take.
    for (int i = 0; i < 8; ++i) {
        device_->Advance(160);
        now += us(10000);
    }
    EXPECT_EQ(at(us(0)), (std::vector<uint32_t>{160, 160, 160}));
    ASSERT_EQ(b->SetCurrentPosition(800), DS_OK);
    EXPECT_EQ(at(us(10000)), (std::vector<uint32_t>{800, 800, 320}));
    device_->Advance(160);
    EXPECT_EQ(at(us(5000)), (std::vector<uint32_t>{880, 960, 160}));
    // Taken but not yet stamped (SDL stamps once it has converted): the old stamp holds.
    std::vector<uint8_t> out(160);
    device_->FirstBuffer()->Consume(out.data(), 160, true);
    EXPECT_EQ(at(us(50000)), (std::vector<uint32_t>{960, 1120, 160}));
}

// Normal play at 44100 Hz stereo through a ring whose device takes 512 sample frames every
// 11.6 ms and holds two takes unheard, notified every 25 ms, all on a fake clock: every frame
// goes up once, in order, none skipped, within a fraction of a millisecond of its time.
TEST(FrameTimer, EveryFrameGoesUpOnceAtItsTimeFromAStampedCursor) {
    using Clock = std::chrono::steady_clock;
    using ns = std::chrono::nanoseconds;
    constexpr uint32_t kTake = 2048, kRate = 176400, kFps = 25;
    SoundRing ring(DefaultPrimaryFormat(), kRate);
    ring.Play(true);
    CFrameTimer timer;
    timer.Reset(kRate, kRate, 4, kFps);
    const Clock::time_point t0{}, end = t0 + std::chrono::seconds(3);
    const auto takeAt = [&](int k) { return t0 + ns(int64_t{k} * kTake * 1'000'000'000 / kRate); };
    std::vector<uint8_t> scratch(kTake);
    uint64_t clock = 0;  // refilled up to the play cursor, as the output counts
    uint32_t refilled = 0;
    const auto heardAt = [&](Clock::time_point now, bool refill) {
        const SoundRing::Cursors c = ring.CursorsAt(now);
        const uint64_t played = clock + (c.play + kRate - refilled) % kRate;
        if (refill) {
            clock = played;
            refilled = c.play;
        }
        return played - std::min<uint64_t>(played, c.unheard);
    };
    std::vector<std::pair<CFrameTimer::Frame, Clock::time_point>> up;  // first time up
    const auto show = [&](CFrameTimer::Frame frame, Clock::time_point now) {
        if (up.empty() || up.back().first < frame)
            up.emplace_back(frame, now);
    };
    int take = 0, notification = 1, fired = 0;
    std::optional<Clock::time_point> due;
    for (;;) {
        const Clock::time_point notifyAt = t0 + std::chrono::milliseconds(25 * notification);
        const Clock::time_point next = std::min({takeAt(take), notifyAt, due.value_or(end)});
        if (next >= end)
            break;
        if (due && next == *due) {
            const CFrameTimer::Step step = timer.Fired(heardAt(next, false), next);
            ++fired;
            EXPECT_FALSE(step.show && !(up.back().first < step.frame)) << "a frame shown twice";
            if (step.show)
                show(step.frame, next);
            due = step.next;
        } else if (next == takeAt(take)) {
            const SoundRing::Taken t = ring.Consume(scratch.data(), kTake, true);
            ring.StampTake(t.generation, 2 * kTake, next, true);
            ++take;
        } else {
            const uint64_t heard = heardAt(next, true);
            show(timer.FrameOf(heard), next);
            due = timer.Notified(heard, next).next;
            ++notification;
        }
    }
    // Heard = taken - two takes + the run since the stamp: frame n (byte 7056 n) is heard at
    // (7056 n + 2048) / 176400 s, 75 of them in 3 s. The first goes up at the first notification.
    ASSERT_EQ(up.size(), 75u);
    for (int32_t n = 0; n < 75; ++n) {
        ASSERT_EQ(up[n].first, (CFrameTimer::Frame{n / 25, n % 25})) << "skipped or out of order";
        const Clock::time_point exact =
            t0 + ns((int64_t{n} * 7056 + kTake) * 1'000'000'000 / kRate);
        const ns late = up[n].second - exact;
        EXPECT_TRUE(n == 0 || (late > -ns(1000) && late < ns(100000))) << n << ": " << late.count();
    }
    EXPECT_LE(fired, 3 * 25 + 10);  // about one wake a frame, not a busy loop

    // The device stops taking (paused): the cursor runs out its take and the timer disarms.
    ring.Stop();
    int looks = 0;
    for (due = timer.Notified(heardAt(end, true), end).next; due && looks < 10; ++looks)
        due = timer.Fired(heardAt(*due, false), *due).next;
    EXPECT_LE(looks, 2);
    EXPECT_FALSE(due.has_value());
}

// ---- SDL on its headless drivers ----

// Plays a looping buffer until its last notification position has fired `laps` times.
bool PlayLaps(DirectSoundBuffer& b, uint32_t bytes, int laps) {
    Event lap(false);
    std::unique_ptr<DirectSoundNotify> notify;
    if (b.QueryInterface(&notify) != DS_OK)
        return false;
    const DSBPOSITIONNOTIFY end[] = {{bytes - 1, &lap}};
    if (notify->SetNotificationPositions(1, end) != DS_OK)
        return false;
    if (b.Play(0, 0, DSBPLAY_LOOPING) != DS_OK)
        return false;
    for (int i = 0; i < laps; ++i)
        if (lap.Wait(10000) != WAIT_OBJECT_0)
            return false;
    return b.Stop() == DS_OK;
}

TEST(SdlSoundDevice, AnOutputThatCannotOpenFallsBackToTheDummyDriver) {
    SdlDriver driver("no-such-sound-driver");
    auto device = SdlSoundDevice::Open(DefaultPrimaryFormat());
    ASSERT_NE(device, nullptr) << "the picture must still play by the clock";
    EXPECT_NE(device->FallbackReason().find("no-such-sound-driver"), std::string::npos);
    SetSoundDeviceFactory([device] { return device; });
    std::unique_ptr<DirectSound> ds;
    ASSERT_EQ(DirectSoundCreate(&ds), DS_OK);
    // 8-bit mono at 11025 Hz: converted and resampled to the device format on the way.
    const WAVEFORMATEX f = Pcm(11025, 1, 8);
    const DSBUFFERDESC desc = Desc(2205, &f);  // 0.2 s
    std::unique_ptr<DirectSoundBuffer> b;
    ASSERT_EQ(ds->CreateSoundBuffer(&desc, &b), DS_OK);
    EXPECT_TRUE(PlayLaps(*b, desc.dwBufferBytes, 3));
    b.reset();  // detaching waits for a callback under way, which counts what it took last
    EXPECT_GE(device->ConsumedBytes(), 3u * desc.dwBufferBytes);
    ds.reset();
    SetSoundDeviceFactory({});
    device.reset();
    // Once the stand-in is gone, the next device tries the named driver again.
    EXPECT_EQ(SDL_WasInit(SDL_INIT_AUDIO), 0u);
    SdlDriver dummy("dummy");
    auto real = SdlSoundDevice::Open(DefaultPrimaryFormat());
    ASSERT_NE(real, nullptr);
    EXPECT_EQ(real->FallbackReason(), "");
}

// SDL calls back for as long as its device is open, so a stopped buffer closes the output
// after the grace: no more callbacks. Play opens it again, and what is heard then goes on
// from the very byte the buffer stopped at.
TEST(SdlSoundDevice, AStoppedBufferLetsTheOutputGoAndPlayGoesOnWhereItStopped) {
    const std::string file = TempFile("tvq-idle-");
    SdlDriver disk("disk", file, "2");  // 2 ms a callback: faster than real time
    auto device = SdlSoundDevice::Open(DefaultPrimaryFormat());
    if (!device)
        GTEST_SKIP() << "SDL has no disk audio driver here";
    SetSoundDeviceFactory([device] { return device; });
    std::unique_ptr<DirectSound> ds;
    ASSERT_EQ(DirectSoundCreate(&ds), DS_OK);
    const WAVEFORMATEX f = DefaultPrimaryFormat();  // reaches the file unchanged
    // 11025 frames, each numbered 1, 2, ... in both channels.
    const DSBUFFERDESC desc = Desc(44100, &f);
    std::unique_ptr<DirectSoundBuffer> b;
    ASSERT_EQ(ds->CreateSoundBuffer(&desc, &b), DS_OK);
    Locked l;
    ASSERT_EQ(l.Lock(*b, 0, desc.dwBufferBytes), DS_OK);
    auto* samples = static_cast<int16_t*>(l.p1);
    for (uint32_t i = 0; i < l.n1 / 2; ++i) samples[i] = static_cast<int16_t>(i / 2 + 1);
    ASSERT_EQ(l.Unlock(*b), DS_OK);

    ASSERT_TRUE(PlayLaps(*b, desc.dwBufferBytes, 2));
    uint32_t play = 0, stoppedAt = 0;
    ASSERT_EQ(b->GetCurrentPosition(&play, &stoppedAt), DS_OK);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (device->IsOutputOpen() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_FALSE(device->IsOutputOpen()) << "silence kept the output open";
    const uint64_t callbacks = device->Callbacks();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));  // 50 periods of the driver
    EXPECT_EQ(device->Callbacks(), callbacks);
    uint32_t status = 0;
    ASSERT_EQ(b->GetStatus(&status), DS_OK);
    EXPECT_EQ(status & DSBSTATUS_BUFFERLOST, 0u) << "an idle output is not a lost one";

    ASSERT_TRUE(PlayLaps(*b, desc.dwBufferBytes, 1));
    EXPECT_GT(device->Callbacks(), callbacks);
    b.reset();
    ds.reset();
    SetSoundDeviceFactory({});
    device.reset();  // closes the file
    // Opening the output again started the file anew: it holds what was heard after Play.
    const std::vector<int16_t> heard = ReadSamples(file);
    std::filesystem::remove(file);
    size_t first = 0;
    while (first < heard.size() && heard[first] == 0) ++first;
    ASSERT_GT(heard.size(), first + 2000);
    for (size_t i = 0; i < 2000; ++i)
        ASSERT_EQ(heard[first + i], static_cast<int16_t>((stoppedAt / 4 + i / 2) % 11025 + 1))
            << "sample " << i << " after the restart";
}

}  // namespace
