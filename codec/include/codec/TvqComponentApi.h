#pragma once
// The records and entry points of the decoder component TVQ_DecDLL.so, shared by the
// component and by the player's wrapper that loads it. All integers are little-endian.
#include <cstddef>
#include <cstdint>

// Filled by the caller: the file's full path, zero-terminated, from offset 0; the rest zero.
struct TvqOpenBlock {
    char path[264];
};
static_assert(sizeof(TvqOpenBlock) == 264);

// Owned by the component, valid until TvqClose. The caller reads only the named fields; the
// component keeps its own state behind them.
struct TvqStreamInfo {
    int32_t framesPerSecond;    // 0
    int32_t height;             // 4
    int32_t width;              // 8
    int32_t reserved12;         // 12
    uint16_t bytesPerPixel;     // 16
    uint16_t reserved18;        // 18
    uint32_t reserved20;        // 20
    uint32_t samplesPerSecond;  // 24
    uint16_t channels;          // 28
    uint16_t reserved30;        // 30
    uint16_t bitsPerSample;     // 32
    uint16_t reserved34;        // 34
    uint32_t reserved36;        // 36
    int32_t packedLength;       // 40: bits 0-7 seconds, 8-15 minutes, 16-31 hours (int16)
};
static_assert(offsetof(TvqStreamInfo, framesPerSecond) == 0);
static_assert(offsetof(TvqStreamInfo, height) == 4);
static_assert(offsetof(TvqStreamInfo, width) == 8);
static_assert(offsetof(TvqStreamInfo, bytesPerPixel) == 16);
static_assert(offsetof(TvqStreamInfo, samplesPerSecond) == 24);
static_assert(offsetof(TvqStreamInfo, channels) == 28);
static_assert(offsetof(TvqStreamInfo, bitsPerSample) == 32);
static_assert(offsetof(TvqStreamInfo, packedLength) == 40);

// Six words, pointer-sized in a 64-bit build, filled once per file by the caller.
struct TvqDecodeRequest {
    uintptr_t one;          // always 1
    uintptr_t audioBuffer;  // 4 x the audio byte rate bytes
    uintptr_t audioCount;   // int32*: number of 16-bit values written
    uintptr_t frameBuffer;  // 2 x fps frames of one padded frame size each
    uintptr_t frameCount;   // int32*: number of frames written
    uintptr_t zero;         // always 0
};
static_assert(sizeof(TvqDecodeRequest) == 6 * sizeof(void*));

// TvqDecoder's result on the call that delivers the last second.
constexpr int kTvqEndOfFile = 2;

// Name of the optional fourth entry point. TvqSeek(info, second) makes the next TvqDecoder call
// deliver `second` (0-based, below the movie's length in seconds) and returns 1; a handle that
// TvqInforInit did not return, or a second out of range, returns 0 and changes nothing. A
// component without it is still complete: its callers reach a second by decoding and
// discarding the seconds before it.
constexpr const char* kTvqSeekName = "TvqSeek";

extern "C" {
using TvqInforInitFn = TvqStreamInfo* (*)(TvqOpenBlock*);
using TvqDecoderFn = int (*)(TvqDecodeRequest*, TvqOpenBlock*, TvqStreamInfo*);
using TvqCloseFn = int (*)(TvqStreamInfo*);
using TvqSeekFn = int (*)(TvqStreamInfo*, int32_t);
}
