// Measures the playlist player with everything real below it: the decoder component on a
// 1280x720 25 fps JPEG movie, the engine, the audio output on an SDL device (dummy driver
// unless SDL_AUDIODRIVER says otherwise) and the headless video target.
//  - start: from Init to the first frame shown (start second 0);
//  - seek:  from SeekTo(now + 10 s) to the first frame of the target second on screen, checked
//           by the frame marker the movie carries; then a seek to 3 s before the end, and one
//           back to second 1 (use --seconds to make the far seek far).
//
// usage: playlist_bench [--runs N] [--seconds N] [--size WxH] [--fps N] [--movie PATH]
#include <stdlib.h>
#include <time.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "codec/TestPattern.h"
#include "engine/FrameView.h"
#include "engine/Messages.h"
#include "engine/PlaybackEngine.h"
#include "engine/PlaylistPlayer.h"
#include "platform/MessageBox.h"
#include "platform/MessageTarget.h"
#include "platform/Paths.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kSeekAheadSeconds = 10;
// Generous: a frame that has not come by then counts as a failure of the run.
constexpr int kWaitLimitMs = 20000;

struct Options {
    int runs = 7;
    int seconds = 30;
    int width = 1280;
    int height = 720;
    int fps = 25;
    std::string movie;
};

Options Parse(int argc, char** argv) {
    Options o;
    for (int i = 1; i + 1 < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--runs")
            o.runs = std::max(1, std::atoi(argv[++i]));
        else if (a == "--seconds")
            o.seconds = std::max(kSeekAheadSeconds + 5, std::atoi(argv[++i]));
        else if (a == "--fps")
            o.fps = std::max(1, std::atoi(argv[++i]));
        else if (a == "--movie")
            o.movie = argv[++i];
        else if (a == "--size")
            std::sscanf(argv[++i], "%dx%d", &o.width, &o.height);
    }
    return o;
}

// The video target, noting when a frame with a readable marker reaches the screen and which
// second that marker names.
class FrameProbe : public CFrameView {
public:
    explicit FrameProbe(const CPlayerSettings* settings) : CFrameView(settings) {}

    int ShowFrameAt(int32_t second, int32_t frameIndex) override {
        const int r = CFrameView::ShowFrameAt(second, frameIndex);
        int markSecond = -1;
        int markFrame = -1;
        WithShownFrame([&](const ShownFrame& f) {
            if (!f.bits || f.rotated)
                return;
            const int stride = win::DibStride(f.format.biWidth, f.format.biBitCount);
            if (!tvq::ReadFrameMarker(f.bits, f.format.biWidth, f.format.biHeight, stride,
                                      markSecond, markFrame)) {
                markSecond = -1;
            }
        });
        if (markSecond >= 0) {
            std::lock_guard lk(mutex_);
            if (markSecond != lastSecond_ || !seen_) {
                seen_ = true;
                lastSecond_ = markSecond;
                lastAt_ = Clock::now();
                changed_.notify_all();
            }
        }
        return r;
    }

    void Reset() {
        std::lock_guard lk(mutex_);
        seen_ = false;
        lastSecond_ = -1;
    }
    // Waits for a shown frame whose marker names `second` or later (exactly `second` when
    // `exact`); its time, or nothing.
    bool WaitForSecond(int second, Clock::time_point& at, int& shownSecond, bool exact = false) {
        std::unique_lock lk(mutex_);
        const bool ok = changed_.wait_for(lk, std::chrono::milliseconds(kWaitLimitMs), [&] {
            return seen_ && (exact ? lastSecond_ == second : lastSecond_ >= second);
        });
        at = lastAt_;
        shownSecond = lastSecond_;
        return ok;
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool seen_ = false;         // under mutex_
    int lastSecond_ = -1;       // under mutex_
    Clock::time_point lastAt_;  // under mutex_
};

// The dialog's side: when each notification arrived, to split the start into its steps.
class TimedDialog : public win::MessageTarget {
public:
    bool PostMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) override {
        std::lock_guard lk(mutex_);
        if (message == WM_PLAY_STATE && wParam == 0 && opening_ == Clock::time_point{})
            opening_ = Clock::now();
        if (message == WM_SEEKBAR && wParam == 2)
            opened_ = Clock::now();
        if (message == WM_PLAY_STARTING)
            starting_ = Clock::now();
        if (message == WM_PLAY_STATE && wParam == 1 && lParam == 1)
            started_ = Clock::now();
        return true;
    }
    void Reset() {
        std::lock_guard lk(mutex_);
        opening_ = opened_ = starting_ = started_ = Clock::time_point{};
    }
    // Times of: file checked, engine made (queues filled), video target ready, output open.
    std::vector<Clock::time_point> Steps() const {
        std::lock_guard lk(mutex_);
        return {opening_, opened_, starting_, started_};
    }

private:
    mutable std::mutex mutex_;
    Clock::time_point opening_, opened_, starting_, started_;  // under mutex_
};

