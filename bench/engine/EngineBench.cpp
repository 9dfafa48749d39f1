// engine_bench [movie.tvq]
//
// 1. Memory: opens a 1280x720, 25 fps movie, then plays it for a while at five times real
//    speed (one frame record and 1/25 s of audio taken every 8 ms, as the audio output and the
//    video window would) and reports the growth of the resident set over its size right after
//    the first fill, against one second of frames.
// 2. Idle cost: opens the movie again, takes nothing, and reports the process CPU time over
//    10 s while both queues sit above their marks: the decode thread should only wake and
//    look every 10 ms.
//
// Without an argument the fake component of the engine tests supplies the movie (frames are
// filled, not decoded); with one, the real TVQ_DecDLL.so next to this program decodes it.
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "engine/PlaybackEngine.h"
#include "engine/TvqDecoder.h"

namespace {

constexpr int kPlaySeconds = 20;  // of movie time consumed in the memory run
constexpr int kPaceMs = 8;        // one frame per 8 ms: five times real speed at 25 fps
constexpr int kIdleSeconds = 10;

double ResidentMiB() {
    std::ifstream statm("/proc/self/statm");
    long size = 0, resident = 0;
    statm >> size >> resident;
    return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE)) /
           (1024.0 * 1024.0);
}

double ProcessCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

void MeasureMemory(const std::string& movie) {
    const double before = ResidentMiB();
    CPlaybackEngine engine(movie, 0);
    const double afterFill = ResidentMiB();
    const int fps = engine.GetFramesPerSecond();
    const int32_t image = static_cast<int32_t>(engine.GetPictureFormat().biSizeImage);
    const int32_t audioPerFrame =
        static_cast<int32_t>(engine.GetAudioFormat().nAvgBytesPerSec) / fps;
    const double secondOfFramesMiB = static_cast<double>(image) * fps / (1024.0 * 1024.0);
    std::vector<uint8_t> frame(static_cast<size_t>(image)),
        audio(static_cast<size_t>(audioPerFrame));

    double peak = afterFill;
    int framesShown = 0, starved = 0;
    for (int n = 0; n < kPlaySeconds * fps && engine.IsRunning(); ++n) {
        std::this_thread::sleep_for(std::chrono::milliseconds(kPaceMs));
        engine.ReadAudio(audio.data(), audioPerFrame);
        int32_t second = 0, index = 0;
        if (engine.EnsureFrame(image + 8) &&
            engine.ReadFrame(frame.data(), image, &second, &index) == image)
            ++framesShown;
        else
            ++starved;
        if (n % 10 == 0)
            peak = std::max(peak, ResidentMiB());
    }
    peak = std::max(peak, ResidentMiB());
    std::printf("memory: %dx%d %d fps, one second of frames %.1f MiB\n",
                engine.GetPictureFormat().biWidth, engine.GetPictureFormat().biHeight, fps,
                secondOfFramesMiB);
    std::printf("  resident before open %.1f MiB, after first fill %.1f MiB (+%.1f)\n", before,
                afterFill, afterFill - before);
    std::printf(
        "  peak during %d s of play at 5x: %.1f MiB, growth after first fill %.1f MiB = %.2f s of "
        "frames"
        " (limit 3)\n",
        kPlaySeconds, peak, peak - afterFill, (peak - afterFill) / secondOfFramesMiB);
    std::printf(
        "  queues now: video %.2f s, audio %.2f s; frames shown %d, starved %d\n",
        engine.GetVideoQueuedBytes() / (static_cast<double>(image + 8) * fps),
        engine.GetAudioQueuedBytes() / static_cast<double>(engine.GetAudioFormat().nAvgBytesPerSec),
        framesShown, starved);
}

void MeasureIdle(const std::string& movie) {
    CPlaybackEngine engine(movie, 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));  // let the first steps settle
    const double cpu0 = ProcessCpuSeconds();
    const auto wall0 = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(kIdleSeconds));
    const double cpu = ProcessCpuSeconds() - cpu0;
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - wall0).count();
    std::printf(
        "idle: decode thread (process) CPU %.1f ms over %.1f s with both queues full = %.3f%% of a "
        "core,"
        " %.1f us per 10 ms wake\n",
        cpu * 1e3, wall, 100.0 * cpu / wall, cpu * 1e6 / (wall * 100.0));
}

}  // namespace

int main(int argc, char** argv) {
    std::string movie;
    if (argc > 1) {
        movie = argv[1];
    } else {
        CTvqDecoder::SetLibraryPathForTesting(FAKE_TVQ_COMPONENT);
        movie = "fake:fps=25:w=1280:h=720:rate=44100:ch=2:bits=16:len=600";
    }
    std::printf("movie: %s\n", movie.c_str());
    MeasureMemory(movie);
    MeasureIdle(movie);
    return 0;
}
