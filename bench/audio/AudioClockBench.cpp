// Plays a synthetic movie through the real engine, decoder component and audio output on an
// SDL device, and measures:
//  - the clock's lag behind the sound handed to the device (bytes the SDL callback took from
//    the buffer minus the bytes the clock counted), sampled every 2 ms;
//  - the CPU time of the notification thread, the SDL audio thread and the decode thread;
//  - with the disk driver, whether the tone of every second reaches the file once and in order.
//
// usage: audio_clock_bench [--seconds N] [--rate HZ] [--driver dummy|disk] [--fast] [--check]
//   --fast   disk driver only: callbacks as fast as the machine goes, not in real time
//   --check  exit 1 when the tones are out of order or the lag exceeds a notification period
//            plus one callback (not judged with --fast);
//            exit 77 when SDL has no such driver here
#include <dirent.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "codec/TestPattern.h"
#include "engine/DirectSoundPlayer.h"
#include "engine/IVideoTarget.h"
#include "engine/PlaybackEngine.h"
#include "platform/MessageTarget.h"
#include "platform/Paths.h"
#include "platform/sound/SdlSoundDevice.h"

namespace {

constexpr int kSkip = 77;
constexpr int kSampleEveryMs = 2;
// Window of sound the tone detector looks at, in sample frames (a quarter second).
constexpr int kToneWindowFrames = 44100 / 4;

struct Options {
    int seconds = 60;
    int rate = 44100;  // of the movie; the device always runs at 44100 Hz
    std::string driver = "dummy";
    bool fast = false;
    bool check = false;
};

Options Parse(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--seconds" && i + 1 < argc)
            o.seconds = std::max(2, std::atoi(argv[++i]));
        else if (a == "--driver" && i + 1 < argc)
            o.driver = argv[++i];
        else if (a == "--rate" && i + 1 < argc)
            o.rate = std::atoi(argv[++i]);
        else if (a == "--fast")
            o.fast = true;
        else if (a == "--check")
            o.check = true;
    }
    return o;
}

// Takes frame records up to the position shown, as the video window does.
class FrameConsumer : public IVideoTarget {
public:
    FrameConsumer(CPlaybackEngine* engine, win::RecursiveMutex* lock)
        : engine_(engine), lock_(lock), frame_(engine->GetPictureFormat().biSizeImage) {}
    bool OpenStream(CPlaybackEngine*, win::RecursiveMutex*, win::Event*) override { return true; }
    void FreeBuffers() override {}
    void SetSeekText(const std::string&) override {}
    int ShowFrameAt(int32_t second, int32_t frameIndex) override {
        win::ScopedLock e(lock_);
        while (last_.first < second || (last_.first == second && last_.second < frameIndex)) {
            int32_t s = 0, i = 0;
            if (engine_->ReadFrame(frame_.data(), static_cast<int32_t>(frame_.size()), &s, &i) <= 0)
                break;
            last_ = {s, i};
        }
        return 1;
    }
    bool GetRepeat() const override { return false; }
    bool GetAdjust() const override { return false; }

private:
    CPlaybackEngine* engine_;
    win::RecursiveMutex* lock_;
    std::vector<uint8_t> frame_;
    std::pair<int32_t, int32_t> last_{-1, -1};
};

std::set<int> Threads() {
    std::set<int> tids;
    if (DIR* d = opendir("/proc/self/task")) {
        while (dirent* e = readdir(d))
            if (e->d_name[0] != '.')
                tids.insert(std::atoi(e->d_name));
        closedir(d);
    }
    return tids;
}

struct ThreadCpu {
    std::string name;
    double seconds = 0;  // user + system
};

// Name and CPU time of a thread of this process; schedstat counts run time in nanoseconds,
// where stat would round to clock ticks of 10 ms.
ThreadCpu ReadThreadCpu(int tid) {
    ThreadCpu t;
    const std::string dir = "/proc/self/task/" + std::to_string(tid) + "/";
    std::ifstream comm(dir + "comm");
    std::getline(comm, t.name);
    std::ifstream sched(dir + "schedstat");
    unsigned long long ns = 0;
    if (sched >> ns)
        t.seconds = static_cast<double>(ns) / 1e9;
    return t;
}

// Seconds whose tones the file holds, in the order heard, each run of windows counted once.
std::vector<int> TonesHeard(const std::string& rawFile) {
    std::ifstream in(rawFile, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<int> order;
    const size_t window = kToneWindowFrames * 4;
    for (size_t at = 0; at + window <= bytes.size(); at += window) {
        const int s = tvq::DetectSecondFromPcm(reinterpret_cast<const uint8_t*>(bytes.data()) + at,
                                               window, 44100, 2, 16);
        if (s >= 0 && (order.empty() || order.back() != s))
            order.push_back(s);
    }
    return order;
}

}  // namespace

