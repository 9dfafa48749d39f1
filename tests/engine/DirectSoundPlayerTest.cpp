// The audio output over the virtual sound device: buffer geometry, the clock, refills, the
// time it reports in each display mode, pause, end of file and failures.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <thread>

#include "DirectSoundPlayerTestSupport.h"
#include "FakeTvq.h"
#include "engine/Messages.h"
#include "platform/Paths.h"
#include "platform/Text.h"

namespace {

using sound_test::AudioOutputTest;

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

// The 16-bit samples of what the device played.
std::vector<int16_t> Samples(const std::vector<uint8_t>& bytes) {
    std::vector<int16_t> out(bytes.size() / 2);
    std::memcpy(out.data(), bytes.data(), out.size() * 2);
    return out;
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
        EXPECT_NE(trace.Appended().find(win::Utf8ToCp936(text)), std::string::npos) << text;
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
        EXPECT_NE(trace.Appended().find(win::Utf8ToCp936(text)), std::string::npos) << text;
    }

    device_->FailOn(win::SoundOp::Lock, 1);
    EXPECT_EQ(player_.FillAt(2), 0);
    EXPECT_NE(trace.Appended().find(win::Utf8ToCp936("PlayBuffer(),Lock失败\n")),
              std::string::npos);
    device_->FailOn(win::SoundOp::Stop, 1);
    EXPECT_EQ(player_.Stop(), 0);
    EXPECT_NE(trace.Appended().find(win::Utf8ToCp936("Stop()失败\n")), std::string::npos);
    player_.Pause();
    device_->FailOn(win::SoundOp::GetStatus, 1);
    EXPECT_EQ(player_.PlayBuffer(0), 0);
    const std::string resume = trace.Appended();
    EXPECT_NE(resume.find(win::Utf8ToCp936("m_pDSBuffer->GetStatus()失败\n")), std::string::npos);
    EXPECT_NE(resume.find(win::Utf8ToCp936("PlayBuffer()：恢复缓冲区和数据失败\n")),
              std::string::npos);
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

}  // namespace
