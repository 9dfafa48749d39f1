// The engine over the fake component: what Open queues, record labels, the fill marks, forward
// seeks through the decode thread, the end of a file, an unusable decoder, and Shutdown
// racing the decode thread's own end; speed changes and re-alignment on an engine stepped by
// hand (every transition of the speed table with what it does to the audio output, backward
// numbering, the calibration and limits of the re-alignment); and random speed changes, seeks
// and shutdowns against running engines, which under ThreadSanitizer is the engine's race check;
// and how long the callers of a running engine wait for decoding.
#include "engine/PlaybackEngine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <future>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "FakeRecords.h"
#include "FakeTvq.h"
#include "engine/Messages.h"
#include "engine/TvqDecoder.h"
#include "platform/MessageBox.h"

namespace {

using Manual = CPlaybackEngine::ThreadStart;
using Calls = std::vector<std::string>;
constexpr SpeedDirection kForward = SpeedDirection::Forward;
constexpr SpeedDirection kBackward = SpeedDirection::Backward;

// Generous bound for the decode thread to answer; never reached when things work.
constexpr uint32_t kPatienceMs = 20000;

class PlaybackEngineTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(fake_.Loaded());
        CTvqDecoder::SetLibraryPathForTesting(fake_.Path());
        boxes_ = std::make_shared<win::RecordingMessageBoxService>();
        win::SetMessageBoxService(boxes_);
        win::EnsureMessageQueue();
        win::Message m;
        while (win::PeekMessage(m, true)) {
        }
    }
    void TearDown() override {
        CTvqDecoder::SetLibraryPathForTesting("");
        win::SetMessageBoxService(nullptr);
    }
    // Waits for a message on this thread's queue; true when it is `message`.
    static bool NextMessageIs(uint32_t message) {
        if (win::MsgWaitForMultipleObjects({}, kPatienceMs) != win::WAIT_OBJECT_0)
            return false;
        win::Message m;
        return win::PeekMessage(m, true) && m.message == message && m.wParam == 0 && m.lParam == 0;
    }
    // A seek on an engine stepped by hand: asked, stepped once, and reported done.
    static bool SeekByHand(CPlaybackEngine& engine, int32_t target) {
        engine.RequestSeek(target, 1, win::GetCurrentThreadId());
        engine.Step();
        return NextMessageIs(WM_SEEK_DONE);
    }
    static std::vector<uint8_t> TakeAudio(CPlaybackEngine& engine, int32_t bytes) {
        std::vector<uint8_t> out(static_cast<size_t>(bytes));
        out.resize(static_cast<size_t>(engine.ReadAudio(out.data(), bytes)));
        return out;
    }

    FakeTvqLibrary fake_{FAKE_TVQ_COMPONENT};
    std::shared_ptr<win::RecordingMessageBoxService> boxes_;
};

TEST_F(PlaybackEngineTest, StartSecondIsReachedByDecodingAndDiscarding) {
    CPlaybackEngine engine("fake:fps=4:len=60", 30, Manual::Manual);
    EXPECT_EQ(engine.GetOpened(), 1);
    EXPECT_EQ(engine.GetBaseSecond(), 30);
    // 30 calls thrown away, then one per second queued.
    EXPECT_EQ(fake_.Stats().decodeCalls, 30 + engine.GetDecodedSeconds());
    EXPECT_EQ(TakeRecords(engine, 4), ExpectedSeconds(30, 30, 1, 4, false));
    const auto audio = TakeAudio(engine, 10000);
    ASSERT_EQ(audio.size(), 10000u);
    EXPECT_EQ(audio.front(), FakeAudioByte(30));
    EXPECT_EQ(audio.back(), FakeAudioByte(30));
}

TEST_F(PlaybackEngineTest, RecordsCarryTheirSecondAndIndexWholeFramesAndAudioInOrder) {
    CPlaybackEngine engine("fake:fps=12:w=97:h=65:len=40", 0, Manual::Manual);
    EXPECT_EQ(engine.GetFramesPerSecond(), 12);
    EXPECT_EQ(+engine.GetPictureFormat().biSizeImage, 292u * 65u);
    EXPECT_EQ(engine.GetVideoHighWater(), 97 * 65 * 3 * 12);  // bare frames, no padding
    EXPECT_EQ(engine.GetAudioHighWater(), 10000);
    // Open decoded two seconds (audio is filled until it holds more than one).
    EXPECT_EQ(TakeRecords(engine, 100), ExpectedSeconds(0, 0, 2, 12, false));

    const auto audio = TakeAudio(engine, 25000);
    ASSERT_EQ(audio.size(), 20000u);
    for (const int at : {0, 9999, 10000, 19999})
        EXPECT_EQ(audio[static_cast<size_t>(at)], FakeAudioByte(at / 10000)) << at;
}

TEST_F(PlaybackEngineTest, FillDecodesOnlyWhenAQueueIsAtOrBelowOneSecond) {
    CPlaybackEngine engine("fake:fps=4:len=60", 0, Manual::Manual);
    // Audio is filled until it holds more than one second; video already does after one.
    EXPECT_EQ(engine.GetDecodedSeconds(), 2);
    EXPECT_EQ(engine.GetAudioQueuedBytes(), 20000);
    EXPECT_EQ(engine.GetVideoQueuedBytes(), 2 * 4 * (384 + 8));
    const int32_t calls = fake_.Stats().decodeCalls;
    EXPECT_EQ(engine.Step(), 1);
    EXPECT_EQ(fake_.Stats().decodeCalls, calls);  // both above their marks: nothing to do

    TakeAudio(engine, 10000);  // audio at its mark now
    EXPECT_EQ(engine.Step(), 1);
    EXPECT_EQ(fake_.Stats().decodeCalls, calls + 1);
    EXPECT_EQ(engine.GetAudioQueuedBytes(), 20000);
}

TEST_F(PlaybackEngineTest, ForwardSeekIsDoneByTheDecodeThreadAndReportedToTheAsker) {
    CPlaybackEngine engine("fake:fps=4:len=60", 0);
    engine.RequestSeek(25, 1, win::GetCurrentThreadId());
    ASSERT_TRUE(NextMessageIs(WM_SEEK_DONE));
    EXPECT_EQ(engine.GetBaseSecond(), 25);
    FakeRecord r;
    ASSERT_TRUE(TakeRecord(engine, &r, true));
    EXPECT_EQ(r, Expected(25, 0, 25));
    EXPECT_EQ(TakeAudio(engine, 1).at(0), FakeAudioByte(25));
    EXPECT_EQ(engine.IsRunning(), 1);
}

TEST_F(PlaybackEngineTest, SeekWaitsUntilTheModeIsNormalAgain) {
    CPlaybackEngine engine("fake:fps=4:len=60", 0, Manual::Manual);
    engine.SetSpeed(Speed::X4, nullptr, SpeedDirection::Forward);
    engine.RequestSeek(20, 1, win::GetCurrentThreadId());
    engine.Step();
    win::Message m;
    EXPECT_FALSE(win::PeekMessage(m, false));
    EXPECT_EQ(engine.GetBaseSecond(), 0);

    engine.SetSpeed(Speed::X1, nullptr, SpeedDirection::Forward);
    engine.Step();
    ASSERT_TRUE(win::PeekMessage(m, true));
    EXPECT_EQ(m.message, WM_SEEK_DONE);
    EXPECT_EQ(engine.GetBaseSecond(), 20);
    EXPECT_FALSE(win::PeekMessage(m, false));  // posted once
}

