// How long one second of movie takes to decode as the component decodes it (file read, PCM,
// frames on two threads), for 1280x720 and 1920x1080 at 25 fps, JPEG quality 85. Goals: at most
// 50 ms and 125 ms per second of movie. Also one core alone, and coding for comparison.
//
// TvqSeek then one decode call, at positions spread over a 2-hour 1280x720 movie
// (TVQ_BENCH_SEEK_SECONDS sets another length): the cost must not grow with the position. The
// movie's pictures are smooth and coded once, then reused for every second, so the 2-hour file
// stays a few GB and is written in about a minute; each second keeps its own tone and its
// chunk's own second number.
#include "codec/JpegCodec.h"
#include "codec/TestPattern.h"
#include "codec/TvqReader.h"
#include "codec/TvqSecondEncoder.h"
#include "codec/TvqStreamDecoder.h"
#include "codec/TvqWriter.h"

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr int kFps = 25;
constexpr int kSeconds = 4;
constexpr int kQuality = 85;

tvq::TvqStreamFormat FormatFor(int width, int height) {
    tvq::TvqStreamFormat f;
    f.width = width;
    f.height = height;
    f.framesPerSecond = kFps;
    f.sampleRate = 44100;
    f.channels = 2;
    f.bitsPerSample = 16;
    f.videoCodec = tvq::kCodecJpeg;
    f.jpegQuality = kQuality;
    return f;
}

// Camera-like content: soft light and colour variation, hard-edged objects, sensor noise, and
// a slow pan so that no two frames are alike.
void PaintNaturalFrame(const tvq::TvqStreamFormat& f, int index, std::mt19937& rng, uint8_t* out) {
    std::normal_distribution<double> grain(0.0, 9.0);
    const int stride = f.Stride();
    const double pan = index * 3.0;
    for (int y = 0; y < f.height; ++y) {
        uint8_t* row = out + static_cast<size_t>(y) * stride;
        for (int x = 0; x < f.width; ++x) {
            const double u = (x + pan) / f.width, v = static_cast<double>(y) / f.height;
            const double light = 110 + 60 * std::sin(3.1 * u + 1.3) * std::cos(2.3 * v);
            const bool object = (static_cast<int>(u * 9) + static_cast<int>(v * 5)) % 7 == 0;
            const double texture = 25 * std::sin(40 * u + 13 * std::sin(9 * v));
            const double base = object ? 200 - 0.5 * light : light + texture;
            const double tint[3] = {0.8 + 0.3 * v, 1.0, 1.1 - 0.3 * u};
            for (int c = 0; c < 3; ++c)
                row[x * 3 + c] =
                    static_cast<uint8_t>(std::clamp(base * tint[c] + grain(rng), 0.0, 255.0));
        }
    }
    tvq::WriteFrameMarker(out, f.width, f.height, stride, index / kFps, index % kFps);
}

// Writes the benchmark movie once per size and returns its path.
std::string MovieFor(int width, int height) {
    const std::string path = "/tmp/tvq-codec-bench-" + std::to_string(::getpid()) + "-" +
                             std::to_string(width) + "x" + std::to_string(height) + ".tvq";
    if (::access(path.c_str(), R_OK) == 0)
        return path;
    const tvq::TvqStreamFormat f = FormatFor(width, height);
    tvq::TvqWriter writer;
    writer.Open(path, f);
    std::mt19937 rng(42);
    std::vector<uint8_t> frames(f.FrameBytes() * kFps), pcm(f.AudioBytesPerSecond());
    for (int s = 0; s < kSeconds; ++s) {
        for (int i = 0; i < kFps; ++i)
            PaintNaturalFrame(f, s * kFps + i, rng, frames.data() + i * f.FrameBytes());
        tvq::WriteToneForSecond(pcm.data(), s, 0, f.sampleRate, f.sampleRate, 2, 16);
        writer.WriteSecond(frames.data(), kFps, pcm.data(), pcm.size());
    }
    writer.Close();
    return path;
}

int SeekMovieSeconds() {
    const char* env = std::getenv("TVQ_BENCH_SEEK_SECONDS");
    const int seconds = env ? std::atoi(env) : 2 * 3600;
    return seconds > 60 ? seconds : 60;
}

std::string SeekMoviePath() {
    return "/tmp/tvq-codec-bench-" + std::to_string(::getpid()) + "-seek.tvq";
}

