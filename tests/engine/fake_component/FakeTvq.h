#pragma once
// The fake decoder component the engine tests load instead of TVQ_DecDLL.so, and how a test
// reads what it was asked to do.
//
// The file name in the open block carries the stream's shape as colon-separated options,
// e.g. "fake:fps=12:w=97:h=65:len=40". Options (defaults in brackets): fps [10], w [16],
// h [8], bpp bytes per pixel [3], rate samples per second [2500], ch [2], bits [16], len
// seconds [40], end seconds the stream really has [len], refuse=1 (TvqInforInit returns null),
// len0until=N (the packed length reads 0 until N decode calls were made), spin=us (each decode call
// works that long, to widen race windows).
//
// Content: frame i of second s starts with the int32 pair (s, i) and is filled with
// FakeFrameByte(s, i) after that; every audio byte of second s is FakeAudioByte(s). The call
// that delivers the last second returns 2.
//
// FakeTvqHoldNextStream makes the next stream opened stop in its first decode call until
// FakeTvqReleaseHold, so a test can keep an opening or a skip under way without sleeping;
// FakeTvqHoldNextDecode does the same to the next decode call of any open stream.
//
// Built with FAKE_WITH_SEEK it also exports TvqSeek: a second from 0 to the stream's real end
// - 1 becomes the next one delivered (also after the end); anything else is refused.
//
// Built with FAKE_WITH_STORED it also exports TvqReadStored: the same seconds as stored RAW
// frames, except that the frames of second `damaged=N` are labelled JPEG and do not decode.
#include <dlfcn.h>

#include <cstdint>
#include <cstring>
#include <string>

struct FakeTvqStats {
    int32_t initCalls;
    int32_t decodeCalls;
    int32_t closeCalls;
    int32_t openStreams;       // opened and not yet closed
    int32_t maxConcurrent;     // most decode calls seen running at once
    int32_t callsAfterEnd;     // decode calls after one that returned 2
    int32_t badArguments;      // decode/close with a block or info the fake did not hand out
    int32_t decodeBeforeInit;  // decode calls on a stream never opened
    int32_t seekCalls;         // TvqSeek calls, accepted or not
    int32_t seeksRefused;      // TvqSeek calls that returned 0
    int32_t lastSeekTarget;    // second of the last accepted TvqSeek; -1 before one
};

extern "C" {
using FakeTvqGetStatsFn = void (*)(FakeTvqStats*);
using FakeTvqActionFn = void (*)();  // reset, hold and release
using FakeTvqWaitUntilHeldFn = int (*)(int);
}

inline uint8_t FakeFrameByte(int32_t second, int32_t index) {
    return static_cast<uint8_t>(second * 13 + index * 7 + 1);
}
inline uint8_t FakeAudioByte(int32_t second) {
    return static_cast<uint8_t>(second * 5 + 3);
}

// Holds its own handle on a fake library so its counters outlive the engine's unload.
class FakeTvqLibrary {
public:
    explicit FakeTvqLibrary(const std::string& path) : path_(path) {
        handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!handle_)
            return;
        get_ = reinterpret_cast<FakeTvqGetStatsFn>(dlsym(handle_, "FakeTvqGetStats"));
        reset_ = reinterpret_cast<FakeTvqActionFn>(dlsym(handle_, "FakeTvqResetStats"));
        if (reset_)
            reset_();
    }
    ~FakeTvqLibrary() {
        if (handle_)
            dlclose(handle_);
    }
    FakeTvqLibrary(const FakeTvqLibrary&) = delete;
    FakeTvqLibrary& operator=(const FakeTvqLibrary&) = delete;

    bool Loaded() const { return get_ && reset_; }
    const std::string& Path() const { return path_; }
    FakeTvqStats Stats() const {
        FakeTvqStats s{};
        if (get_)
            get_(&s);
        return s;
    }
    void Reset() {
        if (reset_)
            reset_();
    }
    // The next stream opened stops in its first decode call until ReleaseHold.
    void HoldNextStream() { Call("FakeTvqHoldNextStream"); }
    // The next decode call of any open stream stops until ReleaseHold.
    void HoldNextDecode() { Call("FakeTvqHoldNextDecode"); }
    bool WaitUntilHeld(int timeoutMs) {
        auto f = reinterpret_cast<FakeTvqWaitUntilHeldFn>(Symbol("FakeTvqWaitUntilHeld"));
        return f && f(timeoutMs) == 1;
    }
    void ReleaseHold() { Call("FakeTvqReleaseHold"); }

private:
    void* Symbol(const char* name) const { return handle_ ? dlsym(handle_, name) : nullptr; }
    void Call(const char* name) const {
        if (auto f = reinterpret_cast<FakeTvqActionFn>(Symbol(name)))
            f();
    }

    std::string path_;
    void* handle_ = nullptr;
    FakeTvqGetStatsFn get_ = nullptr;
    FakeTvqActionFn reset_ = nullptr;
};