TEST_F(PlaybackEngineTest, SeekPastTheEndStillTakesTheTargetAsBase) {
    CPlaybackEngine engine("fake:fps=4:len=10", 0, Manual::Manual);
    engine.RequestSeek(50, 1, win::GetCurrentThreadId());
    engine.Step();
    EXPECT_EQ(engine.GetBaseSecond(), 50);
    EXPECT_EQ(engine.IsAtEnd(), 1);
    EXPECT_EQ(engine.GetVideoQueuedBytes(), 0);
    EXPECT_EQ(fake_.Stats().callsAfterEnd, 0);
    EXPECT_EQ(engine.Step(), 0);  // nothing left to play
}

TEST_F(PlaybackEngineTest, EndOfFileDrainsBothQueuesThenTheDecodeThreadShutsDown) {
    const int fps = 5, seconds = 6;
    auto engine = std::make_unique<CPlaybackEngine>("fake:fps=5:len=6", 0);
    std::vector<FakeRecord> records;
    FakeRecord r;
    while (TakeRecord(*engine, &r, true)) records.push_back(r);
    EXPECT_EQ(records, ExpectedSeconds(0, 0, seconds, fps, false));
    EXPECT_EQ(engine->IsRunning(), 1);  // audio still queued

    std::vector<uint8_t> audio;
    for (;;) {
        const auto part = TakeAudio(*engine, 7777);
        if (part.empty())
            break;
        audio.insert(audio.end(), part.begin(), part.end());
    }
    ASSERT_EQ(audio.size(), 10000u * seconds);
    for (int s = 0; s < seconds; ++s) EXPECT_EQ(audio[10000u * s + 5000], FakeAudioByte(s));

    ASSERT_TRUE(engine->WaitForThreadEnd(kPatienceMs));
    EXPECT_EQ(engine->IsRunning(), 0);
    // The decode thread's own Shutdown closed the stream; nothing was decoded past the end.
    EXPECT_EQ(fake_.Stats().closeCalls, 1);
    EXPECT_EQ(fake_.Stats().callsAfterEnd, 0);
    EXPECT_EQ(engine->ReadAudio(audio.data(), 10), 0);
    EXPECT_EQ(engine->EnsureFrame(392), 0);
    EXPECT_EQ(engine->GetLengthSeconds(), 0);
    engine.reset();
    EXPECT_EQ(fake_.Stats().closeCalls, 1);
}

TEST_F(PlaybackEngineTest, UnusableDecoderYieldsOneSilentSecondAndEnds) {
    CTvqDecoder::SetLibraryPathForTesting("/nonexistent/TVQ_DecDLL.so");
    CPlaybackEngine engine("/movies/any.tvq", 0);
    EXPECT_EQ(boxes_->Boxes().size(), 1u);
    EXPECT_EQ(engine.GetFramesPerSecond(), 16);
    EXPECT_EQ(+engine.GetAudioFormat().nAvgBytesPerSec, 88100u);
    EXPECT_EQ(engine.EnsureFrame(18432 + 8), 0);
    EXPECT_EQ(engine.GetLengthSeconds(), 0);
    EXPECT_EQ(engine.IsAtEnd(), 1);
    // One second of silence in the stand-in format, then nothing: the thread runs while it
    // plays and ends once it has been taken, as at the end of any file.
    std::vector<uint8_t> audio(88100 + 64, 0xAA);
    int32_t taken = 0;
    while (const int32_t n = engine.ReadAudio(audio.data() + taken, 4000)) taken += n;
    EXPECT_EQ(taken, 88100);
    EXPECT_TRUE(
        std::all_of(audio.begin(), audio.begin() + taken, [](uint8_t b) { return b == 0; }));
    EXPECT_TRUE(engine.WaitForThreadEnd(10000)) << "the refused file must end";
    EXPECT_EQ(engine.IsRunning(), 0);
}

// The decode thread ends by itself at the end of a short file while another thread shuts the
// engine down and deletes it, in every interleaving the scheduler offers.
TEST_F(PlaybackEngineTest, ShutdownRacesTheDecodeThreadsOwnEnd) {
    constexpr int kRounds = 150;
    std::mt19937 random(7);
    for (int round = 0; round < kRounds; ++round) {
        win::RecursiveMutex engineLock;
        CPlaybackEngine* current = new CPlaybackEngine("fake:fps=2:w=4:h=2:len=2", 0);
        std::atomic<bool> stop{false};
        std::thread reader([&] {
            std::vector<uint8_t> buffer(4096);
            while (!stop) {
                {
                    win::ScopedLock lock(engineLock);
                    if (!current)
                        break;
                    current->ReadAudio(buffer.data(), 4096);
                    FakeRecord r;
                    TakeRecord(*current, &r);
                }
                std::this_thread::yield();  // let the other thread at the engine lock
            }
        });
        const int delay = static_cast<int>(random() % 400);
        for (int i = 0; i < delay; ++i) std::this_thread::yield();
        {
            win::ScopedLock lock(engineLock);
            if (random() % 2)
                current->Shutdown();
            delete current;
            current = nullptr;
        }
        stop = true;
        reader.join();
    }
    const FakeTvqStats s = fake_.Stats();
    EXPECT_EQ(s.openStreams, 0);
    EXPECT_EQ(s.closeCalls, kRounds);
    EXPECT_EQ(s.callsAfterEnd, 0);
    EXPECT_EQ(s.maxConcurrent, 1);

    // Deleted right after it was made, with or without Shutdown first: nothing stays open.
    for (int i = 0; i < 50; ++i) {
        auto engine = std::make_unique<CPlaybackEngine>("fake:fps=2:w=4:h=2:len=30", i % 5);
        if (i % 2)
            engine->Shutdown();
    }
    EXPECT_EQ(fake_.Stats().openStreams, 0);
    EXPECT_EQ(fake_.Stats().closeCalls, kRounds + 50);
}

// ---- opening sizes, seeks the decoder has passed, and skips nobody waits for -----------------

TEST_F(PlaybackEngineTest, QueuesAreMadeOnceAtTheirSteadySizeAndNeverGrowAlsoWithSoundAhead) {
    CPlaybackEngine engine("fake:fps=12:w=97:h=65:len=40", 0, Manual::Manual);
    const int32_t recordSecond = (292 * 65 + 8) * 12;
    const int32_t audioCapacity = engine.GetAudioCapacity();
    const int32_t videoCapacity = engine.GetVideoCapacity();
    EXPECT_GE(videoCapacity, 3 * recordSecond);
    EXPECT_LT(videoCapacity, 4 * recordSecond);  // not a doubled queue
    // Playing at an uneven pace (sound and picture taken together, as the clock does), with
    // frame fetches that decode on their own when the picture runs dry, never needs more room.
    for (int turn = 0; turn < 40 && engine.Step(); ++turn) {
        const int frames = (turn * 7) % 25;
        TakeRecords(engine, frames);
        TakeAudio(engine, frames * 10000 / 12);
        FakeRecord r;
        if (turn % 5 == 0) {
            const int rest = static_cast<int>(TakeRecords(engine, 1000).size());
            TakeAudio(engine, rest * 10000 / 12);
            TakeRecord(engine, &r, true);
        }
        EXPECT_EQ(engine.GetAudioCapacity(), audioCapacity);
        EXPECT_EQ(engine.GetVideoCapacity(), videoCapacity);
    }
    EXPECT_GT(engine.GetDecodedSeconds(), 10);

    // The sound device takes a second of sound at the start and keeps that second buffered,
    // while the pictures of that second are still queued: the audio queue runs a second ahead
    // of the video queue, and a fill for sound must still find room for a second of records.
    CPlaybackEngine ahead("fake:fps=12:w=97:h=65:len=40", 0, Manual::Manual);
    ASSERT_EQ(TakeAudio(ahead, 10000).size(), 10000u);  // the device's buffer, filled once
    for (int turn = 0; turn < 60 && ahead.Step(); ++turn) {
        const int frames = 1 + (turn * 5) % 7;  // what each notification shows
        ASSERT_EQ(TakeRecords(ahead, frames).size(), static_cast<size_t>(frames));
        TakeAudio(ahead, frames * 10000 / 12);
        ASSERT_EQ(ahead.GetVideoCapacity(), videoCapacity) << "turn " << turn;
    }
    EXPECT_GT(ahead.GetDecodedSeconds(), 10);
}

