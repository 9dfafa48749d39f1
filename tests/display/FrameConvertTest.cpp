// The one-pass conversion to the painted image: display modes 0 to 3 turned on the way, from a
// frame in one piece or cut anywhere into two, against the frame view's in-place transforms
// followed by a plain reading of each pixel; the vector row kernel against the plain loop; the
// video window's copy of a shown frame; and stored frames decoded straight into the image.
#include "display/FrameConvert.h"

#include <gtest/gtest.h>
#include <turbojpeg.h>
#include <QImage>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "codec/TvqComponentApi.h"
#include "display/VideoWnd.h"
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
    Turn quarter;  // the quarter turns are left to the frame view
    EXPECT_FALSE(frame_convert::TurnOfMode(4, &quarter));
    EXPECT_FALSE(frame_convert::TurnOfMode(5, &quarter));
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
        for (const int mode : {0, 1, 2, 3, 9, -1}) {  // modes beyond 0 to 5 are not turned
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

TEST(FrameConvert, SourcesThatDoNotHoldTheWholeFrameGiveANullImage) {
    const auto f = Format(9, 4, 24);
    const auto bits = Noise(f.biSizeImage, 1);
    const auto convert = [&](size_t cut, auto&& spoil, QSize size = QSize(9, 4)) {
        Pieces pieces(bits, f, cut);
        spoil(pieces.source);
        QImage out(size, QImage::Format_RGB32);
        frame_convert::ToUprightRgb32(pieces.source, Turn::kNone, size, out);
        return out;
    };
    using Source = frame_convert::Source;
    EXPECT_TRUE(convert(10, [](Source& s) { s.secondBytes -= 1; }).isNull());
    EXPECT_TRUE(convert(10, [](Source& s) { s.second = nullptr; }).isNull());
    EXPECT_TRUE(convert(bits.size(), [](Source& s) { s.first = nullptr; }).isNull());
    EXPECT_TRUE(convert(bits.size(), [](Source& s) { s.stride = 9 * 3 - 1; }).isNull());
    EXPECT_TRUE(convert(bits.size(), [](Source& s) { s.bytesPerPixel = 2; }).isNull());
    EXPECT_TRUE(convert(
                    bits.size(), [](Source&) {}, QSize(0, 4))
                    .isNull());
    EXPECT_FALSE(convert(bits.size(), [](Source&) {}).isNull());
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

// ---- the video window's copy of a shown frame ---------------------------------------

TEST(VideoWndConvert, OwnAndDoubledSizesCopyEveryPixelAndKeepTheImage) {
    const auto f = Format(5, 3, 24);
    const auto bits = Noise(f.biSizeImage, 2);
    CFrameView::ShownFrame shown;
    shown.bits = bits.data();
    shown.format = f;
    // Pixel (x, y) counted from the top left, as the screen shows it.
    const auto at = [&](int x, int y) {
        const uint8_t* p = bits.data() + (2 - y) * win::DibStride(5, 24) + x * 3;
        return qRgb(p[2], p[1], p[0]);
    };
    QImage twice, same;
    CVideoWnd::ConvertUpright(shown, QSize(10, 6), twice);
    CVideoWnd::ConvertUpright(shown, QSize(5, 3), same);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x) {
            EXPECT_EQ(same.pixel(x, y), at(x, y));
            for (int d = 0; d < 4; ++d)
                EXPECT_EQ(twice.pixel(2 * x + d % 2, 2 * y + d / 2), at(x, y));
        }
    // The image is kept when the size stays.
    const uchar* kept = same.constBits();
    CVideoWnd::ConvertUpright(shown, QSize(5, 3), same);
    EXPECT_EQ(same.constBits(), kept);
    shown.bits = nullptr;
    CVideoWnd::ConvertUpright(shown, QSize(5, 3), same);
    EXPECT_TRUE(same.isNull());
}

// ---- stored frames decoded straight into the painted image ---------------------------

// A JPEG of `w` x `h` whose pixel (x, y) from the top left is RGB (4x, 4y, 128): every row and
// column differs from its neighbours, so a turned or misplaced row shows.
StoredFrame GradientJpeg(int w, int h) {
    std::vector<uint8_t> rgb(static_cast<size_t>(w) * h * 3);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint8_t* p = &rgb[(static_cast<size_t>(y) * w + x) * 3];
            p[0] = static_cast<uint8_t>(4 * x), p[1] = static_cast<uint8_t>(4 * y), p[2] = 128;
        }
    tjhandle compressor = tjInitCompress();
    unsigned char* jpeg = nullptr;
    unsigned long size = 0;
    const int rc =
        tjCompress2(compressor, rgb.data(), w, 0, h, TJPF_RGB, &jpeg, &size, TJSAMP_444, 98, 0);
    StoredFrame frame;
    if (rc == 0) {
        frame.codec = kTvqCodecJpeg;
        frame.bytes = std::make_shared<const std::vector<uint8_t>>(jpeg, jpeg + size);
    }
    tjFree(jpeg);
    tjDestroy(compressor);
    return frame;
}

int Distance(QRgb a, QRgb b) {
    return std::abs(qRed(a) - qRed(b)) + std::abs(qGreen(a) - qGreen(b)) +
           std::abs(qBlue(a) - qBlue(b));
}

TEST(VideoWndStoredDecode, EveryModeAndScaleShowsThePictureTheRightWayRound) {
    const int w = 64, h = 48;
    const StoredFrame frame = GradientJpeg(w, h);
    ASSERT_FALSE(frame.IsEmpty());
    CStoredFrameDecoder decoder;
    std::vector<uint8_t> scratch;
    QImage whole;
    ASSERT_TRUE(
        CVideoWnd::DecodeStored(frame, Format(w, h, 24), 0, QSize(w, h), decoder, scratch, whole));
    ASSERT_EQ(whole.size(), QSize(w, h));
    // Straight from the decoder, upright and in RGB order.
    int far = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            far += Distance(whole.pixel(x, y), qRgb(4 * x, 4 * y, 128)) > 12;
    EXPECT_EQ(far, 0);

    struct Case {
        int mode;
        QSize size;
    };
    // Half the size is a DCT scale (decoded straight); a third is not (decoded at the half and
    // scaled); modes 1 to 3 turn on the way.
    for (const Case c : {Case{0, {32, 24}}, Case{0, {21, 16}}, Case{1, {64, 48}}, Case{2, {32, 24}},
                         Case{3, {21, 16}}}) {
        SCOPED_TRACE(testing::Message() << "mode " << c.mode << " at " << c.size.width());
        QImage out;
        ASSERT_TRUE(CVideoWnd::DecodeStored(frame, Format(w, h, 24), c.mode, c.size, decoder,
                                            scratch, out));
        ASSERT_EQ(out.size(), c.size);
        const bool upDown = c.mode == 1 || c.mode == 3, mirror = c.mode == 2 || c.mode == 3;
        int wrong = 0;
        for (int y = 0; y < c.size.height(); ++y)
            for (int x = 0; x < c.size.width(); ++x) {
                int sx = static_cast<int>(Under(x, c.size.width(), w)),
                    sy = static_cast<int>(Under(y, c.size.height(), h));
                if (mirror)
                    sx = w - 1 - sx;
                if (upDown)
                    sy = h - 1 - sy;
                // A scaled decode averages a few source pixels: within one step of the gradient.
                wrong += Distance(out.pixel(x, y), whole.pixel(sx, sy)) > 24;
            }
        EXPECT_EQ(wrong, 0);
    }
}

}  // namespace
