// The headless half of the video window: display-mode transforms against a reference written
// from the destination's point of view, and (with a real engine on the fake component) the
// catch-up rules of ShowFrameAt, a target that converts frames where they lie in the engine's
// video queue (every record whole and in order, also across the queue's end, with the display
// mode of its pull; a catch-up converts only the frame it stops at unless the queue runs dry;
// the quarter turns go the copying way), and backward play driven by the audio clock.
#include "engine/FrameView.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "DirectSoundPlayerTestSupport.h"
#include "FakeTvq.h"
#include "engine/PlaybackEngine.h"
#include "engine/TvqDecoder.h"

namespace {

win::BITMAPINFOHEADER Format(int32_t w, int32_t h, uint16_t bits = 24) {
    win::BITMAPINFOHEADER f;
    f.biWidth = w;
    f.biHeight = h;
    f.biBitCount = bits;
    f.biSizeImage = static_cast<uint32_t>(win::DibStride(w, bits) * h);
    return f;
}

std::vector<uint8_t> RandomFrame(const win::BITMAPINFOHEADER& f, unsigned seed) {
    std::mt19937 gen(seed);
    std::vector<uint8_t> v(f.biSizeImage);
    for (auto& b : v) b = static_cast<uint8_t>(gen());
    return v;
}

// Pixel at memory row r, column c.
const uint8_t* At(const std::vector<uint8_t>& v, const win::BITMAPINFOHEADER& f, int r, int c) {
    return v.data() + r * win::DibStride(f.biWidth, f.biBitCount) + c * (f.biBitCount / 8);
}

bool SamePixel(const uint8_t* a, const uint8_t* b, int bpp) {
    return std::memcmp(a, b, bpp) == 0;
}

// For each destination pixel, where on the source it must come from (memory rows/columns).
std::pair<int, int> SourceOf(int mode, int r, int c, int w, int h) {
    switch (mode) {
        case 1:
            return {h - 1 - r, c};
        case 2:
            return {r, w - 1 - c};
        case 3:
            return {h - 1 - r, w - 1 - c};  // the middle row of an odd height is reversed too
        case 4:
            return {c, w - 1 - r};  // destination is W rows of H pixels
        case 5:
            return {h - 1 - c, r};
        default:
            return {r, c};
    }
}

void ExpectTransformed(int mode, const win::BITMAPINFOHEADER& f, const std::vector<uint8_t>& src,
                       const std::vector<uint8_t>& dst) {
    const bool turned = mode == 4 || mode == 5;
    const win::BITMAPINFOHEADER df = turned ? Format(f.biHeight, f.biWidth, f.biBitCount) : f;
    const int bpp = f.biBitCount / 8;
    int wrong = 0;
    for (int r = 0; r < df.biHeight; ++r) {
        for (int c = 0; c < df.biWidth; ++c) {
            auto [sr, sc] = SourceOf(mode, r, c, f.biWidth, f.biHeight);
            if (!SamePixel(At(dst, df, r, c), At(src, f, sr, sc), bpp) && ++wrong < 5) {
                ADD_FAILURE() << "mode " << mode << " pixel row " << r << " col " << c;
            }
        }
    }
    EXPECT_EQ(wrong, 0) << "mode " << mode;
}

// The display mode's turn, as the view applies it: in place, or into a second buffer.
std::vector<uint8_t> ApplyStatic(int mode, const win::BITMAPINFOHEADER& f,
                                 std::vector<uint8_t> frame) {
    std::vector<uint8_t> rotated;
    if (!CFrameView::TurnByDisplayMode(mode, frame.data(), f, rotated))
        return frame;
    rotated.resize(CFrameView::RotatedFormat(f).biSizeImage);
    return rotated;
}

TEST(FrameViewTransform, EveryModeOnOddSizesMatchesTheReference) {
    // Odd width makes row padding, odd height a middle row; 32 bits checks the pixel size is
    // taken from the format rather than assumed.
    const win::BITMAPINFOHEADER formats[] = {Format(97, 65), Format(64, 33), Format(1, 7),
                                             Format(33, 1), Format(35, 19, 32)};
    unsigned seed = 1;
    for (const auto& f : formats) {
        const auto src = RandomFrame(f, seed++);
        for (int mode = 0; mode < kDisplayModeCount; ++mode) {
            SCOPED_TRACE(testing::Message() << f.biWidth << "x" << f.biHeight << " mode " << mode);
            ExpectTransformed(mode, f, src, ApplyStatic(mode, f, src));
        }
    }
}

// ---- catch-up against a real engine on the fake component ----------------------------

class CountingView : public CFrameView {
public:
    using CFrameView::CFrameView;
    std::atomic<int> invalidates{0};

protected:
    void Invalidate() override { ++invalidates; }
};

// The (second, index) pair the fake wrote into the shown frame, `offset` bytes in.
std::pair<int32_t, int32_t> ShownRecord(const CFrameView& view, int offset = 0) {
    int32_t pair[2] = {-1, -1};
    view.WithShownFrame([&](const CFrameView::ShownFrame& s) {
        if (s.bits)
            std::memcpy(pair, s.bits + offset, sizeof pair);
    });
    return {pair[0], pair[1]};
}

// Each case runs on both frame paths: decoded seconds, and stored frames decoded by the thread
// that pulls them or by the frame worker.
enum class FramePath { Decoded, Stored, StoredOnWorker };

class FrameViewCatchUp : public testing::TestWithParam<FramePath> {
protected:
    void SetUp() override { Open("fake:fps=12:w=97:h=65:len=40"); }
    void Open(const std::string& movie) {
        const bool stored = GetParam() != FramePath::Decoded;
        CTvqDecoder::SetLibraryPathForTesting(stored ? FAKE_TVQ_STORED : FAKE_TVQ_COMPONENT);
        view_.SetDecodeOnWorker(GetParam() == FramePath::StoredOnWorker);
        view_.FreeBuffers();
        engine_ = std::make_unique<CPlaybackEngine>(movie, 0);
        ASSERT_TRUE(engine_->IsRunning());
        ASSERT_EQ(engine_->DeliversStoredFrames(), stored ? 1 : 0);
    }
    // ShowFrameAt, and the frame it pulled put up.
    int Show(int32_t second, int32_t index) {
        const int result = view_.ShowFrameAt(second, index);
        view_.WaitFramesPresented();
        return result;
    }
    void TearDown() override {
        view_.FreeBuffers();
        engine_.reset();
        CTvqDecoder::SetLibraryPathForTesting("");
    }
    // The record the next pull would get, read past the view.
    std::pair<int32_t, int32_t> NextRecord() {
        win::ScopedLock lock(lock_);
        const int32_t size = static_cast<int32_t>(view_.GetPictureFormat().biSizeImage);
        std::vector<uint8_t> frame(size);
        int32_t s = -1, i = -1;
        if (engine_->EnsureFrame(size + 8) != 1)
            return {-1, -1};
        engine_->ReadFrame(frame.data(), size, &s, &i);
        return {s, i};
    }

