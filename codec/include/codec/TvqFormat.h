#pragma once
// The layout of a .tvq movie file (docs/tvq-format.md): the file header with the stream's
// format, the per-second chunks and the chunk index. Little-endian throughout.
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace tvq {

constexpr uint32_t FourCc(char a, char b, char c, char d) {
    return static_cast<uint32_t>(static_cast<uint8_t>(a)) |
           static_cast<uint32_t>(static_cast<uint8_t>(b)) << 8 |
           static_cast<uint32_t>(static_cast<uint8_t>(c)) << 16 |
           static_cast<uint32_t>(static_cast<uint8_t>(d)) << 24;
}

constexpr uint32_t kCodecRaw = FourCc('R', 'A', 'W', ' ');
constexpr uint32_t kCodecJpeg = FourCc('J', 'P', 'E', 'G');

// The format version this code writes, and the oldest reader version that can read it.
constexpr uint16_t kFormatVersion = 1;
constexpr uint16_t kReaderVersion = 1;

constexpr size_t kFixedHeaderBytes = 28;  // "RIFF" 0 "TVQ " "LIST" 0 "hdrl" "tvqh"
constexpr size_t kFileHeaderBytes = 96;   // version 1 header; later versions may be longer
constexpr size_t kPackedLengthOffset = 84;
constexpr size_t kChunkHeaderBytes = 24;  // version 1 chunk header
constexpr size_t kIndexHeaderBytes = 16;
constexpr size_t kIndexEntryBytes = 16;  // version 1 index entry

constexpr uint32_t kChunkTag = FourCc('t', 'v', 'q', 's');
constexpr uint32_t kIndexTag = FourCc('t', 'v', 'q', 'i');

// Limits a reader holds a stream to; anything outside is refused as damaged or hostile.
constexpr int kMaxPictureSide = 8192;
constexpr int kMaxFramesPerSecond = 120;
constexpr int kMaxSampleRate = 192000;

// What a stream holds; the same for every second of the movie.
struct TvqStreamFormat {
    int framesPerSecond = 25;
    int width = 320;
    int height = 240;
    int sampleRate = 22050;
    int channels = 2;
    int bitsPerSample = 16;
    uint32_t videoCodec = kCodecJpeg;
    int jpegQuality = 85;  // what the writer used; informational for readers

    bool IsValid() const;                                // inside the limits above, codec known
    int Stride() const { return (width * 3 + 3) & ~3; }  // bytes per padded BGR row
    size_t FrameBytes() const { return static_cast<size_t>(Stride()) * height; }
    int BlockAlign() const { return channels * bitsPerSample / 8; }
    size_t AudioBytesPerSecond() const { return static_cast<size_t>(sampleRate) * BlockAlign(); }
    // The most bytes one stored frame may take (a JPEG can exceed the raw size slightly).
    size_t MaxStoredFrameBytes() const;
};

// The decoded file header.
struct TvqFileHeader {
    uint32_t headerBytes = kFileHeaderBytes;
    uint16_t version = kFormatVersion;
    uint16_t readerVersion = kReaderVersion;
    TvqStreamFormat format;
    uint32_t secondsCount = 0;
    uint64_t indexOffset = 0;
    int32_t packedLength = 0;  // bits 0-7 seconds, 8-15 minutes, 16-31 hours
};

// Length in seconds to the packed form stored at offset 84 (hours saturate at 32767).
int32_t PackLength(uint32_t seconds);
// Packed form to seconds; negative hours give 0.
inline uint32_t UnpackLength(int32_t packed);

// Writes the version 1 header (kFileHeaderBytes bytes).
void EncodeFileHeader(const TvqFileHeader& header, uint8_t* out);
// Reads and checks a header; `bytes` is how many bytes of the file start are at `in`.
// False when the magic, sizes, version or stream format are not acceptable.
inline bool DecodeFileHeader(const uint8_t* in, size_t bytes, TvqFileHeader& header);

// Little-endian access to byte buffers.
inline uint16_t GetU16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}
inline uint32_t GetU32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}
inline uint64_t GetU64(const uint8_t* p) {
    return GetU32(p) | static_cast<uint64_t>(GetU32(p + 4)) << 32;
}
inline void PutU16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
inline void PutU32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
inline void PutU64(uint8_t* p, uint64_t v) {
    PutU32(p, static_cast<uint32_t>(v));
    PutU32(p + 4, static_cast<uint32_t>(v >> 32));
}

// What a reader needs of the format is defined here, so that a program that only lists movies
// (the player's playlist) can check a header and walk the chunks without linking the codec.
namespace detail {

inline constexpr char kFixedHeader[kFixedHeaderBytes + 1] = "RIFF\0\0\0\0TVQ LIST\0\0\0\0hdrltvqh";
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

}  // namespace detail

inline bool TvqStreamFormat::IsValid() const {
    return framesPerSecond >= 1 && framesPerSecond <= kMaxFramesPerSecond && width >= 1 &&
           width <= kMaxPictureSide && height >= 1 && height <= kMaxPictureSide &&
           sampleRate >= 1 && sampleRate <= kMaxSampleRate && (channels == 1 || channels == 2) &&
           (bitsPerSample == 8 || bitsPerSample == 16) &&
           (videoCodec == kCodecRaw || videoCodec == kCodecJpeg);
}

inline size_t TvqStreamFormat::MaxStoredFrameBytes() const {
    return videoCodec == kCodecRaw ? FrameBytes() : 2 * FrameBytes() + detail::kJpegOverheadBytes;
}

inline uint32_t UnpackLength(int32_t packed) {
    const auto u = static_cast<uint32_t>(packed);
    const int hours = static_cast<int16_t>(u >> 16);
    if (hours < 0)
        return 0;
    return (u & 0xFF) + 60 * (((u >> 8) & 0xFF) + 60 * static_cast<uint32_t>(hours));
}

inline bool DecodeFileHeader(const uint8_t* in, size_t bytes, TvqFileHeader& h) {
    if (!in || bytes < kFileHeaderBytes ||
        std::memcmp(in, detail::kFixedHeader, kFixedHeaderBytes) != 0)
        return false;
    h.headerBytes = GetU32(in + detail::kOffHeaderBytes);
    h.version = GetU16(in + detail::kOffVersion);
    h.readerVersion = GetU16(in + detail::kOffReaderVersion);
    if (h.headerBytes < kFileHeaderBytes || h.version < 1 || h.readerVersion > kReaderVersion)
        return false;
    TvqStreamFormat& f = h.format;
    // Read as unsigned and range-checked before narrowing, so huge values cannot wrap.
    const auto toInt = [](uint32_t v) { return v > 0x7FFFFFFFu ? -1 : static_cast<int>(v); };
    f.framesPerSecond = toInt(GetU32(in + detail::kOffFps));
    f.width = toInt(GetU32(in + detail::kOffWidth));
    f.height = toInt(GetU32(in + detail::kOffHeight));
    f.sampleRate = toInt(GetU32(in + detail::kOffSampleRate));
    f.channels = GetU16(in + detail::kOffChannels);
    f.bitsPerSample = GetU16(in + detail::kOffBits);
    f.videoCodec = GetU32(in + detail::kOffCodec);
    f.jpegQuality = toInt(GetU32(in + detail::kOffQuality));
    h.secondsCount = GetU32(in + detail::kOffSeconds);
    h.indexOffset = GetU64(in + detail::kOffIndexOffset);
    h.packedLength = static_cast<int32_t>(GetU32(in + kPackedLengthOffset));
    return GetU32(in + detail::kOffBytesPerPixel) == 3 && f.IsValid();
}

}  // namespace tvq
