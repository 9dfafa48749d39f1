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

// One frame as the file stores it, handed out by TvqReadStored.
struct TvqStoredFrame {
    const uint8_t* data;  // the frame's bytes; see TvqStoredRequest for how long they last
    uint32_t size;        // bytes at data
    uint32_t reserved;    // 0
};

// Filled by the caller for TvqReadStored. The audio fields mean what they mean in
// TvqDecodeRequest.
struct TvqStoredRequest {
    uintptr_t audioBuffer;  // 4 x the audio byte rate bytes
    uintptr_t audioCount;   // int32*: number of 16-bit values written
    uintptr_t frames;       // TvqStoredFrame[2 x fps]: the second's frames, in order
    uintptr_t frameCount;   // int32*: number of frames written (fps; a short second repeats
                            // its last frame, pointing at the same bytes)
    uintptr_t codec;        // uint32*: the frames' fourcc, kTvqCodecJpeg or kTvqCodecRaw
};
static_assert(sizeof(TvqStoredRequest) == 5 * sizeof(void*));

// Fourccs of TvqStoredRequest::codec, as the bytes stand in the file (little-endian word).
constexpr uint32_t kTvqCodecRaw = 0x20574152u;   // "RAW ": bottom-up padded BGR, as shown
constexpr uint32_t kTvqCodecJpeg = 0x4745504Au;  // "JPEG": baseline, the right way up

// Name of the optional fifth entry point. TvqReadStored(request, info) delivers the next
// second like TvqDecoder, with the same audio and the same result, but hands out its frames as
// the file stores them instead of decoding them: a player that decodes only the frames it
// shows, and at the size it shows them, keeps a few MB a second queued instead of the decoded
// pictures. The frame bytes live in the component and stay valid until the next TvqDecoder,
// TvqReadStored, TvqSeek or TvqClose call on the same handle. A handle TvqInforInit did not
// return gets kTvqEndOfFile and zero counts. A component without it is still complete: its
// callers take decoded seconds from TvqDecoder.
constexpr const char* kTvqReadStoredName = "TvqReadStored";

extern "C" {
using TvqInforInitFn = TvqStreamInfo* (*)(TvqOpenBlock*);
using TvqDecoderFn = int (*)(TvqDecodeRequest*, TvqOpenBlock*, TvqStreamInfo*);
using TvqCloseFn = int (*)(TvqStreamInfo*);
using TvqSeekFn = int (*)(TvqStreamInfo*, int32_t);
using TvqReadStoredFn = int (*)(TvqStoredRequest*, TvqStreamInfo*);
}
