// A stand-in for the decoder component: streams of numbered seconds whose shape comes from
// the file name, with counters that let tests check how the player called it. Built complete
// with and without the optional TvqSeek, and once without each of the three required entry
// points.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "FakeTvq.h"
#include "codec/TvqComponentApi.h"

#define FAKE_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

struct Options {
    int32_t fps = 10, width = 16, height = 8, bytesPerPixel = 3;
    int32_t rate = 2500, channels = 2, bits = 16, length = 40;
    int32_t refuse = 0, lengthZeroUntil = 0, spinMicroseconds = 0;
    int32_t end = -1;      // the stream's real end in seconds; the reported length when -1
    int32_t damaged = -1;  // TvqReadStored: this second's frames come as JPEGs that do not decode
};

// One open stream. The info record comes first so the pointer handed out is the stream's.
struct Stream {
    TvqStreamInfo info;
    Options options;
    TvqOpenBlock* block = nullptr;
    int32_t nextSecond = 0;
    bool ended = false;
    bool holdFirstDecode = false;  // armed by FakeTvqHoldNextStream
    std::vector<uint8_t> stored;   // TvqReadStored: the second's frames, as stored
};

std::mutex g_lock;  // guards g_streams and g_stats
std::set<Stream*> g_streams;
FakeTvqStats g_stats{.lastSeekTarget = -1};
[[maybe_unused]] std::atomic<int32_t> g_running{0};  // not read without the decoder

// The hold of FakeTvqHoldNextStream: the next stream opened stops in its first decode call
// until the test lets it go, so a test can keep an opening under way as long as it likes.
std::mutex g_holdLock;
std::condition_variable g_holdChanged;
bool g_holdNextStream = false;  // under g_holdLock
bool g_holdNextDecode = false;  // under g_holdLock: armed by FakeTvqHoldNextDecode
bool g_holding = false;         // under g_holdLock: a decode call waits in the hold
bool g_released = false;        // under g_holdLock

[[maybe_unused]] void HoldIfArmed(bool armed) {
    if (!armed)
        return;
    std::unique_lock lk(g_holdLock);
    g_holding = true;
    g_holdChanged.notify_all();
    g_holdChanged.wait(lk, [] { return g_released; });
    g_holding = false;
}

// Whether this decode call is the one FakeTvqHoldNextDecode asked to stop.
[[maybe_unused]] bool TakeDecodeHold() {
    std::lock_guard lk(g_holdLock);
    return std::exchange(g_holdNextDecode, false);
}

[[maybe_unused]] Options ParseOptions(const char* path) {
    Options o;
    const std::pair<const char*, int32_t*> keys[] = {{"fps", &o.fps},
                                                     {"w", &o.width},
                                                     {"h", &o.height},
                                                     {"bpp", &o.bytesPerPixel},
                                                     {"rate", &o.rate},
                                                     {"ch", &o.channels},
                                                     {"bits", &o.bits},
                                                     {"len", &o.length},
                                                     {"refuse", &o.refuse},
                                                     {"len0until", &o.lengthZeroUntil},
                                                     {"spin", &o.spinMicroseconds},
                                                     {"end", &o.end},
                                                     {"damaged", &o.damaged}};
    const std::string text(path, strnlen(path, sizeof(TvqOpenBlock::path)));
    for (size_t start = 0, end = 0; start <= text.size(); start = end + 1) {
        end = std::min(text.find(':', start), text.size());
        const std::string item = text.substr(start, end - start);
        const size_t eq = item.find('=');
        for (const auto& [key, field] : keys)
            if (eq != std::string::npos && item.substr(0, eq) == key)
                *field = static_cast<int32_t>(std::atoi(item.c_str() + eq + 1));
    }
    if (o.end < 0)
        o.end = o.length;
    return o;
}

[[maybe_unused]] int32_t PackLength(int32_t seconds) {
    const int32_t hours = seconds / 3600, minutes = seconds / 60 % 60, rest = seconds % 60;
    return static_cast<int32_t>((static_cast<uint32_t>(hours & 0xFFFF) << 16) |
                                (static_cast<uint32_t>(minutes) << 8) |
                                static_cast<uint32_t>(rest));
}

[[maybe_unused]] void Spin(int32_t microseconds) {
    if (microseconds <= 0)
        return;
    const auto until = std::chrono::steady_clock::now() + std::chrono::microseconds(microseconds);
    while (std::chrono::steady_clock::now() < until) {
    }
}