double ThreadCpuMs() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec * 1000.0 + ts.tv_nsec / 1e6;
}

double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

void Report(const char* what, std::vector<double> v) {
    if (v.empty()) {
        std::printf("%-40s no successful run\n", what);
        return;
    }
    std::sort(v.begin(), v.end());
    std::printf("%-40s median %7.1f ms   min %7.1f   max %7.1f   (%zu runs)\n", what,
                v[v.size() / 2], v.front(), v.back(), v.size());
}

}  // namespace

int main(int argc, char** argv) {
    const Options o = Parse(argc, argv);
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    const std::string bin = win::ProgramFolder();

    std::string scratch = (std::filesystem::temp_directory_path() / "tvqplbench-XXXXXX").string();
    if (!mkdtemp(scratch.data()))
        return 1;
    std::string movie = o.movie;
    if (movie.empty()) {
        movie = scratch + "/bench.tvq";
        char cmd[2048];
        std::snprintf(cmd, sizeof cmd,
                      "'%stvq-make' '%s' --size %dx%d --fps %d --seconds %d --rate 22050 "
                      "--channels 2 --bits 16 --codec jpeg --quality 85 >/dev/null",
                      bin.c_str(), movie.c_str(), o.width, o.height, o.fps, o.seconds);
        std::printf("making %dx%d %d fps %d s movie...\n", o.width, o.height, o.fps, o.seconds);
        if (std::system(cmd) != 0) {
            std::fprintf(stderr, "tvq-make failed\n");
            return 1;
        }
    }
    win::SetMessageBoxService(std::make_shared<win::RecordingMessageBoxService>());
    win::EnsureMessageQueue();

    std::vector<double> starts, seeks, farSeeks, backSeeks, engineMade, outputOpen;
    CPlayerSettings settings;
    settings.SetRepeat(false);
    FrameProbe view(&settings);
    TimedDialog dialog;
    CPlaylistPlayer player;
    for (int run = 0; run < o.runs; ++run) {
        view.Reset();
        dialog.Reset();
        player.AddFile(movie);
        const Clock::time_point t0 = Clock::now();
        player.Init(&dialog, &view, 1);
        Clock::time_point shown;
        int second = -1;
        if (!view.WaitForSecond(0, shown, second)) {
            std::fprintf(stderr, "run %d: no first frame\n", run);
            player.Stop();
            continue;
        }
        starts.push_back(Ms(shown - t0));
        const auto steps = dialog.Steps();
        engineMade.push_back(Ms(steps[1] - t0));
        outputOpen.push_back(Ms(steps[3] - steps[2]));

        // Let it play into second 2, then seek ten seconds ahead of what is on screen.
        if (view.WaitForSecond(2, shown, second)) {
            const int target = second + kSeekAheadSeconds;
            const Clock::time_point t1 = Clock::now();
            if (player.SeekTo(target) == 1 && view.WaitForSecond(target, shown, second) &&
                second == target) {
                seeks.push_back(Ms(shown - t1));
            } else {
                std::fprintf(stderr, "run %d: seek to %d showed second %d\n", run, target, second);
            }
            // Then near the end of the movie, and back near its start.
            const int far = o.seconds - 3;
            const Clock::time_point t2 = Clock::now();
            if (player.SeekTo(far) == 1 && view.WaitForSecond(far, shown, second)) {
                farSeeks.push_back(Ms(shown - t2));
                const Clock::time_point t3 = Clock::now();
                if (player.SeekTo(1) == 1 && view.WaitForSecond(1, shown, second, true))
                    backSeeks.push_back(Ms(shown - t3));
            }
        }
        player.Stop();
    }
    // The engine's opening alone, on this thread: its CPU time does not depend on how busy
    // the machine is, unlike the times above.
    std::vector<double> openWall, openCpu;
    for (int run = 0; run < o.runs; ++run) {
        const double cpu0 = ThreadCpuMs();
        const Clock::time_point t0 = Clock::now();
        auto engine =
            std::make_unique<CPlaybackEngine>(movie, 0, CPlaybackEngine::ThreadStart::Manual);
        openWall.push_back(Ms(Clock::now() - t0));
        openCpu.push_back(ThreadCpuMs() - cpu0);
    }
    std::printf("movie %s, SDL driver %s\n", movie.c_str(), getenv("SDL_AUDIODRIVER"));
    Report("Init -> first frame shown", starts);
    Report("  of which Init -> engine made, queues full", engineMade);
    Report("  of which audio output Open", outputOpen);
    Report("SeekTo(+10 s) -> target second shown", seeks);
    Report("SeekTo(end - 3 s) -> target shown", farSeeks);
    Report("then SeekTo(1) -> second 1 shown", backSeeks);
    Report("engine opening at second 0, wall", openWall);
    Report("engine opening at second 0, CPU", openCpu);
    std::filesystem::remove_all(scratch);
    return starts.empty() || seeks.empty() ? 1 : 0;
}