// The long movie of the seek benchmark, written once per run.
std::string SeekMovie() {
    const std::string path = SeekMoviePath();
    if (::access(path.c_str(), R_OK) == 0)
        return path;
    tvq::TvqStreamFormat f = FormatFor(1280, 720);
    f.sampleRate = 22050;
    f.channels = 1;
    std::vector<uint8_t> frames(f.FrameBytes() * kFps);
    for (int i = 0; i < kFps; ++i) {
        uint8_t* frame = frames.data() + i * f.FrameBytes();
        for (int y = 0; y < f.height; ++y)
            for (int x = 0; x < f.width; ++x)
                for (int c = 0; c < 3; ++c)
                    frame[static_cast<size_t>(y) * f.Stride() + x * 3 + c] =
                        static_cast<uint8_t>((x * (c + 1) + y * (3 - c) + 8 * i) / 6);
        tvq::WriteFrameMarker(frame, f.width, f.height, f.Stride(), 0, i);
    }
    tvq::TvqSecondEncoder encoder;
    tvq::TvqEncodedSecond second;
    std::vector<uint8_t> pcm(f.AudioBytesPerSecond());
    if (!encoder.Encode(f, frames.data(), kFps, pcm.data(), pcm.size(), second))
        return {};
    tvq::TvqWriter writer;
    if (!writer.Open(path, f))
        return {};
    for (int s = 0; s < SeekMovieSeconds(); ++s) {
        tvq::WriteToneForSecond(second.audio.data(), s, 0, f.sampleRate, f.sampleRate, 1, 16);
        if (!writer.WriteEncodedSecond(second))
            return {};
    }
    return writer.Close() ? path : std::string{};
}

struct Buffers {
    explicit Buffers(const tvq::TvqStreamFormat& f)
        : audio(4 * f.AudioBytesPerSecond()), frames(2 * kFps * f.FrameBytes()) {
        request = {1,
                   reinterpret_cast<uintptr_t>(audio.data()),
                   reinterpret_cast<uintptr_t>(&audioCount),
                   reinterpret_cast<uintptr_t>(frames.data()),
                   reinterpret_cast<uintptr_t>(&frameCount),
                   0};
    }
    std::vector<uint8_t> audio, frames;
    int32_t audioCount = 0, frameCount = 0;
    TvqDecodeRequest request{};
};

// One iteration = one TvqDecoder call = one second of movie. Reopens at the end of the file.
void BM_DecodeSecondOfMovie(benchmark::State& state) {
    const int width = static_cast<int>(state.range(0)), height = static_cast<int>(state.range(1));
    const std::string path = MovieFor(width, height);
    Buffers buffers(FormatFor(width, height));
    auto decoder = std::make_unique<tvq::TvqStreamDecoder>();
    if (!decoder->Open(path)) {
        state.SkipWithError("cannot open the benchmark movie");
        return;
    }
    for (auto _ : state) {
        if (decoder->DecodeNext(buffers.request) == kTvqEndOfFile) {
            state.PauseTiming();
            decoder = std::make_unique<tvq::TvqStreamDecoder>();
            decoder->Open(path);
            state.ResumeTiming();
        }
        benchmark::DoNotOptimize(buffers.frames.data());
    }
}
BENCHMARK(BM_DecodeSecondOfMovie)
    ->Args({1280, 720})
    ->Args({1920, 1080})
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->UseRealTime();