TEST_F(PlaybackEngineTest, ASecondOfFramesTooLargeForMemoryIsToldNotSkipped) {
    // 4K at 120 fps: one second of frames is about 3 GB, more than a queue can count.
    CPlaybackEngine engine("fake:fps=120:w=3840:h=2160:len=5", 0);
    const auto boxes = boxes_->Boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Allocate memory failed!");
    EXPECT_EQ(boxes[0].caption, "Error");
    EXPECT_EQ(boxes[0].flags, win::MB_ICONERROR);
    // Nothing to play: the decode thread ends by itself, so the file ends and the list goes on.
    EXPECT_TRUE(engine.WaitForThreadEnd(kPatienceMs));
    EXPECT_EQ(fake_.Stats().decodeCalls, 0);
    // A list that repeats opens the file again on every pass: it is told once, not per pass.
    CPlaybackEngine again("fake:fps=120:w=3840:h=2160:len=5", 0);
    EXPECT_TRUE(again.WaitForThreadEnd(kPatienceMs));
    EXPECT_EQ(boxes_->Boxes().size(), 1u);
}

TEST_F(PlaybackEngineTest, ASeekToASecondTheDecoderHasPassedKeepsLabelsAndContentTogether) {
    CPlaybackEngine engine("fake:fps=4:len=60", 0, Manual::Manual);
    // The asker reads the position, then the decode thread decodes one more second before the
    // request reaches it.
    const int32_t asked = engine.GetBaseSecond() + engine.GetDecodedSeconds();
    TakeRecords(engine, 1000);
    TakeAudio(engine, 100000);
    ASSERT_EQ(engine.DecodeOneSecond(), 1);
    ASSERT_TRUE(SeekByHand(engine, asked));
    // The decoder is at asked + 1 and cannot go back: the numbering says so, rather than
    // calling that second `asked` and shifting every later label and the clock by one.
    EXPECT_EQ(engine.GetBaseSecond(), asked + 1);
    FakeRecord r;
    ASSERT_TRUE(TakeRecord(engine, &r));
    EXPECT_EQ(r, Expected(asked + 1, 0, asked + 1));
    EXPECT_EQ(TakeAudio(engine, 1).at(0), FakeAudioByte(asked + 1));
}

// Waits until the engine's decode thread is inside a skip.
// The decode thread takes a seek request on its next 10 ms turn, so the bound is time, not a
// count of yields (which an idle machine runs through in a few milliseconds).
bool WaitForSkip(const CPlaybackEngine& engine) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!engine.IsSkipping() && std::chrono::steady_clock::now() < until)
        std::this_thread::yield();
    return engine.IsSkipping() != 0;
}

TEST_F(PlaybackEngineTest, AFarSeekHoldsNoLockThatFetchesOrSpeedChangesWaitFor) {
    // 200 us per decoded second: the skip to 50000 would take ten seconds.
    CPlaybackEngine engine("fake:fps=4:len=60000:spin=200", 0);
    engine.RequestSeek(50000, 1, win::GetCurrentThreadId());
    ASSERT_TRUE(WaitForSkip(engine));
    // A frame fetch answers at once (nothing is queued during a skip) ...
    EXPECT_EQ(engine.EnsureFrame(static_cast<int32_t>(engine.GetPictureFormat().biSizeImage) + 8),
              0);
    EXPECT_EQ(engine.IsSkipping(), 1);
    // ... and so does a speed change, which the skip gives way to; the seek then waits for
    // normal play, and runs once it is back.
    RecordingAudioOutput out;
    EXPECT_EQ(engine.SetSpeed(Speed::X2, &out, SpeedDirection::Forward), 1);
    EXPECT_LT(fake_.Stats().decodeCalls, 50000);
    const int32_t newTarget = engine.GetBaseSecond() + engine.GetDecodedSeconds() + 500;
    engine.RequestSeek(newTarget, 1, win::GetCurrentThreadId());
    engine.SetSpeed(Speed::X1, &out, SpeedDirection::Forward);
    ASSERT_TRUE(NextMessageIs(WM_SEEK_DONE));
    EXPECT_EQ(engine.GetBaseSecond(), newTarget);
    FakeRecord r;
    ASSERT_TRUE(TakeRecord(engine, &r, true));
    EXPECT_EQ(r, Expected(newTarget, 0, newTarget));
}

TEST_F(PlaybackEngineTest, ANewerSeekOrShutdownEndsARunningSkip) {
    CPlaybackEngine engine("fake:fps=4:len=60000:spin=200", 0);
    engine.RequestSeek(55000, 1, win::GetCurrentThreadId());
    ASSERT_TRUE(WaitForSkip(engine));
    const int32_t nearer = engine.GetBaseSecond() + 300;
    engine.RequestSeek(nearer, 1, win::GetCurrentThreadId());
    ASSERT_TRUE(NextMessageIs(WM_SEEK_DONE));
    EXPECT_EQ(engine.GetBaseSecond(), nearer);
    EXPECT_LT(fake_.Stats().decodeCalls, 55000);

    engine.RequestSeek(55000, 1, win::GetCurrentThreadId());
    ASSERT_TRUE(WaitForSkip(engine));
    engine.Shutdown();
    EXPECT_EQ(engine.IsRunning(), 0);
    EXPECT_LT(fake_.Stats().decodeCalls, 55000);
    EXPECT_EQ(fake_.Stats().openStreams, 0);
}

TEST_F(PlaybackEngineTest, TheOpeningSkipGivesUpWhenTheOwnersEpochMoves) {
    std::atomic<uint32_t> epoch{0};
    std::thread canceller([&] {
        while (fake_.Stats().decodeCalls < 100) std::this_thread::yield();
        epoch.fetch_add(1);
    });
    CPlaybackEngine engine("fake:fps=4:len=60000:spin=200", 50000, Manual::Manual, &epoch);
    canceller.join();
    const int32_t reached = engine.GetBaseSecond();
    EXPECT_GE(reached, 100);
    EXPECT_LT(reached, 50000);
    EXPECT_EQ(engine.IsAtEnd(), 0);
    // Whatever it reached, its labels are the decoder's real seconds.
    FakeRecord r;
    ASSERT_TRUE(TakeRecord(engine, &r));
    EXPECT_EQ(r, Expected(reached, 0, reached));
}

// ---- a component that can reposition ------------------------------------------------------

class RepositioningEngineTest : public PlaybackEngineTest {
protected:
    void SetUp() override {
        ASSERT_TRUE(seekFake_.Loaded());
        PlaybackEngineTest::SetUp();
        CTvqDecoder::SetLibraryPathForTesting(seekFake_.Path());
    }
    FakeTvqLibrary seekFake_{FAKE_TVQ_SEEK};
};

