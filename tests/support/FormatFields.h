#pragma once
#include <vector>

#include "codec/TvqFormat.h"

// Every field of a stream format, to compare two at once.
inline std::vector<int> Fields(const tvq::TvqStreamFormat& f) {
    return {f.width,
            f.height,
            f.framesPerSecond,
            f.sampleRate,
            f.channels,
            f.bitsPerSample,
            static_cast<int>(f.videoCodec),
            f.jpegQuality};
}
