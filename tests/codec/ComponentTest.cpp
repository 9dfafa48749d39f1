// The real TVQ_DecDLL.so, loaded as the player loads it, against the promises its callers
// build on: one second per call with both counts set, exactly fps frames, 2 x count bytes of
// audio, 2 on the call that delivers the last second, short last seconds padded; open files
// independent of each other; and the optional TvqSeek, which reaches every second in any order
// and refuses out-of-range seconds and foreign handles without moving the stream.

#include <tuple>

#include "CodecTestSupport.h"

using namespace tvqtest;

namespace {

using Pair = std::pair<int, int>;

struct Shape {
    const char* name;
    int width, height, fps, rate, channels, bits;
    uint32_t codec;
    int seconds;
    int shortLastMs;
};

void PrintTo(const Shape& s, std::ostream* os) {
    *os << s.name;
}

class ComponentContract : public ::testing::TestWithParam<Shape> {
protected:
    Component component;
};

TEST_P(ComponentContract, DeliversEverySecondInOrderThenEnds) {
    ASSERT_TRUE(component.Loaded()) << TVQ_DECDLL_PATH;
    const Shape shape = GetParam();
    const auto f = Format(shape.width, shape.height, shape.fps, shape.rate, shape.channels,
                          shape.bits, shape.codec, 80);
    TempFolder dir;
    ASSERT_TRUE(WriteMarkedMovie(dir.File("movie.tvq"), f, shape.seconds, shape.shortLastMs));

    OpenMovie movie(component, dir.File("movie.tvq"));
    ASSERT_NE(movie.info, nullptr);
    const TvqStreamInfo& info = *movie.info;
    EXPECT_EQ(std::vector<int>({info.framesPerSecond, info.width, info.height, info.bytesPerPixel,
                                static_cast<int>(info.samplesPerSecond), info.channels,
                                info.bitsPerSample}),
              std::vector<int>({shape.fps, shape.width, shape.height, 3, shape.rate, shape.channels,
                                shape.bits}));
    EXPECT_EQ(tvq::UnpackLength(info.packedLength), static_cast<uint32_t>(shape.seconds));

    const size_t secondBytes = f.AudioBytesPerSecond();
    const int lastStoredFrames =
        shape.shortLastMs ? std::max(1, (shape.shortLastMs * shape.fps + 999) / 1000) : shape.fps;
    std::vector<uint8_t> heard;
    for (int s = 0; s < shape.seconds; ++s) {
        const bool last = s + 1 == shape.seconds;
        EXPECT_EQ(movie.Next() == kTvqEndOfFile, last) << "second " << s;
        ASSERT_EQ(movie.frameCount, shape.fps) << "second " << s;
        ASSERT_GT(movie.audioCount, 0) << "second " << s;
        ASSERT_LE(static_cast<size_t>(movie.audioCount) * 2, secondBytes + 1);
        heard.insert(heard.end(), movie.audio.begin(), movie.audio.begin() + 2 * movie.audioCount);
        const int stored = last ? lastStoredFrames : shape.fps;
        for (int i = 0; i < shape.fps; ++i)
            ASSERT_EQ(Marker(movie.Frame(i), f.width, f.height), Pair(s, std::min(i, stored - 1)))
                << "second " << s << " frame " << i;
    }
    // Exactly fps frames per call: the second half of the buffer was never touched.
    EXPECT_TRUE(std::all_of(movie.frames.begin() + shape.fps * movie.FrameBytes(),
                            movie.frames.end(), [](uint8_t b) { return b == 0xEE; }));
    for (int extra = 0; extra < 3; ++extra) {
        EXPECT_EQ(movie.Next(), kTvqEndOfFile);
        EXPECT_EQ(movie.audioCount, 0);
        EXPECT_EQ(movie.frameCount, 0);
    }

    // Not a byte lost or added over the movie (an odd 8-bit total gets one byte of silence).
    const size_t total = secondBytes * shape.seconds;
    ASSERT_EQ(heard.size(), total + total % 2);
    const uint8_t silence = shape.bits == 8 ? 0x80 : 0x00;
    for (int s = 0; s < shape.seconds; ++s) {
        const bool last = s + 1 == shape.seconds;
        const size_t toneBytes =
            last && shape.shortLastMs
                ? static_cast<size_t>(shape.rate) * shape.shortLastMs / 1000 * f.BlockAlign()
                : secondBytes;
        const uint8_t* start = heard.data() + s * secondBytes;
        EXPECT_EQ(
            tvq::DetectSecondFromPcm(start, toneBytes, shape.rate, shape.channels, shape.bits),
            s % tvq::kToneCycleSeconds)
            << "second " << s;
        if (last) {
            const uint8_t* end = heard.data() + heard.size();
            EXPECT_TRUE(
                std::all_of(start + toneBytes, end, [&](uint8_t b) { return b == silence; }));
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, ComponentContract,
    ::testing::Values(
        Shape{"OddWidth97Jpeg8BitMonoOddByteRate", 97, 61, 10, 11025, 1, 8, tvq::kCodecJpeg, 3, 0},
        Shape{"Wide1278Jpeg16BitStereo", 1278, 720, 25, 22050, 2, 16, tvq::kCodecJpeg, 2, 0},
        Shape{"Tiny75SecondsRaw", 32, 24, 5, 8000, 1, 16, tvq::kCodecRaw, 75, 0},
        Shape{"OneSecondRaw44k", 64, 48, 30, 44100, 2, 16, tvq::kCodecRaw, 1, 0},
        Shape{"ShortLastSecond8BitOdd", 97, 61, 10, 11025, 1, 8, tvq::kCodecJpeg, 3, 400},
        Shape{"ShortLastSecondStereo", 80, 60, 25, 22050, 2, 16, tvq::kCodecRaw, 2, 250},
        Shape{"ShortOnlySecond", 64, 48, 12, 16000, 2, 8, tvq::kCodecJpeg, 1, 300}),
    [](const auto& info) { return std::string(info.param.name); });

// The (second, frame) marker of frame i of the last call.
Pair MarkerOf(const OpenMovie& m, int i = 0) {
    return Marker(m.Frame(i), m.info->width, m.info->height);
}

class ComponentInstances : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(component.Loaded()) << TVQ_DECDLL_PATH; }
    Component component;
    TempFolder dir;
};

TEST_F(ComponentInstances, SeveralOpenFilesAdvanceIndependently) {
    ASSERT_TRUE(WriteMarkedMovie(dir.File("a.tvq"), Format(64, 48, 5, 8000, 1), 4));
    ASSERT_TRUE(
        WriteMarkedMovie(dir.File("b.tvq"), Format(48, 32, 3, 8000, 1, 16, tvq::kCodecRaw), 3));

    OpenMovie first(component, dir.File("a.tvq")), second(component, dir.File("a.tvq")),
        third(component, dir.File("b.tvq"));
    ASSERT_TRUE(first.info && second.info && third.info);
    EXPECT_NE(first.info, second.info);
    EXPECT_EQ(first.Next(), 1);
    EXPECT_EQ(first.Next(), 1);
    EXPECT_EQ(third.Next(), 1);
    EXPECT_EQ(second.Next(), 1);
    EXPECT_EQ(std::make_tuple(MarkerOf(first).first, MarkerOf(second).first, MarkerOf(third).first),
              std::make_tuple(1, 0, 0));
    EXPECT_EQ(std::make_pair(first.frameCount, third.frameCount), std::make_pair(5, 3));
    // Closing one leaves the others working.
    EXPECT_EQ(component.Close(first.info), 1);
    first.info = nullptr;
    EXPECT_EQ(second.Next(), 1);
    EXPECT_EQ(MarkerOf(second).first, 1);
    EXPECT_EQ(third.Next(), 1);
    EXPECT_EQ(third.Next(), kTvqEndOfFile);
    EXPECT_EQ(MarkerOf(third).first, 2);
}

TEST_F(ComponentInstances, ForeignOrClosedHandlesAreRefusedNotUsed) {
    ASSERT_TRUE(WriteMarkedMovie(dir.File("m.tvq"), Format(32, 24, 2, 8000, 1), 2));
    TvqStreamInfo* info = component.Init(dir.File("m.tvq"));
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(component.Close(info), 1);
    EXPECT_EQ(component.Close(info), 0);
    TvqStreamInfo fake{};
    int32_t audioCount = 5, frameCount = 5;
    TvqDecodeRequest request = RequestFor(nullptr, &audioCount, nullptr, &frameCount);
    TvqOpenBlock block{};
    EXPECT_EQ(component.Decode(&request, &block, info), kTvqEndOfFile);
    EXPECT_EQ(component.Decode(&request, &block, &fake), kTvqEndOfFile);
    EXPECT_EQ(component.Decode(nullptr, &block, nullptr), kTvqEndOfFile);
    EXPECT_EQ(component.Close(nullptr), 0);
}

class SeekEntry : public ComponentInstances {
protected:
    void SetUp() override {
        ComponentInstances::SetUp();
        seek_ = component.SeekEntry();
        ASSERT_NE(seek_, nullptr) << "the component exports no TvqSeek";
        ASSERT_TRUE(WriteMarkedMovie(path_, format_, kSeconds));
    }