TEST_F(RepositioningEngineTest, OpeningAndSeeksInBothDirectionsRepositionInsteadOfDecoding) {
    CPlaybackEngine engine("fake:fps=4:len=7200", 3600, Manual::Manual);
    EXPECT_EQ(engine.CanSeek(), 1);
    // No second thrown away on the way to 3600: only the queued ones were decoded.
    EXPECT_EQ(seekFake_.Stats().decodeCalls, engine.GetDecodedSeconds());
    EXPECT_EQ(seekFake_.Stats().lastSeekTarget, 3600);
    EXPECT_EQ(TakeRecords(engine, 4), ExpectedSeconds(3600, 3600, 1, 4, false));

    for (int32_t target : {7000, 12, 12, 6999}) {
        SCOPED_TRACE(target);
        seekFake_.Reset();
        ASSERT_TRUE(SeekByHand(engine, target));
        EXPECT_EQ(engine.GetBaseSecond(), target);
        EXPECT_EQ(seekFake_.Stats().decodeCalls, engine.GetDecodedSeconds());
        EXPECT_EQ(TakeRecords(engine, 4), ExpectedSeconds(target, target, 1, 4, false));
        EXPECT_EQ(TakeAudio(engine, 1).at(0), FakeAudioByte(target));
    }
}

TEST_F(RepositioningEngineTest, ASeekAfterTheEndPlaysAgainAndARefusedSeekFallsBackToDecoding) {
    CPlaybackEngine engine("fake:fps=4:len=6", 0, Manual::Manual);
    while (engine.Step()) {
        TakeRecords(engine, 1000);
        TakeAudio(engine, 100000);
    }
    ASSERT_EQ(engine.IsAtEnd(), 1);
    ASSERT_TRUE(SeekByHand(engine, 2));
    EXPECT_EQ(engine.IsAtEnd(), 0);
    EXPECT_EQ(TakeRecords(engine, 4), ExpectedSeconds(2, 2, 1, 4, false));

    // Past the end the component refuses; decoding on reaches the end as without the entry.
    ASSERT_TRUE(SeekByHand(engine, 50));
    EXPECT_GE(seekFake_.Stats().seeksRefused, 1);
    EXPECT_EQ(engine.GetBaseSecond(), 50);
    EXPECT_EQ(engine.IsAtEnd(), 1);
}

TEST_F(RepositioningEngineTest, BackwardPlayShowsTheSecondsItsLabelsName) {
    CPlaybackEngine engine("fake:fps=4:len=60", 20, Manual::Manual);
    RecordingAudioOutput out;
    ASSERT_EQ(engine.SetSpeed(Speed::X2, &out, SpeedDirection::Backward), 1);
    const int32_t start = engine.GetBackwardStart();
    std::vector<FakeRecord> shown = TakeRecords(engine, 1000);
    for (int turn = 0; turn < 3; ++turn) {
        engine.Step();
        const auto more = TakeRecords(engine, 1000);
        shown.insert(shown.end(), more.begin(), more.end());
    }
    ASSERT_GE(shown.size(), 8u);
    // Labels and frames go down together, second by second, frames in reverse.
    std::vector<FakeRecord> expected;
    for (int32_t s = start; expected.size() < shown.size(); --s) {
        for (int32_t i = 3; i >= 0; --i) expected.push_back(Expected(s, i, s));
    }
    EXPECT_EQ(shown, expected);

    // Back to normal play: sound and picture carry on from the second the picture reached.
    out.Clear();
    const int32_t reached = start - engine.GetDecodedSeconds();
    ASSERT_EQ(engine.SetSpeed(Speed::X1, &out, SpeedDirection::Backward), 1);
    ASSERT_FALSE(out.Calls().empty());
    EXPECT_EQ(out.Calls().back(), "FillAt(" + std::to_string(reached) + ")");
    EXPECT_EQ(TakeRecords(engine, 4), ExpectedSeconds(reached, reached, 1, 4, false));
    EXPECT_EQ(TakeAudio(engine, 1).at(0), FakeAudioByte(reached));
}

TEST_F(RepositioningEngineTest, BackwardPlayFromTheDecodedEndStartsAtTheLastSecond) {
    // Opened near the end, everything is decoded: the position lies one past the last second
    // and the end has been reported. Backward play still runs, from the last second down,
    // and neither a frame fetch nor the fill labels anything above it or out of order.
    CPlaybackEngine engine("fake:fps=4:len=6", 4, Manual::Manual);
    ASSERT_EQ(engine.GetBaseSecond() + engine.GetDecodedSeconds(), 6);
    ASSERT_EQ(engine.IsAtEnd(), 1);
    RecordingAudioOutput out;
    ASSERT_EQ(engine.SetSpeed(Speed::X8, &out, SpeedDirection::Backward), 1);
    EXPECT_EQ(engine.GetBackwardStart(), 5);
    std::vector<FakeRecord> shown;
    const int32_t record = static_cast<int32_t>(engine.GetPictureFormat().biSizeImage) + 8;
    for (int turn = 0; turn < 20 && engine.EnsureFrame(record) == 1; ++turn) {
        const auto more = TakeRecords(engine, 1000);
        shown.insert(shown.end(), more.begin(), more.end());
    }
    std::vector<FakeRecord> expected;
    for (int32_t sec = 5; sec >= 0; --sec) {
        for (int32_t i = 3; i >= 0; --i) expected.push_back(Expected(sec, i, sec));
    }
    EXPECT_EQ(shown, expected);
    EXPECT_EQ(engine.Step(), 0) << "played out at the start";
}

// ---- speed changes and re-alignment -------------------------------------------------------

constexpr int kFps = 4;
constexpr int32_t kBytesPerSecond = 10000;  // 2500 Hz, stereo, 16 bits

class SpeedModesTest : public PlaybackEngineTest {
protected:
    // Opened at second 10: two seconds decoded, so the position is 12.
    static std::unique_ptr<CPlaybackEngine> Open(const std::string& options = "fps=4:len=60",
                                                 int32_t start = 10) {
        return std::make_unique<CPlaybackEngine>("fake:" + options, start, Manual::Manual);
    }
    static std::pair<SpeedMode, Speed> ModeOf(const CPlaybackEngine& e) {
        return {e.GetMode(), e.GetSpeed()};
    }
    static int32_t Position(const CPlaybackEngine& e) {
        return e.GetBaseSecond() + e.GetDecodedSeconds();
    }

    RecordingAudioOutput out_;
};

TEST_F(SpeedModesTest, ForwardMutesAndQueuesOnlyPicturesAndNormalRestartsAtThePosition) {
    auto e = Open();
    const int32_t audio = e->GetAudioQueuedBytes(), video = e->GetVideoQueuedBytes();
    EXPECT_EQ(e->SetSpeed(Speed::X4, &out_, kForward), 1);
    EXPECT_EQ(out_.Calls(), Calls({"Mute(1)"}));
    EXPECT_EQ(ModeOf(*e), std::make_pair(SpeedMode::Forward, Speed::X4));
    EXPECT_EQ(e->GetAudioQueuedBytes(), audio);  // plays out muted
    EXPECT_EQ(e->GetVideoQueuedBytes(), video);

    TakeRecords(*e, 100);
    e->Step();
    EXPECT_EQ(e->GetAudioQueuedBytes(), audio);  // only video was decoded
    EXPECT_EQ(TakeRecords(*e, 100), ExpectedSeconds(12, 12, 1, kFps, false));

    // Back to normal: the output restarts where the picture is, with that second's sound.
    const int32_t p = Position(*e);
    out_.Clear();
    EXPECT_EQ(e->SetSpeed(Speed::X1, &out_, kForward), 1);
    EXPECT_EQ(out_.Calls(), Calls({"Stop", "Mute(0)", "FillAt(" + std::to_string(p) + ")"}));
    EXPECT_EQ(ModeOf(*e), std::make_pair(SpeedMode::Normal, Speed::X1));
    EXPECT_EQ(e->GetBaseSecond(), p);
    EXPECT_EQ(e->GetDecodedSeconds(), 1);  // one second decoded before the restart
    EXPECT_EQ(e->GetAudioQueuedBytes(), kBytesPerSecond);
    EXPECT_EQ(TakeRecords(*e, 100), ExpectedSeconds(p, p, 1, kFps, false));
}

