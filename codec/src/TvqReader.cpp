#include "codec/TvqReader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace tvq {

TvqReader::~TvqReader() {
    Close();
}

bool TvqReader::Open(const std::string& path) {
    Close();
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0)
        return false;
    struct stat st {};
    if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) {
        Close();
        return false;
    }
    size_ = static_cast<uint64_t>(st.st_size);
    if (!LoadHeaderAndIndex()) {
        Close();
        return false;
    }
    open_ = true;
    return true;
}

bool TvqReader::OpenMemory(const uint8_t* data, size_t size) {
    Close();
    if (!data)
        return false;
    memory_ = data;
    size_ = size;
    if (!LoadHeaderAndIndex()) {
        Close();
        return false;
    }
    open_ = true;
    return true;
}

void TvqReader::Close() {
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
    memory_ = nullptr;
    size_ = 0;
    open_ = false;
    header_ = {};
    index_.clear();
    rebuilt_ = false;
    chunk_.clear();
    chunk_.shrink_to_fit();
}

bool TvqReader::ReadAt(uint64_t offset, size_t bytes, uint8_t* out) const {
    if (offset > size_ || bytes > size_ - offset)
        return false;
    if (memory_) {
        std::memcpy(out, memory_ + offset, bytes);
        return true;
    }
    size_t done = 0;
    while (done < bytes) {
        const ssize_t n = ::pread(fd_, out + done, bytes - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;  // an error, or the file shrank under us
        done += static_cast<size_t>(n);
    }
    return true;
}

bool TvqReader::LoadHeaderAndIndex() {
    uint8_t head[kFileHeaderBytes];
    if (!ReadAt(0, sizeof head, head) || !DecodeFileHeader(head, sizeof head, header_))
        return false;
    auto readAt = [this](uint64_t offset, size_t bytes, uint8_t* out) {
        return ReadAt(offset, bytes, out);
    };
    index_ = FindChunks(header_, size_, readAt, &rebuilt_);
    // A rebuilt index that found no whole chunk leaves nothing to play.
    return !rebuilt_ || !index_.empty();
}

bool TvqReader::ReadSecond(int index, TvqStoredSecond& out) {
    out = {};
    if (!open_ || index < 0 || index >= SecondsCount())
        return false;
    const TvqChunkEntry& entry = index_[static_cast<size_t>(index)];
    const TvqStreamFormat& f = header_.format;
    if (entry.size > MaxChunkBytes(f))
        return false;
    chunk_.resize(entry.size);
    if (!ReadAt(entry.offset, entry.size, chunk_.data()))
        return false;
    if (!ParseChunk(index, out)) {
        out = {};
        return false;
    }
    return true;
}

bool TvqReader::ParseChunk(int index, TvqStoredSecond& out) const {
    const TvqStreamFormat& f = header_.format;
    const uint8_t* p = chunk_.data();
    const size_t size = chunk_.size();
    const uint32_t headerBytes = GetU32(p + 4);
    const uint32_t second = GetU32(p + 8);
    const uint32_t audioBytes = GetU32(p + 12);
    const uint32_t frameCount = GetU32(p + 16);
    if (GetU32(p) != kChunkTag || headerBytes < kChunkHeaderBytes || headerBytes > size ||
        second != static_cast<uint32_t>(index) || audioBytes > f.AudioBytesPerSecond() ||
        audioBytes % f.BlockAlign() != 0 || frameCount > static_cast<uint32_t>(f.framesPerSecond))
        return false;
    size_t pos = headerBytes;
    if (audioBytes > size - pos)
        return false;
    out.second = index;
    out.audio = {p + pos, audioBytes};
    pos += audioBytes;
    out.frames.reserve(frameCount);
    for (uint32_t i = 0; i < frameCount; ++i) {
        if (size - pos < 4)
            return false;
        const uint32_t frameBytes = GetU32(p + pos);
        pos += 4;
        if (frameBytes > size - pos || frameBytes > f.MaxStoredFrameBytes() ||
            (f.videoCodec == kCodecRaw && frameBytes != f.FrameBytes()))
            return false;
        out.frames.emplace_back(p + pos, frameBytes);
        pos += frameBytes;
    }
    return true;
}

}  // namespace tvq
