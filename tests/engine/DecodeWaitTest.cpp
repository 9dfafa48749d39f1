// How long the callers of a running engine wait for decoding. The sound thread (frame fetches,
// re-alignment) and the user's commands (speed changes) hold the playlist player's engine lock
// while they call in, so a wait for the decode thread there freezes the whole player. A decode
// call of the fake component is stopped on a latch to keep the decode thread inside its fill
// for as long as a test needs.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <future>
#include <memory>
#include <thread>
#include <utility>
#include <vector>

#include "FakeRecords.h"
#include "FakeTvq.h"
#include "engine/PlaybackEngine.h"
#include "engine/TvqDecoder.h"

namespace {

using namespace std::chrono_literals;

constexpr SpeedDirection kForward = SpeedDirection::Forward;
constexpr SpeedDirection kBackward = SpeedDirection::Backward;
constexpr int kFps = 4;
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