int main(int argc, char** argv) {
    const Options o = Parse(argc, argv);
    std::string temp = (std::filesystem::temp_directory_path() / "tvq-audio-XXXXXX").string();
    if (!mkdtemp(temp.data()))
        return 1;
    const std::string movie = temp + "/bench.tvq";
    const std::string raw = temp + "/heard.raw";
    const std::string make = "'" + win::ProgramFolder() + "tvq-make' '" + movie +
                             "' --size 160x120 --fps 25 --channels 2 --bits 16 --rate " +
                             std::to_string(o.rate) + " --seconds " + std::to_string(o.seconds) +
                             " >/dev/null";
    if (std::system(make.c_str()) != 0) {
        std::fprintf(stderr, "tvq-make failed\n");
        return 1;
    }
    setenv("SDL_AUDIODRIVER", o.driver.c_str(), 1);
    setenv("SDL_DISKAUDIOFILE", raw.c_str(), 1);
    if (o.fast)
        setenv("SDL_DISKAUDIODELAY", "2", 1);

    std::shared_ptr<win::SdlSoundDevice> device;
    win::SetSoundDeviceFactory([&device]() -> std::shared_ptr<win::SoundDevice> {
        device = win::SdlSoundDevice::Open(win::DefaultPrimaryFormat());
        return device;
    });

    win::RecursiveMutex engineLock;
    win::Event wake(true);
    win::RecordingMessageTarget window;
    const std::set<int> beforeEngine = Threads();
    auto engine = std::make_unique<CPlaybackEngine>(movie, 0);
    if (!engine->GetOpened() || engine->GetAudioFormat().nAvgBytesPerSec == 0) {
        std::fprintf(stderr, "the decoder component did not open the movie\n");
        return 1;
    }
    const std::set<int> beforeOpen = Threads();
    FrameConsumer video(engine.get(), &engineLock);
    auto player = std::make_unique<CDirectSoundPlayer>();
    if (!player->Open(engine.get(), &wake, &window, 1, &engineLock, &video)) {
        std::fprintf(stderr, "no SDL '%s' audio device\n", o.driver.c_str());
        return kSkip;
    }
    const auto start = std::chrono::steady_clock::now();
    const std::set<int> afterOpen = Threads();

    const double bps = engine->GetAudioFormat().nAvgBytesPerSec;
    const double chunkMs = 1000.0 * player->GetChunkBytes() / bps;
    double maxLagMs = 0, sumLagMs = 0;
    long samples = 0, overPeriod = 0;
    std::vector<double> lags;
    const auto limit = start + std::chrono::seconds(o.seconds);
    // The threads to watch, by role; their CPU time is read while they still run.
    std::map<std::string, int> roles;
    for (const int tid : afterOpen) {
        const ThreadCpu t = ReadThreadCpu(tid);
        if (beforeOpen.count(tid) == 0)
            roles[t.name.rfind("SDL", 0) == 0 ? "SDL audio thread" : "notification thread"] = tid;
        else if (beforeEngine.count(tid) == 0)
            roles["decode thread"] = tid;
    }
    std::map<std::string, ThreadCpu> cpu;
    double wall = 0;
    while (!wake.IsSet() && std::chrono::steady_clock::now() < limit) {
        if (samples % 50 == 0) {
            wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            for (const auto& [what, tid] : roles) {
                const ThreadCpu t = ReadThreadCpu(tid);
                if (!t.name.empty())
                    cpu[what] = t;
            }
        }
        const uint32_t clock = player->GetClock();
        const uint64_t consumed = device->ConsumedBytes();
        const double lagMs = 1000.0 * (static_cast<double>(consumed) - clock) / bps;
        maxLagMs = std::max(maxLagMs, lagMs);
        lags.push_back(lagMs);
        sumLagMs += lagMs;
        ++samples;
        if (lagMs > chunkMs)
            ++overPeriod;
        std::this_thread::sleep_for(std::chrono::milliseconds(kSampleEveryMs));
    }
    const bool ended = wake.Wait(o.seconds * 2000 + 5000) == win::WAIT_OBJECT_0;
    const uint64_t busy = device->BusyCallbacks(), callbacks = device->Callbacks();
    player->Close();
    player.reset();
    device.reset();
    engine.reset();
    win::SetSoundDeviceFactory({});

    std::printf("driver %s%s, %.1f s played, notification period %.1f ms, callback %u frames\n",
                o.driver.c_str(), o.fast ? " (fast)" : "",
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(),
                chunkMs, win::SdlSoundDevice::kCallbackFrames);
    std::printf(
        "clock lag behind the device: mean %.2f ms, max %.2f ms, %ld of %ld samples over "
        "one period\n",
        samples ? sumLagMs / samples : 0.0, maxLagMs, overPeriod, samples);
    std::sort(lags.begin(), lags.end());
    const auto percentile = [&lags](double p) {
        return lags.empty() ? 0.0 : lags[static_cast<size_t>(p * (lags.size() - 1))];
    };
    std::printf("lag percentiles: 50 %% %.2f ms, 99 %% %.2f ms, 99.9 %% %.2f ms\n", percentile(0.5),
                percentile(0.99), percentile(0.999));
    std::printf("callbacks %llu, of which played silence for a busy mixer %llu\n",
                static_cast<unsigned long long>(callbacks), static_cast<unsigned long long>(busy));
    for (const auto& [what, t] : cpu)
        std::printf("%-20s %7.4f s CPU in the first %.1f s = %5.2f %% of a core\n", what.c_str(),
                    t.seconds, wall, wall > 0 ? 100.0 * t.seconds / wall : 0.0);

    // The device takes whole callbacks: a position passed inside one is reported after the
    // callback has taken the rest of it, so until the notification thread has run the lag can
    // exceed a period by at most one callback.
    const double callbackMs = 1000.0 * win::SdlSoundDevice::kCallbackFrames / 44100.0;
    std::printf("bound: one period + one callback = %.1f ms; max lag %s it\n", chunkMs + callbackMs,
                maxLagMs <= chunkMs + callbackMs ? "within" : "BEYOND");
    bool ok = maxLagMs <= chunkMs + callbackMs || o.fast;
    if (o.driver == "disk") {
        const std::vector<int> heard = TonesHeard(raw);
        std::vector<int> expected;
        for (int s = 0; s < o.seconds; ++s) expected.push_back(s);
        const bool inOrder = ended && heard == expected;
        std::printf("tones heard:");
        for (const int s : heard) std::printf(" %d", s);
        std::printf("\nevery second once and in order: %s\n", inOrder ? "yes" : "NO");
        ok = ok && inOrder;
    }
    std::filesystem::remove_all(temp);
    return o.check && !ok ? 1 : 0;
}
