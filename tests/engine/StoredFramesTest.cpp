// Stored frames through the real component: the engine queues them as stored (a small part of
// the decoded pictures' size) and every frame shown is the one its labels name, on the stored
// path and on the decoded-second path alike; the decoder refuses damaged or foreign frames and
// picks the smallest DCT scale that covers the size drawn.
#include <gtest/gtest.h>

#include <cstdlib>
#include <utility>
#include <vector>

#include "PlaylistPlayerTestSupport.h"
#include "codec/JpegCodec.h"
#include "codec/TestPattern.h"
#include "codec/TvqComponentApi.h"
#include "engine/FrameBytesPool.h"
#include "engine/PlaybackEngine.h"
#include "engine/StoredFrameDecoder.h"
#include "engine/TvqDecoder.h"

namespace {

using Manual = CPlaybackEngine::ThreadStart;
using namespace playlist_test;
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
    // The (second, frame) markers of every frame the engine hands out, and its labels.
    static std::vector<std::pair<int, int>> Shown(CPlaybackEngine& engine,
                                                  std::vector<std::pair<int, int>>* labels) {
        const auto& f = engine.GetPictureFormat();
        const int32_t image = static_cast<int32_t>(f.biSizeImage);
        std::vector<uint8_t> frame(static_cast<size_t>(image));
        std::vector<std::pair<int, int>> markers;
        int32_t second = 0, index = 0;
        while (engine.EnsureFrame(image + 8) == 1 &&
               engine.ReadFrame(frame.data(), image, &second, &index) == image) {
            int s = -1, n = -1;
            tvq::ReadFrameMarker(frame.data(), f.biWidth, f.biHeight, win::DibStride(f.biWidth, 24),
                                 s, n);
            markers.emplace_back(s, n);
            labels->emplace_back(second, index);
        }
        return markers;
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
        std::vector<std::pair<int, int>> labels;
        const auto markers = Shown(engine, &labels);
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

}  // namespace

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
