// Reads what the player produced in an end-to-end run:
//   tvq-e2e-probe tones AUDIO.raw RATE CHANNELS BITS
//       prints the seconds whose tones are heard, in order (repeats collapsed), one line
//   tvq-e2e-probe marker SHOT.png WIDTH HEIGHT
//       finds a WIDTHxHEIGHT movie picture drawn 1:1 in the screenshot and prints
//       "<second> <frame> <x> <y>" from its frame marker; exit 1 when there is none
#include <QImage>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "codec/TestPattern.h"

namespace {

int Tones(const char* path, int rate, int channels, int bits) {
    std::ifstream in(path, std::ios::binary);
    const std::vector<uint8_t> pcm((std::istreambuf_iterator<char>(in)),
                                   std::istreambuf_iterator<char>());
    // Half-second windows: a window across two seconds reports the one that fills more of it.
    const size_t window = static_cast<size_t>(rate / 2) * channels * (bits / 8);
    int last = -2;
    for (size_t at = 0; at + window <= pcm.size(); at += window) {
        const int second = tvq::DetectSecondFromPcm(pcm.data() + at, window, rate, channels, bits);
        if (second < 0 || second == last)
            continue;
        std::printf("%s%d", last == -2 ? "" : " ", second);
        last = second;
    }
    std::printf("\n");
    return 0;
}

// A marker cell's centre is grey, either dark (24, unlike the black around the picture) or
// light (232). Returns 0 dark, 1 light, -1 not a cell.
int CellAt(const QImage& image, int x, int y) {
    if (x < 0 || y < 0 || x >= image.width() || y >= image.height())
        return -1;
    const QRgb p = reinterpret_cast<const QRgb*>(image.constScanLine(y))[x];
    const int r = qRed(p), g = qGreen(p), b = qBlue(p);
    if (std::abs(r - g) > 24 || std::abs(g - b) > 24)
        return -1;
    if (g >= 8 && g <= 64)
        return 0;
    return g >= 180 ? 1 : -1;
}

int Marker(const char* path, int width, int height) {
    const QImage shot = QImage(QString::fromLocal8Bit(path)).convertToFormat(QImage::Format_RGB32);
    if (shot.isNull())
        return 2;
    const int blockW = tvq::FrameMarkerWidth(width, height);
    const int blockH = tvq::FrameMarkerHeight(width, height);
    if (blockW == 0)
        return 2;
    const int cell = blockW / 8;
    for (int y = 0; y + blockH <= shot.height(); ++y) {
        for (int x = 0; x + blockW <= shot.width(); ++x) {
            int lights = 0, darks = 0;
            bool cells = true;
            for (int i = 0; i < 32 && cells; ++i) {
                const int bit =
                    CellAt(shot, x + (i % 8) * cell + cell / 2, y + (i / 8) * cell + cell / 2);
                cells = bit >= 0;
                lights += bit == 1;
                darks += bit == 0;
            }
            // A marker always mixes both (its check byte sees to that); plain areas do not.
            if (!cells || lights == 0 || darks == 0)
                continue;
            // The marker read where the candidate picture's top left corner is on screen.
            int second = 0, index = 0;
            if (tvq::ReadFrameMarkerAt(shot.constScanLine(y) + 4 * x, width, height,
                                       shot.bytesPerLine(), 4, second, index)) {
                std::printf("%d %d %d %d\n", second, index, x, y);
                return 0;
            }
        }
    }
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "tones" && argc == 6)
        return Tones(argv[2], std::atoi(argv[3]), std::atoi(argv[4]), std::atoi(argv[5]));
    if (mode == "marker" && argc == 5)
        return Marker(argv[2], std::atoi(argv[3]), std::atoi(argv[4]));
    std::fprintf(stderr,
                 "usage: tvq-e2e-probe tones AUDIO RATE CHANNELS BITS | marker PNG WIDTH HEIGHT\n");
    return 2;
}
