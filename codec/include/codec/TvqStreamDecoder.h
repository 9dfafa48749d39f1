#pragma once
// One open movie as the decoder component serves it: each call delivers the next second as a
// full second of PCM (short seconds padded with silence) and exactly framesPerSecond frames
// (short seconds repeat their last frame).
//
// Audio is counted in 16-bit values, so only an even number of bytes can be handed over. With
// 8-bit audio a second may hold an odd number of bytes (11025 Hz mono); the odd byte is carried
// to the front of the next call, and the last call adds one byte of silence instead, so no
// sample is lost or duplicated over the whole movie.
#include "codec/TvqComponentApi.h"
#include "codec/TvqFrameDecoder.h"
#include "codec/TvqReader.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace tvq {

class TvqStreamDecoder {
public:
    // Opens the movie; false when it is missing, damaged or outside the limits.
    bool Open(const std::string& path);
    // The same over a buffer that outlives the decoder (used by the fuzzer).
    bool OpenMemory(const uint8_t* data, size_t size);

    // The record handed to the player; filled by Open.
    TvqStreamInfo& Info() { return info_; }

    // Delivers the next second into the request's buffers and sets both counts (zero once the
    // movie is over or a damaged second ends it). Returns kTvqEndOfFile on the call that
    // delivers the last second and on every call after it, 1 otherwise.
    int DecodeNext(const TvqDecodeRequest& request);

    // Delivers the next second like DecodeNext, with its frames as stored (see TvqReadStored):
    // exactly framesPerSecond entries, a short second's missing ones repeating its last frame.
    // The bytes stay valid until the next call on this decoder.
    int ReadStoredNext(const TvqStoredRequest& request);

    // Makes the next DecodeNext deliver `second` (0 to the length - 1), also after the stream
    // ended. A held-back odd 8-bit byte belongs to the second before and is dropped. False,
    // with nothing changed, for a second out of range.
    bool SeekTo(int32_t second);

    // Ends the stream early (zero counts, kTvqEndOfFile), e.g. after an internal failure.
    int Abandon(const TvqDecodeRequest& request) {
        return Finish(request.audioCount, request.frameCount);
    }
    int Abandon(const TvqStoredRequest& request) {
        return Finish(request.audioCount, request.frameCount);
    }

private:
    bool Start();  // fills the info from the opened reader
    int Finish(uintptr_t audioCount, uintptr_t frameCount);  // zero counts, end of file
    // Reads the next second and puts its audio; false (stream finished) when there is none.
    bool NextSecond(uintptr_t audioBuffer, uintptr_t audioCount, TvqStoredSecond& second,
                    bool* last);
    size_t PutAudio(const TvqStoredSecond& second, uint8_t* out, bool last);

    TvqStreamInfo info_{};
    TvqReader reader_;
    TvqFrameDecoder frames_;
    TvqStoredSecond stored_;  // the last ReadStoredNext's second: its frames' spans
    int nextSecond_ = 0;
    bool ended_ = false;
    bool haveCarry_ = false;  // an odd 8-bit byte waits for the next call
    uint8_t carry_ = 0;
};

}  // namespace tvq
