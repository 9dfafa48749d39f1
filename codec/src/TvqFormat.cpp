#include "codec/TvqFormat.h"

#include <algorithm>
#include <cstring>

namespace tvq {

int32_t PackLength(uint32_t seconds) {
    const uint32_t hours = std::min<uint32_t>(seconds / 3600, 32767);
    const uint32_t rest = seconds - std::min<uint32_t>(seconds, hours * 3600);
    const uint32_t minutes = std::min<uint32_t>(rest / 60, 255);
    const uint32_t secs = std::min<uint32_t>(rest - minutes * 60, 255);
    return static_cast<int32_t>(secs | minutes << 8 | hours << 16);
}

void EncodeFileHeader(const TvqFileHeader& h, uint8_t* out) {
    std::memset(out, 0, kFileHeaderBytes);
    std::memcpy(out, detail::kFixedHeader, kFixedHeaderBytes);
    const TvqStreamFormat& f = h.format;
    PutU32(out + detail::kOffHeaderBytes, static_cast<uint32_t>(kFileHeaderBytes));
    PutU16(out + detail::kOffVersion, h.version);
    PutU16(out + detail::kOffReaderVersion, h.readerVersion);
    PutU32(out + detail::kOffFps, static_cast<uint32_t>(f.framesPerSecond));
    PutU32(out + detail::kOffWidth, static_cast<uint32_t>(f.width));
    PutU32(out + detail::kOffHeight, static_cast<uint32_t>(f.height));
    PutU32(out + detail::kOffSampleRate, static_cast<uint32_t>(f.sampleRate));
    PutU16(out + detail::kOffChannels, static_cast<uint16_t>(f.channels));
    PutU16(out + detail::kOffBits, static_cast<uint16_t>(f.bitsPerSample));
    PutU32(out + detail::kOffCodec, f.videoCodec);
    PutU32(out + detail::kOffQuality, static_cast<uint32_t>(f.jpegQuality));
    PutU32(out + detail::kOffSeconds, h.secondsCount);
    PutU32(out + detail::kOffBytesPerPixel, 3);
    PutU64(out + detail::kOffIndexOffset, h.indexOffset);
    PutU32(out + kPackedLengthOffset, static_cast<uint32_t>(h.packedLength));
}

}  // namespace tvq
