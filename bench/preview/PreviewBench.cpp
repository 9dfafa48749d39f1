// How long the seek slider's preview takes to make the picture of a second, for 1280x720 and
// 1920x1080 movies at 25 fps (tvq-make's demo pattern, JPEG quality 85), into the popup's
// 160 x 120 room. Picture: on the worker alone (TvqSeek, TvqReadStored, the DCT-scaled JPEG
// decode and the fit). Delivered: from the user's request to the worker's delivery, the
// thread's wake-up included. Seconds are visited out of order, as a mouse sweeping back and
// forth over the slider visits them. Goal: well under a 60 Hz mouse's 16 ms per move.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <string>

#include "app/PreviewDecoder.h"
#include "app/SeekPreview.h"
#include "app/SeekPreviewPopup.h"
#include "engine/TvqDecoder.h"
#include "platform/Paths.h"

namespace {

constexpr int kSeconds = 20;
const QSize kBox(CSeekPreviewPopup::kBoxWidth, CSeekPreviewPopup::kBoxHeight);

std::string BinFolder() {
    return win::ProgramFolder() + "../bin/";
}

// Made once per size and left in the temporary folder for the next run.
std::string Movie(int width, int height) {
    const std::string path = (std::filesystem::temp_directory_path() /
                              ("tvq-preview-bench-" + std::to_string(height) + ".tvq"))
                                 .string();
    if (std::filesystem::exists(path))
        return path;
    char command[1024];
    std::snprintf(command, sizeof command,
                  "'%stvq-make' '%s.part' --size %dx%d --fps 25 --rate 22050 --seconds %d "
                  "--pattern demo --quality 85 >/dev/null && mv '%s.part' '%s'",
                  BinFolder().c_str(), path.c_str(), width, height, kSeconds, path.c_str(),
                  path.c_str());
    if (std::system(command) != 0)
        return "";
    return path;
}

// The next second of a sweep that jumps about the movie.
int NextSecond(int& i) {
    i = (i + 7) % kSeconds;
    return i;
}

void Picture(benchmark::State& state) {
    const int height = static_cast<int>(state.range(0));
    CPreviewDecoder decoder(Movie(height * 16 / 9, height));
    if (!decoder.HasPictures()) {
        state.SkipWithError("no movie");
        return;
    }
    int i = 0;
    for (auto _ : state) {
        const QImage picture = decoder.Picture(NextSecond(i), kBox);
        if (picture.isNull()) {
            state.SkipWithError("no picture");
            return;
        }
        benchmark::DoNotOptimize(picture.constBits());
    }
}

void Delivered(benchmark::State& state) {
    const int height = static_cast<int>(state.range(0));
    std::mutex lock;
    std::condition_variable arrived;
    int delivered = 0;
    bool failed = false;
    CSeekPreview preview(kBox, [&](CSeekPreview::Picture picture) {
        std::lock_guard l(lock);
        failed = failed || picture.image.isNull();
        ++delivered;
        arrived.notify_all();
    });
    preview.Open(Movie(height * 16 / 9, height));
    int i = 0, asked = 0;
    // The first request opens the file: not part of a hover's cost.
    preview.Request(NextSecond(i));
    ++asked;
    {
        std::unique_lock l(lock);
        arrived.wait(l, [&] { return delivered == asked; });
    }
    for (auto _ : state) {
        preview.Request(NextSecond(i));
        ++asked;
        std::unique_lock l(lock);
        arrived.wait(l, [&] { return delivered == asked; });
    }
    if (failed)
        state.SkipWithError("no picture");
}

void Setup() {
    CTvqDecoder::SetLibraryPathForTesting(BinFolder() + CTvqDecoder::kLibraryName);
}

}  // namespace

BENCHMARK(Picture)
    ->Arg(720)
    ->Arg(1080)
    ->Unit(benchmark::kMillisecond)
    ->Setup([](const benchmark::State&) { Setup(); });
BENCHMARK(Delivered)
    ->Arg(720)
    ->Arg(1080)
    ->Unit(benchmark::kMillisecond)
    ->Setup([](const benchmark::State&) { Setup(); });

BENCHMARK_MAIN();
