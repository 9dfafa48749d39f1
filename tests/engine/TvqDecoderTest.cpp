// The decoders. The wrapper of the decoder component against the fake one: what it derives
// from the stream info, when it reports a load failure, that nothing of an incomplete library
// is called, the call order and that decode calls never overlap; the optional seek entry, used
// when present and harmless when absent. Stored frames through the real component: the engine
// queues them as stored (a small part of the decoded pictures' size) and every frame shown is
// the one its labels name, on the stored path and on the decoded-second path alike; the
// stored-frame decoder refuses damaged or foreign frames and picks the smallest DCT scale that
// covers the size drawn; their byte buffers are lent on to the next frames.
#include "engine/TvqDecoder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <thread>
#include <utility>
#include <vector>

#include "FakeTvq.h"
#include "PlaylistPlayerTestSupport.h"
#include "codec/JpegCodec.h"
#include "codec/TestPattern.h"
#include "codec/TvqComponentApi.h"
#include "engine/FrameBytesPool.h"
#include "engine/PlaybackEngine.h"
#include "engine/StoredFrameDecoder.h"
#include "platform/MessageBox.h"

namespace {

using namespace playlist_test;

TvqOpenBlock Block(const std::string& path) {
    TvqOpenBlock block{};
    path.copy(block.path, sizeof block.path - 1);
    return block;
}

// A decode request with buffers large enough for any stream these tests open.
struct Request {
    std::vector<uint8_t> audio = std::vector<uint8_t>(1 << 20);
    std::vector<uint8_t> frames = std::vector<uint8_t>(1 << 22);
    int32_t audioCount = 0, frameCount = 0;
    TvqDecodeRequest request{1,
                             reinterpret_cast<uintptr_t>(audio.data()),
                             reinterpret_cast<uintptr_t>(&audioCount),
                             reinterpret_cast<uintptr_t>(frames.data()),
                             reinterpret_cast<uintptr_t>(&frameCount),
                             0};
};

// The fields callers use, in declaration order, so a whole format compares at once.
std::vector<int64_t> Fields(const win::BITMAPINFOHEADER& b) {
    return {b.biSize,     b.biWidth,       b.biHeight,   b.biPlanes,
            b.biBitCount, b.biCompression, b.biSizeImage};
}
std::vector<int64_t> Fields(const win::WAVEFORMATEX& w) {
    return {w.wFormatTag,  w.nChannels,      w.nSamplesPerSec, w.nAvgBytesPerSec,
            w.nBlockAlign, w.wBitsPerSample, w.cbSize};
}
using Values = std::vector<int64_t>;

// The (second, index) pair the fake writes at the start of a frame, `offset` bytes in.
std::pair<int32_t, int32_t> FirstFrameMarker(const Request& r, size_t offset = 0) {
    int32_t marker[2];
    std::memcpy(marker, r.frames.data() + offset, sizeof marker);
    return {marker[0], marker[1]};
}

class TvqDecoderTest : public ::testing::Test {
protected:
    void SetUp() override {
        boxes_ = std::make_shared<win::RecordingMessageBoxService>();
        win::SetMessageBoxService(boxes_);
    }
    void TearDown() override {
        CTvqDecoder::SetLibraryPathForTesting("");
        win::SetMessageBoxService(nullptr);
    }
    // The fake component at `path`, which the decoders made next will load.
    static FakeTvqLibrary Use(const char* path) {
        CTvqDecoder::SetLibraryPathForTesting(path);
        return FakeTvqLibrary(path);
    }
    std::shared_ptr<win::RecordingMessageBoxService> boxes_;
};

TEST_F(TvqDecoderTest, DerivesPaddedPictureAndPcmFormatsFromTheStream) {
    auto fake = Use(FAKE_TVQ_COMPONENT);
    CTvqDecoder decoder(Block("fake:fps=12:w=97:h=65:rate=22050:ch=2:bits=16"));
    ASSERT_EQ(decoder.IsUsable(), 1);
    // Rows of 291 bytes padded to 292.
    EXPECT_EQ(Fields(decoder.GetPictureFormat()),
              (Values{40, 97, 65, 1, 24, win::BI_RGB, 292 * 65}));
    EXPECT_EQ(Fields(decoder.GetAudioFormat()), (Values{1, 2, 22050, 88200, 4, 16, 0}));
    EXPECT_EQ(decoder.GetFramesPerSecond(), 12);
    EXPECT_TRUE(boxes_->Boxes().empty());
}

TEST_F(TvqDecoderTest, MissingLibraryReportsTheErrorNumberAndKeepsTheDefaults) {
    CTvqDecoder::SetLibraryPathForTesting("/nonexistent/folder/TVQ_DecDLL.so");
    Request r;
    {
        CTvqDecoder decoder(Block("/movies/a.tvq"));
        EXPECT_EQ(decoder.IsUsable(), 0);
        EXPECT_EQ(decoder.Decode(&r.request), 0);
        EXPECT_EQ(decoder.GetLengthSeconds(), 0);
        EXPECT_EQ(Fields(decoder.GetPictureFormat()),
                  (Values{40, 96, 64, 1, 24, win::BI_RGB, 18432}));
        const auto& wf = decoder.GetAudioFormat();
        EXPECT_EQ((Values{wf.nSamplesPerSec, wf.nAvgBytesPerSec, wf.nBlockAlign}),
                  (Values{11025, 88100, 4}));
        EXPECT_EQ(decoder.GetFramesPerSecond(), 16);
    }
    const auto boxes = boxes_->Boxes();
    ASSERT_EQ(boxes.size(), 1u);
    const std::string prefix = "Error loading lame_enc.DLL err=";
    ASSERT_EQ(boxes[0].text.rfind(prefix, 0), 0u) << boxes[0].text;
    const std::string number = boxes[0].text.substr(prefix.size());
    ASSERT_FALSE(number.empty());
    EXPECT_EQ(number.find_first_not_of("0123456789"), std::string::npos) << number;
    EXPECT_NE(std::stoi(number), 0);
    EXPECT_EQ(boxes[0].caption, "");
    EXPECT_EQ(boxes[0].flags, win::MB_OK);
}

TEST_F(TvqDecoderTest, LibraryLackingAnEntryPointIsNeverCalled) {
    for (const char* path : {FAKE_TVQ_NO_INIT, FAKE_TVQ_NO_DECODER, FAKE_TVQ_NO_CLOSE}) {
        SCOPED_TRACE(path);
        auto fake = Use(path);
        ASSERT_TRUE(fake.Loaded());
        Request r;
        {
            CTvqDecoder decoder(Block("fake:len=5"));
            EXPECT_EQ(decoder.IsUsable(), 0);
            EXPECT_EQ(decoder.Decode(&r.request), 0);
        }
        const FakeTvqStats s = fake.Stats();
        EXPECT_EQ((Values{s.initCalls, s.decodeCalls, s.closeCalls}), (Values{0, 0, 0}));
    }
    const auto boxes = boxes_->Boxes();
    ASSERT_EQ(boxes.size(), 3u);
    for (const auto& box : boxes) EXPECT_EQ(box.text, "Error loading lame_enc.DLL err=127");
}

TEST_F(TvqDecoderTest, RefusedFileIsQuietlyUnusableAndNeverDecodedSoughtOrClosed) {
    auto fake = Use(FAKE_TVQ_SEEK);
    Request r;
    {
        CTvqDecoder decoder(Block("fake:refuse=1"));
        EXPECT_EQ(decoder.IsUsable(), 0);
        EXPECT_EQ(decoder.Decode(&r.request), 0);
        EXPECT_EQ(+decoder.GetPictureFormat().biWidth, 96);
        EXPECT_EQ(decoder.HasSeek(), 0);
        EXPECT_EQ(decoder.Seek(0), 0);
    }
    const FakeTvqStats s = fake.Stats();
    EXPECT_EQ((Values{s.initCalls, s.decodeCalls, s.seekCalls, s.closeCalls}),
              (Values{1, 0, 0, 0}));
    EXPECT_TRUE(boxes_->Boxes().empty());
}

TEST_F(TvqDecoderTest, OpensOnceDecodesWithItsOwnBlockAndClosesAtDestruction) {
    auto fake = Use(FAKE_TVQ_COMPONENT);
    Request r;
    auto decoder = std::make_unique<CTvqDecoder>(Block("fake:fps=4:len=3"));
    EXPECT_EQ(fake.Stats().initCalls, 1);
    EXPECT_EQ(decoder->Decode(&r.request), 1);
    EXPECT_EQ(r.frameCount, 4);
    EXPECT_EQ(r.audioCount, 2500 * 2 * 2 / 2);
    EXPECT_EQ(FirstFrameMarker(r, 3 * (16 * 3 * 8)), std::make_pair(0, 3));  // 16x8 frames
    EXPECT_EQ(decoder->Decode(&r.request), 1);
    EXPECT_EQ(decoder->Decode(&r.request), kTvqEndOfFile);
    EXPECT_EQ(fake.Stats().closeCalls, 0);
    decoder.reset();
    // The same block and info on every call.
    const FakeTvqStats s = fake.Stats();
    EXPECT_EQ((Values{s.decodeCalls, s.closeCalls, s.openStreams, s.badArguments}),
              (Values{3, 1, 0, 0}));
}

TEST_F(TvqDecoderTest, SeekMakesTheNextDecodeDeliverThatSecondAndIsRefusedWithoutTheEntry) {
    Request r;
    {
        auto plain = Use(FAKE_TVQ_COMPONENT);
        CTvqDecoder decoder(Block("fake:fps=2:len=10"));
        ASSERT_EQ(decoder.IsUsable(), 1);
        EXPECT_EQ(decoder.HasSeek(), 0);
        EXPECT_EQ(decoder.Seek(5), 0);
        EXPECT_EQ(decoder.Decode(&r.request), 1);
        EXPECT_EQ(FirstFrameMarker(r), std::make_pair(0, 0));  // the refused seek moved nothing
    }
    auto fake = Use(FAKE_TVQ_SEEK);
    ASSERT_TRUE(fake.Loaded());
    CTvqDecoder decoder(Block("fake:fps=2:len=10"));
    ASSERT_EQ(decoder.IsUsable(), 1);
    EXPECT_EQ(decoder.HasSeek(), 1);
    EXPECT_EQ(decoder.Seek(7), 1);
    EXPECT_EQ(decoder.Decode(&r.request), 1);
    EXPECT_EQ(FirstFrameMarker(r), std::make_pair(7, 0));
    // Out of range: refused, and decoding goes on from where it was.
    EXPECT_EQ(decoder.Seek(-1), 0);
    EXPECT_EQ(decoder.Seek(10), 0);
    EXPECT_EQ(decoder.Decode(&r.request), 1);
    EXPECT_EQ(FirstFrameMarker(r), std::make_pair(8, 0));
    // Back to the start and to the last second, also after the end was reported.
    EXPECT_EQ(decoder.Decode(&r.request), kTvqEndOfFile);
    EXPECT_EQ(decoder.Seek(0), 1);
    EXPECT_EQ(decoder.Decode(&r.request), 1);
    EXPECT_EQ(FirstFrameMarker(r), std::make_pair(0, 0));
    EXPECT_EQ(decoder.Seek(9), 1);
    EXPECT_EQ(decoder.Decode(&r.request), kTvqEndOfFile);
    EXPECT_EQ(FirstFrameMarker(r), std::make_pair(9, 0));
    const FakeTvqStats s = fake.Stats();
    EXPECT_EQ((Values{s.seekCalls, s.seeksRefused, s.lastSeekTarget, s.badArguments}),
              (Values{5, 2, 9, 0}));
    EXPECT_TRUE(boxes_->Boxes().empty());
}

TEST_F(TvqDecoderTest, DecodesAndSeeksFromSeveralThreadsNeverOverlap) {
    auto fake = Use(FAKE_TVQ_SEEK);
    CTvqDecoder decoder(Block("fake:fps=2:w=8:h=2:len=1000:spin=200"));
    const auto decoding = [&] {
        Request r;
        for (int i = 0; i < 40; ++i) decoder.Decode(&r.request);
    };
    std::thread a(decoding), b(decoding), seeking([&] {
        for (int i = 0; i < 200; ++i) decoder.Seek(i % 1000);
    });
    a.join();
    b.join();
    seeking.join();
    const FakeTvqStats s = fake.Stats();
    EXPECT_EQ((Values{s.decodeCalls, s.seekCalls, s.maxConcurrent}), (Values{80, 200, 1}));
}

// The measure is the codec's own, whose cut and unfinished files the codec tests go through.
TEST_F(TvqDecoderTest, MeasuresAMovieWithoutTheComponent) {
    TempFolder dir;
    ASSERT_TRUE(MakeMovie(dir.Path() + "whole.tvq", MovieSpec{.seconds = 4}));
    EXPECT_EQ(CTvqDecoder::MeasureMovieLength(dir.Path() + "whole.tvq"), 4);
    EXPECT_EQ(CTvqDecoder::MeasureMovieLength(dir.Path() + "missing.tvq"), -1);
}

TEST_F(TvqDecoderTest, PackedLengthIsUnpackedAndZeroIsAskedAgain) {
    auto fake = Use(FAKE_TVQ_COMPONENT);
    {
        CTvqDecoder decoder(Block("fake:len=3723"));  // 1:02:03
        EXPECT_EQ(decoder.GetLengthSeconds(), 3723);
    }
    fake.Reset();
    Request r;
    CTvqDecoder decoder(Block("fake:fps=1:len=125:len0until=2"));
    EXPECT_EQ(decoder.GetLengthSeconds(), 0);
    decoder.Decode(&r.request);
    EXPECT_EQ(decoder.GetLengthSeconds(), 0);
    decoder.Decode(&r.request);  // the component now knows the length
    EXPECT_EQ(decoder.GetLengthSeconds(), 125);
}

// ---- stored frames --------------------------------------------------------------------

using Manual = CPlaybackEngine::ThreadStart;
using Size = CStoredFrameDecoder::Size;

class StoredFramesTest : public ::testing::Test {
protected:
    void SetUp() override {
        CTvqDecoder::SetLibraryPathForTesting(BinFolder() + CTvqDecoder::kLibraryName);
        movie_ = folder_.Path() + "m.tvq";
        ASSERT_TRUE(MakeMovie(movie_, spec_));
    }
    void TearDown() override {
        CTvqDecoder::SetLibraryPathForTesting("");
        unsetenv("TVQ_DECODED_FRAMES");
    }
    MovieSpec spec_{.seconds = 3, .fps = 5, .width = 320, .height = 240};
    TempFolder folder_;
    std::string movie_;
};

TEST_F(StoredFramesTest, BothPathsShowTheFramesTheirLabelsNameAndStoredOnesQueueLittle) {
    for (const bool decoded : {false, true}) {
        SCOPED_TRACE(decoded ? "decoded seconds" : "stored frames");
        if (decoded)
            setenv("TVQ_DECODED_FRAMES", "1", 1);
        CPlaybackEngine engine(movie_, 0, Manual::Manual);
        ASSERT_EQ(engine.GetOpened(), 1);
        EXPECT_EQ(engine.DeliversStoredFrames(), decoded ? 0 : 1);
        const int64_t decodedSecond = int64_t{engine.GetPictureFormat().biSizeImage} * spec_.fps;
        if (!decoded) {
            EXPECT_LT(engine.GetVideoQueuedBytes() * 4, decodedSecond)
                << "stored frames must queue far less than their decoded pictures";
        }
        // The (second, frame) markers of every frame the engine hands out, and its labels.
        const auto& f = engine.GetPictureFormat();
        const int32_t image = static_cast<int32_t>(f.biSizeImage);
        std::vector<uint8_t> frame(static_cast<size_t>(image));
        std::vector<std::pair<int, int>> markers, labels;
        int32_t second = 0, index = 0;
        while (engine.EnsureFrame(image + 8) == 1 &&
               engine.ReadFrame(frame.data(), image, &second, &index) == image) {
            int s = -1, n = -1;
            tvq::ReadFrameMarker(frame.data(), f.biWidth, f.biHeight, win::DibStride(f.biWidth, 24),
                                 s, n);
            markers.emplace_back(s, n);
            labels.emplace_back(second, index);
        }
        ASSERT_EQ(markers.size(), size_t(spec_.seconds * spec_.fps));
        EXPECT_EQ(markers, labels);
        EXPECT_EQ(labels.back(), std::make_pair(spec_.seconds - 1, spec_.fps - 1));
    }
}

TEST(StoredFrameDecoderTest, RefusesDamagedAndForeignFramesAndDecodesAtTheScaleAsked) {
    const Size full{64, 48};
    const int stride = win::DibStride(full.width, 24);
    std::vector<uint8_t> picture(size_t(stride) * full.height, 0x80);
    std::vector<uint8_t> jpeg;
    tvq::JpegCodec codec;
    ASSERT_TRUE(codec.Encode(picture.data(), full.width, full.height, stride, 90, jpeg));
    const auto frameOf = [](std::vector<uint8_t> bytes) {
        return StoredFrame{0, 0, kTvqCodecJpeg,
                           std::make_shared<const std::vector<uint8_t>>(std::move(bytes))};
    };
    CStoredFrameDecoder decoder;
    std::vector<uint8_t> out(size_t(full.width) * full.height * 4, 0);
    using Layout = CStoredFrameDecoder::Layout;
    EXPECT_TRUE(
        decoder.Decode(frameOf(jpeg), full, full, Layout::Bgr24BottomUp, out.data(), stride));
    EXPECT_NEAR(out[0], 0x80, 6);
    // A quarter-size decode fills exactly its own rows.
    std::fill(out.begin(), out.end(), 0);
    ASSERT_TRUE(decoder.Decode(frameOf(jpeg), full, Size{16, 12}, Layout::Bgrx32TopDown, out.data(),
                               16 * 4));
    EXPECT_NEAR(out[16 * 12 * 4 - 2], 0x80, 6);
    EXPECT_EQ(out[16 * 12 * 4], 0);
    // Damaged, cut to its header, of other dimensions, or empty: refused, never written past.
    std::vector<uint8_t> damaged = jpeg;
    for (size_t n = damaged.size() / 3; n < damaged.size(); ++n) damaged[n] = 0xFF;
    EXPECT_FALSE(
        decoder.Decode(frameOf(damaged), full, full, Layout::Bgr24BottomUp, out.data(), stride));
    EXPECT_FALSE(decoder.Decode(frameOf({jpeg.begin(), jpeg.begin() + 20}), full, full,
                                Layout::Bgr24BottomUp, out.data(), stride));
    EXPECT_FALSE(decoder.Decode(frameOf(jpeg), Size{32, 24}, Size{32, 24}, Layout::Bgr24BottomUp,
                                out.data(), stride));
    EXPECT_FALSE(
        decoder.Decode(frameOf({}), full, full, Layout::Bgr24BottomUp, out.data(), stride));

    // The smallest scale that still covers what is drawn.
    EXPECT_EQ(CStoredFrameDecoder::ScaledSize({1920, 1080}, {960, 540}), (Size{960, 540}));
    EXPECT_EQ(CStoredFrameDecoder::ScaledSize({1920, 1080}, {961, 540}).width, 1200);
    EXPECT_EQ(CStoredFrameDecoder::ScaledSize({1920, 1080}, {200, 100}), (Size{240, 135}));
    EXPECT_EQ(CStoredFrameDecoder::ScaledSize({1920, 1080}, {1920, 1080}), (Size{1920, 1080}));
    EXPECT_EQ(CStoredFrameDecoder::ScaledSize({1920, 1080}, {3000, 2000}), (Size{1920, 1080}));
}

TEST(FrameBytesPool, AFreedFrameLendsItsBufferToTheNextAndOutlivesThePool) {
    const std::vector<uint8_t> big(1000, 7), small(10, 3);
    auto pool = std::make_unique<CFrameBytesPool>();
    CFrameBytesPool::Bytes first = pool->Copy(big.data(), big.size());
    const uint8_t* buffer = first->data();
    first.reset();
    const CFrameBytesPool::Bytes second = pool->Copy(small.data(), small.size());
    EXPECT_EQ(second->data(), buffer);  // the kept buffer, its room left as it was
    EXPECT_EQ(*second, small);
    // A frame still shown when the engine and its pool close is freed on its own.
    pool.reset();
    EXPECT_EQ(*second, small);
}

}  // namespace
