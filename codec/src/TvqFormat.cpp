#include "codec/TvqFormat.h"

#include <algorithm>
#include <cstring>

namespace tvq {
namespace {

constexpr char kFixedHeader[kFixedHeaderBytes + 1] = "RIFF\0\0\0\0TVQ LIST\0\0\0\0hdrltvqh";
// JPEG headers and markers on top of the worst-case compressed data of a frame.
constexpr size_t kJpegOverheadBytes = 64 * 1024;

// Field offsets of the version 1 header.
enum : size_t {
    kOffHeaderBytes = 28,
    kOffVersion = 32,
    kOffReaderVersion = 34,
    kOffFps = 36,
    kOffWidth = 40,
    kOffHeight = 44,
    kOffSampleRate = 48,
    kOffChannels = 52,
    kOffBits = 54,
    kOffCodec = 56,
    kOffQuality = 60,
    kOffSeconds = 64,
    kOffBytesPerPixel = 68,
    kOffIndexOffset = 72,
};

}  // namespace

bool TvqStreamFormat::IsValid() const {
    return framesPerSecond >= 1 && framesPerSecond <= kMaxFramesPerSecond && width >= 1 &&
           width <= kMaxPictureSide && height >= 1 && height <= kMaxPictureSide &&
           sampleRate >= 1 && sampleRate <= kMaxSampleRate && (channels == 1 || channels == 2) &&
           (bitsPerSample == 8 || bitsPerSample == 16) &&
           (videoCodec == kCodecRaw || videoCodec == kCodecJpeg);
}

size_t TvqStreamFormat::MaxStoredFrameBytes() const {
    return videoCodec == kCodecRaw ? FrameBytes() : 2 * FrameBytes() + kJpegOverheadBytes;
}

int32_t PackLength(uint32_t seconds) {
    const uint32_t hours = std::min<uint32_t>(seconds / 3600, 32767);
    const uint32_t rest = seconds - std::min<uint32_t>(seconds, hours * 3600);
    const uint32_t minutes = std::min<uint32_t>(rest / 60, 255);
    const uint32_t secs = std::min<uint32_t>(rest - minutes * 60, 255);
    return static_cast<int32_t>(secs | minutes << 8 | hours << 16);
}

uint32_t UnpackLength(int32_t packed) {
    const auto u = static_cast<uint32_t>(packed);
    const int hours = static_cast<int16_t>(u >> 16);
    if (hours < 0)
        return 0;
    return (u & 0xFF) + 60 * (((u >> 8) & 0xFF) + 60 * static_cast<uint32_t>(hours));
}

void EncodeFileHeader(const TvqFileHeader& h, uint8_t* out) {
    std::memset(out, 0, kFileHeaderBytes);
    std::memcpy(out, kFixedHeader, kFixedHeaderBytes);
    const TvqStreamFormat& f = h.format;
    PutU32(out + kOffHeaderBytes, static_cast<uint32_t>(kFileHeaderBytes));
    PutU16(out + kOffVersion, h.version);
    PutU16(out + kOffReaderVersion, h.readerVersion);
    PutU32(out + kOffFps, static_cast<uint32_t>(f.framesPerSecond));
    PutU32(out + kOffWidth, static_cast<uint32_t>(f.width));
    PutU32(out + kOffHeight, static_cast<uint32_t>(f.height));
    PutU32(out + kOffSampleRate, static_cast<uint32_t>(f.sampleRate));
    PutU16(out + kOffChannels, static_cast<uint16_t>(f.channels));
    PutU16(out + kOffBits, static_cast<uint16_t>(f.bitsPerSample));
    PutU32(out + kOffCodec, f.videoCodec);
    PutU32(out + kOffQuality, static_cast<uint32_t>(f.jpegQuality));
    PutU32(out + kOffSeconds, h.secondsCount);
    PutU32(out + kOffBytesPerPixel, 3);
    PutU64(out + kOffIndexOffset, h.indexOffset);
    PutU32(out + kPackedLengthOffset, static_cast<uint32_t>(h.packedLength));
}

bool DecodeFileHeader(const uint8_t* in, size_t bytes, TvqFileHeader& h) {
    if (!in || bytes < kFileHeaderBytes || std::memcmp(in, kFixedHeader, kFixedHeaderBytes) != 0)
        return false;
    h.headerBytes = GetU32(in + kOffHeaderBytes);
    h.version = GetU16(in + kOffVersion);
    h.readerVersion = GetU16(in + kOffReaderVersion);
    if (h.headerBytes < kFileHeaderBytes || h.version < 1 || h.readerVersion > kReaderVersion)
        return false;
    TvqStreamFormat& f = h.format;
    // Read as unsigned and range-checked before narrowing, so huge values cannot wrap.
    const auto toInt = [](uint32_t v) { return v > 0x7FFFFFFFu ? -1 : static_cast<int>(v); };
    f.framesPerSecond = toInt(GetU32(in + kOffFps));
    f.width = toInt(GetU32(in + kOffWidth));
    f.height = toInt(GetU32(in + kOffHeight));
    f.sampleRate = toInt(GetU32(in + kOffSampleRate));
    f.channels = GetU16(in + kOffChannels);
    f.bitsPerSample = GetU16(in + kOffBits);
    f.videoCodec = GetU32(in + kOffCodec);
    f.jpegQuality = toInt(GetU32(in + kOffQuality));
    h.secondsCount = GetU32(in + kOffSeconds);
    h.indexOffset = GetU64(in + kOffIndexOffset);
    h.packedLength = static_cast<int32_t>(GetU32(in + kPackedLengthOffset));
    return GetU32(in + kOffBytesPerPixel) == 3 && f.IsValid();
}

}  // namespace tvq