TEST_F(SpeedModesTest, BackwardPlayNumbersEachSecondDownToSecondZeroAndPlaysItOut) {
    auto e = Open("fps=4:len=60", 3);  // position 5
    EXPECT_EQ(e->SetSpeed(Speed::X2, &out_, kBackward), 1);
    EXPECT_EQ(out_.Calls(), Calls({"Mute(1)"}));
    EXPECT_EQ(ModeOf(*e), std::make_pair(SpeedMode::Backward, Speed::X2));
    EXPECT_EQ(e->GetBackwardStart(), 5);
    EXPECT_EQ(e->GetAudioQueuedBytes(), 0);

    std::vector<FakeRecord> records;
    for (int steps = 0; e->GetDecodedSeconds() <= 5 && steps < 20; ++steps) {
        for (const auto& r : TakeRecords(*e, 100)) records.push_back(r);
        ASSERT_EQ(e->Step(), 1);
    }
    // Second 0 is numbered, and nothing after it: what is queued still plays.
    EXPECT_EQ(e->GetDecodedSeconds(), 6);
    EXPECT_GT(e->GetVideoQueuedBytes(), 0);
    EXPECT_EQ(e->Step(), 1);
    EXPECT_EQ(e->GetDecodedSeconds(), 6);
    for (const auto& r : TakeRecords(*e, 100)) records.push_back(r);
    // Labels go 5, 4, 3, 2, 1, 0 with indexes 3..0; the component itself went on forward.
    EXPECT_EQ(records, ExpectedSeconds(5, 5, 6, kFps, true));
    EXPECT_EQ(e->GetAudioQueuedBytes(), 0);
    EXPECT_EQ(e->Step(), 0);  // played out at the start: the decode thread would end
}

TEST_F(SpeedModesTest, BackwardToNormalRestartsAtTheBackwardPosition) {
    auto e = Open();
    e->SetSpeed(Speed::X4, &out_, kBackward);  // backward from 12
    TakeRecords(*e, 100);
    e->Step();  // second 11
    TakeRecords(*e, 100);
    out_.Clear();
    EXPECT_EQ(e->SetSpeed(Speed::X1, &out_, kBackward), 1);
    const int32_t p = 12 - 2;
    EXPECT_EQ(out_.Calls(), Calls({"Stop", "Mute(0)", "FillAt(" + std::to_string(p) + ")"}));
    EXPECT_EQ(e->GetMode(), SpeedMode::Normal);
    EXPECT_EQ(e->GetBaseSecond(), p);
    EXPECT_EQ(e->GetDecodedSeconds(), 1);
    EXPECT_EQ(TakeRecords(*e, 100), ExpectedSeconds(p, 14, 1, kFps, false));
}

TEST_F(SpeedModesTest, BetweenBackwardAndForwardTheOutputIsRestartedAtThePosition) {
    auto e = Open();
    e->SetSpeed(Speed::X2, &out_, kBackward);
    out_.Clear();
    EXPECT_EQ(e->SetSpeed(Speed::X8, &out_, kForward), 1);
    EXPECT_EQ(out_.Calls(), Calls({"Mute(1)", "Stop", "Mute(0)", "FillAt(11)"}));
    EXPECT_EQ(ModeOf(*e), std::make_pair(SpeedMode::Forward, Speed::X8));

    // From forward to backward: forward is left first, then the numbering goes down.
    e = Open();
    e->SetSpeed(Speed::X2, &out_, kForward);
    TakeRecords(*e, 100);
    e->Step();  // second 12 queued, position 13
    out_.Clear();
    EXPECT_EQ(e->SetSpeed(Speed::X4, &out_, kBackward), 1);
    EXPECT_EQ(out_.Calls(), Calls({"Mute(1)", "Stop", "Mute(0)", "FillAt(13)"}));
    EXPECT_EQ(ModeOf(*e), std::make_pair(SpeedMode::Backward, Speed::X4));
    EXPECT_EQ(e->GetBackwardStart(), 13);
    EXPECT_EQ(TakeRecords(*e, 100), ExpectedSeconds(13, 13, 1, kFps, true));
}

// The last Mute the output was given: -1 when none, else its flag.
int LastMute(const Calls& calls) {
    for (auto it = calls.rbegin(); it != calls.rend(); ++it) {
        if (*it == "Mute(0)")
            return 0;
        if (*it == "Mute(1)")
            return 1;
    }
    return -1;
}

// Every pair of forward factors 1x, 2x, 4x, 8x: after the second request the picture still
// advances in order, the sound is muted exactly while a fast factor is in force, and going
// back to 1x brings the sound back at the second the picture had reached.
TEST_F(SpeedModesTest, EveryPairOfForwardFactorsKeepsPictureAndSoundRunning) {
    for (int from = 0; from < 4; ++from) {
        for (int to = 0; to < 4; ++to) {
            SCOPED_TRACE(std::to_string(from) + " -> " + std::to_string(to));
            auto e = Open();
            RecordingAudioOutput out;
            e->SetSpeed(Speed{from}, &out, kForward);
            e->SetSpeed(Speed{to}, &out, kForward);
            EXPECT_EQ(ModeOf(*e),
                      std::make_pair(to == 0 ? SpeedMode::Normal : SpeedMode::Forward, Speed{to}));
            EXPECT_EQ(LastMute(out.Calls()), to == 0 ? (from == 0 ? -1 : 0) : 1);

            // Frames advance: what is queued next carries the next seconds, labels matching
            // the frames' own marks.
            TakeRecords(*e, 1000);
            const int32_t p = Position(*e);
            ASSERT_EQ(e->Step(), 1);
            const auto next = TakeRecords(*e, kFps);
            EXPECT_EQ(next, ExpectedSeconds(p, p, 1, kFps, false));

            // Back at 1x the output is unmuted and restarted where the picture is, with that
            // second's sound queued.
            out.Clear();
            e->SetSpeed(Speed::X1, &out, kForward);
            EXPECT_EQ(e->GetMode(), SpeedMode::Normal);
            EXPECT_NE(LastMute(out.Calls()), 1);
            TakeRecords(*e, 1000);
            e->Step();
            std::vector<uint8_t> sound(kBytesPerSecond);
            const int32_t heard = e->ReadAudio(sound.data(), kBytesPerSecond);
            ASSERT_GT(heard, 0);
            if (to != 0) {
                ASSERT_FALSE(out.Calls().empty());
                ASSERT_EQ(out.Calls().back(), "FillAt(" + std::to_string(p + 1) + ")");
                EXPECT_EQ(sound[0], FakeAudioByte(p + 1));
            }
        }
    }
}

