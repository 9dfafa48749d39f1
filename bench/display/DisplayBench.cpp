// Per shown frame: the notification thread's pull (one record copied out of the queue) and
// display-mode transform, and the user-interface thread's paint (compose the scene into the
// memory image, then copy it to the window's backing store), for each display mode.
//
// Alternatives for the unscaled picture are measured beside the one the window uses:
//   converted - the window's choice: the notification thread has made an upright RGB32 copy
//               (its cost is in BM_PullTransform's "+convert" rows and BM_ConvertUpright),
//               the paint draws it without conversion
//   flip      - the bottom-up frame in one drawImage under a flipping transform (Qt's
//               scaled path, even at 1:1)
//   rows      - the bottom-up frame, one plain 1:1 row copy per line
//   mirrored  - a flipped copy made with QImage::mirrored, then drawn
//   direct    - converted, painted straight into the backing store without the memory image
//
// Run with QT_QPA_PLATFORM=offscreen (set here when unset). The paint counts the CPU time of
// every thread, as Qt may hand parts of a large drawing to its own worker threads.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <QApplication>
#include <QFont>
#include <QImage>
#include <QPainter>
#include <cstring>
#include <random>
#include <vector>

#include "display/VideoWnd.h"

namespace {

struct Size {
    int w, h;
    float zoom;
};
const Size kSizes[] = {{320, 240, 2.0f}, {1280, 720, 1.0f}, {1920, 1080, 1.0f}};

win::BITMAPINFOHEADER Format(int w, int h) {
    win::BITMAPINFOHEADER f;
    f.biWidth = w;
    f.biHeight = h;
    f.biBitCount = 24;
    f.biSizeImage = static_cast<uint32_t>(win::DibStride(w, 24) * h);
    return f;
}

std::vector<uint8_t> Noise(size_t bytes) {
    std::vector<uint8_t> v(bytes);
    std::mt19937 gen(7);
    for (auto& b : v) b = static_cast<uint8_t>(gen());
    return v;
}

void Transform(int mode, uint8_t* bits, const win::BITMAPINFOHEADER& f, uint8_t* turned) {
    switch (mode) {
        case 1:
            CFrameView::FlipRows(bits, f);
            break;
        case 2:
            CFrameView::MirrorRows(bits, f);
            break;
        case 3:
            CFrameView::Turn180(bits, f);
            break;
        case 4:
            CFrameView::Rotate90(bits, f, turned);
            break;
        case 5:
            CFrameView::Rotate270(bits, f, turned);
            break;
        default:
            break;
    }
}

// Notification thread: copy one record's frame out of the queue, turn it.
void BM_PullTransform(benchmark::State& state) {
    const Size s = kSizes[state.range(0)];
    const int mode = static_cast<int>(state.range(1));
    const auto f = Format(s.w, s.h);
    const auto queued = Noise(f.biSizeImage);
    std::vector<uint8_t> frame(f.biSizeImage);
    std::vector<uint8_t> turned(CFrameView::RotatedFormat(f).biSizeImage + 1000);
    const bool convert = state.range(2) != 0;
    const bool isTurned = mode == 4 || mode == 5;
    CFrameView::ShownFrame prepared;
    prepared.bits = isTurned ? turned.data() : frame.data();
    prepared.format = isTurned ? CFrameView::RotatedFormat(f) : f;
    QImage upright;
    for (auto _ : state) {
        std::memcpy(frame.data(), queued.data(), f.biSizeImage);
        Transform(mode, frame.data(), f, turned.data());
        if (convert)
            CVideoWnd::ConvertUpright(prepared, upright);
        benchmark::ClobberMemory();
    }
    state.SetLabel(std::to_string(s.w) + "x" + std::to_string(s.h) + " mode " +
                   std::to_string(mode) + (convert ? " +convert" : ""));
}

struct PaintSetup {
    Size size;
    win::BITMAPINFOHEADER format;  // of the shown frame (turned in modes 4 and 5)
    std::vector<uint8_t> bits;
    QImage composed, backing;
    QRect target;
    QFont font;

