// A video target that converts frames where they lie in the engine's video queue: every record
// reaches it whole and in order, also when it wraps at the queue's end, with the display mode
// of its pull; a catch-up converts only the frame it stops at, unless the queue runs dry on the
// way; the modes it does not take (the quarter turns) go the copying way.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "FakeTvq.h"
#include "engine/FrameView.h"
#include "engine/PlaybackEngine.h"
#include "engine/TvqDecoder.h"

namespace {

constexpr int kFps = 12, kWidth = 97, kHeight = 65;
const int kStride = win::DibStride(kWidth, 24);
const size_t kImage = static_cast<size_t>(kStride) * kHeight;

class QueueConvertingView : public CFrameView {
public:
    using CFrameView::CFrameView;
    struct Converted {
        std::pair<int32_t, int32_t> label;
        std::vector<uint8_t> bits;
        int displayMode = -1;
        bool split = false;
    };
    std::set<int> inPlaceModes{0, 1, 2, 3};
    std::vector<Converted> converted;  // notification side: the test's own thread
    int preparedCopies = 0;
    bool lastCopyRotated = false;

protected:
    bool ConvertsQueuedFrames(int displayMode) const override {
        return inPlaceModes.count(displayMode) > 0;
    }
    void ConvertQueuedFrame(const QueuedFrame& frame) override {
        Converted c;
        c.bits.assign(frame.first.data, frame.first.data + frame.first.length);
        if (frame.rest.length > 0)
            c.bits.insert(c.bits.end(), frame.rest.data, frame.rest.data + frame.rest.length);
        c.displayMode = frame.displayMode;
        c.label = {frame.second, frame.index};
        c.split = frame.rest.length > 0;
        EXPECT_EQ(frame.format.biWidth, kWidth);
        EXPECT_EQ(frame.format.biHeight, kHeight);
        converted.push_back(std::move(c));
    }
    void FramePrepared(const ShownFrame* frame) override {
        if (frame == nullptr)
            return;
        ++preparedCopies;
        lastCopyRotated = frame->rotated;
    }
};

// What the fake component puts in frame i of second s: the pair (s, i), then its fill byte.
bool IsFakeFrame(const std::vector<uint8_t>& bits, int32_t s, int32_t i) {
    if (bits.size() != kImage)
        return false;
    int32_t pair[2];
    std::memcpy(pair, bits.data(), sizeof pair);
    if (pair[0] != s || pair[1] != i)
        return false;
    for (size_t b = 8; b < bits.size(); ++b)
        if (bits[b] != FakeFrameByte(s, i))
            return false;
    return true;
}

class FrameViewInPlace : public testing::Test {
protected:
    void SetUp() override { Open(60); }
    void Open(int seconds) {
        CTvqDecoder::SetLibraryPathForTesting(FAKE_TVQ_COMPONENT);
        engine_.reset();
        engine_ = std::make_unique<CPlaybackEngine>(
            "fake:fps=12:w=97:h=65:len=" + std::to_string(seconds), 0);
        ASSERT_TRUE(engine_->IsRunning());
        ASSERT_TRUE(view_.OpenStream(engine_.get(), &lock_, nullptr));
    }
    void TearDown() override {
        view_.FreeBuffers();
        engine_.reset();
        CTvqDecoder::SetLibraryPathForTesting("");
    }
    // The decode thread refills a queue at or below one second; waiting for it (rather than
    // letting the pulls decode for themselves, which happens only once the queue is empty and
    // so starts it over at the buffer's start) keeps the records moving round the ring.
    bool WaitForQueued(int32_t records) {
        const int32_t bytes = records * static_cast<int32_t>(kImage + 8);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (engine_->GetVideoQueuedBytes() < bytes) {
            if (std::chrono::steady_clock::now() > deadline)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return true;
    }

    win::RecursiveMutex lock_;
    std::unique_ptr<CPlaybackEngine> engine_;
    QueueConvertingView view_;
};

TEST_F(FrameViewInPlace, EveryRecordArrivesWholeAndInOrderAlsoAcrossTheQueueEnd) {
    // Half a second at a time for 20 seconds: the queue holds three and a half seconds of
    // records, so the records wrap at its end several times. Every request takes its own
    // record, the first one (0,0) included.
    int32_t s = 0, i = 0;
    for (int step = 0; step < 40; ++step) {
        ASSERT_TRUE(WaitForQueued(kFps)) << "the decode thread did not refill the queue";
        for (int n = 0; n < kFps / 2; ++n) {
            ASSERT_EQ(view_.ShowFrameAt(s, i), 1);
            if (++i == kFps) {
                i = 0;
                ++s;
            }
        }
    }
    ASSERT_EQ(view_.converted.size(), 40u * kFps / 2);
    int wrong = 0, splits = 0;
    for (size_t n = 0; n < view_.converted.size(); ++n) {
        const auto& c = view_.converted[n];
        const int32_t cs = static_cast<int32_t>(n) / kFps;
        const int32_t ci = static_cast<int32_t>(n) % kFps;
        EXPECT_EQ(c.label, std::make_pair(cs, ci));
        if (!IsFakeFrame(c.bits, cs, ci) && ++wrong < 4)
            ADD_FAILURE() << "record (" << cs << ", " << ci << ") split " << c.split;
        splits += c.split;
        EXPECT_EQ(c.displayMode, 0);
    }
    EXPECT_EQ(wrong, 0);
    EXPECT_GT(splits, 0) << "no record wrapped at the queue's end: the wrap went untested";
    EXPECT_EQ(view_.preparedCopies, 0) << "a frame taken in place must not be converted again";
    EXPECT_EQ(view_.GetFramePosition(), std::make_pair(19, 11));
    EXPECT_TRUE(view_.GetOverlay().hasStream);
}

TEST_F(FrameViewInPlace, ACatchUpConvertsOnlyWhereItStopsUnlessTheQueueRunsDry) {
    // (0,0) .. (0,10) are passed over on the way to (0,11), with records queued behind each.
    ASSERT_TRUE(WaitForQueued(kFps));
    ASSERT_EQ(view_.ShowFrameAt(0, 11), 1);
    ASSERT_EQ(view_.converted.size(), 1u);
    EXPECT_EQ(view_.converted[0].label, std::make_pair(0, 11));
    EXPECT_TRUE(IsFakeFrame(view_.converted[0].bits, 0, 11));

    // A two-second movie asked for a frame past its end: the catch-up ends with the last record,
    // which had nothing behind it and so was converted, as were others that emptied the queue.
    view_.converted.clear();
    Open(2);
    // Asked again while the decode thread queues the second second, should the catch-up
    // find the queue empty before it.
    for (int attempt = 0; attempt < 100 && view_.GetFramePosition() != std::make_pair(1, 11);
         ++attempt) {
        ASSERT_EQ(view_.ShowFrameAt(9, 0), 1);
        ASSERT_FALSE(view_.converted.empty());
        EXPECT_EQ(view_.converted.back().label, view_.GetFramePosition())
            << "the frame a catch-up stops at is always converted";
        if (view_.GetFramePosition() != std::make_pair(1, 11)) {
            ASSERT_TRUE(WaitForQueued(1));
        }
    }
    EXPECT_EQ(view_.converted.back().label, std::make_pair(1, 11));
    EXPECT_TRUE(IsFakeFrame(view_.converted.back().bits, 1, 11));
    EXPECT_EQ(view_.GetFramePosition(), std::make_pair(1, 11));
    EXPECT_LT(view_.converted.size(), 2u * kFps) << "frames with records behind were converted";
}

TEST_F(FrameViewInPlace, EachFrameCarriesTheModeOfItsPullAndQuarterTurnsAreCopied) {
    ASSERT_TRUE(WaitForQueued(kFps));
    ASSERT_EQ(view_.ShowFrameAt(0, 2), 1);  // (0,0) .. (0,2) in mode 0; only (0,2) converted
    view_.SetDisplayModeValue(DisplayMode::LeftRight);
    ASSERT_EQ(view_.ShowFrameAt(0, 3), 1);
    view_.SetDisplayModeValue(DisplayMode::UpDownLeftRight);
    ASSERT_EQ(view_.ShowFrameAt(0, 4), 1);
    std::vector<int> modes;
    for (const auto& c : view_.converted) modes.push_back(c.displayMode);
    EXPECT_EQ(modes, (std::vector<int>{0, 2, 3}));
    EXPECT_TRUE(IsFakeFrame(view_.converted[2].bits, 0, 4));
    EXPECT_EQ(view_.preparedCopies, 0);

    // A quarter turn is not taken in place: the frame is copied out, turned and handed over,
    // only the last of those a catch-up pulls.
    view_.SetDisplayModeValue(DisplayMode::Rotate90);
    ASSERT_EQ(view_.ShowFrameAt(0, 8), 1);
    EXPECT_EQ(view_.converted.size(), 3u);
    EXPECT_EQ(view_.preparedCopies, 1);
    EXPECT_TRUE(view_.lastCopyRotated);
    view_.WithShownFrame([](const CFrameView::ShownFrame& shown) {
        ASSERT_NE(shown.bits, nullptr);
        EXPECT_TRUE(shown.rotated);
        EXPECT_EQ(shown.format.biWidth, kHeight);
    });
    EXPECT_EQ(view_.GetFramePosition(), std::make_pair(0, 8));

    // And back: the next frame is taken in place again and the shown frame is upright.
    view_.SetDisplayModeValue(DisplayMode::Normal);
    ASSERT_EQ(view_.ShowFrameAt(0, 9), 1);
    EXPECT_EQ(view_.converted.size(), 4u);
    EXPECT_TRUE(IsFakeFrame(view_.converted.back().bits, 0, 9));
    view_.WithShownFrame([](const CFrameView::ShownFrame& shown) { EXPECT_FALSE(shown.rotated); });
}

}  // namespace
