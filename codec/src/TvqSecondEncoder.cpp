#include "codec/TvqSecondEncoder.h"

namespace tvq {

bool TvqSecondEncoder::EncodeFrames(const TvqStreamFormat& format, const uint8_t* frames, int first,
                                    int last, std::vector<std::vector<uint8_t>>& out) {
    const size_t frameBytes = format.FrameBytes();
    for (int i = first; i < last; ++i) {
        const uint8_t* frame = frames + static_cast<size_t>(i) * frameBytes;
        if (format.videoCodec == kCodecRaw) {
            out.emplace_back(frame, frame + frameBytes);
            continue;
        }
        out.emplace_back();
        if (!codec_.Encode(frame, format.width, format.height, format.Stride(), format.jpegQuality,
                           out.back()))
            return false;
    }
    return true;
}

bool TvqSecondEncoder::Encode(const TvqStreamFormat& format, const uint8_t* frames, int frameCount,
                              const uint8_t* pcm, size_t pcmBytes, TvqEncodedSecond& out) {
    out.frames.clear();
    out.audio.assign(pcm, pcm + pcmBytes);
    return frameCount == 0 || (frames && EncodeFrames(format, frames, 0, frameCount, out.frames));
}

}  // namespace tvq