[[maybe_unused]] int32_t ImageBytes(const Options& o) {
    const int32_t stride = ((o.bytesPerPixel * 8 * o.width + 31) / 32) * 4;
    return stride * o.height;
}

[[maybe_unused]] void WriteSecond(Stream& s, TvqDecodeRequest* request) {
    const Options& o = s.options;
    const int32_t second = s.nextSecond;
    const int32_t bytesPerSecond = o.rate * o.channels * o.bits / 8;
    auto* audio = reinterpret_cast<uint8_t*>(request->audioBuffer);
    std::memset(audio, FakeAudioByte(second), static_cast<size_t>(bytesPerSecond));
    *reinterpret_cast<int32_t*>(request->audioCount) = bytesPerSecond / 2;
    const int32_t image = ImageBytes(o);
    auto* frames = reinterpret_cast<uint8_t*>(request->frameBuffer);
    for (int32_t i = 0; i < o.fps; ++i) {
        uint8_t* frame = frames + static_cast<int64_t>(i) * image;
        std::memset(frame, FakeFrameByte(second, i), static_cast<size_t>(image));
        if (image >= 8) {
            std::memcpy(frame, &second, 4);
            std::memcpy(frame + 4, &i, 4);
        }
    }
    *reinterpret_cast<int32_t*>(request->frameCount) = o.fps;
}

}  // namespace

FAKE_EXPORT void FakeTvqGetStats(FakeTvqStats* out) {
    std::lock_guard lk(g_lock);
    *out = g_stats;
}

FAKE_EXPORT void FakeTvqHoldNextStream() {
    std::lock_guard lk(g_holdLock);
    g_holdNextStream = true;
    g_released = false;
}

// The next decode call of any open stream stops until FakeTvqReleaseHold.
FAKE_EXPORT void FakeTvqHoldNextDecode() {
    std::lock_guard lk(g_holdLock);
    g_holdNextDecode = true;
    g_released = false;
}

FAKE_EXPORT int FakeTvqWaitUntilHeld(int timeoutMs) {
    std::unique_lock lk(g_holdLock);
    return g_holdChanged.wait_for(lk, std::chrono::milliseconds(timeoutMs),
                                  [] { return g_holding; })
               ? 1
               : 0;
}

FAKE_EXPORT void FakeTvqReleaseHold() {
    std::lock_guard lk(g_holdLock);
    g_holdNextStream = false;
    g_holdNextDecode = false;
    g_released = true;
    g_holdChanged.notify_all();
}

FAKE_EXPORT void FakeTvqResetStats() {
    std::lock_guard lk(g_lock);
    g_stats = FakeTvqStats{};
    g_stats.lastSeekTarget = -1;
    g_stats.openStreams = static_cast<int32_t>(g_streams.size());
}

#ifndef FAKE_WITHOUT_INFORINIT
FAKE_EXPORT TvqStreamInfo* TvqInforInit(TvqOpenBlock* block) {
    std::lock_guard lk(g_lock);
    ++g_stats.initCalls;
    const Options o = ParseOptions(block->path);
    if (o.refuse)
        return nullptr;
    auto* s = new Stream{};
    s->options = o;
    s->block = block;
    s->info.framesPerSecond = o.fps;
    s->info.height = o.height;
    s->info.width = o.width;
    s->info.bytesPerPixel = static_cast<uint16_t>(o.bytesPerPixel);
    s->info.samplesPerSecond = static_cast<uint32_t>(o.rate);
    s->info.channels = static_cast<uint16_t>(o.channels);
    s->info.bitsPerSample = static_cast<uint16_t>(o.bits);
    s->info.packedLength = o.lengthZeroUntil > 0 ? 0 : PackLength(o.length);
    {
        std::lock_guard hold(g_holdLock);
        s->holdFirstDecode = g_holdNextStream;
        g_holdNextStream = false;
    }
    g_streams.insert(s);
    ++g_stats.openStreams;
    return &s->info;
}
#endif

