#pragma once
// Codes one second of frames and PCM into the form a .tvq chunk stores. Each thread that
// encodes needs its own encoder (it owns a JPEG compressor).
#include "codec/JpegCodec.h"
#include "codec/TvqFormat.h"

#include <cstdint>
#include <vector>

namespace tvq {

struct TvqEncodedSecond {
    std::vector<uint8_t> audio;                // PCM as given
    std::vector<std::vector<uint8_t>> frames;  // one coded frame each
};

class TvqSecondEncoder {
public:
    // frames: `first`..`last`-1 of the frames at `frames`, each format.FrameBytes() apart
    // (padded bottom-up BGR). Appends them, coded, to out.frames. False on a coding failure.
    bool EncodeFrames(const TvqStreamFormat& format, const uint8_t* frames, int first, int last,
                      std::vector<std::vector<uint8_t>>& out);

    // Codes a whole second: `frameCount` frames and `pcmBytes` bytes of PCM.
    bool Encode(const TvqStreamFormat& format, const uint8_t* frames, int frameCount,
                const uint8_t* pcm, size_t pcmBytes, TvqEncodedSecond& out);

private:
    JpegCodec codec_;
};

}  // namespace tvq
