// Feeds arbitrary bytes to the reader and plays them through the decoder exactly as the
// component does, checking the end-of-stream promises on the way, then seeks and decodes once
// more. Each input is also tried as a writer stopped early leaves it (seconds count, index
// offset and length zero), which sends it through the rebuilt index. Crashes, sanitizer
// reports and failed checks are findings.
#include "codec/TestPattern.h"
#include "codec/TvqStreamDecoder.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

namespace {

// Streams whose buffers would exceed this are opened but not decoded: the fuzzer's memory
// limit, not the decoder, would be what is tested.
constexpr size_t kMaxBufferBytes = 64u << 20;
// More calls than any small input can hold seconds for.
constexpr int kMaxCalls = 64;

void Check(bool condition) {
    if (!condition)
        std::abort();
}

void PlayAndSeek(const uint8_t* data, size_t size) {
    tvq::TvqStreamDecoder decoder;
    if (!decoder.OpenMemory(data, size))
        return;
    const TvqStreamInfo& info = decoder.Info();
    const size_t frameBytes = static_cast<size_t>((info.width * 3 + 3) & ~3) * info.height;
    const size_t byteRate =
        static_cast<size_t>(info.samplesPerSecond) * info.channels * info.bitsPerSample / 8;
    if (2 * info.framesPerSecond * frameBytes > kMaxBufferBytes || 4 * byteRate > kMaxBufferBytes)
        return;
    const int length = static_cast<int>(tvq::UnpackLength(info.packedLength));
    std::vector<uint8_t> audio(4 * byteRate), frames(2 * info.framesPerSecond * frameBytes);
    int32_t audioCount = -1, frameCount = -1;
    TvqDecodeRequest request{1,
                             reinterpret_cast<uintptr_t>(audio.data()),
                             reinterpret_cast<uintptr_t>(&audioCount),
                             reinterpret_cast<uintptr_t>(frames.data()),
                             reinterpret_cast<uintptr_t>(&frameCount),
                             0};
    bool ended = false;
    for (int call = 0; call < kMaxCalls; ++call) {
        audioCount = frameCount = -1;
        const int result = decoder.DecodeNext(request);
        Check(audioCount >= 0 && frameCount >= 0);
        Check(static_cast<size_t>(audioCount) * 2 <= byteRate + 1);
        Check(frameCount == 0 || frameCount == info.framesPerSecond);
        if (ended)
            Check(result == kTvqEndOfFile && audioCount == 0 && frameCount == 0);
        if (result == kTvqEndOfFile) {
            if (ended)
                break;
            ended = true;
        }
        int second = 0, frame = 0;
        if (frameCount > 0)
            tvq::ReadFrameMarker(frames.data(), info.width, info.height, (info.width * 3 + 3) & ~3,
                                 second, frame);
    }
    // A seek target from -1 to length, so both refusals and the last second are reached.
    const int target = static_cast<int>(data[size - 1] % static_cast<unsigned>(length + 2)) - 1;
    const bool accepted = decoder.SeekTo(target);
    Check(accepted == (target >= 0 && target < length));
    if (accepted) {
        audioCount = frameCount = -1;
        const int result = decoder.DecodeNext(request);
        Check(audioCount >= 0 && frameCount >= 0);
        Check(frameCount == 0 || frameCount == info.framesPerSecond);
        Check(result == kTvqEndOfFile || target + 1 < length);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    PlayAndSeek(data, size);
    if (size >= tvq::kFileHeaderBytes) {
        std::vector<uint8_t> unfinished(data, data + size);
        std::fill(unfinished.begin() + 64, unfinished.begin() + 68, 0);
        std::fill(unfinished.begin() + 72, unfinished.begin() + 80, 0);
        std::fill(unfinished.begin() + 84, unfinished.begin() + 88, 0);
        PlayAndSeek(unfinished.data(), unfinished.size());
    }
    return 0;
}
