#include "codec/TestPattern.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

namespace tvq {
namespace {

constexpr int kMarkerColumns = 8;
constexpr int kMarkerRows = 4;
constexpr int kMarkerBits = kMarkerColumns * kMarkerRows;
// Cell edge in pixels: small enough for 32 x 24 pictures, large enough on big ones to be seen
// and to survive heavy JPEG quantisation.
constexpr int kMinCellPixels = 4;
constexpr int kMaxCellPixels = 16;
// Grey levels of a 0 and a 1 cell; kept off the extremes so JPEG ringing does not clip.
constexpr uint8_t kDarkLevel = 24;
constexpr uint8_t kLightLevel = 232;
constexpr int kLumaThreshold = 128;
// Mixed into the check so that an all-black or all-white block is never a valid marker.
constexpr uint8_t kCheckSalt = 0x5A;

constexpr int kLowestToneHz = 250;
constexpr int kToneStepHz = 6;
// A tone must hold this share of the best a pure tone can reach (1/3 with a Hann window) to
// count; a window split evenly between two seconds still reaches a quarter of it.
constexpr double kMinToneShare = 0.05;
// Below this RMS, as a share of full scale, the audio counts as silence.
constexpr double kSilenceRms = 0.01;
// Audio is averaged down to about this rate before analysis; the highest tone stays well below
// its Nyquist frequency and the transform stays small.
constexpr int kAnalysisRate = 8000;

int CellPixels(int width, int height) {
    if (width < kMarkerMinWidth || height < kMarkerMinHeight)
        return 0;
    return std::clamp(std::min(width / 32, height / 24), kMinCellPixels, kMaxCellPixels);
}

uint8_t Crc8(uint32_t value, int bytes) {
    uint8_t crc = 0;
    for (int i = bytes - 1; i >= 0; --i) {
        crc ^= static_cast<uint8_t>(value >> (8 * i));
        for (int b = 0; b < 8; ++b)
            crc = static_cast<uint8_t>((crc & 0x80) ? (crc << 1) ^ 0x07 : crc << 1);
    }
    return crc;
}

uint32_t MarkerWord(int second, int frame) {
    const uint32_t data =
        (static_cast<uint32_t>(second & 0xFFFF) << 8) | static_cast<uint32_t>(frame & 0xFF);
    return (data << 8) | static_cast<uint8_t>(Crc8(data, 3) ^ kCheckSalt);
}

// Pointer to pixel (x, y) counted from the top-left corner as seen on screen.
inline uint8_t* PixelAt(uint8_t* bgr, int height, int stride, int x, int y) {
    return bgr + static_cast<ptrdiff_t>(height - 1 - y) * stride + static_cast<ptrdiff_t>(x) * 3;
}

int CellLuma(const uint8_t* topRow, ptrdiff_t rowStep, int bytesPerPixel, int cell, int col,
             int row) {
    // Only the inner half of the cell: its edges blur into the neighbours under JPEG.
    const int inset = cell / 4;
    const int x0 = col * cell + inset, x1 = (col + 1) * cell - inset;
    const int y0 = row * cell + inset, y1 = (row + 1) * cell - inset;
    long sum = 0, count = 0;
    for (int y = y0; y < y1; ++y) {
        const uint8_t* p = topRow + y * rowStep + static_cast<ptrdiff_t>(x0) * bytesPerPixel;
        for (int x = x0; x < x1; ++x, p += bytesPerPixel) {
            sum += p[0] + 2 * p[1] + p[2];
            count += 4;
        }
    }
    return count ? static_cast<int>(sum / count) : 0;
}

// In-place radix-2 FFT on separate real and imaginary arrays (plain arithmetic, so it stays
// quick in unoptimised test builds too).
void Fft(std::vector<double>& re, std::vector<double>& im) {
    const size_t n = re.size();
    for (size_t i = 1, j = 0; i < n; ++i) {
        size_t bit = n >> 1;
        for (; j & bit; bit >>= 1) j ^= bit;
        j ^= bit;
        if (i < j) {
            std::swap(re[i], re[j]);
            std::swap(im[i], im[j]);
        }
    }
    for (size_t len = 2; len <= n; len <<= 1) {
        const double angle = -2 * std::numbers::pi / static_cast<double>(len);
        const double stepRe = std::cos(angle), stepIm = std::sin(angle);
        const size_t half = len / 2;
        for (size_t i = 0; i < n; i += len) {
            double wRe = 1, wIm = 0;
            for (size_t k = 0; k < half; ++k) {
                const size_t a = i + k, b = a + half;
                const double vRe = re[b] * wRe - im[b] * wIm;
                const double vIm = re[b] * wIm + im[b] * wRe;
                re[b] = re[a] - vRe;
                im[b] = im[a] - vIm;
                re[a] += vRe;
                im[a] += vIm;
                const double t = wRe * stepRe - wIm * stepIm;
                wIm = wRe * stepIm + wIm * stepRe;
                wRe = t;
            }
        }
    }
}

// Mono samples in -1..1 from interleaved PCM, at most `maxFrames` sample frames, averaged in
// groups of `decimate` (the tones lie far below the reduced rate's Nyquist frequency).
std::vector<double> MixToMono(const uint8_t* pcm, size_t bytes, int channels, int bits,
                              size_t maxFrames, int decimate) {
    const size_t sampleBytes = bits / 8;
    const size_t frameBytes = sampleBytes * channels;
    const size_t frames = std::min(bytes / frameBytes, maxFrames) / decimate;
    std::vector<double> mono(frames);
    for (size_t i = 0; i < frames; ++i) {
        double sum = 0;
        const uint8_t* s = pcm + i * decimate * frameBytes;
        for (int k = 0; k < decimate * channels; ++k, s += sampleBytes)
            sum += bits == 8 ? (s[0] - 128) / 128.0
                             : static_cast<int16_t>(s[0] | (s[1] << 8)) / 32768.0;
        mono[i] = sum / (decimate * channels);
    }
    return mono;
}

}  // namespace

int FrameMarkerWidth(int width, int height) {
    return CellPixels(width, height) * kMarkerColumns;
}

int FrameMarkerHeight(int width, int height) {
    return CellPixels(width, height) * kMarkerRows;
}

void WriteFrameMarker(uint8_t* bottomUpBgr, int width, int height, int stride, int second,
                      int frame) {
    const int cell = CellPixels(width, height);
    if (!bottomUpBgr || cell == 0)
        return;
    const uint32_t word = MarkerWord(second, frame);
    for (int bit = 0; bit < kMarkerBits; ++bit) {
        const uint8_t level = (word >> (kMarkerBits - 1 - bit)) & 1 ? kLightLevel : kDarkLevel;
        const int col = bit % kMarkerColumns, row = bit / kMarkerColumns;
        for (int y = row * cell; y < (row + 1) * cell; ++y)
            std::fill_n(PixelAt(bottomUpBgr, height, stride, col * cell, y), 3 * cell, level);
    }
}

bool ReadFrameMarker(const uint8_t* bottomUpBgr, int width, int height, int stride, int& second,
                     int& frame) {
    if (!bottomUpBgr || height < 1)
        return false;
    return ReadFrameMarkerAt(bottomUpBgr + static_cast<ptrdiff_t>(height - 1) * stride, width,
                             height, -static_cast<ptrdiff_t>(stride), 3, second, frame);
}

bool ReadFrameMarkerAt(const uint8_t* topRow, int width, int height, ptrdiff_t rowStep,
                       int bytesPerPixel, int& second, int& frame) {
    const int cell = CellPixels(width, height);
    if (!topRow || cell == 0 || (bytesPerPixel != 3 && bytesPerPixel != 4))
        return false;
    uint32_t word = 0;
    for (int bit = 0; bit < kMarkerBits; ++bit) {
        const int luma = CellLuma(topRow, rowStep, bytesPerPixel, cell, bit % kMarkerColumns,
                                  bit / kMarkerColumns);
        word = (word << 1) | (luma >= kLumaThreshold ? 1u : 0u);
    }
    const int s = static_cast<int>(word >> 16), f = static_cast<int>((word >> 8) & 0xFF);
    if (MarkerWord(s, f) != word)
        return false;
    second = s;
    frame = f;
    return true;
}

int ToneHzForSecond(int second) {
    const int index = ((second % kToneCycleSeconds) + kToneCycleSeconds) % kToneCycleSeconds;
    return kLowestToneHz + kToneStepHz * index;
}

int DetectSecondFromPcm(const uint8_t* pcm, size_t bytes, int rate, int channels, int bits) {
    if (!pcm || rate <= 0 || channels < 1 || channels > 8 || (bits != 8 && bits != 16))
        return -1;
    const int decimate = std::max(1, rate / kAnalysisRate);
    const double analysisRate = static_cast<double>(rate) / decimate;
    std::vector<double> mono =
        MixToMono(pcm, bytes, channels, bits, static_cast<size_t>(rate), decimate);
    const size_t n = mono.size();
    if (n < 64)
        return -1;
    double mean = 0;
    for (double v : mono) mean += v;
    mean /= static_cast<double>(n);
    double energy = 0, windowEnergy = 0;
    size_t padded = 1;
    while (padded < 2 * n) padded <<= 1;
    std::vector<double> re(padded, 0.0), im(padded, 0.0);
    for (size_t i = 0; i < n; ++i) {
        const double v = mono[i] - mean;
        const double w = 0.5 - 0.5 * std::cos(2 * std::numbers::pi * static_cast<double>(i) /
                                              static_cast<double>(n - 1));
        energy += v * v;
        windowEnergy += w * w;
        re[i] = v * w;
    }
    if (std::sqrt(energy / static_cast<double>(n)) < kSilenceRms)
        return -1;
    Fft(re, im);
    int best = -1;
    double bestPower = 0;
    for (int s = 0; s < kToneCycleSeconds; ++s) {
        const double bin = ToneHzForSecond(s) * static_cast<double>(padded) / analysisRate;
        const size_t b = static_cast<size_t>(std::lround(bin));
        if (b + 1 >= padded / 2)
            break;
        double power = 0;
        for (size_t k = b - 1; k <= b + 1; ++k)
            power = std::max(power, re[k] * re[k] + im[k] * im[k]);
        if (power > bestPower) {
            bestPower = power;
            best = s;
        }
    }
    // Cauchy-Schwarz bounds a bin's power by windowEnergy * energy.
    if (best < 0 || bestPower < kMinToneShare * windowEnergy * energy)
        return -1;
    return best;
}

size_t WriteToneForSecond(uint8_t* pcm, int second, long firstSampleFrame, long sampleFrames,
                          int rate, int channels, int bits) {
    if (!pcm || rate <= 0 || channels < 1 || (bits != 8 && bits != 16) || sampleFrames <= 0)
        return 0;
    const double hz = ToneHzForSecond(second);
    uint8_t* out = pcm;
    for (long i = 0; i < sampleFrames; ++i) {
        // Whole cycles per second: reduce the index so the phase stays exact for long seconds.
        const long n = (firstSampleFrame + i) % rate;
        const double v = 0.5 * std::sin(2 * std::numbers::pi * hz * static_cast<double>(n) / rate);
        for (int c = 0; c < channels; ++c) {
            if (bits == 8) {
                *out++ = static_cast<uint8_t>(std::lround(128 + 127 * v));
            } else {
                const auto s = static_cast<int16_t>(std::lround(32767 * v));
                *out++ = static_cast<uint8_t>(s & 0xFF);
                *out++ = static_cast<uint8_t>((s >> 8) & 0xFF);
            }
        }
    }
    return static_cast<size_t>(out - pcm);
}

}  // namespace tvq