#ifndef FAKE_WITHOUT_DECODER
FAKE_EXPORT int TvqDecoder(TvqDecodeRequest* request, TvqOpenBlock* block, TvqStreamInfo* info) {
    const int32_t running = g_running.fetch_add(1) + 1;
    Stream* s = reinterpret_cast<Stream*>(info);
    {
        std::lock_guard lk(g_lock);
        ++g_stats.decodeCalls;
        if (running > g_stats.maxConcurrent)
            g_stats.maxConcurrent = running;
        if (!g_streams.count(s)) {
            ++g_stats.decodeBeforeInit;
            g_running.fetch_sub(1);
            return 0;
        }
        if (s->block != block || request->one != 1 || request->zero != 0)
            ++g_stats.badArguments;
        if (s->ended)
            ++g_stats.callsAfterEnd;
    }
    // The stream itself is touched only here; the player lets one call run at a time.
    const bool firstHeld = std::exchange(s->holdFirstDecode, false);
    HoldIfArmed(firstHeld || TakeDecodeHold());
    Spin(s->options.spinMicroseconds);
    int result = 1;
    if (s->ended || s->nextSecond >= s->options.end) {
        *reinterpret_cast<int32_t*>(request->audioCount) = 0;
        *reinterpret_cast<int32_t*>(request->frameCount) = 0;
        result = kTvqEndOfFile;
    } else {
        WriteSecond(*s, request);
        ++s->nextSecond;
        if (s->nextSecond >= s->options.end)
            result = kTvqEndOfFile;
    }
    if (result == kTvqEndOfFile)
        s->ended = true;
    {
        std::lock_guard lk(g_lock);
        if (s->options.lengthZeroUntil > 0 && g_stats.decodeCalls >= s->options.lengthZeroUntil)
            s->info.packedLength = PackLength(s->options.length);
    }
    g_running.fetch_sub(1);
    return result;
}
#endif

#ifndef FAKE_WITHOUT_CLOSE
FAKE_EXPORT int TvqClose(TvqStreamInfo* info) {
    std::lock_guard lk(g_lock);
    ++g_stats.closeCalls;
    Stream* s = reinterpret_cast<Stream*>(info);
    if (!g_streams.erase(s)) {
        ++g_stats.badArguments;
        return 0;
    }
    --g_stats.openStreams;
    delete s;
    return 1;
}
#endif

#ifdef FAKE_WITH_SEEK
FAKE_EXPORT int TvqSeek(TvqStreamInfo* info, int32_t second) {
    // Counted with the decode calls, so a seek overlapping a decode shows in maxConcurrent.
    const int32_t running = g_running.fetch_add(1) + 1;
    Stream* s = reinterpret_cast<Stream*>(info);
    int result = 0;
    {
        std::lock_guard lk(g_lock);
        ++g_stats.seekCalls;
        if (running > g_stats.maxConcurrent)
            g_stats.maxConcurrent = running;
        if (!g_streams.count(s)) {
            ++g_stats.badArguments;
        } else if (second >= 0 && second < s->options.end) {
            s->nextSecond = second;
            s->ended = false;
            g_stats.lastSeekTarget = second;
            result = 1;
        }
        if (!result)
            ++g_stats.seeksRefused;
    }
    g_running.fetch_sub(1);
    return result;
}
#endif

#ifdef FAKE_WITH_STORED
// The same seconds as TvqDecoder, handed out as stored RAW frames (the decoded picture itself);
// the frames of the `damaged` second come labelled as JPEGs, which they are not.
FAKE_EXPORT int TvqReadStored(TvqStoredRequest* request, TvqStreamInfo* info) {
    Stream* s = reinterpret_cast<Stream*>(info);
    TvqOpenBlock* block = nullptr;
    {
        std::lock_guard lk(g_lock);
        if (!g_streams.count(s)) {
            *reinterpret_cast<int32_t*>(request->audioCount) = 0;
            *reinterpret_cast<int32_t*>(request->frameCount) = 0;
            return kTvqEndOfFile;
        }
        block = s->block;
    }
    const int32_t image = ImageBytes(s->options);
    s->stored.resize(static_cast<size_t>(image) * static_cast<size_t>(s->options.fps));
    const int32_t second = s->nextSecond;
    TvqDecodeRequest decode{};
    decode.one = 1;
    decode.audioBuffer = request->audioBuffer;
    decode.audioCount = request->audioCount;
    decode.frameBuffer = reinterpret_cast<uintptr_t>(s->stored.data());
    decode.frameCount = request->frameCount;
    const int result = TvqDecoder(&decode, block, info);
    const int32_t count = *reinterpret_cast<int32_t*>(request->frameCount);
    auto* frames = reinterpret_cast<TvqStoredFrame*>(request->frames);
    for (int32_t i = 0; i < count; ++i)
        frames[i] = TvqStoredFrame{s->stored.data() + static_cast<size_t>(i) * image,
                                   static_cast<uint32_t>(image), 0};
    *reinterpret_cast<uint32_t*>(request->codec) =
        second == s->options.damaged ? kTvqCodecJpeg : kTvqCodecRaw;
    return result;
}
#endif
