#pragma once
// Frames, sounds and movies the codec tests build, and the loaded decoder component.
#include "FormatFields.h"
#include "TempFolder.h"
#include "codec/TestPattern.h"
#include "codec/TvqComponentApi.h"
#include "codec/TvqFormat.h"

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace tvqtest {

inline int StrideFor(int width) {
    return (width * 3 + 3) & ~3;
}

// A bottom-up BGR frame of smooth colour plus noise, the kind of picture JPEG finds hard.
std::vector<uint8_t> NoisyFrame(int width, int height, unsigned seed);

// A format with the defaults the tests mostly want.
inline tvq::TvqStreamFormat Format(int width, int height, int fps, int rate, int channels,
                                   int bits = 16, uint32_t codec = tvq::kCodecJpeg,
                                   int quality = 85) {
    return {fps, width, height, rate, channels, bits, codec, quality};
}

// The (second, frame) marker of a bottom-up BGR frame; (-1, -1) without one.
inline std::pair<int, int> Marker(const uint8_t* frame, int width, int height) {
    int second = -1, index = -1;
    if (!tvq::ReadFrameMarker(frame, width, height, StrideFor(width), second, index))
        return {-1, -1};
    return {second, index};
}

// Writes a movie whose frames carry markers (second, frame) over noise and whose seconds
// carry their tones. A positive shortLastMs makes the last second that long.
bool WriteMarkedMovie(const std::string& path, const tvq::TvqStreamFormat& format, int seconds,
                      int shortLastMs = 0);

std::vector<uint8_t> ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes);

// The real TVQ_DecDLL.so, loaded with dlopen as the player loads it.
class Component {
public:
    Component();
    ~Component();
    bool Loaded() const { return init_ && decode_ && close_; }

    TvqStreamInfo* Init(const std::string& path) const;
    TvqStreamInfo* InitBlock(TvqOpenBlock* block) const { return init_(block); }
    int Decode(TvqDecodeRequest* request, TvqOpenBlock* block, TvqStreamInfo* info) const {
        return decode_(request, block, info);
    }
    int Close(TvqStreamInfo* info) const { return close_(info); }
    // The optional entry; null when the component lacks it.
    TvqSeekFn SeekEntry() const { return seek_; }

private:
    void* handle_ = nullptr;
    TvqInforInitFn init_ = nullptr;
    TvqDecoderFn decode_ = nullptr;
    TvqCloseFn close_ = nullptr;
    TvqSeekFn seek_ = nullptr;
};

// One open file with buffers sized as the player sizes them.
struct OpenMovie {
    const Component& component;
    TvqOpenBlock block{};
    TvqStreamInfo* info = nullptr;
    std::vector<uint8_t> audio, frames;
    int32_t audioCount = -7, frameCount = -7;
    TvqDecodeRequest request{};

    OpenMovie(const Component& c, const std::string& path);
    ~OpenMovie();
    // One decode call; the counts are set to a sentinel first to see that the call writes them.
    int Next();
    size_t FrameBytes() const;
    const uint8_t* Frame(int i) const { return frames.data() + i * FrameBytes(); }
};

}  // namespace tvqtest
