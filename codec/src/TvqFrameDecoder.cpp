#include "codec/TvqFrameDecoder.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <system_error>
#include <thread>

namespace tvq {
namespace {
// Below this many JPEG frames a helper thread costs more than it saves.
constexpr int kMinFramesForHelper = 4;
}  // namespace

void TvqFrameDecoder::DecodeRange(const TvqStreamFormat& format, const TvqStoredSecond& second,
                                  uint8_t* out, int first, int last, JpegCodec& codec, bool* ok) {
    const size_t frameBytes = format.FrameBytes();
    for (int i = first; i < last; ++i) {
        const auto& data = second.frames[static_cast<size_t>(i)];
        uint8_t* dst = out + static_cast<size_t>(i) * frameBytes;
        if (format.videoCodec == kCodecRaw) {
            ok[i] = data.size() == frameBytes;
            if (ok[i])
                std::memcpy(dst, data.data(), frameBytes);
        } else {
            ok[i] = codec.Decode(data.data(), data.size(), dst, format.width, format.height,
                                 format.Stride());
        }
    }
}

int TvqFrameDecoder::Decode(const TvqStreamFormat& format, const TvqStoredSecond& second,
                            uint8_t* out, int framesOut) {
    if (!out || framesOut <= 0)
        return 0;
    const size_t frameBytes = format.FrameBytes();
    const int stored = std::min(static_cast<int>(second.frames.size()), framesOut);
    auto ok = std::make_unique<bool[]>(static_cast<size_t>(std::max(stored, 1)));
    std::thread helper;
    const int half = stored / 2;
    if (format.videoCodec == kCodecJpeg && stored >= kMinFramesForHelper) {
        try {
            helper = std::thread(
                [&] { DecodeRange(format, second, out, half, stored, codecs_[1], ok.get()); });
        } catch (const std::system_error&) {
            // No thread to be had: this thread decodes them all below.
        }
    }
    if (helper.joinable()) {
        DecodeRange(format, second, out, 0, half, codecs_[0], ok.get());
        helper.join();
    } else {
        DecodeRange(format, second, out, 0, stored, codecs_[0], ok.get());
    }
    int good = 0;
    for (int i = 0; i < framesOut; ++i) {
        uint8_t* dst = out + static_cast<size_t>(i) * frameBytes;
        if (i < stored && ok[i]) {
            ++good;
        } else if (i == 0) {
            std::memset(dst, 0, frameBytes);
        } else {
            std::memcpy(dst, dst - frameBytes, frameBytes);
        }
    }
    return good;
}

}  // namespace tvq
