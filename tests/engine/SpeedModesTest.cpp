// Speed changes and re-alignment on an engine stepped by hand: every transition of the speed
// table with what it does to the audio output, backward numbering, and the calibration and
// limits of the re-alignment.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "FakeRecords.h"
#include "FakeTvq.h"
#include "RecordingAudioOutput.h"
#include "engine/PlaybackEngine.h"
#include "engine/TvqDecoder.h"

namespace {

using Calls = std::vector<std::string>;
constexpr SpeedDirection kForward = SpeedDirection::Forward;
constexpr SpeedDirection kBackward = SpeedDirection::Backward;
constexpr int kFps = 4;
constexpr int32_t kBytesPerSecond = 10000;  // 2500 Hz, stereo, 16 bits

class SpeedModesTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(fake_.Loaded());
        CTvqDecoder::SetLibraryPathForTesting(fake_.Path());
    }
    void TearDown() override { CTvqDecoder::SetLibraryPathForTesting(""); }

    // Opened at second 10: two seconds decoded, so the position is 12.
    std::unique_ptr<CPlaybackEngine> Open(const std::string& options = "fps=4:len=60",
                                          int32_t start = 10) {
        return std::make_unique<CPlaybackEngine>("fake:" + options, start,
                                                 CPlaybackEngine::ThreadStart::Manual);
    }
    static std::pair<SpeedMode, Speed> ModeOf(const CPlaybackEngine& e) {
        return {e.GetMode(), e.GetSpeed()};
    }
    static int32_t Position(const CPlaybackEngine& e) {
        return e.GetBaseSecond() + e.GetDecodedSeconds();
    }

    FakeTvqLibrary fake_{FAKE_TVQ_COMPONENT};
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
constexpr int32_t kResyncRecordSecond = kResyncFps * 392;

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

TEST_F(ResyncTest, AudioAheadOfVideoCutsBothQueuesToTheSameWholeSeconds) {
    auto e = OpenAtZero();
    Shape(*e, 1.0f, 2.0f);  // lead -1
    EXPECT_EQ(e->Resync(&out_), 1);
    EXPECT_EQ(out_.Calls(), Calls({"Stop", "FillAt(1)"}));
    EXPECT_EQ(e->GetAudioQueuedBytes(), kBytesPerSecond);
    EXPECT_EQ(e->GetVideoQueuedBytes(), kResyncRecordSecond);
    std::vector<uint8_t> byte(1);
    e->ReadAudio(byte.data(), 1);
    EXPECT_EQ(byte[0], FakeAudioByte(1));  // the oldest second was dropped
}

TEST_F(ResyncTest, LessThanAWholeSecondQueuedDecodesOneMoreAndRestartsAtThePosition) {
    auto e = OpenAtZero();
    Shape(*e, 0.5f, 0.2f);  // lead 0.3, below the starting threshold
    EXPECT_EQ(e->Resync(&out_), 1);
    EXPECT_EQ(out_.Calls(), Calls({"Stop", "FillAt(2)"}));
    EXPECT_EQ(e->GetAudioQueuedBytes(), kBytesPerSecond);
    EXPECT_EQ(TakeRecords(*e, 100), ExpectedSeconds(2, 2, 1, kResyncFps, false));
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

TEST_F(ResyncTest, VideoFarAheadOfAudioIsCutBack) {
    auto e = OpenAtZero();
    e->DecodeOneSecond();   // video 3 s, audio 3 s
    Shape(*e, 3.0f, 1.5f);  // lead 1.5
    EXPECT_EQ(e->Resync(&out_), 1);
    EXPECT_EQ(out_.Calls(), Calls({"Stop", "FillAt(2)"}));  // position 3, one whole second kept
    EXPECT_EQ(e->GetVideoQueuedBytes(), kResyncRecordSecond);
    EXPECT_EQ(e->GetAudioQueuedBytes(), kBytesPerSecond);
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

}  // namespace
