#include "MoviePattern.h"

#include "Canvas.h"
#include "codec/TestPattern.h"
#include "platform/Text.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numbers>

namespace tvqmake {
namespace {

constexpr double kTwoPi = 2 * std::numbers::pi;
// Melody: a pentatonic tune of eighth notes at 120 beats per minute (semitones above A3,
// -100 = rest), over a bass note per bar.
constexpr double kNoteSeconds = 0.25;
constexpr int kMelody[] = {7,  9,  12, 9,  7,  4, 2, 4, 7,  -100, 4, 2, 0, 2,    4,    -100,
                           12, 14, 16, 14, 12, 9, 7, 9, 12, 9,    7, 4, 7, -100, -100, -100};
constexpr int kBass[] = {-12, -7, -9, -5};
constexpr double kMelodyLevel = 0.28;
constexpr double kBassLevel = 0.18;

Colour Hue(double h, double light) {
    // A cheap HSV-like wheel: three phase-shifted cosines.
    const auto channel = [&](double phase) {
        const double v = 0.5 + 0.5 * std::cos(kTwoPi * (h - phase));
        return static_cast<uint8_t>(std::clamp(light * (40 + 215 * v), 0.0, 255.0));
    };
    return {channel(0.0), channel(1.0 / 3), channel(2.0 / 3)};
}

double NoteHz(int semitonesAboveA3) {
    return 220.0 * std::pow(2.0, semitonesAboveA3 / 12.0);
}

// One plucked note: a sine with a little second harmonic and a decaying envelope.
double Pluck(double hz, double t, double length) {
    if (t < 0 || t >= length)
        return 0;
    const double attack = std::min(1.0, t / 0.01);
    const double release = std::min(1.0, (length - t) / 0.02);
    const double envelope = attack * release * std::exp(-3.0 * t);
    return envelope * (std::sin(kTwoPi * hz * t) + 0.3 * std::sin(kTwoPi * 2 * hz * t));
}

}  // namespace

void MoviePattern::PaintFrame(uint8_t* frameBuffer, int second, int frame) const {
    if (kind_ == PatternKind::Demo)
        PaintDemo(frameBuffer, second, frame);
    else
        PaintTest(frameBuffer, second, frame);
    tvq::WriteFrameMarker(frameBuffer, format_.width, format_.height, format_.Stride(), second,
                          frame);
}

void MoviePattern::PaintTest(uint8_t* frameBuffer, int second, int frame) const {
    Canvas canvas(frameBuffer, format_.width, format_.height, format_.Stride());
    const int w = format_.width, h = format_.height;
    // Background: a gradient whose hue steps with the second, so a jump is visible by eye.
    for (int y = 0; y < h; ++y) {
        const Colour c = Hue(second * 0.13, 0.35 + 0.3 * y / h);
        canvas.FillRect(0, y, w, 1, c);
    }
    // A bar sweeping once per second shows whether frames play smoothly and in order.
    const int barWidth = std::max(2, w / 40);
    canvas.FillRect(frame * (w - barWidth) / std::max(1, format_.framesPerSecond - 1), 0, barWidth,
                    h, {255, 255, 255});
    const int scale = std::max(1, h / 60);
    const int markerH = tvq::FrameMarkerHeight(w, h);
    char line[32];
    std::snprintf(line, sizeof line, "S %d", second);
    const int x = std::max(2, scale * 2);
    int y = markerH + scale * 2;
    canvas.DrawText(x + scale / 2 + 1, y + scale / 2 + 1, scale, line, {0, 0, 0});
    canvas.DrawText(x, y, scale, line, {255, 255, 80});
    std::snprintf(line, sizeof line, "F %02d", frame);
    y += Canvas::TextHeight(scale) + scale * 3;
    canvas.DrawText(x + scale / 2 + 1, y + scale / 2 + 1, scale, line, {0, 0, 0});
    canvas.DrawText(x, y, scale, line, {120, 255, 255});
}

void MoviePattern::PaintDemo(uint8_t* frameBuffer, int second, int frame) const {
    Canvas canvas(frameBuffer, format_.width, format_.height, format_.Stride());
    const int w = format_.width, h = format_.height;
    const double t = second + static_cast<double>(frame) / format_.framesPerSecond;
    for (int y = 0; y < h; ++y) canvas.FillRect(0, y, w, 1, Hue(t / 40 + 0.35 * y / h, 0.45));
    // Bouncing balls: each moves on its own Lissajous path with its own colour.
    constexpr int kBalls = 9;
    for (int i = 0; i < kBalls; ++i) {
        const double fx = 0.11 + 0.037 * i, fy = 0.083 + 0.029 * i;
        const int radius = std::max(2, std::min(w, h) * (6 + i % 4 * 2) / 100);
        const int cx = static_cast<int>(w * (0.5 + 0.42 * std::sin(kTwoPi * fx * t + i)));
        const int cy = static_cast<int>(h * (0.55 + 0.35 * std::sin(kTwoPi * fy * t + 2.0 * i)));
        canvas.FillCircle(cx, cy, radius, Hue(i / double(kBalls) + t / 20, 1.0));
    }
    // A pulsing ring in the middle on the beat.
    const double beat = t * 2 - std::floor(t * 2);
    const int ring = static_cast<int>(std::min(w, h) * (0.08 + 0.1 * beat));
    canvas.FillCircle(w / 2, h / 2, ring, Hue(t / 7, 1.0 - 0.6 * beat));
    canvas.FillCircle(w / 2, h / 2, ring * 3 / 4, Hue(t / 40 + 0.2, 0.45));

    const int scale = std::max(1, h / 90);
    const char* title = "TVQ Player demo";
    const int titleX = (w - Canvas::TextWidth(scale, title)) / 2;
    const int titleY = tvq::FrameMarkerHeight(w, h) + scale * 2;
    canvas.DrawText(titleX + scale, titleY + scale, scale, title, {20, 20, 40});
    canvas.DrawText(titleX, titleY, scale, title, {255, 255, 255});
    const std::string time = win::ClockText(second);
    const int timeX = w - Canvas::TextWidth(scale, time) - scale * 2;
    const int timeY = h - Canvas::TextHeight(scale) - scale * 2;
    canvas.DrawText(timeX + scale, timeY + scale, scale, time, {20, 20, 40});
    canvas.DrawText(timeX, timeY, scale, time, {255, 240, 160});
}

double MoviePattern::MelodySample(long sampleIndex) const {
    const double t = static_cast<double>(sampleIndex) / format_.sampleRate;
    constexpr int kNotes = sizeof kMelody / sizeof kMelody[0];
    const long note = static_cast<long>(t / kNoteSeconds);
    const double inNote = t - note * kNoteSeconds;
    double v = 0;
    const int pitch = kMelody[note % kNotes];
    if (pitch > -100)
        v += kMelodyLevel * Pluck(NoteHz(pitch), inNote, kNoteSeconds);
    constexpr double kBarSeconds = 8 * kNoteSeconds;
    const long bar = static_cast<long>(t / kBarSeconds);
    const double inBar = t - bar * kBarSeconds;
    v += kBassLevel * Pluck(NoteHz(kBass[bar % 4]), inBar, kBarSeconds);
    return v;
}

double MoviePattern::SyncSample(long sampleInSecond) const {
    const long rate = format_.sampleRate, fps = format_.framesPerSecond;
    const long frame = sampleInSecond * fps / rate;
    // Frame k begins at time k / fps: its first sample is the one at or after that time.
    const long t = sampleInSecond - (frame * rate + fps - 1) / fps;
    if (t >= std::min(rate * kSyncBurstMs / 1000, rate / fps / 2))
        return 0;
    const double hz = kSyncLowestHz + kSyncStepHz * (frame % kSyncPitches);
    return 0.5 * std::sin(kTwoPi * hz * static_cast<double>(t) / static_cast<double>(rate));
}

size_t MoviePattern::MakeAudio(uint8_t* pcm, int second, long sampleFrames) const {
    if (kind_ == PatternKind::Test)
        return tvq::WriteToneForSecond(pcm, second, 0, sampleFrames, format_.sampleRate,
                                       format_.channels, format_.bitsPerSample);
    uint8_t* out = pcm;
    const long first = static_cast<long>(second) * format_.sampleRate;
    for (long i = 0; i < sampleFrames; ++i) {
        const double v = std::clamp(
            kind_ == PatternKind::Sync ? SyncSample(i) : MelodySample(first + i), -1.0, 1.0);
        for (int c = 0; c < format_.channels; ++c) {
            if (format_.bitsPerSample == 8) {
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

}  // namespace tvqmake
