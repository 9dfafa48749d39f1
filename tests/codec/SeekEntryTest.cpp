// The component's optional TvqSeek, loaded as the player loads it: every second reachable in
// any order with its own pictures and sound, out-of-range seconds and foreign handles refused
// without moving the stream.
#include "CodecTestSupport.h"
#include "codec/TestPattern.h"

#include <gtest/gtest.h>

#include <vector>

using namespace tvqtest;

namespace {

class SeekEntry : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(component_.Loaded());
        seek_ = component_.SeekEntry();
        ASSERT_NE(seek_, nullptr) << "the component exports no TvqSeek";
        format_.width = 64;
        format_.height = 48;
        format_.framesPerSecond = 5;
        format_.sampleRate = 8000;
        format_.channels = 1;
        ASSERT_TRUE(WriteMarkedMovie(path_, format_, kSeconds));
    }

    // Decodes one call and checks it is second `expected`: first and last frame markers and
    // the second's tone.
    void ExpectDelivers(OpenMovie& movie, int expected) {
        SCOPED_TRACE(testing::Message() << "second " << expected);
        const int result = movie.Next();
        EXPECT_EQ(result, expected + 1 == kSeconds ? kTvqEndOfFile : 1);
        ASSERT_EQ(movie.frameCount, format_.framesPerSecond);
        for (int i : {0, format_.framesPerSecond - 1}) {
            int second = -1, frame = -1;
            ASSERT_TRUE(tvq::ReadFrameMarker(movie.Frame(i), format_.width, format_.height,
                                             format_.Stride(), second, frame));
            EXPECT_EQ(second, expected);
            EXPECT_EQ(frame, i);
        }
        ASSERT_GT(movie.audioCount, 0);
        EXPECT_EQ(tvq::DetectSecondFromPcm(movie.audio.data(), 2 * size_t(movie.audioCount),
                                           format_.sampleRate, 1, 16),
                  expected);
    }

    static constexpr int kSeconds = 12;
    Component component_;
    TvqSeekFn seek_ = nullptr;
    TempFolder dir_;
    std::string path_ = dir_.File("seek.tvq");
    tvq::TvqStreamFormat format_;
};

TEST_F(SeekEntry, EverySecondIsReachedInAnyOrder) {
    OpenMovie movie(component_, path_);
    ASSERT_NE(movie.info, nullptr);
    // Backwards from the last second, then a scattered order, each followed by one decode.
    std::vector<int> order;
    for (int s = kSeconds - 1; s >= 0; --s) order.push_back(s);
    for (int s = 0; s < kSeconds; ++s) order.push_back(s * 7 % kSeconds);
    for (int s : order) {
        ASSERT_EQ(seek_(movie.info, s), 1) << s;
        ExpectDelivers(movie, s);
    }
}

TEST_F(SeekEntry, DecodingGoesOnFromTheSecondSoughtAndPastTheEndAgain) {
    OpenMovie movie(component_, path_);
    ASSERT_NE(movie.info, nullptr);
    ASSERT_EQ(seek_(movie.info, kSeconds - 3), 1);
    for (int s = kSeconds - 3; s < kSeconds; ++s) ExpectDelivers(movie, s);
    EXPECT_EQ(movie.Next(), kTvqEndOfFile);  // over: both counts 0
    EXPECT_EQ(movie.frameCount, 0);
    EXPECT_EQ(movie.audioCount, 0);
    ASSERT_EQ(seek_(movie.info, 0), 1);  // an ended stream plays again from the start
    ExpectDelivers(movie, 0);
    ExpectDelivers(movie, 1);
}

TEST_F(SeekEntry, OutOfRangeSecondsAndForeignHandlesChangeNothing) {
    OpenMovie movie(component_, path_);
    ASSERT_NE(movie.info, nullptr);
    ASSERT_EQ(seek_(movie.info, 4), 1);
    for (int bad : {-1, kSeconds, kSeconds + 1, INT32_MIN, INT32_MAX})
        EXPECT_EQ(seek_(movie.info, bad), 0) << bad;
    TvqStreamInfo foreign{};
    EXPECT_EQ(seek_(&foreign, 1), 0);
    EXPECT_EQ(seek_(nullptr, 1), 0);
    // A closed handle is refused too, and does not disturb the open one.
    TvqStreamInfo* other = component_.Init(path_);
    ASSERT_NE(other, nullptr);
    EXPECT_EQ(component_.Close(other), 1);
    EXPECT_EQ(seek_(other, 1), 0);
    ExpectDelivers(movie, 4);
}

TEST_F(SeekEntry, SeekingOneFileLeavesAnotherWhereItWas) {
    OpenMovie a(component_, path_), b(component_, path_);
    ASSERT_NE(a.info, nullptr);
    ASSERT_NE(b.info, nullptr);
    ExpectDelivers(b, 0);
    ASSERT_EQ(seek_(a.info, 9), 1);
    ExpectDelivers(b, 1);
    ExpectDelivers(a, 9);
}

TEST(SeekEntryOddBytes, AnOddEightBitSecondStartsWholeAfterASeek) {
    // 11025 Hz mono 8-bit: every second is an odd number of bytes, so a byte is carried
    // between calls; after a seek none of the previous second may lead the audio.
    Component component;
    ASSERT_NE(component.SeekEntry(), nullptr);
    TempFolder dir;
    tvq::TvqStreamFormat f;
    f.width = 32, f.height = 24, f.framesPerSecond = 2, f.sampleRate = 11025, f.channels = 1;
    f.bitsPerSample = 8;
    ASSERT_TRUE(WriteMarkedMovie(dir.File("odd.tvq"), f, 4));
    OpenMovie movie(component, dir.File("odd.tvq"));
    ASSERT_NE(movie.info, nullptr);
    ASSERT_EQ(movie.Next(), 1);
    EXPECT_EQ(movie.audioCount, 11024 / 2);  // the odd byte is held back
    ASSERT_EQ(component.SeekEntry()(movie.info, 2), 1);
    ASSERT_EQ(movie.Next(), 1);
    EXPECT_EQ(movie.audioCount, 11024 / 2);  // second 2 from its first byte, none carried in
    std::vector<uint8_t> expected(11025);
    tvq::WriteToneForSecond(expected.data(), 2, 0, 11025, 11025, 1, 8);
    EXPECT_TRUE(std::equal(expected.begin(), expected.begin() + 11024, movie.audio.begin()));
}

}  // namespace
