#pragma once
// Writes a .tvq movie one second at a time: the header first (completed on Close), then one
// chunk per second, then the chunk index. A movie is complete only after Close succeeds.
#include "codec/TvqFormat.h"
#include "codec/TvqSecondEncoder.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace tvq {

class TvqWriter {
public:
    TvqWriter() = default;
    ~TvqWriter();  // closes an open movie
    TvqWriter(const TvqWriter&) = delete;
    TvqWriter& operator=(const TvqWriter&) = delete;

    // Creates the file. False when the format is outside the reader's limits (a JPEG quality
    // outside 1..100 included) or the file cannot be created.
    bool Open(const std::string& path, const TvqStreamFormat& format);

    // Adds the next second: up to framesPerSecond frames (padded bottom-up BGR, FrameBytes()
    // apart) and up to one second of PCM (whole sample frames). Only the last second should be
    // short; readers pad a short second with silence and its last frame. JPEG frames are coded
    // on two threads.
    bool WriteSecond(const uint8_t* frames, int frameCount, const uint8_t* pcm, size_t pcmBytes);

    // Adds a second coded elsewhere (e.g. on the caller's own threads).
    bool WriteEncodedSecond(const TvqEncodedSecond& second);

    // Writes the index and completes the header. False if any write failed.
    bool Close();

    bool IsOpen() const { return file_ != nullptr; }
    int SecondsWritten() const { return static_cast<int>(index_.size()); }

private:
    struct IndexEntry {
        uint64_t offset;
        uint32_t size;
    };

    bool Put(const void* data, size_t bytes);
    bool CheckSecond(int frameCount, size_t pcmBytes) const;

    std::FILE* file_ = nullptr;
    bool failed_ = false;
    uint64_t offset_ = 0;  // where the next byte goes
    TvqStreamFormat format_;
    std::vector<IndexEntry> index_;
    TvqSecondEncoder encoders_[2];
    TvqEncodedSecond scratch_;
    std::vector<std::vector<uint8_t>> helperFrames_;
};

}  // namespace tvq