    PaintSetup(const Size& s, int mode) : size(s) {
        const auto f = Format(s.w, s.h);
        format = (mode == 4 || mode == 5) ? CFrameView::RotatedFormat(f) : f;
        bits = Noise(format.biSizeImage);
        const QSize window(static_cast<int>(s.w * s.zoom), static_cast<int>(s.h * s.zoom));
        composed = QImage(window, QImage::Format_RGB32);
        backing = QImage(window, QImage::Format_RGB32);
        const int w = static_cast<int>(format.biWidth * s.zoom);
        const int h = static_cast<int>(format.biHeight * s.zoom);
        target = QRect((window.width() - w) / 2, (window.height() - h) / 2, w, h);
        font.setPixelSize(12);
    }
    CFrameView::ShownFrame Shown() const {
        CFrameView::ShownFrame shown;
        shown.bits = bits.data();
        shown.format = format;
        return shown;
    }
    void Texts(QPainter& p) const {
        p.setFont(font);
        p.setPen(QColor(0, 255, 0));
        p.drawText(composed.width() - 70, composed.height() - 8, QStringLiteral("1:05/2:05"));
    }
};

enum Variant { kConverted, kFlip, kRows, kMirrored, kDirect };
const char* const kVariantNames[] = {"converted", "flip", "rows", "mirrored", "direct"};

// User-interface thread: the whole paint of one frame.
void BM_Paint(benchmark::State& state) {
    const Size s = kSizes[state.range(0)];
    const int mode = static_cast<int>(state.range(1));
    const auto variant = static_cast<Variant>(state.range(2));
    PaintSetup setup(s, mode);
    const CFrameView::ShownFrame shown = setup.Shown();
    QImage upright;
    CVideoWnd::ConvertUpright(shown, upright);
    for (auto _ : state) {
        QImage& scene = variant == kDirect ? setup.backing : setup.composed;
        scene.fill(Qt::black);
        {
            QPainter p(&scene);
            switch (variant) {
                case kRows:
                    CVideoWnd::DrawFrame(p, shown, setup.target, CVideoWnd::FrameBlit::RowByRow);
                    break;
                case kFlip:
                    CVideoWnd::DrawFrame(p, shown, setup.target, CVideoWnd::FrameBlit::PainterFlip);
                    break;
                case kMirrored: {
                    const QImage wrapped(shown.bits, shown.format.biWidth, shown.format.biHeight,
                                         win::DibStride(shown.format.biWidth, 24),
                                         QImage::Format_BGR888);
                    p.drawImage(setup.target, wrapped.mirrored(false, true));
                    break;
                }
                case kConverted:
                case kDirect:
                    if (setup.target.size() == upright.size())
                        p.drawImage(setup.target.topLeft(), upright);
                    else
                        p.drawImage(setup.target, upright);
                    break;
            }
            setup.Texts(p);
        }
        if (variant != kDirect) {
            QPainter window(&setup.backing);
            window.drawImage(0, 0, setup.composed);
        }
        benchmark::DoNotOptimize(setup.backing.constBits());
    }
    state.SetLabel(std::to_string(s.w) + "x" + std::to_string(s.h) + " zoom " +
                   std::to_string(s.zoom).substr(0, 3) + " mode " + std::to_string(mode) + " " +
                   kVariantNames[variant]);
}

// The conversion alone: bottom-up BGR to upright RGB32.
void BM_ConvertUpright(benchmark::State& state) {
    const Size s = kSizes[state.range(0)];
    const auto f = Format(s.w, s.h);
    const auto bits = Noise(f.biSizeImage);
    CFrameView::ShownFrame shown;
    shown.bits = bits.data();
    shown.format = f;
    QImage out;
    for (auto _ : state) {
        CVideoWnd::ConvertUpright(shown, out);
        benchmark::DoNotOptimize(out.constBits());
    }
    state.SetLabel(std::to_string(s.w) + "x" + std::to_string(s.h));
}

void PullArgs(benchmark::internal::Benchmark* b) {
    for (int size = 0; size < 3; ++size)
        for (int mode = 0; mode < 6; ++mode)
            for (int convert : {0, 1}) b->Args({size, mode, convert});
}

void PaintArgs(benchmark::internal::Benchmark* b) {
    for (int size = 0; size < 3; ++size) {
        for (int mode = 0; mode < 6; ++mode) b->Args({size, mode, kConverted});
        for (int variant : {kFlip, kRows, kMirrored, kDirect}) b->Args({size, 0, variant});
    }
}

}  // namespace

BENCHMARK(BM_PullTransform)->Apply(PullArgs)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Paint)->Apply(PaintArgs)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();
BENCHMARK(BM_ConvertUpright)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