    // Decodes one call and checks it is second `expected`: first and last frame markers and
    // the second's tone.
    void ExpectDelivers(OpenMovie& movie, int expected) {
        SCOPED_TRACE(testing::Message() << "second " << expected);
        EXPECT_EQ(movie.Next(), expected + 1 == kSeconds ? kTvqEndOfFile : 1);
        ASSERT_EQ(movie.frameCount, format_.framesPerSecond);
        for (int i : {0, format_.framesPerSecond - 1})
            EXPECT_EQ(MarkerOf(movie, i), Pair(expected, i));
        ASSERT_GT(movie.audioCount, 0);
        EXPECT_EQ(tvq::DetectSecondFromPcm(movie.audio.data(), 2 * size_t(movie.audioCount),
                                           format_.sampleRate, 1, 16),
                  expected);
    }

    static constexpr int kSeconds = 12;
    TvqSeekFn seek_ = nullptr;
    std::string path_ = dir.File("seek.tvq");
    tvq::TvqStreamFormat format_ = Format(64, 48, 5, 8000, 1);
};

TEST_F(SeekEntry, EverySecondIsReachedInAnyOrderAndDecodingGoesOnFromIt) {
    OpenMovie movie(component, path_);
    ASSERT_NE(movie.info, nullptr);
    // Backwards from the last second, then a scattered order, each followed by one decode.
    std::vector<int> order;
    for (int s = kSeconds - 1; s >= 0; --s) order.push_back(s);
    for (int s = 0; s < kSeconds; ++s) order.push_back(s * 7 % kSeconds);
    for (int s : order) {
        ASSERT_EQ(seek_(movie.info, s), 1) << s;
        ExpectDelivers(movie, s);
    }
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
    OpenMovie movie(component, path_), other(component, path_);
    ASSERT_NE(movie.info, nullptr);
    ASSERT_NE(other.info, nullptr);
    ASSERT_EQ(seek_(movie.info, 4), 1);
    for (int bad : {-1, kSeconds, kSeconds + 1, INT32_MIN, INT32_MAX})
        EXPECT_EQ(seek_(movie.info, bad), 0) << bad;
    TvqStreamInfo foreign{};
    EXPECT_EQ(seek_(&foreign, 1), 0);
    EXPECT_EQ(seek_(nullptr, 1), 0);
    ExpectDelivers(movie, 4);
    // Seeking one file leaves another where it was; a closed handle is refused.
    ExpectDelivers(other, 0);
    ASSERT_EQ(seek_(movie.info, 9), 1);
    ExpectDelivers(other, 1);
    ExpectDelivers(movie, 9);
    EXPECT_EQ(component.Close(other.info), 1);
    EXPECT_EQ(seek_(other.info, 1), 0);
    other.info = nullptr;
    ExpectDelivers(movie, 10);
}

TEST_F(SeekEntry, AnOddEightBitSecondStartsWholeAfterASeek) {
    // 11025 Hz mono 8-bit: every second is an odd number of bytes, so a byte is carried
    // between calls; after a seek none of the previous second may lead the audio.
    ASSERT_TRUE(WriteMarkedMovie(dir.File("odd.tvq"), Format(32, 24, 2, 11025, 1, 8), 4));
    OpenMovie movie(component, dir.File("odd.tvq"));
    ASSERT_NE(movie.info, nullptr);
    ASSERT_EQ(movie.Next(), 1);
    EXPECT_EQ(movie.audioCount, 11024 / 2);  // the odd byte is held back
    ASSERT_EQ(seek_(movie.info, 2), 1);
    ASSERT_EQ(movie.Next(), 1);
    EXPECT_EQ(movie.audioCount, 11024 / 2);  // second 2 from its first byte, none carried in
    std::vector<uint8_t> expected(11025);
    tvq::WriteToneForSecond(expected.data(), 2, 0, 11025, 11025, 1, 8);
    EXPECT_TRUE(std::equal(expected.begin(), expected.begin() + 11024, movie.audio.begin()));
}

}  // namespace
