// The display-ready copy of a frame: upright RGB32, at the frame's own size or straight at the
// size the paint draws it, taking the source pixel under each output pixel's centre.
#include <gtest/gtest.h>
#include <QImage>

#include <cstdint>
#include <vector>

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

}  // namespace