TEST_F(SpeedModesTest, AnotherFactorInTheSameDirectionKeepsTheModeAndTheQueues) {
    for (SpeedDirection direction : {kForward, kBackward}) {
        SCOPED_TRACE(static_cast<int>(direction));
        auto e = Open();
        e->SetSpeed(Speed::X4, &out_, direction);
        const SpeedMode mode = e->GetMode();
        const int32_t audio = e->GetAudioQueuedBytes(), video = e->GetVideoQueuedBytes();
        out_.Clear();
        EXPECT_EQ(e->SetSpeed(Speed::X8, &out_, direction), 1);
        EXPECT_EQ(ModeOf(*e), std::make_pair(mode, Speed::X8));
        EXPECT_EQ(LastMute(out_.Calls()), 1);  // still fast: still silent, nothing restarted
        EXPECT_EQ(e->GetAudioQueuedBytes(), audio);
        EXPECT_EQ(e->GetVideoQueuedBytes(), video);
        // The factor already in force changes nothing at all.
        out_.Clear();
        EXPECT_EQ(e->SetSpeed(Speed::X8, &out_, direction), 0);
        EXPECT_EQ(ModeOf(*e), std::make_pair(mode, Speed::X8));
    }
}

TEST_F(SpeedModesTest, BackwardAtFactorOneTogglesBetweenNormalAndBackward) {
    auto e = Open();
    EXPECT_EQ(e->SetSpeed(Speed::X1, &out_, kBackward), 1);
    EXPECT_EQ(ModeOf(*e), std::make_pair(SpeedMode::Backward, Speed::X1));
    out_.Clear();
    EXPECT_EQ(e->SetSpeed(Speed::X1, &out_, kBackward), 1);
    EXPECT_EQ(e->GetMode(), SpeedMode::Normal);
    EXPECT_EQ(out_.Calls(), Calls({"Stop", "Mute(0)", "FillAt(11)"}));

    out_.Clear();
    EXPECT_EQ(e->SetSpeed(Speed::X1, &out_, kForward), 0);  // normal already: nothing applies
    EXPECT_TRUE(out_.Calls().empty());
    EXPECT_EQ(e->GetMode(), SpeedMode::Normal);
}

// --- re-alignment ---

constexpr int kResyncFps = 20;  // a record is 1/20 s, fine enough to shape any lead

class ResyncTest : public SpeedModesTest {
protected:
    // Opened at second 0 with two seconds of both kinds queued.
    std::unique_ptr<CPlaybackEngine> OpenAtZero(const std::string& options = "len=60") {
        auto e = Open("fps=20:" + options, 0);
        e->SetTickSource([this] { return now_; });
        return e;
    }
    // Trims the queues (oldest first) to the given seconds of video and audio.
    static void Shape(CPlaybackEngine& e, float videoSeconds, float audioSeconds) {
        const int keepRecords = static_cast<int>(videoSeconds * kResyncFps + 0.5f);
        TakeRecords(e, e.GetVideoQueuedBytes() / 392 - keepRecords);
        const int32_t keep = static_cast<int32_t>(audioSeconds * kBytesPerSecond + 0.5f);
        std::vector<uint8_t> sink(static_cast<size_t>(e.GetAudioQueuedBytes()));
        e.ReadAudio(sink.data(), e.GetAudioQueuedBytes() - keep);
        ASSERT_EQ(e.GetAudioQueuedBytes(), keep);
        ASSERT_EQ(e.GetVideoQueuedBytes(), keepRecords * 392);
    }
    uint32_t now_ = 1000;
};

