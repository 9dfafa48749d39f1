#include "CodecTestSupport.h"

#include "codec/TvqWriter.h"

#include <dlfcn.h>

#include <cstring>
#include <fstream>
#include <iterator>

namespace tvqtest {

std::vector<uint8_t> NoisyFrame(int width, int height, unsigned seed) {
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

bool WriteMarkedMovie(const std::string& path, const tvq::TvqStreamFormat& format, int seconds,
                      int shortLastMs) {
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

std::vector<uint8_t> ReadFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

Component::Component() {
    handle_ = dlopen(TVQ_DECDLL_PATH, RTLD_NOW | RTLD_LOCAL);
    if (!handle_)
        return;
    init_ = reinterpret_cast<TvqInforInitFn>(dlsym(handle_, "TvqInforInit"));
    decode_ = reinterpret_cast<TvqDecoderFn>(dlsym(handle_, "TvqDecoder"));
    close_ = reinterpret_cast<TvqCloseFn>(dlsym(handle_, "TvqClose"));
    seek_ = reinterpret_cast<TvqSeekFn>(dlsym(handle_, kTvqSeekName));
}

Component::~Component() {
    if (handle_)
        dlclose(handle_);
}

TvqStreamInfo* Component::Init(const std::string& path) const {
    TvqOpenBlock block{};
    std::strncpy(block.path, path.c_str(), sizeof block.path - 1);
    return init_(&block);
}

OpenMovie::OpenMovie(const Component& c, const std::string& path) : component(c) {
    std::strncpy(block.path, path.c_str(), sizeof block.path - 1);
    info = component.Init(path);
    if (!info)
        return;
    const size_t byteRate =
        static_cast<size_t>(info->samplesPerSecond) * info->channels * info->bitsPerSample / 8;
    audio.assign(4 * byteRate, 0xEE);
    frames.assign(2 * static_cast<size_t>(info->framesPerSecond) * FrameBytes(), 0xEE);
    request.one = 1;
    request.audioBuffer = reinterpret_cast<uintptr_t>(audio.data());
    request.audioCount = reinterpret_cast<uintptr_t>(&audioCount);
    request.frameBuffer = reinterpret_cast<uintptr_t>(frames.data());
    request.frameCount = reinterpret_cast<uintptr_t>(&frameCount);
}

OpenMovie::~OpenMovie() {
    if (info)
        component.Close(info);
}

int OpenMovie::Next() {
    audioCount = frameCount = -7;
    return component.Decode(&request, &block, info);
}

size_t OpenMovie::FrameBytes() const {
    return static_cast<size_t>((info->width * 3 + 3) & ~3) * info->height;
}

}  // namespace tvqtest
