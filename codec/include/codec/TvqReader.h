#pragma once
// Opens a .tvq movie, checks its header and index, and hands out one stored second at a time.
// Every size and offset read from the file is checked against the file before it is used, so
// a damaged file fails Open or ReadSecond instead of reading out of bounds. A file whose index
// is missing or damaged is opened with an index rebuilt from its whole chunks.
#include "codec/TvqChunkIndex.h"
#include "codec/TvqFormat.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace tvq {

// One second as stored. The spans point into the reader's chunk buffer and stay valid until
// the next ReadSecond or Close.
struct TvqStoredSecond {
    int second = 0;
    std::span<const uint8_t> audio;                // at most one second of PCM
    std::vector<std::span<const uint8_t>> frames;  // at most framesPerSecond coded frames
};

class TvqReader {
public:
    TvqReader() = default;
    ~TvqReader();
    TvqReader(const TvqReader&) = delete;
    TvqReader& operator=(const TvqReader&) = delete;

    // Opens a regular file; false (and closed) when it is not a readable, well-formed movie or
    // when its index is missing and not one whole chunk follows the header.
    bool Open(const std::string& path);
    // Reads from a buffer that must outlive the reader (used by the fuzzer).
    bool OpenMemory(const uint8_t* data, size_t size);
    void Close();

    bool IsOpen() const { return open_; }
    const TvqFileHeader& Header() const { return header_; }
    const TvqStreamFormat& Format() const { return header_.format; }
    int SecondsCount() const { return static_cast<int>(index_.size()); }
    // True when the index was rebuilt by walking the chunks.
    bool IndexRebuilt() const { return rebuilt_; }

    // Reads and checks the chunk of second `index` (0-based). False when it is damaged.
    bool ReadSecond(int index, TvqStoredSecond& out);

private:
    bool ReadAt(uint64_t offset, size_t bytes, uint8_t* out) const;
    bool LoadHeaderAndIndex();
    bool ParseChunk(int index, TvqStoredSecond& out) const;

    int fd_ = -1;                      // file mode
    const uint8_t* memory_ = nullptr;  // memory mode
    uint64_t size_ = 0;                // bytes in the file or buffer
    bool open_ = false;
    TvqFileHeader header_;
    std::vector<TvqChunkEntry> index_;
    bool rebuilt_ = false;
    std::vector<uint8_t> chunk_;  // the chunk of the last ReadSecond
};

}  // namespace tvq