// Each lead outside the threshold restarts the output on one whole second of both kinds, the
// labels and the sound of the same second.
TEST_F(ResyncTest, ALeadOutsideTheThresholdCutsBothQueuesToTheSameWholeSecond) {
    struct Case {
        const char* what;
        bool decodeMore;  // video 3 s, audio 3 s
        float video, audio;
        int32_t restart;
    };
    const Case cases[] = {
        {"audio ahead of video (lead -1): the oldest second dropped", false, 1.0f, 2.0f, 1},
        {"less than a whole second queued (lead 0.3, below the starting threshold): one more "
         "decoded, restarted at the position",
         false, 0.5f, 0.2f, 2},
        {"video far ahead of audio (lead 1.5): position 3, one whole second kept", true, 3.0f, 1.5f,
         2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto e = OpenAtZero();
        if (c.decodeMore)
            e->DecodeOneSecond();
        Shape(*e, c.video, c.audio);
        out_.Clear();
        EXPECT_EQ(e->Resync(&out_), 1);
        EXPECT_EQ(out_.Calls(), Calls({"Stop", "FillAt(" + std::to_string(c.restart) + ")"}));
        EXPECT_EQ(e->GetAudioQueuedBytes(), kBytesPerSecond);
        EXPECT_EQ(TakeRecords(*e, 100),
                  ExpectedSeconds(c.restart, c.restart, 1, kResyncFps, false));
        std::vector<uint8_t> byte(1);
        e->ReadAudio(byte.data(), 1);
        EXPECT_EQ(byte[0], FakeAudioByte(c.restart));
    }
}

TEST_F(ResyncTest, CalibrationLowersTheThresholdBelowTheSmallestLead) {
    auto e = OpenAtZero();
    Shape(*e, 1.0f, 0.3f);  // lead 0.7
    EXPECT_EQ(e->Resync(&out_), 0);
    EXPECT_EQ(e->IsCalibrating(), 1);
    now_ = 2000;
    Shape(*e, 1.0f, 0.2f);  // 0.8, still inside the first second
    EXPECT_EQ(e->Resync(&out_), 0);
    now_ = 2001;
    Shape(*e, 1.0f, 0.1f);  // 0.9 at the first call after it
    EXPECT_EQ(e->Resync(&out_), 0);
    EXPECT_EQ(e->IsCalibrating(), 0);
    EXPECT_NEAR(e->GetLeadThreshold(), 0.6f, 1e-5);
    EXPECT_TRUE(out_.Calls().empty());
    // A lead of 0.55 passed before calibration; now it is below the threshold.
    Shape(*e, 0.65f, 0.1f);
    EXPECT_EQ(e->Resync(&out_), 1);
    EXPECT_EQ(out_.Calls().at(0), "Stop");
}

TEST_F(ResyncTest, CalibrationKeepsTheThresholdWhenTheFinalLeadIsSmall) {
    auto e = OpenAtZero();
    Shape(*e, 1.0f, 0.3f);  // lead 0.7
    EXPECT_EQ(e->Resync(&out_), 0);
    now_ = 2500;
    Shape(*e, 0.85f, 0.3f);  // 0.55 at the end of the first second
    EXPECT_EQ(e->Resync(&out_), 0);
    EXPECT_EQ(e->IsCalibrating(), 0);
    EXPECT_FLOAT_EQ(e->GetLeadThreshold(), 0.5f);
    EXPECT_EQ(e->Resync(&out_), 0);
    EXPECT_TRUE(out_.Calls().empty());
}

TEST_F(ResyncTest, NothingHappensNearTheEndAfterTheEndOrOutsideNormalMode) {
    {
        auto e = OpenAtZero("len=12");  // position 2: exactly ten seconds left
        EXPECT_EQ(e->Resync(&out_), 1);
    }
    out_.Clear();
    {
        auto e = OpenAtZero("len=11");  // nine seconds left
        EXPECT_EQ(e->Resync(&out_), 0);
    }
    {
        auto e = OpenAtZero("len=60:end=2");  // the stream ended early
        ASSERT_EQ(e->IsAtEnd(), 1);
        EXPECT_EQ(e->Resync(&out_), 0);
    }
    for (SpeedDirection direction : {kForward, kBackward}) {
        auto e = OpenAtZero();
        e->SetSpeed(Speed::X2, &out_, direction);
        out_.Clear();
        EXPECT_EQ(e->Resync(&out_), 0);
    }
    EXPECT_TRUE(out_.Calls().empty());
}

// ---- random commands against running engines --------------------------------------------
// All under one engine lock, as the playlist player arranges it, while an audio-output-like
// thread pulls audio and frames and asks for re-alignment.

constexpr int kSequences = 1000;

// The playlist player's side: the engine pointer and the lock around every use of it.
struct Shared {
    win::RecursiveMutex engineLock;
    CPlaybackEngine* engine = nullptr;  // under engineLock
};

// Restarting the output pulls audio under the engine lock, which the caller already holds.
class PullingOutput : public IAudioOutput {
public:
    explicit PullingOutput(Shared& shared) : shared_(shared) {}
    int Stop() override { return 1; }
    void Mute(int) override {}
    int FillAt(int32_t) override {
        win::ScopedLock lock(shared_.engineLock);
        if (shared_.engine)
            shared_.engine->ReadAudio(buffer_, sizeof buffer_);
        return 1;
    }

private:
    Shared& shared_;
    uint8_t buffer_[3000];
};

TEST_F(PlaybackEngineTest, RandomSpeedSeekAndShutdownSequencesUnderOneEngineLock) {
    Shared shared;
    std::atomic<bool> stop{false};
    std::atomic<int> recordsSeen{0}, badRecords{0};
    std::thread notification([&] {
        PullingOutput output(shared);
        std::vector<uint8_t> audio(2500);
        while (!stop) {
            {
                win::ScopedLock lock(shared.engineLock);
                if (CPlaybackEngine* e = shared.engine) {
                    e->ReadAudio(audio.data(), static_cast<int32_t>(audio.size()));
                    FakeRecord r;
                    for (int k = 0; k < 3 && TakeRecord(*e, &r, true); ++k) {
                        ++recordsSeen;
                        if (r.index != r.markIndex || !r.bodyIntact || r.index < 0 ||
                            r.index >= kFps)
                            ++badRecords;
                    }
                    e->Resync(&output);
                }
            }
            std::this_thread::yield();
        }
    });

    std::mt19937 random(20261206);
    PullingOutput output(shared);
    for (int sequence = 0; sequence < kSequences; ++sequence) {
        auto* created =
            new CPlaybackEngine("fake:fps=4:w=8:h=4:len=40", static_cast<int32_t>(random() % 36));
        {
            win::ScopedLock lock(shared.engineLock);
            shared.engine = created;
        }
        const int operations = 1 + static_cast<int>(random() % 6);
        for (int op = 0; op < operations; ++op) {
            const unsigned what = random() % 10;
            win::ScopedLock lock(shared.engineLock);
            if (what < 6) {
                shared.engine->SetSpeed(Speed{static_cast<int>(random() % 4)}, &output,
                                        SpeedDirection{1 + static_cast<int>(random() % 2)});
            } else if (what < 9) {
                shared.engine->RequestSeek(static_cast<int32_t>(random() % 45), 1,
                                           win::GetCurrentThreadId());
            } else {
                shared.engine->Shutdown();
            }
            for (unsigned y = random() % 50; y > 0; --y) std::this_thread::yield();
        }
        win::Message m;
        while (win::PeekMessage(m, true)) {
        }
        win::ScopedLock lock(shared.engineLock);
        delete shared.engine;
        shared.engine = nullptr;
    }
    stop = true;
    notification.join();

    EXPECT_EQ(badRecords.load(), 0) << "of " << recordsSeen.load();
    const FakeTvqStats s = fake_.Stats();
    EXPECT_EQ(s.openStreams, 0);
    EXPECT_EQ(s.closeCalls, kSequences);
    EXPECT_EQ(s.callsAfterEnd, 0);
    EXPECT_EQ(s.maxConcurrent, 1);
    EXPECT_EQ(s.badArguments, 0);
    EXPECT_EQ(s.decodeBeforeInit, 0);
}

// ---- how long callers of a running engine wait for decoding -------------------------------
// The sound thread (frame fetches, re-alignment) and the user's commands (speed changes) hold
// the playlist player's engine lock while they call in, so a wait for the decode thread there
// freezes the whole player. A decode call of the fake component is stopped on a latch to keep
// the decode thread inside its fill for as long as a test needs.

using namespace std::chrono_literals;

// Generous: a call that does not wait returns in microseconds, one that waits for the held
// decode call never returns before the test lets it go.
constexpr auto kNoWaitBound = 5s;
constexpr auto kEventBound = 10s;

// Runs `atExit` when the scope ends. Declared after a future, it runs before the future's end
// waits for its call: a call that is stuck in a wait (a failure) is let go first.
class AtExit {
public:
    explicit AtExit(std::function<void()> atExit) : atExit_(std::move(atExit)) {}
    ~AtExit() { atExit_(); }
    AtExit(const AtExit&) = delete;
    AtExit& operator=(const AtExit&) = delete;

private:
    std::function<void()> atExit_;
};

class DecodeWaitTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(fake_.Loaded()); }
    void TearDown() override {
        fake_.ReleaseHold();
        engine_.reset();
        CTvqDecoder::SetLibraryPathForTesting("");
    }

    // A running engine (its decode thread started) on the fake component.
    void Open(const FakeTvqLibrary& library, const std::string& options, int32_t start = 0) {
        CTvqDecoder::SetLibraryPathForTesting(library.Path());
        engine_ = std::make_unique<CPlaybackEngine>("fake:" + options, start);
        ASSERT_TRUE(engine_->IsRunning());
    }
    int32_t RecordSize() const {
        return static_cast<int32_t>(engine_->GetPictureFormat().biSizeImage) + 8;
    }
    // Takes every queued record and byte of sound, as a hungry sound thread would.
    void Drain() {
        FakeRecord r;
        while (TakeRecord(*engine_, &r)) {
        }
        std::vector<uint8_t> audio(4096);
        while (engine_->ReadAudio(audio.data(), static_cast<int32_t>(audio.size())) > 0) {
        }
    }
    // Leaves the decode thread stopped inside a decode call of its fill, with the queues
    // empty: the decode lock is held and stays held until ReleaseHold.
    void HoldDecodeThreadInItsFill(FakeTvqLibrary& library) {
        library.HoldNextDecode();
        Drain();
        ASSERT_TRUE(library.WaitUntilHeld(10000));
        // A call that was already under way when the latch was armed may have queued more.
        Drain();
        ASSERT_LT(engine_->GetVideoQueuedBytes(), RecordSize());
    }
    template <typename F>
    static bool ReturnsWithoutWaiting(std::future<F>& call) {
        return call.wait_for(kNoWaitBound) == std::future_status::ready;
    }
    // Waits (bounded) for the decode thread to queue a whole record.
    bool RecordQueued() {
        const auto until = std::chrono::steady_clock::now() + kEventBound;
        while (std::chrono::steady_clock::now() < until) {
            if (engine_->EnsureFrame(RecordSize()) == 1)
                return true;
            std::this_thread::sleep_for(1ms);
        }
        return false;
    }

    FakeTvqLibrary fake_{FAKE_TVQ_COMPONENT};
    std::unique_ptr<CPlaybackEngine> engine_;
    RecordingAudioOutput out_;
};