    win::RecursiveMutex lock_;
    std::unique_ptr<CPlaybackEngine> engine_;
    CountingView view_;
};

TEST_P(FrameViewCatchUp, PullsUpToTheRequestAndNeverBack) {
    ASSERT_TRUE(view_.OpenStream(engine_.get(), &lock_, nullptr));
    EXPECT_EQ(view_.GetPictureFormat().biSizeImage, 292u * 65);
    EXPECT_EQ(view_.GetOverlay().length, 40);
    EXPECT_EQ(view_.GetOverlay().title, "fake:fps=12:w=97:h=65:len=40");

    EXPECT_EQ(Show(3, 5), 1);  // pulls (0,0) .. (3,5)
    EXPECT_EQ(ShownRecord(view_), std::make_pair(3, 5));
    EXPECT_EQ(Show(3, 9), 1);  // pulls (3,6) .. (3,9), not beyond
    EXPECT_EQ(ShownRecord(view_), std::make_pair(3, 9));
    EXPECT_EQ(view_.GetPosition(), 3);
    EXPECT_EQ(view_.invalidates.load(), 2);

    // Already passed, or the frame on screen again (notifications come more often than
    // frames): no pull, no repaint.
    EXPECT_EQ(Show(3, 2), 1);
    EXPECT_EQ(Show(2, 11), 1);
    EXPECT_EQ(Show(3, 9), 1);
    EXPECT_EQ(view_.invalidates.load(), 2);
    EXPECT_EQ(ShownRecord(view_), std::make_pair(3, 9));
    EXPECT_EQ(NextRecord(), std::make_pair(3, 10));

    // (3,10) was taken above, so the request for it stops at the first record past it.
    EXPECT_EQ(Show(3, 10), 1);
    EXPECT_EQ(ShownRecord(view_), std::make_pair(3, 11));
    EXPECT_EQ(NextRecord(), std::make_pair(4, 0));
}

TEST_P(FrameViewCatchUp, ModeChangesApplyFromTheNextFramePulled) {
    ASSERT_TRUE(view_.OpenStream(engine_.get(), &lock_, nullptr));
    view_.SetDisplayModeValue(DisplayMode::UpDown);
    ASSERT_EQ(Show(0, 4), 1);
    // Flipped: the record pair now sits at the start of the last memory row.
    const int stride = win::DibStride(97, 24);
    EXPECT_EQ(ShownRecord(view_, 64 * stride), std::make_pair(0, 4));
    view_.WithShownFrame([&](const CFrameView::ShownFrame& s) { EXPECT_FALSE(s.rotated); });
    view_.SetDisplayModeValue(DisplayMode::Normal);
    EXPECT_EQ(Show(0, 4), 1);  // nothing new pulled: the flipped frame stays
    view_.WithShownFrame([&](const CFrameView::ShownFrame& s) {
        EXPECT_EQ(s.bits[64 * stride + 4], 4) << "still flipped";
        EXPECT_EQ(s.bits[0], FakeFrameByte(0, 4));
    });
    EXPECT_EQ(Show(0, 5), 1);
    EXPECT_EQ(ShownRecord(view_), std::make_pair(0, 5));

    view_.SetDisplayModeValue(DisplayMode::Rotate90);
    ASSERT_EQ(Show(0, 6), 1);
    view_.WithShownFrame([&](const CFrameView::ShownFrame& s) {
        EXPECT_TRUE(s.rotated);
        EXPECT_EQ(s.format.biWidth, 65);
        // Source row 0 holds the pixels (0,0,0) (0,6,0) (0,0,fill): columns 0, 1, 2 land on
        // memory rows 96, 95, 94 at column 0.
        const int turned = win::DibStride(65, 24);
        EXPECT_EQ(s.bits[95 * turned + 1], 6);
        EXPECT_EQ(s.bits[94 * turned + 2], FakeFrameByte(0, 6));
    });
}

TEST_P(FrameViewCatchUp, NoStreamOrStoppedEngineShowsNothing) {
    EXPECT_EQ(Show(0, 0), 0);  // before OpenStream
    EXPECT_FALSE(view_.OpenStream(nullptr, nullptr, nullptr));
    EXPECT_EQ(Show(0, 0), 0);
    EXPECT_EQ(ShownRecord(view_), std::make_pair(-1, -1));
    ASSERT_TRUE(view_.OpenStream(engine_.get(), &lock_, nullptr));
    view_.FreeBuffers();
    EXPECT_EQ(Show(0, 1), 0);
    EXPECT_FALSE(view_.GetOverlay().hasStream);

    ASSERT_TRUE(view_.OpenStream(engine_.get(), &lock_, nullptr));
    engine_->Shutdown();
    EXPECT_EQ(Show(0, 1), 0);
    EXPECT_EQ(view_.invalidates.load(), 0);
}

// The paint reads the shown frame on its own thread while frames are pulled and the stream is
// freed; under ThreadSanitizer this proves the locking, and every frame seen must be whole.
TEST_P(FrameViewCatchUp, PaintNeverSeesAHalfWrittenOrFreedFrame) {
    ASSERT_TRUE(view_.OpenStream(engine_.get(), &lock_, nullptr));
    std::atomic<bool> done{false};
    std::atomic<int> torn{0};
    std::thread painter([&] {
        while (!done) {
            view_.WithShownFrame([&](const CFrameView::ShownFrame& s) {
                if (!s.bits)
                    return;
                int32_t pair[2];
                std::memcpy(pair, s.bits, sizeof pair);
                if (pair[0] == 0 && pair[1] == 0 && s.bits[8] == 0)
                    return;  // not yet a frame
                const uint8_t expect = FakeFrameByte(pair[0], pair[1]);
                if (s.bits[s.format.biSizeImage - 2] != expect)
                    ++torn;
            });
            (void)view_.GetOverlay();
        }
    });
    for (int32_t s = 0; s < 6; ++s) {
        for (int32_t i = 0; i < 12; i += 3) view_.ShowFrameAt(s, i);
    }
    view_.FreeBuffers();
    done = true;
    painter.join();
    EXPECT_EQ(torn.load(), 0);
}

// Only stored frames can be damaged: decoded seconds come whole from the component.
class FrameViewStoredCatchUp : public FrameViewCatchUp {};

TEST_P(FrameViewStoredCatchUp, AFrameThatDoesNotDecodeLeavesThePictureBeforeIt) {
    Open("fake:fps=12:w=97:h=65:len=40:damaged=1");
    ASSERT_TRUE(view_.OpenStream(engine_.get(), &lock_, nullptr));
    EXPECT_EQ(Show(0, 11), 1);
    EXPECT_EQ(ShownRecord(view_), std::make_pair(0, 11));
    EXPECT_EQ(Show(1, 6), 1);  // every frame of second 1 is damaged
    EXPECT_EQ(ShownRecord(view_), std::make_pair(0, 11));
    EXPECT_EQ(view_.GetOverlay().position, 1) << "the time text still moves on";
    EXPECT_EQ(Show(2, 0), 1);
    EXPECT_EQ(ShownRecord(view_), std::make_pair(2, 0));
    EXPECT_TRUE(engine_->IsRunning());
}

std::string PathName(const testing::TestParamInfo<FramePath>& info) {
    const char* const names[] = {"Decoded", "Stored", "StoredOnWorker"};
    return names[static_cast<int>(info.param)];
}
INSTANTIATE_TEST_SUITE_P(Paths, FrameViewCatchUp,
                         testing::Values(FramePath::Decoded, FramePath::Stored,
                                         FramePath::StoredOnWorker),
                         PathName);
INSTANTIATE_TEST_SUITE_P(Paths, FrameViewStoredCatchUp,
                         testing::Values(FramePath::Stored, FramePath::StoredOnWorker), PathName);

// ---- frames converted where they lie in the queue --------------------------------------

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

// ---- the view driven by the audio clock -----------------------------------------------

// The output plays a real engine through the virtual device and the view pulls what the clock
// asks for, one notification span at a time.
class FrameViewPlayback : public sound_test::AudioOutputTest {
protected:
    void TearDown() override {
        AudioOutputTest::TearDown();
        view_.FreeBuffers();
    }
    void Open(const std::string& options, int32_t start) {
        engine_ = std::make_unique<CPlaybackEngine>("fake:" + options, start);
        ASSERT_TRUE(view_.OpenStream(engine_.get(), &engineLock_, &wake_));
        ASSERT_EQ(player_.Open(engine_.get(), &wake_, &window_, 1, &engineLock_, &view_), 1);
    }

