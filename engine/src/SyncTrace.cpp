#include "engine/SyncTrace.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <mutex>

namespace sync_trace {
namespace {

// Longer than the notifications' 25 ms step: beyond it the sound is not known to have played.
constexpr uint64_t kMostPlayedSinceMs = 40;

struct TraceFile {
    TraceFile() {
        const char* path = std::getenv("TVQ_TRACE_SYNC");
        if (path && *path)
            file = std::fopen(path, "w");
    }
    ~TraceFile() {
        if (file)
            std::fclose(file);
    }
    std::FILE* file = nullptr;
    std::mutex mutex;  // movies open on the playlist thread, frames show on the notification thread
    uint64_t heardMs = 0;    // under mutex
    uint64_t heardAtMs = 0;  // under mutex: when heardMs was read off the device
};

TraceFile& Trace() {
    static TraceFile trace;
    return trace;
}

uint64_t MonotonicMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace

bool Enabled() {
    return Trace().file != nullptr;
}

void MovieOpened(int framesPerSecond) {
    TraceFile& trace = Trace();
    if (!trace.file)
        return;
    std::lock_guard lock(trace.mutex);
    std::fprintf(trace.file, "# fps %d\n", framesPerSecond);
    std::fflush(trace.file);
}

void Heard(uint64_t heardMs) {
    TraceFile& trace = Trace();
    if (!trace.file)
        return;
    std::lock_guard lock(trace.mutex);
    trace.heardMs = heardMs;
    trace.heardAtMs = MonotonicMs();
}

void FrameShown(int32_t second, int32_t frameIndex) {
    TraceFile& trace = Trace();
    if (!trace.file)
        return;
    std::lock_guard lock(trace.mutex);
    // A frame is painted a while after the notification that read the heard position; the
    // sound has played on since. Capped, so that a stalled notification does not count.
    const uint64_t now = MonotonicMs();
    const uint64_t since = std::min<uint64_t>(now - trace.heardAtMs, kMostPlayedSinceMs);
    const uint64_t heard = trace.heardAtMs == 0 ? trace.heardMs : trace.heardMs + since;
    // Flushed per line: the player may be ended by a signal, and the line count is small.
    std::fprintf(trace.file, "%llu %d %d %llu\n", static_cast<unsigned long long>(now), second,
                 frameIndex, static_cast<unsigned long long>(heard));
    std::fflush(trace.file);
}

}  // namespace sync_trace