// The sound thread's calls: the re-alignment's look at the queues must not wait for the
// second the decode thread is decoding, nor must a frame fetch in fast play that finds the
// queue empty; the picture follows once the thread has queued the next second.
TEST_F(DecodeWaitTest, SoundThreadCallsDoNotWaitForTheDecodeInProgress) {
    Open(fake_, "fps=4:len=600");
    HoldDecodeThreadInItsFill(fake_);
    auto resync = std::async(std::launch::async, [&] { return engine_->Resync(&out_); });
    AtExit releaseResync([&] { fake_.ReleaseHold(); });
    ASSERT_TRUE(ReturnsWithoutWaiting(resync)) << "the re-alignment waited for the decode thread";
    EXPECT_EQ(resync.get(), 0);
    fake_.ReleaseHold();
    ASSERT_TRUE(RecordQueued());

    // Forward play.
    ASSERT_EQ(engine_->SetSpeed(Speed::X8, &out_, kForward), 1);
    HoldDecodeThreadInItsFill(fake_);
    const int32_t callsHeld = fake_.Stats().decodeCalls;
    auto fetch = std::async(std::launch::async, [&] { return engine_->EnsureFrame(RecordSize()); });
    AtExit releaseFetch([&] { fake_.ReleaseHold(); });
    ASSERT_TRUE(ReturnsWithoutWaiting(fetch)) << "the frame fetch waited for the decode thread";
    EXPECT_EQ(fetch.get(), 0);
    // It decoded no second of its own beside the decode thread.
    EXPECT_EQ(fake_.Stats().decodeCalls, callsHeld);
    EXPECT_EQ(fake_.Stats().maxConcurrent, 1);
    fake_.ReleaseHold();
    ASSERT_TRUE(RecordQueued());
    FakeRecord r;
    ASSERT_TRUE(TakeRecord(*engine_, &r));
    EXPECT_TRUE(r.bodyIntact);
    EXPECT_EQ(r.index, 0);

    // Backward play: the same for its fill, and its records still count down.
    ASSERT_EQ(engine_->SetSpeed(Speed::X2, &out_, kBackward), 1);
    const int32_t start = engine_->GetBackwardStart();
    HoldDecodeThreadInItsFill(fake_);
    auto backFetch =
        std::async(std::launch::async, [&] { return engine_->EnsureFrame(RecordSize()); });
    AtExit releaseBackFetch([&] { fake_.ReleaseHold(); });
    ASSERT_TRUE(ReturnsWithoutWaiting(backFetch)) << "the backward fetch waited";
    EXPECT_EQ(backFetch.get(), 0);
    fake_.ReleaseHold();
    ASSERT_TRUE(RecordQueued());
    ASSERT_TRUE(TakeRecord(*engine_, &r));
    EXPECT_LT(r.second, start);
    EXPECT_EQ(r.index, kFps - 1);
}

// A user's speed change while the decode thread works through a long run of seconds (a skip
// over a decoder that only goes forward) gets the decode lock at the next second instead of
// whenever the thread happens to let go of it, and so gives the skip up.
TEST_F(DecodeWaitTest, SpeedChangeDuringALongSkipWaitsForOneSecondAtMost) {
    // Each decode call works 20 ms (long beside the start of a thread, even under a
    // sanitizer), so the skip to 90000 runs for half an hour.
    Open(fake_, "fps=4:w=8:h=4:len=100000:spin=20000");
    win::EnsureMessageQueue();
    engine_->RequestSeek(90000, 1, win::GetCurrentThreadId());
    const auto until = std::chrono::steady_clock::now() + kEventBound;
    while (!engine_->IsSkipping() && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(1ms);
    ASSERT_TRUE(engine_->IsSkipping());
    // Let the skip get into its stride.
    const int32_t started = fake_.Stats().decodeCalls;
    while (fake_.Stats().decodeCalls < started + 5 && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(1ms);

    for (int round = 0; round < 5; ++round) {
        std::atomic<int32_t> before{0};
        const int index = 1 + round % 3;
        auto change = std::async(std::launch::async, [&] {
            before = fake_.Stats().decodeCalls;
            return engine_->SetSpeed(Speed{index}, &out_, kForward);
        });
        // A change stuck behind the skip is let go by ending the engine, which ends the skip.
        AtExit endSkip([&] {
            if (change.valid() && change.wait_for(0s) != std::future_status::ready)
                engine_->Shutdown();
        });
        ASSERT_EQ(change.wait_for(kEventBound), std::future_status::ready)
            << "the speed change waited for the skip, round " << round;
        ASSERT_EQ(change.get(), 1);
        // The call under way, and one that began just before the change asked for the lock.
        EXPECT_LE(fake_.Stats().decodeCalls - before, 2) << "round " << round;
        EXPECT_EQ(engine_->GetMode(), SpeedMode::Forward);
        // Back to normal play, which decodes the one second the restarted sound needs beside
        // the decode thread's forward fill. The skip, given up for the change, then runs again
        // and the next round asks for the lock in the middle of it once more.
        const int32_t beforeNormal = fake_.Stats().decodeCalls;
        ASSERT_EQ(engine_->SetSpeed(Speed::X1, &out_, kForward), 1);
        EXPECT_LE(fake_.Stats().decodeCalls - beforeNormal, 3) << "round " << round;
        const int32_t resumed = fake_.Stats().decodeCalls;
        while (fake_.Stats().decodeCalls < resumed + 3 && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(1ms);
        EXPECT_TRUE(engine_->IsSkipping()) << "round " << round;
    }
}

// Changes to backward play queue only the second of the first picture themselves: one decode
// call (and one reposition) whatever the picture size, the decode thread filling the rest.
TEST_F(DecodeWaitTest, ChangeToBackwardDecodesOneSecondAndTheThreadFillsTheRest) {
    FakeTvqLibrary seeking(FAKE_TVQ_SEEK);
    ASSERT_TRUE(seeking.Loaded());
    for (const char* shape : {"fps=4:len=600", "fps=25:w=64:h=36:len=600"}) {
        SCOPED_TRACE(shape);
        for (int fromForward = 0; fromForward < 2; ++fromForward) {
            SCOPED_TRACE(fromForward ? "from forward play" : "from normal play");
            out_.Clear();
            Open(seeking, shape, 100);
            if (fromForward) {
                ASSERT_EQ(engine_->SetSpeed(Speed::X4, &out_, kForward), 1);
            }
            out_.Clear();
            // Stopped in its next decode call, the thread holds the decode lock: the change
            // has to wait for that call and must then make only its own.
            HoldDecodeThreadInItsFill(seeking);
            auto change = std::async(
                std::launch::async, [&] { return engine_->SetSpeed(Speed::X8, &out_, kBackward); });
            AtExit release([&] { seeking.ReleaseHold(); });
            // It mutes the sound before it asks for the lock.
            const auto until = std::chrono::steady_clock::now() + kEventBound;
            while (out_.Calls().empty() && std::chrono::steady_clock::now() < until)
                std::this_thread::sleep_for(1ms);
            const int32_t before = seeking.Stats().decodeCalls;
            seeking.ReleaseHold();
            ASSERT_EQ(change.wait_for(kEventBound), std::future_status::ready);
            ASSERT_EQ(change.get(), 1);
            EXPECT_EQ(engine_->GetMode(), SpeedMode::Backward);
            // Its own call, and at most one of the thread's that began before the change
            // asked for the lock. With one second queued, above the high-water mark, the thread
            // adds nothing more until the picture takes some.
            EXPECT_LE(seeking.Stats().decodeCalls - before, 2);
            const int fps = engine_->GetFramesPerSecond();
            const int32_t start = engine_->GetBackwardStart();
            FakeRecord r;
            std::vector<FakeRecord> first;
            while (static_cast<int>(first.size()) < fps && TakeRecord(*engine_, &r))
                first.push_back(r);
            EXPECT_EQ(first, ExpectedSeconds(start, start, 1, fps, true));
            // The rest comes from the decode thread, still counting down.
            ASSERT_TRUE(RecordQueued());
            ASSERT_TRUE(TakeRecord(*engine_, &r));
            EXPECT_EQ(r.second, start - 1);
            engine_.reset();
        }
    }
}

}  // namespace
