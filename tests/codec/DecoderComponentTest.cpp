// The real TVQ_DecDLL.so, loaded as the player loads it, against the promises its callers
// build on: one second per call with both counts set, exactly fps frames, 2 x count bytes of
// audio, 2 on the call that delivers the last second, short last seconds padded.
#include "CodecTestSupport.h"
#include "codec/TestPattern.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace tvqtest;

namespace {

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

tvq::TvqStreamFormat FormatOf(const Shape& s) {
    tvq::TvqStreamFormat f;
    f.width = s.width;
    f.height = s.height;
    f.framesPerSecond = s.fps;
    f.sampleRate = s.rate;
    f.channels = s.channels;
    f.bitsPerSample = s.bits;
    f.videoCodec = s.codec;
    f.jpegQuality = 80;
    return f;
}

TEST_P(ComponentContract, DeliversEverySecondInOrderThenEnds) {
    ASSERT_TRUE(component.Loaded()) << TVQ_DECDLL_PATH;
    const Shape shape = GetParam();
    const tvq::TvqStreamFormat f = FormatOf(shape);
    TempFolder dir;
    const std::string path = dir.File("movie.tvq");
    ASSERT_TRUE(WriteMarkedMovie(path, f, shape.seconds, shape.shortLastMs));

    OpenMovie movie(component, path);
    ASSERT_NE(movie.info, nullptr);
    const TvqStreamInfo& info = *movie.info;
    EXPECT_EQ(info.framesPerSecond, shape.fps);
    EXPECT_EQ(info.width, shape.width);
    EXPECT_EQ(info.height, shape.height);
    EXPECT_EQ(info.bytesPerPixel, 3);
    EXPECT_EQ(info.samplesPerSecond, static_cast<uint32_t>(shape.rate));
    EXPECT_EQ(info.channels, shape.channels);
    EXPECT_EQ(info.bitsPerSample, shape.bits);
    EXPECT_EQ(tvq::UnpackLength(info.packedLength), static_cast<uint32_t>(shape.seconds));

    const size_t secondBytes = f.AudioBytesPerSecond();
    const int lastStoredFrames =
        shape.shortLastMs ? std::max(1, (shape.shortLastMs * shape.fps + 999) / 1000) : shape.fps;
    std::vector<uint8_t> heard;
    for (int s = 0; s < shape.seconds; ++s) {
        const int result = movie.Next();
        const bool last = s + 1 == shape.seconds;
        EXPECT_EQ(result == kTvqEndOfFile, last) << "second " << s;
        ASSERT_EQ(movie.frameCount, shape.fps) << "second " << s;
        ASSERT_GT(movie.audioCount, 0) << "second " << s;
        ASSERT_LE(static_cast<size_t>(movie.audioCount) * 2, secondBytes + 1);
        heard.insert(heard.end(), movie.audio.begin(), movie.audio.begin() + 2 * movie.audioCount);
        const int stored = last ? lastStoredFrames : shape.fps;
        for (int i = 0; i < shape.fps; ++i) {
            int ms = -1, mf = -1;
            ASSERT_TRUE(tvq::ReadFrameMarker(movie.Frame(i), f.width, f.height, f.Stride(), ms, mf))
                << "second " << s << " frame " << i;
            EXPECT_EQ(ms, s);
            EXPECT_EQ(mf, std::min(i, stored - 1));
        }
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
        const uint8_t* end = heard.data() + heard.size();
        EXPECT_EQ(
            tvq::DetectSecondFromPcm(start, toneBytes, shape.rate, shape.channels, shape.bits),
            s % tvq::kToneCycleSeconds)
            << "second " << s;
        if (last) {
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

TEST(ComponentInstances, SeveralOpenFilesAdvanceIndependently) {
    Component component;
    ASSERT_TRUE(component.Loaded());
    TempFolder dir;
    tvq::TvqStreamFormat a, b;
    a.width = 64, a.height = 48, a.framesPerSecond = 5, a.sampleRate = 8000, a.channels = 1;
    a.bitsPerSample = 16, a.videoCodec = tvq::kCodecJpeg;
    b = a;
    b.width = 48, b.height = 32, b.framesPerSecond = 3, b.videoCodec = tvq::kCodecRaw;
    ASSERT_TRUE(WriteMarkedMovie(dir.File("a.tvq"), a, 4));
    ASSERT_TRUE(WriteMarkedMovie(dir.File("b.tvq"), b, 3));

    OpenMovie first(component, dir.File("a.tvq")), second(component, dir.File("a.tvq")),
        third(component, dir.File("b.tvq"));
    ASSERT_TRUE(first.info && second.info && third.info);
    EXPECT_NE(first.info, second.info);
    const auto markerSecond = [](const OpenMovie& m) {
        int s = -1, f = -1;
        const int stride = (m.info->width * 3 + 3) & ~3;
        return tvq::ReadFrameMarker(m.Frame(0), m.info->width, m.info->height, stride, s, f) ? s
                                                                                             : -1;
    };
    EXPECT_EQ(first.Next(), 1);
    EXPECT_EQ(first.Next(), 1);
    EXPECT_EQ(third.Next(), 1);
    EXPECT_EQ(second.Next(), 1);
    EXPECT_EQ(markerSecond(first), 1);
    EXPECT_EQ(markerSecond(second), 0);
    EXPECT_EQ(markerSecond(third), 0);
    EXPECT_EQ(third.frameCount, 3);
    EXPECT_EQ(first.frameCount, 5);
    // Closing one leaves the others working.
    EXPECT_EQ(component.Close(first.info), 1);
    first.info = nullptr;
    EXPECT_EQ(second.Next(), 1);
    EXPECT_EQ(markerSecond(second), 1);
    EXPECT_EQ(third.Next(), 1);
    EXPECT_EQ(third.Next(), kTvqEndOfFile);
    EXPECT_EQ(markerSecond(third), 2);
}

TEST(ComponentInstances, ForeignOrClosedHandlesAreRefusedNotUsed) {
    Component component;
    ASSERT_TRUE(component.Loaded());
    TempFolder dir;
    tvq::TvqStreamFormat f;
    f.width = 32, f.height = 24, f.framesPerSecond = 2, f.sampleRate = 8000, f.channels = 1;
    ASSERT_TRUE(WriteMarkedMovie(dir.File("m.tvq"), f, 2));
    TvqStreamInfo* info = component.Init(dir.File("m.tvq"));
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(component.Close(info), 1);
    EXPECT_EQ(component.Close(info), 0);
    TvqStreamInfo fake{};
    int32_t audioCount = 5, frameCount = 5;
    TvqDecodeRequest request{
        1, 0, reinterpret_cast<uintptr_t>(&audioCount), 0, reinterpret_cast<uintptr_t>(&frameCount),
        0};
    TvqOpenBlock block{};
    EXPECT_EQ(component.Decode(&request, &block, info), kTvqEndOfFile);
    EXPECT_EQ(component.Decode(&request, &block, &fake), kTvqEndOfFile);
    EXPECT_EQ(component.Decode(nullptr, &block, nullptr), kTvqEndOfFile);
    EXPECT_EQ(component.Close(nullptr), 0);
}

}  // namespace
