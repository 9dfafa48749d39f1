// The display-ready copy of a frame: upright RGB32, at the frame's own size or straight at the
// size the paint draws it, taking the source pixel under each output pixel's centre.
#include <gtest/gtest.h>
#include <turbojpeg.h>
#include <QImage>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

#include "codec/TvqComponentApi.h"
#include "display/VideoWnd.h"
#include "platform/WinTypes.h"

namespace {

struct Frame {
    win::BITMAPINFOHEADER format;
    std::vector<uint8_t> bits;

    // Every byte different, so a pixel taken from the wrong place shows.
    Frame(int width, int height, uint16_t bitCount) {
        format.biWidth = width;
        format.biHeight = height;
        format.biBitCount = bitCount;
        bits.resize(static_cast<size_t>(win::DibStride(width, bitCount)) * height);
        for (size_t i = 0; i < bits.size(); ++i) bits[i] = static_cast<uint8_t>(i * 31 + 7);
    }
    CFrameView::ShownFrame Shown() const {
        CFrameView::ShownFrame s;
        s.bits = bits.data();
        s.format = format;
        return s;
    }
    // Pixel (x, y) counted from the top left, as the screen shows it.
    QRgb At(int x, int y) const {
        const int stride = win::DibStride(format.biWidth, format.biBitCount);
        const uint8_t* p = bits.data() + static_cast<size_t>(format.biHeight - 1 - y) * stride +
                           x * (format.biBitCount / 8);
        return qRgb(p[2], p[1], p[0]);
    }
};

// Source column or row under the centre of output column or row i of n, over a source of m.
int Under(int i, int n, int m) {
    return static_cast<int>((2 * int64_t(i) + 1) * m / (2 * int64_t(n)));
}

TEST(VideoWndConvert, ScaledCopyTakesThePixelUnderEachCentreInEveryDirection) {
    // Down, up, and one side each way; odd sizes, so rows are padded and the last pixel of
    // the last memory row ends the buffer.
    const QSize sizes[] = {{33, 21}, {194, 130}, {97, 130}, {200, 20}, {1, 1}};
    for (uint16_t bits : {uint16_t(24), uint16_t(32)}) {
        const Frame frame(97, 65, bits);
        for (const QSize size : sizes) {
            QImage out;
            CVideoWnd::ConvertUpright(frame.Shown(), size, out);
            ASSERT_EQ(out.size(), size);
            ASSERT_EQ(out.format(), QImage::Format_RGB32);
            int wrong = 0;
            for (int y = 0; y < size.height(); ++y)
                for (int x = 0; x < size.width(); ++x)
                    wrong += out.pixel(x, y) !=
                             frame.At(Under(x, size.width(), 97), Under(y, size.height(), 65));
            EXPECT_EQ(wrong, 0) << bits << " bits to " << size.width() << "x" << size.height();
        }
    }
}

TEST(VideoWndConvert, DoubledCopyRepeatsEachPixelTwiceAndTheOwnSizeCopiesEveryPixel) {
    const Frame frame(5, 3, 24);
    QImage twice, same;
    CVideoWnd::ConvertUpright(frame.Shown(), QSize(10, 6), twice);
    CVideoWnd::ConvertUpright(frame.Shown(), QSize(5, 3), same);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x) {
            EXPECT_EQ(same.pixel(x, y), frame.At(x, y));
            for (int d = 0; d < 4; ++d)
                EXPECT_EQ(twice.pixel(2 * x + d % 2, 2 * y + d / 2), frame.At(x, y));
        }
    // The image is kept when the size stays, made anew when it changes.
    const uchar* kept = same.constBits();
    CVideoWnd::ConvertUpright(frame.Shown(), QSize(5, 3), same);
    EXPECT_EQ(same.constBits(), kept);
}

TEST(VideoWndConvert, UnusableFramesOrSizesGiveANullImage) {
    const Frame frame(8, 8, 24);
    QImage out;
    CVideoWnd::ConvertUpright(frame.Shown(), QSize(0, 4), out);
    EXPECT_TRUE(out.isNull());
    CFrameView::ShownFrame none = frame.Shown();
    none.bits = nullptr;
    CVideoWnd::ConvertUpright(none, QSize(8, 8), out);
    EXPECT_TRUE(out.isNull());
    Frame sixteen(8, 8, 24);
    sixteen.format.biBitCount = 16;
    CVideoWnd::ConvertUpright(sixteen.Shown(), QSize(8, 8), out);
    EXPECT_TRUE(out.isNull());
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

win::BITMAPINFOHEADER PictureOf(int w, int h) {
    win::BITMAPINFOHEADER f;
    f.biWidth = w;
    f.biHeight = h;
    f.biBitCount = 24;
    return f;
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
        CVideoWnd::DecodeStored(frame, PictureOf(w, h), 0, QSize(w, h), decoder, scratch, whole));
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
        ASSERT_TRUE(
            CVideoWnd::DecodeStored(frame, PictureOf(w, h), c.mode, c.size, decoder, scratch, out));
        ASSERT_EQ(out.size(), c.size);
        const bool upDown = c.mode == 1 || c.mode == 3, mirror = c.mode == 2 || c.mode == 3;
        int wrong = 0;
        for (int y = 0; y < c.size.height(); ++y)
            for (int x = 0; x < c.size.width(); ++x) {
                int sx = Under(x, c.size.width(), w), sy = Under(y, c.size.height(), h);
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

TEST(VideoWndStoredDecode, ADamagedOrForeignFrameDoesNotDecode) {
    CStoredFrameDecoder decoder;
    std::vector<uint8_t> scratch;
    QImage out;
    StoredFrame frame = GradientJpeg(64, 48);
    EXPECT_FALSE(
        CVideoWnd::DecodeStored(frame, PictureOf(96, 48), 0, QSize(96, 48), decoder, scratch, out))
        << "a frame of other dimensions belongs to no stream of this size";
    auto cut = std::make_shared<std::vector<uint8_t>>(*frame.bytes);
    cut->resize(40);
    frame.bytes = cut;
    EXPECT_FALSE(
        CVideoWnd::DecodeStored(frame, PictureOf(64, 48), 2, QSize(32, 24), decoder, scratch, out));
}

}  // namespace