// One iteration = TvqSeek to a second near the position (cycling through the 60 seconds from
// there, so each chunk is read again only after 59 others) and the TvqDecoder call that
// delivers it. The argument is the position in per mille of the movie.
void BM_SeekAndDecodeSecond(benchmark::State& state) {
    const std::string path = SeekMovie();
    tvq::TvqStreamDecoder decoder;
    if (path.empty() || !decoder.Open(path)) {
        state.SkipWithError("cannot make or open the seek benchmark movie");
        return;
    }
    tvq::TvqStreamFormat f = FormatFor(1280, 720);
    f.sampleRate = 22050;
    f.channels = 1;
    Buffers buffers(f);
    const int length = static_cast<int>(tvq::UnpackLength(decoder.Info().packedLength));
    const int start = std::min(length - 60, static_cast<int>(state.range(0) * length / 1000));
    int k = 0, wrong = 0;
    for (auto _ : state) {
        const int target = start + k++ % 60;
        if (!decoder.SeekTo(target)) {
            state.SkipWithError("seek refused");
            return;
        }
        decoder.DecodeNext(buffers.request);
        state.PauseTiming();
        // The second delivered must be the one sought: its tone says so (modulo 600 s).
        if (tvq::DetectSecondFromPcm(buffers.audio.data(), 2 * size_t(buffers.audioCount),
                                     f.sampleRate, 1, 16) != target % 600)
            ++wrong;
        state.ResumeTiming();
    }
    state.counters["position_s"] = start;
    state.counters["wrong_seconds"] = wrong;
}
BENCHMARK(BM_SeekAndDecodeSecond)
    ->Arg(0)
    ->Arg(250)
    ->Arg(500)
    ->Arg(750)
    ->Arg(1000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// Opening the long movie after it was cut (its index and half of its last chunk gone): the
// reader walks every chunk to rebuild the index. Runs after the seek benchmark, which needs
// the whole file, and cuts that file in place.
void BM_RebuildIndexOfCutMovie(benchmark::State& state) {
    const std::string path = SeekMovie();
    tvq::TvqReader reader;
    if (path.empty() || !reader.Open(path)) {
        state.SkipWithError("cannot make or open the seek benchmark movie");
        return;
    }
    const uint64_t indexOffset = reader.Header().indexOffset;
    reader.Close();
    if (indexOffset > 1000 &&
        ::truncate(path.c_str(), static_cast<off_t>(indexOffset - 1000)) != 0) {
        state.SkipWithError("cannot cut the movie");
        return;
    }
    for (auto _ : state) {
        if (!reader.Open(path) || !reader.IndexRebuilt()) {
            state.SkipWithError("the cut movie was not opened with a rebuilt index");
            return;
        }
        state.counters["seconds_found"] = reader.SecondsCount();
        reader.Close();
    }
}
BENCHMARK(BM_RebuildIndexOfCutMovie)->Unit(benchmark::kMillisecond)->UseRealTime();

// The same 25 frames on one core, for comparison with the two-thread figure above.
void BM_DecodeSecondOneCore(benchmark::State& state) {
    const tvq::TvqStreamFormat f =
        FormatFor(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    std::mt19937 rng(7);
    std::vector<uint8_t> frame(f.FrameBytes());
    tvq::JpegCodec codec;
    std::vector<std::vector<uint8_t>> jpegs(kFps);
    for (int i = 0; i < kFps; ++i) {
        PaintNaturalFrame(f, i, rng, frame.data());
        codec.Encode(frame.data(), f.width, f.height, f.Stride(), kQuality, jpegs[i]);
    }
    for (auto _ : state)
        for (const auto& jpeg : jpegs)
            codec.Decode(jpeg.data(), jpeg.size(), frame.data(), f.width, f.height, f.Stride());
    state.counters["jpeg_kB_per_frame"] =
        static_cast<double>(jpegs[0].size() + jpegs[kFps - 1].size()) / 2048;
}
BENCHMARK(BM_DecodeSecondOneCore)
    ->Args({1280, 720})
    ->Args({1920, 1080})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// Coding one second on one core (tvq-make and the writer split seconds across two cores).
void BM_EncodeSecondOneCore(benchmark::State& state) {
    const tvq::TvqStreamFormat f =
        FormatFor(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    std::mt19937 rng(9);
    std::vector<uint8_t> frames(f.FrameBytes() * kFps), pcm(f.AudioBytesPerSecond());
    for (int i = 0; i < kFps; ++i) PaintNaturalFrame(f, i, rng, frames.data() + i * f.FrameBytes());
    tvq::TvqSecondEncoder encoder;
    tvq::TvqEncodedSecond out;
    for (auto _ : state) encoder.Encode(f, frames.data(), kFps, pcm.data(), pcm.size(), out);
}
BENCHMARK(BM_EncodeSecondOneCore)->Args({1280, 720})->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::remove(SeekMoviePath().c_str());
    for (const char* size : {"1280x720", "1920x1080"}) {
        const std::string path =
            "/tmp/tvq-codec-bench-" + std::to_string(::getpid()) + "-" + size + ".tvq";
        std::remove(path.c_str());
    }
    return 0;
}