    CountingView view_;
};

// Backward play at factors 1 and 8, with a decoder that repositions and one that only goes
// forward: every frame shown lies behind the one before, every second down to 0 comes, and
// then the decode thread ends and with it the file.
class FrameViewBackward : public FrameViewPlayback,
                          public testing::WithParamInterface<std::tuple<const char*, int>> {};

TEST_P(FrameViewBackward, RunsFramesBackToSecondZeroAndThenEndsTheFile) {
    const auto [component, speedIndex] = GetParam();
    const bool repositions = std::string(component) != FAKE_TVQ_COMPONENT;
    CTvqDecoder::SetLibraryPathForTesting(component);
    // 12 fps, 4000 Hz stereo 16-bit: 16000 bytes a second, 400 a notification span.
    Open("fps=12:rate=4000:len=40", 3);
    const uint32_t span = player_.GetChunkBytes();
    ASSERT_EQ(span, 400u);
    for (int i = 0; i < 20; ++i) ASSERT_TRUE(Play(span));
    const auto forward = view_.GetFramePosition();
    EXPECT_EQ(forward.first, 3);  // half a second into second 3

    {
        win::ScopedLock e(engineLock_);
        ASSERT_EQ(engine_->SetSpeed(Speed{speedIndex}, &player_, SpeedDirection::Backward), 1);
    }
    const int32_t start = engine_->GetBackwardStart();
    std::vector<std::pair<int32_t, int32_t>> seen;
    std::vector<int32_t> contentSeconds;
    bool drained = false;
    for (int i = 0; i < 2000 && !drained; ++i) {
        // In fast play the view leaves decoding to the decode thread. This clock runs as fast
        // as the loop plays it; a real one leaves the thread time between two notifications.
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (engine_->GetVideoQueuedBytes() == 0 &&
               engine_->GetBaseSecond() >= engine_->GetDecodedSeconds() && engine_->IsRunning() &&
               std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        ASSERT_TRUE(Play(span)) << "the output stopped before the queue ran empty";
        const auto at = view_.GetFramePosition();
        if (at != forward && (seen.empty() || seen.back() != at)) {
            seen.push_back(at);
            contentSeconds.push_back(ShownRecord(view_).first);
        }
        // The view refills an empty queue itself, but the decode thread may not have numbered
        // its next second yet: only an empty queue with the numbering past 0 is the end.
        drained = engine_->GetVideoQueuedBytes() == 0 &&
                  engine_->GetBaseSecond() < engine_->GetDecodedSeconds();
    }
    ASSERT_TRUE(drained) << "the run never emptied its queue";
    ASSERT_TRUE(engine_->WaitForThreadEnd(10000)) << "the decode thread must end at the start";
    device_->Advance(span);
    EXPECT_EQ(wake_.Wait(10000), win::WAIT_OBJECT_0) << "the output must end the file";

    std::string trail;
    for (const auto& p : seen)
        trail += std::to_string(p.first) + ":" + std::to_string(p.second) + " ";
    SCOPED_TRACE(trail);
    ASSERT_GE(seen.size(), 2u);
    for (size_t i = 1; i < seen.size(); ++i) EXPECT_LT(seen[i], seen[i - 1]) << "step " << i;
    EXPECT_LE(seen.front().first, start);
    EXPECT_EQ(seen.back(), std::make_pair(0, 0)) << "the run ends on the first frame of the file";
    if (speedIndex == 0) {
        // At factor 1 no second is passed over.
        for (int32_t s = start - 1; s >= 0; --s) {
            EXPECT_TRUE(std::any_of(seen.begin(), seen.end(), [s](auto p) { return p.first == s; }))
                << "second " << s;
        }
    }
    if (repositions) {
        // The picture really is of the second its label names.
        for (size_t i = 0; i < seen.size(); ++i)
            EXPECT_EQ(contentSeconds[i], seen[i].first) << "step " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(Components, FrameViewBackward,
                         testing::Combine(testing::Values(FAKE_TVQ_COMPONENT, FAKE_TVQ_SEEK,
                                                          FAKE_TVQ_STORED),
                                          testing::Values(0, 3)),
                         [](const testing::TestParamInfo<FrameViewBackward::ParamType>& info) {
                             const std::string component = std::get<0>(info.param);
                             const char* name = component == FAKE_TVQ_STORED ? "StoredRepositioning"
                                                : component == FAKE_TVQ_SEEK ? "Repositioning"
                                                                             : "ForwardOnly";
                             return std::string(name) + "AtFactor" +
                                    std::to_string(SpeedFactor(Speed{std::get<1>(info.param)}));
                         });

}  // namespace
