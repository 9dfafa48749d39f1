// Random speed changes, seeks and shutdowns against running engines while an audio-output-like
// thread pulls audio and frames and asks for re-alignment, all under one engine lock as the
// playlist player arranges it. Run under ThreadSanitizer this is the engine's race check.
#include <gtest/gtest.h>

#include <atomic>
#include <random>
#include <thread>
#include <vector>

#include "FakeRecords.h"
#include "FakeTvq.h"
#include "engine/PlaybackEngine.h"
#include "engine/TvqDecoder.h"

namespace {

constexpr int kSequences = 1000;
constexpr int kFps = 4;

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

TEST(PlaybackEngineStress, RandomSpeedSeekAndShutdownSequences) {
    FakeTvqLibrary fake(FAKE_TVQ_COMPONENT);
    ASSERT_TRUE(fake.Loaded());
    CTvqDecoder::SetLibraryPathForTesting(fake.Path());
    win::EnsureMessageQueue();

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
    CTvqDecoder::SetLibraryPathForTesting("");

    EXPECT_EQ(badRecords.load(), 0) << "of " << recordsSeen.load();
    const FakeTvqStats s = fake.Stats();
    EXPECT_EQ(s.openStreams, 0);
    EXPECT_EQ(s.closeCalls, kSequences);
    EXPECT_EQ(s.callsAfterEnd, 0);
    EXPECT_EQ(s.maxConcurrent, 1);
    EXPECT_EQ(s.badArguments, 0);
    EXPECT_EQ(s.decodeBeforeInit, 0);
}

}  // namespace
