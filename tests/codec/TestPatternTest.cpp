// The frame marker and the per-second tone every test movie carries, which the tests read
// back to tell each frame and second apart: through JPEG, in any picture layout, in any
// audio format, and never found where they are not.
#include "CodecTestSupport.h"
#include "codec/JpegCodec.h"

#include <set>
#include <tuple>

using namespace tvqtest;

namespace {

struct Size {
    int width, height;
};

void PrintTo(const Size& s, std::ostream* os) {
    *os << s.width << "x" << s.height;
}

class FrameMarkerTest : public ::testing::TestWithParam<Size> {};

TEST_P(FrameMarkerTest, SurvivesRawAndJpegDownToQuality50) {
    const auto [width, height] = GetParam();
    const int stride = StrideFor(width);
    tvq::JpegCodec codec;
    std::vector<uint8_t> jpeg, decoded(static_cast<size_t>(stride) * height);
    const std::tuple<int, int> marks[] = {{0, 0}, {1, 24}, {599, 119}, {65535, 255}, {4321, 7}};
    for (const auto& [second, frame] : marks) {
        auto picture = NoisyFrame(width, height, static_cast<unsigned>(second + frame));
        tvq::WriteFrameMarker(picture.data(), width, height, stride, second, frame);
        EXPECT_EQ(Marker(picture.data(), width, height), std::make_pair(second, frame));
        for (int quality : {50, 85, 100}) {
            ASSERT_TRUE(codec.Encode(picture.data(), width, height, stride, quality, jpeg));
            ASSERT_TRUE(
                codec.Decode(jpeg.data(), jpeg.size(), decoded.data(), width, height, stride));
            EXPECT_EQ(Marker(decoded.data(), width, height), std::make_pair(second, frame))
                << "quality " << quality;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Sizes, FrameMarkerTest,
                         ::testing::Values(Size{32, 24}, Size{97, 61}, Size{320, 240},
                                           Size{1278, 720}, Size{1920, 1080}),
                         [](const auto& info) {
                             return std::to_string(info.param.width) + "x" +
                                    std::to_string(info.param.height);
                         });

TEST(FrameMarker, StaysInsideTheTopLeftCornerAndIsAbsentFromPlainOrNoisyPictures) {
    const int width = 97, height = 61, stride = StrideFor(width);
    std::vector<uint8_t> picture(static_cast<size_t>(stride) * height, 0x77);
    tvq::WriteFrameMarker(picture.data(), width, height, stride, 12, 3);
    const int markerW = tvq::FrameMarkerWidth(width, height);
    const int markerH = tvq::FrameMarkerHeight(width, height);
    ASSERT_GT(markerW, 0);
    // Bottom-up: the top rows on screen are the last rows in memory.
    for (int row = 0; row < height; ++row)
        for (int byte = 0; byte < stride; ++byte) {
            const bool inMarker = row >= height - markerH && byte < markerW * 3;
            if (!inMarker) {
                ASSERT_EQ(picture[static_cast<size_t>(row) * stride + byte], 0x77);
            }
        }
    int s, f;
    for (uint8_t level : {0, 255}) {
        std::fill(picture.begin(), picture.end(), level);
        EXPECT_FALSE(tvq::ReadFrameMarker(picture.data(), width, height, stride, s, f));
    }
    for (unsigned seed = 0; seed < 50; ++seed) {
        auto noisy = NoisyFrame(width, height, seed);
        EXPECT_FALSE(tvq::ReadFrameMarker(noisy.data(), width, height, stride, s, f));
    }
    // Too small to carry one: writing is a no-op and reading fails.
    std::vector<uint8_t> tiny(StrideFor(31) * 24, 0);
    tvq::WriteFrameMarker(tiny.data(), 31, 24, StrideFor(31), 1, 1);
    EXPECT_EQ(std::set<uint8_t>(tiny.begin(), tiny.end()), std::set<uint8_t>{0});
    EXPECT_FALSE(tvq::ReadFrameMarker(tiny.data(), 31, 24, StrideFor(31), s, f));
}

TEST(FrameMarker, ReadsFromTopDownPicturesWithFourBytePixels) {
    const int width = 101, height = 77, stride = StrideFor(width);
    auto picture = NoisyFrame(width, height, 3);
    tvq::WriteFrameMarker(picture.data(), width, height, stride, 321, 9);
    // The same picture top-down with 4-byte pixels, as a screenshot holds it.
    std::vector<uint8_t> rgbx(static_cast<size_t>(width) * 4 * height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < 3; ++c)
                rgbx[(static_cast<size_t>(y) * width + x) * 4 + c] =
                    picture[static_cast<size_t>(height - 1 - y) * stride + x * 3 + 2 - c];
    int s = -1, f = -1;
    ASSERT_TRUE(tvq::ReadFrameMarkerAt(rgbx.data(), width, height, width * 4, 4, s, f));
    EXPECT_EQ(std::make_pair(s, f), std::make_pair(321, 9));
    EXPECT_FALSE(tvq::ReadFrameMarkerAt(rgbx.data(), width, height, width * 4, 2, s, f));
    // Read upside down, the corner holds other pixels: no marker.
    EXPECT_FALSE(tvq::ReadFrameMarker(rgbx.data(), width, height, width * 4, s, f));
}

std::vector<uint8_t> Tone(int second, long firstFrame, long frames, int rate, int channels,
                          int bits) {
    std::vector<uint8_t> pcm(static_cast<size_t>(frames) * channels * bits / 8);
    EXPECT_EQ(tvq::WriteToneForSecond(pcm.data(), second, firstFrame, frames, rate, channels, bits),
              pcm.size());
    return pcm;
}

// Every second of the cycle told apart at 8 kHz also shows the tones distinct and below its
// Nyquist limit; after the cycle they start again.
TEST(Tone, WholeSecondsAreDetectedAtEveryFormat) {
    EXPECT_EQ(tvq::ToneHzForSecond(tvq::kToneCycleSeconds + 5), tvq::ToneHzForSecond(5));
    struct Format {
        int rate, channels, bits;
    };
    for (const Format fmt : {Format{8000, 1, 8}, Format{22050, 2, 16}, Format{44100, 2, 16}}) {
        for (int s = 0; s < tvq::kToneCycleSeconds; s += (fmt.rate == 8000 ? 1 : 37)) {
            const auto pcm = Tone(s, 0, fmt.rate, fmt.rate, fmt.channels, fmt.bits);
            ASSERT_EQ(
                tvq::DetectSecondFromPcm(pcm.data(), pcm.size(), fmt.rate, fmt.channels, fmt.bits),
                s)
                << fmt.rate << " Hz " << fmt.channels << " ch " << fmt.bits << " bit";
        }
    }
}

TEST(Tone, ShortAndStraddlingWindowsReportTheMajoritySecond) {
    const int rate = 22050;
    for (int s : {0, 100, 598}) {
        const auto piece = Tone(s, 5000, rate / 5, rate, 1, 16);
        EXPECT_EQ(tvq::DetectSecondFromPcm(piece.data(), piece.size(), rate, 1, 16), s);
        // 70% of the window from second s, 30% from s + 1.
        auto window = Tone(s, rate - 7 * rate / 20, 7 * rate / 20, rate, 1, 16);
        const auto next = Tone(s + 1, 0, 3 * rate / 20, rate, 1, 16);
        window.insert(window.end(), next.begin(), next.end());
        EXPECT_EQ(tvq::DetectSecondFromPcm(window.data(), window.size(), rate, 1, 16), s);
    }
}

TEST(Tone, SilenceNoiseAndNonsenseGiveMinusOne) {
    std::vector<uint8_t> silence8(8000, 128), silence16(44100 * 4, 0);
    EXPECT_EQ(tvq::DetectSecondFromPcm(silence8.data(), silence8.size(), 8000, 1, 8), -1);
    EXPECT_EQ(tvq::DetectSecondFromPcm(silence16.data(), silence16.size(), 44100, 2, 16), -1);
    std::mt19937 rng(7);
    std::vector<uint8_t> noise(22050 * 2);
    for (auto& b : noise) b = static_cast<uint8_t>(rng());
    EXPECT_EQ(tvq::DetectSecondFromPcm(noise.data(), noise.size(), 22050, 1, 16), -1);
    const auto pcm = Tone(3, 0, 8000, 8000, 1, 8);
    EXPECT_EQ(tvq::DetectSecondFromPcm(pcm.data(), pcm.size(), 8000, 1, 12), -1);
    EXPECT_EQ(tvq::DetectSecondFromPcm(pcm.data(), pcm.size(), 0, 1, 8), -1);
    EXPECT_EQ(tvq::DetectSecondFromPcm(nullptr, 100, 8000, 1, 8), -1);
    EXPECT_EQ(tvq::DetectSecondFromPcm(pcm.data(), 3, 8000, 1, 8), -1);
}

}  // namespace
