// The one-pass conversion to the painted image: display modes 0 to 3 turned on the way, from a
// frame in one piece or cut anywhere into two, against the frame view's in-place transforms
// followed by a plain reading of each pixel; and the vector row kernel against the plain loop.
#include "display/FrameConvert.h"

#include <gtest/gtest.h>
#include <QImage>

#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "engine/FrameView.h"
#include "platform/WinTypes.h"

namespace {

using frame_convert::Turn;

std::vector<uint8_t> Noise(size_t bytes, unsigned seed) {
    std::mt19937 gen(seed);
    std::vector<uint8_t> v(bytes);
    for (auto& b : v) b = static_cast<uint8_t>(gen());
    return v;
}

win::BITMAPINFOHEADER Format(int w, int h, uint16_t bits) {
    win::BITMAPINFOHEADER f;
    f.biWidth = w;
    f.biHeight = h;
    f.biBitCount = bits;
    f.biSizeImage = static_cast<uint32_t>(win::DibStride(w, bits) * h);
    return f;
}

int64_t Under(int64_t i, int64_t n, int64_t m) {
    return (2 * i + 1) * m / (2 * n);
}

// The frame turned in place the way the frame view does it, then each output pixel read from
// under its centre, upright.
QImage Reference(std::vector<uint8_t> bits, const win::BITMAPINFOHEADER& f, int mode, QSize size) {
    if (mode == 1)
        CFrameView::FlipRows(bits.data(), f);
    else if (mode == 2)
        CFrameView::MirrorRows(bits.data(), f);
    else if (mode == 3)
        CFrameView::Turn180(bits.data(), f);
    const int64_t stride = win::DibStride(f.biWidth, f.biBitCount);
    QImage out(size, QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y) {
        const int64_t row = f.biHeight - 1 - Under(y, size.height(), f.biHeight);
        for (int x = 0; x < size.width(); ++x) {
            const uint8_t* p =
                bits.data() + row * stride + Under(x, size.width(), f.biWidth) * (f.biBitCount / 8);
            out.setPixel(x, y, qRgb(p[2], p[1], p[0]));
        }
    }
    return out;
}

// Two pieces in buffers of their exact sizes, so a read past either shows under the address
// sanitizer.
struct Pieces {
    std::unique_ptr<uint8_t[]> first, second;
    frame_convert::Source source;
    Pieces(const std::vector<uint8_t>& bits, const win::BITMAPINFOHEADER& f, size_t cut) {
        first = std::make_unique<uint8_t[]>(std::max<size_t>(cut, 1));
        std::memcpy(first.get(), bits.data(), cut);
        source.first = first.get();
        source.firstBytes = cut;
        if (cut < bits.size()) {
            second = std::make_unique<uint8_t[]>(bits.size() - cut);
            std::memcpy(second.get(), bits.data() + cut, bits.size() - cut);
            source.second = second.get();
            source.secondBytes = bits.size() - cut;
        }
        source.width = f.biWidth;
        source.height = f.biHeight;
        source.bytesPerPixel = f.biBitCount / 8;
        source.stride = win::DibStride(f.biWidth, f.biBitCount);
    }
};

TEST(FrameConvert, ModesZeroToThreeInOneOrTwoPiecesMatchTheInPlaceTransforms) {
    // Odd widths pad the rows, odd heights have a middle row (which the half turn reverses
    // like every other); one picture wide enough for the vector kernel's whole blocks, one of 32
    // bits. Each at its own size and scaled both ways.
    const win::BITMAPINFOHEADER formats[] = {Format(97, 65, 24), Format(64, 33, 24),
                                             Format(1, 7, 24),   Format(33, 1, 24),
                                             Format(133, 5, 24), Format(35, 19, 32)};
    unsigned seed = 3;
    for (const auto& f : formats) {
        const auto bits = Noise(f.biSizeImage, seed++);
        const size_t stride = static_cast<size_t>(win::DibStride(f.biWidth, f.biBitCount));
        const size_t total = bits.size();
        // In one piece; cut in the first pixel, mid-pixel, at and around a row's end, in the
        // middle, in the last pixel.
        const size_t cuts[] = {total,  0,          1,         2,         stride - 1,
                               stride, stride + 1, total / 2, total - 3, total - 1};
        const QSize sizes[] = {QSize(f.biWidth, f.biHeight), QSize(2 * f.biWidth + 1, 3),
                               QSize(std::max(1, f.biWidth / 3), 2 * f.biHeight)};
        for (const int mode : {0, 1, 2, 3, 9}) {
            Turn turn;
            ASSERT_TRUE(frame_convert::TurnOfMode(mode, &turn)) << mode;
            for (const QSize size : sizes) {
                const QImage expected = Reference(bits, f, mode, size);
                for (const size_t cut : cuts) {
                    if (cut > total)
                        continue;
                    const Pieces pieces(bits, f, cut);
                    QImage out;
                    frame_convert::ToUprightRgb32(pieces.source, turn, size, out);
                    ASSERT_EQ(out.format(), QImage::Format_RGB32);
                    EXPECT_TRUE(out == expected)
                        << f.biWidth << "x" << f.biHeight << "x" << f.biBitCount << " mode " << mode
                        << " to " << size.width() << "x" << size.height() << " cut " << cut;
                }
            }
        }
    }
}

TEST(FrameConvert, QuarterTurnsAreLeftToTheFrameView) {
    Turn turn;
    EXPECT_FALSE(frame_convert::TurnOfMode(4, &turn));
    EXPECT_FALSE(frame_convert::TurnOfMode(5, &turn));
    ASSERT_TRUE(frame_convert::TurnOfMode(-1, &turn));
    EXPECT_EQ(turn, Turn::kNone);
}

TEST(FrameConvert, SourcesThatDoNotHoldTheWholeFrameGiveANullImage) {
    const auto f = Format(9, 4, 24);
    const auto bits = Noise(f.biSizeImage, 1);
    const QSize size(9, 4);
    QImage out(size, QImage::Format_RGB32);
    Pieces shortOne(bits, f, 10);
    shortOne.source.secondBytes -= 1;
    frame_convert::ToUprightRgb32(shortOne.source, Turn::kNone, size, out);
    EXPECT_TRUE(out.isNull());

    Pieces noSecond(bits, f, 10);
    noSecond.source.second = nullptr;
    frame_convert::ToUprightRgb32(noSecond.source, Turn::kNone, size, out);
    EXPECT_TRUE(out.isNull());

    Pieces narrow(bits, f, bits.size());
    narrow.source.stride = 9 * 3 - 1;
    frame_convert::ToUprightRgb32(narrow.source, Turn::kNone, size, out);
    EXPECT_TRUE(out.isNull());

    Pieces sixteen(bits, f, bits.size());
    sixteen.source.bytesPerPixel = 2;
    frame_convert::ToUprightRgb32(sixteen.source, Turn::kNone, size, out);
    EXPECT_TRUE(out.isNull());

    Pieces good(bits, f, bits.size());
    frame_convert::ToUprightRgb32(good.source, Turn::kNone, QSize(0, 4), out);
    EXPECT_TRUE(out.isNull());
    frame_convert::ToUprightRgb32(good.source, Turn::kNone, size, out);
    EXPECT_FALSE(out.isNull());
}

TEST(FrameConvert, VectorRowKernelMatchesThePlainLoopOnEveryWidthAndBothDirections) {
    // Every width through several whole blocks and a tail, and 720p-like rows; rows with no
    // bytes after their pixels, and with padding. Each row in a buffer of its exact size, and
    // a guard after the output row, so reading or writing past either shows.
    constexpr uint32_t kGuard = 0x12345678u;
    std::vector<int> widths;
    for (int w = 1; w <= 70; ++w) widths.push_back(w);
    for (int w : {1279, 1280, 1281, 1920}) widths.push_back(w);
    unsigned seed = 11;
    for (const int w : widths) {
        for (const size_t pad : {size_t(0), size_t(1), size_t(3)}) {
            const size_t rowBytes = size_t(w) * 3 + pad;
            const auto noise = Noise(rowBytes, seed++);
            const auto row = std::make_unique<uint8_t[]>(rowBytes);
            std::memcpy(row.get(), noise.data(), rowBytes);
            for (const bool mirror : {false, true}) {
                std::vector<uint32_t> fast(size_t(w) + 1, kGuard), plain(size_t(w) + 1, kGuard);
                frame_convert::BgrRowToRgb32(row.get(), w, rowBytes, mirror, fast.data());
                frame_convert::BgrRowToRgb32Plain(row.get(), w, mirror, plain.data());
                EXPECT_EQ(fast, plain) << "width " << w << " pad " << pad << " mirror " << mirror;
                EXPECT_EQ(fast.back(), kGuard);
                // The plain loop itself: first and last pixel where they belong.
                const uint32_t firstPixel =
                    0xFF000000u | uint32_t(noise[2]) << 16 | uint32_t(noise[1]) << 8 | noise[0];
                EXPECT_EQ(plain[mirror ? size_t(w) - 1 : 0], firstPixel) << "width " << w;
            }
        }
    }
}

}  // namespace
