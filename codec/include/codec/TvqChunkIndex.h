#pragma once
// Where the chunks of a movie are: read from its index, or, when the index is missing or
// damaged (the writer was stopped before it finished, a download was cut), found by walking the
// chunks from the end of the header. The rules are those of docs/tvq-format.md ("Rebuilding the
// index"). Header-only, so that a program that only lists movies can measure one without
// linking the codec.
#include "codec/TvqFormat.h"

#include <cstdio>
#include <string>
#include <vector>

namespace tvq {

struct TvqChunkEntry {
    uint64_t offset;
    uint32_t size;
};

// The longest movie a header can describe (hours saturate at 32767); a walk stops there.
constexpr uint32_t kMaxWalkedSeconds = 32767u * 3600u;

// The most bytes one chunk of this stream may take.
inline uint64_t MaxChunkBytes(const TvqStreamFormat& f) {
    return kChunkHeaderBytes + f.AudioBytesPerSecond() +
           static_cast<uint64_t>(f.framesPerSecond) * (4 + f.MaxStoredFrameBytes()) + 4096;
}

// readAt(offset, bytes, out) reads exactly `bytes` bytes at `offset` of the file or returns
// false. Fills `out` from the index and returns true when the index is whole and every entry
// lies inside the file; false (out cleared) otherwise.
template <class ReadAt>
bool ReadChunkIndex(const TvqFileHeader& h, uint64_t fileSize, ReadAt&& readAt,
                    std::vector<TvqChunkEntry>& out) {
    out.clear();
    const uint64_t at = h.indexOffset;
    uint8_t head[kIndexHeaderBytes];
    if (at < h.headerBytes || at > fileSize || fileSize - at < kIndexHeaderBytes ||
        !readAt(at, sizeof head, head))
        return false;
    const uint32_t count = GetU32(head + 4);
    const uint32_t entryBytes = GetU32(head + 8);
    if (GetU32(head) != kIndexTag || count != h.secondsCount || entryBytes < kIndexEntryBytes)
        return false;
    // The entries must lie inside the file, which also bounds the allocation below.
    if (static_cast<uint64_t>(count) * entryBytes > fileSize - at - kIndexHeaderBytes)
        return false;
    std::vector<uint8_t> raw(static_cast<size_t>(count) * entryBytes);
    if (!readAt(at + kIndexHeaderBytes, raw.size(), raw.data()))
        return false;
    out.resize(count);
    for (uint32_t i = 0; i < count; ++i) {
        const uint8_t* e = raw.data() + static_cast<size_t>(i) * entryBytes;
        TvqChunkEntry& entry = out[i];
        entry.offset = GetU64(e);
        entry.size = GetU32(e + 8);
        if (entry.offset < h.headerBytes || entry.offset > fileSize ||
            entry.size > fileSize - entry.offset || entry.size < kChunkHeaderBytes) {
            out.clear();
            return false;
        }
    }
    return true;
}

// The whole chunks from the end of the header on, in order, as long as each one passes the
// checks a reader makes before decoding it. The walk ends at the first chunk that does not
// lie wholly inside the file or fails a check (the index of a finished file is such a place),
// or at kMaxWalkedSeconds. Reads each chunk header and each frame's size word, never more.
template <class ReadAt>
std::vector<TvqChunkEntry> WalkChunks(const TvqFileHeader& h, uint64_t fileSize, ReadAt&& readAt) {
    std::vector<TvqChunkEntry> found;
    const TvqStreamFormat& f = h.format;
    const uint64_t maxChunk = MaxChunkBytes(f);
    uint64_t pos = h.headerBytes;
    while (found.size() < kMaxWalkedSeconds && pos <= fileSize &&
           fileSize - pos >= kChunkHeaderBytes) {
        uint8_t head[kChunkHeaderBytes];
        if (!readAt(pos, sizeof head, head))
            break;
        const uint32_t headerBytes = GetU32(head + 4);
        const uint32_t audioBytes = GetU32(head + 12);
        const uint32_t frameCount = GetU32(head + 16);
        if (GetU32(head) != kChunkTag || headerBytes < kChunkHeaderBytes ||
            headerBytes > maxChunk || GetU32(head + 8) != found.size() ||
            audioBytes > f.AudioBytesPerSecond() || audioBytes % f.BlockAlign() != 0 ||
            frameCount > static_cast<uint32_t>(f.framesPerSecond))
            break;
        const uint64_t room = fileSize - pos;  // bytes from the chunk start to the end of file
        uint64_t size = static_cast<uint64_t>(headerBytes) + audioBytes;
        bool whole = size <= maxChunk && size <= room;
        for (uint32_t i = 0; whole && i < frameCount; ++i) {
            uint8_t word[4];
            if (room - size < 4 || !readAt(pos + size, sizeof word, word)) {
                whole = false;
                break;
            }
            const uint32_t frameBytes = GetU32(word);
            whole = frameBytes <= f.MaxStoredFrameBytes() &&
                    (f.videoCodec != kCodecRaw || frameBytes == f.FrameBytes());
            size += 4 + static_cast<uint64_t>(frameBytes);
            whole = whole && size <= maxChunk && size <= room;
        }
        if (!whole)
            break;
        found.push_back({pos, static_cast<uint32_t>(size)});
        pos += size;
    }
    return found;
}

// The index when it is whole, else the walk. `rebuilt` (optional) tells which one it was.
template <class ReadAt>
std::vector<TvqChunkEntry> FindChunks(const TvqFileHeader& h, uint64_t fileSize, ReadAt&& readAt,
                                      bool* rebuilt = nullptr) {
    std::vector<TvqChunkEntry> chunks;
    const bool fromIndex = ReadChunkIndex(h, fileSize, readAt, chunks);
    if (!fromIndex)
        chunks = WalkChunks(h, fileSize, readAt);
    if (rebuilt)
        *rebuilt = !fromIndex;
    return chunks;
}

// The length in seconds the decoder will play for the movie at `path`: the index's count, or
// the whole chunks found by the walk. -1 when the file is no movie (or a rebuilt index finds
// no chunk, which the decoder refuses). Costs the header and index reads, plus the walk only
// for a file whose index is missing or damaged.
inline int32_t FindMovieLength(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file)
        return -1;
    int32_t length = -1;
    uint8_t head[kFileHeaderBytes];
    TvqFileHeader header;
    if (std::fseek(file, 0, SEEK_END) == 0) {
        const long end = std::ftell(file);
        const uint64_t fileSize = end > 0 ? static_cast<uint64_t>(end) : 0;
        auto readAt = [file, fileSize](uint64_t offset, size_t bytes, uint8_t* out) {
            if (offset > fileSize || bytes > fileSize - offset ||
                std::fseek(file, static_cast<long>(offset), SEEK_SET) != 0)
                return false;
            return std::fread(out, 1, bytes, file) == bytes;
        };
        if (readAt(0, sizeof head, head) && DecodeFileHeader(head, sizeof head, header)) {
            bool rebuilt = false;
            const size_t count = FindChunks(header, fileSize, readAt, &rebuilt).size();
            if (!rebuilt || count > 0)
                length = static_cast<int32_t>(count);
        }
    }
    std::fclose(file);
    return length;
}

}  // namespace tvq
