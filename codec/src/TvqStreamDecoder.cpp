#include "codec/TvqStreamDecoder.h"

#include <algorithm>
#include <cstring>

namespace tvq {
namespace {

static_assert(kTvqCodecRaw == kCodecRaw && kTvqCodecJpeg == kCodecJpeg,
              "the component hands out the file's own fourccs");

void SetCount(uintptr_t address, int32_t value) {
    if (address)
        *reinterpret_cast<int32_t*>(address) = value;
}

}  // namespace

bool TvqStreamDecoder::Open(const std::string& path) {
    return reader_.Open(path) && Start();
}

bool TvqStreamDecoder::OpenMemory(const uint8_t* data, size_t size) {
    return reader_.OpenMemory(data, size) && Start();
}

bool TvqStreamDecoder::Start() {
    const TvqStreamFormat& f = reader_.Format();
    info_ = {};
    info_.framesPerSecond = f.framesPerSecond;
    info_.height = f.height;
    info_.width = f.width;
    info_.bytesPerPixel = 3;
    info_.samplesPerSecond = static_cast<uint32_t>(f.sampleRate);
    info_.channels = static_cast<uint16_t>(f.channels);
    info_.bitsPerSample = static_cast<uint16_t>(f.bitsPerSample);
    // From the index rather than offset 84, so the length always matches what will play.
    info_.packedLength = PackLength(static_cast<uint32_t>(reader_.SecondsCount()));
    nextSecond_ = 0;
    ended_ = false;
    haveCarry_ = false;
    return true;
}

int TvqStreamDecoder::Finish(uintptr_t audioCount, uintptr_t frameCount) {
    ended_ = true;
    SetCount(audioCount, 0);
    SetCount(frameCount, 0);
    return kTvqEndOfFile;
}

size_t TvqStreamDecoder::PutAudio(const TvqStoredSecond& second, uint8_t* out, bool last) {
    const TvqStreamFormat& f = reader_.Format();
    const uint8_t silence = f.bitsPerSample == 8 ? 0x80 : 0x00;
    const size_t secondBytes = f.AudioBytesPerSecond();
    size_t n = 0;
    if (haveCarry_)
        out[n++] = carry_;
    haveCarry_ = false;
    std::memcpy(out + n, second.audio.data(), second.audio.size());
    std::memset(out + n + second.audio.size(), silence, secondBytes - second.audio.size());
    n += secondBytes;
    if (n % 2 != 0) {
        if (last) {
            out[n++] = silence;
        } else {
            carry_ = out[--n];
            haveCarry_ = true;
        }
    }
    return n;
}

bool TvqStreamDecoder::SeekTo(int32_t second) {
    // The index gives every chunk's offset, so a seek only moves the next second to read.
    if (second < 0 || second >= reader_.SecondsCount())
        return false;
    nextSecond_ = second;
    ended_ = false;
    haveCarry_ = false;
    return true;
}

bool TvqStreamDecoder::NextSecond(uintptr_t audioBuffer, uintptr_t audioCount,
                                  TvqStoredSecond& second, bool* last) {
    if (ended_ || nextSecond_ >= reader_.SecondsCount())
        return false;
    if (!reader_.ReadSecond(nextSecond_, second))
        return false;
    *last = nextSecond_ + 1 == reader_.SecondsCount();
    ++nextSecond_;
    auto* audio = reinterpret_cast<uint8_t*>(audioBuffer);
    const size_t audioBytes = audio ? PutAudio(second, audio, *last) : 0;
    SetCount(audioCount, static_cast<int32_t>(audioBytes / 2));
    if (*last)
        ended_ = true;
    return true;
}

int TvqStreamDecoder::DecodeNext(const TvqDecodeRequest& request) {
    TvqStoredSecond second;
    bool last = false;
    if (!NextSecond(request.audioBuffer, request.audioCount, second, &last))
        return Finish(request.audioCount, request.frameCount);
    auto* frames = reinterpret_cast<uint8_t*>(request.frameBuffer);
    if (frames)
        frames_.Decode(reader_.Format(), second, frames, info_.framesPerSecond);
    SetCount(request.frameCount, frames ? info_.framesPerSecond : 0);
    return last ? kTvqEndOfFile : 1;
}

int TvqStreamDecoder::ReadStoredNext(const TvqStoredRequest& request) {
    bool last = false;
    // The chunk buffer the frames point into is the reader's, kept until its next read.
    if (!NextSecond(request.audioBuffer, request.audioCount, stored_, &last))
        return Finish(request.audioCount, request.frameCount);
    auto* frames = reinterpret_cast<TvqStoredFrame*>(request.frames);
    int32_t count = 0;
    if (frames && !stored_.frames.empty()) {
        for (int n = 0; n < info_.framesPerSecond; ++n) {
            const size_t from = std::min(static_cast<size_t>(n), stored_.frames.size() - 1);
            const std::span<const uint8_t> frame = stored_.frames[from];
            frames[n] = TvqStoredFrame{frame.data(), static_cast<uint32_t>(frame.size()), 0};
        }
        count = info_.framesPerSecond;
    }
    SetCount(request.frameCount, count);
    if (auto* codec = reinterpret_cast<uint32_t*>(request.codec))
        *codec = reader_.Format().videoCodec;
    return last ? kTvqEndOfFile : 1;
}

}  // namespace tvq
