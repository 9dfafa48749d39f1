#pragma once
// Frames, sounds and movies the codec tests build, and the loaded decoder component.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "FormatFields.h"
#include "TempFolder.h"
#include "codec/TestPattern.h"
#include "codec/TvqComponentApi.h"
#include "codec/TvqFormat.h"
#include "codec/TvqWriter.h"

namespace tvqtest {

inline int StrideFor(int width) {
    return (width * 3 + 3) & ~3;
}

// A bottom-up BGR frame of smooth colour plus noise, the kind of picture JPEG finds hard.
inline std::vector<uint8_t> NoisyFrame(int width, int height, unsigned seed) {
    const int stride = StrideFor(width);
    std::vector<uint8_t> frame(static_cast<size_t>(stride) * height, 0);
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> noise(-40, 40);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            uint8_t* p = &frame[static_cast<size_t>(y) * stride + x * 3];
            const int base[3] = {x * 255 / width, y * 255 / height,
                                 (x + y + static_cast<int>(seed)) & 255};
            for (int c = 0; c < 3; ++c)
                p[c] = static_cast<uint8_t>(std::clamp(base[c] + noise(rng), 0, 255));
        }
    return frame;
}

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
inline bool WriteMarkedMovie(const std::string& path, const tvq::TvqStreamFormat& format,
                             int seconds, int shortLastMs = 0) {
    tvq::TvqWriter writer;
    if (!writer.Open(path, format))
        return false;
    const size_t frameBytes = format.FrameBytes();
    std::vector<uint8_t> frames(frameBytes * format.framesPerSecond);
    std::vector<uint8_t> pcm(format.AudioBytesPerSecond());
    // A few noise pictures reused, so long movies stay quick to make.
    std::vector<std::vector<uint8_t>> noise;
    for (unsigned i = 0; i < 3; ++i) noise.push_back(NoisyFrame(format.width, format.height, i));
    for (int s = 0; s < seconds; ++s) {
        int frameCount = format.framesPerSecond;
        long sampleFrames = format.sampleRate;
        if (shortLastMs > 0 && s + 1 == seconds) {
            frameCount = std::max(1, (shortLastMs * format.framesPerSecond + 999) / 1000);
            sampleFrames = static_cast<long>(format.sampleRate) * shortLastMs / 1000;
        }
        for (int f = 0; f < frameCount; ++f) {
            uint8_t* frame = frames.data() + f * frameBytes;
            std::memcpy(frame, noise[(s + f) % noise.size()].data(), frameBytes);
            tvq::WriteFrameMarker(frame, format.width, format.height, format.Stride(), s, f);
        }
        const size_t bytes =
            tvq::WriteToneForSecond(pcm.data(), s, 0, sampleFrames, format.sampleRate,
                                    format.channels, format.bitsPerSample);
        if (!writer.WriteSecond(frames.data(), frameCount, pcm.data(), bytes))
            return false;
    }
    return writer.Close();
}

inline std::vector<uint8_t> ReadFileBytes(const std::string& path) {
    const std::string bytes = TempFolder::ReadAll(path);
    return {bytes.begin(), bytes.end()};
}

inline void WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

// The real TVQ_DecDLL.so, loaded with dlopen as the player loads it.
class Component {
public:
    Component() : handle_(dlopen(TVQ_DECDLL_PATH, RTLD_NOW | RTLD_LOCAL)) {
        if (!handle_)
            return;
        init_ = reinterpret_cast<TvqInforInitFn>(dlsym(handle_, "TvqInforInit"));
        decode_ = reinterpret_cast<TvqDecoderFn>(dlsym(handle_, "TvqDecoder"));
        close_ = reinterpret_cast<TvqCloseFn>(dlsym(handle_, "TvqClose"));
        seek_ = reinterpret_cast<TvqSeekFn>(dlsym(handle_, kTvqSeekName));
    }
    ~Component() {
        if (handle_)
            dlclose(handle_);
    }
    bool Loaded() const { return init_ && decode_ && close_; }

    TvqStreamInfo* Init(const std::string& path) const {
        TvqOpenBlock block{};
        std::strncpy(block.path, path.c_str(), sizeof block.path - 1);
        return init_(&block);
    }
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

// A decode request for these buffers and counts.
inline TvqDecodeRequest RequestFor(uint8_t* audio, int32_t* audioCount, uint8_t* frames,
                                   int32_t* frameCount) {
    const auto at = [](const void* p) { return reinterpret_cast<uintptr_t>(p); };
    return {1, at(audio), at(audioCount), at(frames), at(frameCount), 0};
}

// One open file with buffers sized as the player sizes them.
struct OpenMovie {
    const Component& component;
    TvqOpenBlock block{};
    TvqStreamInfo* info = nullptr;
    std::vector<uint8_t> audio, frames;
    int32_t audioCount = -7, frameCount = -7;
    TvqDecodeRequest request{};

    OpenMovie(const Component& c, const std::string& path) : component(c) {
        std::strncpy(block.path, path.c_str(), sizeof block.path - 1);
        info = component.Init(path);
        if (!info)
            return;
        audio.assign(4 * static_cast<size_t>(info->samplesPerSecond) * info->channels *
                         info->bitsPerSample / 8,
                     0xEE);
        frames.assign(2 * static_cast<size_t>(info->framesPerSecond) * FrameBytes(), 0xEE);
        request = RequestFor(audio.data(), &audioCount, frames.data(), &frameCount);
    }
    ~OpenMovie() {
        if (info)
            component.Close(info);
    }
    // One decode call; the counts are set to a sentinel first to see that the call writes them.
    int Next() {
        audioCount = frameCount = -7;
        return component.Decode(&request, &block, info);
    }
    size_t FrameBytes() const { return static_cast<size_t>(StrideFor(info->width)) * info->height; }
    const uint8_t* Frame(int i) const { return frames.data() + i * FrameBytes(); }
};

}  // namespace tvqtest
