// The player's JPEG decode takes libjpeg-turbo's fast paths (inverse DCT, chroma upsampling).
// They must cost nothing a viewer could see: measured against the picture that was encoded,
// the fast decode is as close as the exact one, on smooth gradients, hard colour edges (where
// plain chroma upsampling differs most) and noise.
#include "CodecTestSupport.h"
#include "codec/JpegCodec.h"

#include <turbojpeg.h>

#include <cmath>
#include <limits>

using tvqtest::StrideFor;

namespace {

// Bottom-up BGR: a gradient with saturated colour bars across it and mild noise.
std::vector<uint8_t> TestPicture(int width, int height) {
    const int stride = StrideFor(width);
    std::vector<uint8_t> frame(static_cast<size_t>(stride) * height, 0);
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> noise(-6, 6);
    static const uint8_t kBars[][3] = {{255, 255, 255}, {0, 255, 255}, {255, 255, 0}, {0, 255, 0},
                                       {255, 0, 255},   {0, 0, 255},   {255, 0, 0},   {0, 0, 0}};
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            uint8_t* p = &frame[static_cast<size_t>(y) * stride + x * 3];
            const bool bar = y >= height / 3 && y < 2 * height / 3;
            const uint8_t* colour = kBars[x * 8 / width];
            for (int c = 0; c < 3; ++c) {
                const int base = bar ? colour[c]
                                     : (c == 0   ? x
                                        : c == 1 ? y
                                                 : x + y) *
                                           255 / (width + height);
                p[c] = static_cast<uint8_t>(std::clamp(base + noise(rng), 0, 255));
            }
        }
    return frame;
}

// Over the picture's pixels only (the row padding is not part of it).
double Psnr(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b, int width, int height) {
    const int stride = StrideFor(width);
    double sum = 0;
    for (int y = 0; y < height; ++y)
        for (int i = 0; i < width * 3; ++i) {
            const double d = double(a[static_cast<size_t>(y) * stride + i]) -
                             double(b[static_cast<size_t>(y) * stride + i]);
            sum += d * d;
        }
    const double mse = sum / (double(width) * height * 3);
    return mse == 0 ? std::numeric_limits<double>::infinity() : 10 * std::log10(255.0 * 255 / mse);
}

// libjpeg-turbo's exact decode, for comparison.
std::vector<uint8_t> ExactDecode(const std::vector<uint8_t>& jpeg, int width, int height) {
    const int stride = StrideFor(width);
    std::vector<uint8_t> out(static_cast<size_t>(stride) * height, 0);
    tjhandle handle = tjInitDecompress();
    EXPECT_NE(handle, nullptr);
    if (!handle)
        return out;
    EXPECT_EQ(tjDecompress2(handle, jpeg.data(), static_cast<unsigned long>(jpeg.size()),
                            out.data(), width, stride, height, TJPF_BGR, TJFLAG_BOTTOMUP),
              0);
    tjDestroy(handle);
    return out;
}

TEST(JpegDecodeQuality, FastDecodeIsAsCloseToTheSourceAsTheExactOne) {
    // lossDb: what the fast decode may give up against the exact one. Plain chroma upsampling
    // shows most at saturated colour edges: the small picture is dense with them (and is
    // compressed harder by them) and pays up to 2 dB; at 720p the edges are a small part.
    struct Case {
        int width, height, quality;
        double lossDb;
    };
    for (const Case c :
         {Case{1280, 720, 85, 1.0}, Case{1280, 720, 95, 1.0}, Case{321, 241, 85, 2.5}}) {
        SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height) + " q" +
                     std::to_string(c.quality));
        const int stride = StrideFor(c.width);
        const auto source = TestPicture(c.width, c.height);
        tvq::JpegCodec codec;
        std::vector<uint8_t> jpeg, fast(static_cast<size_t>(stride) * c.height, 0);
        ASSERT_TRUE(codec.Encode(source.data(), c.width, c.height, stride, c.quality, jpeg));
        ASSERT_TRUE(codec.Decode(jpeg.data(), jpeg.size(), fast.data(), c.width, c.height, stride));
        const auto exact = ExactDecode(jpeg, c.width, c.height);

        const double exactToSource = Psnr(exact, source, c.width, c.height);
        const double fastToSource = Psnr(fast, source, c.width, c.height);
        const double fastToExact = Psnr(fast, exact, c.width, c.height);
        // The compression itself sets the quality; the fast paths may not lose a visible part
        // of it, nor drift far from the exact decode (a wrong layout or colour order would).
        EXPECT_GT(exactToSource, 25.0);
        EXPECT_GT(fastToSource, exactToSource - c.lossDb);
        EXPECT_GT(fastToExact, 28.0);
    }
}

}  // namespace
