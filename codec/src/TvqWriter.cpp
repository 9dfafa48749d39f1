#include "codec/TvqWriter.h"

#include <iterator>
#include <system_error>
#include <thread>

namespace tvq {
namespace {
// Below this many JPEG frames a helper thread costs more than it saves.
constexpr int kMinFramesForHelper = 4;
}  // namespace

TvqWriter::~TvqWriter() {
    Close();
}

bool TvqWriter::Open(const std::string& path, const TvqStreamFormat& format) {
    Close();
    if (!format.IsValid() ||
        (format.videoCodec == kCodecJpeg && (format.jpegQuality < 1 || format.jpegQuality > 100)))
        return false;
    file_ = std::fopen(path.c_str(), "wb");
    if (!file_)
        return false;
    format_ = format;
    if (format_.videoCodec == kCodecRaw)
        format_.jpegQuality = 0;
    failed_ = false;
    offset_ = 0;
    index_.clear();
    // A placeholder until Close knows the index and the length.
    TvqFileHeader header;
    header.format = format_;
    uint8_t bytes[kFileHeaderBytes];
    EncodeFileHeader(header, bytes);
    return Put(bytes, sizeof bytes);
}

bool TvqWriter::Put(const void* data, size_t bytes) {
    if (failed_ || !file_)
        return false;
    if (bytes && std::fwrite(data, 1, bytes, file_) != bytes)
        failed_ = true;
    offset_ += bytes;
    return !failed_;
}

bool TvqWriter::CheckSecond(int frameCount, size_t pcmBytes) const {
    return file_ && !failed_ && frameCount >= 0 && frameCount <= format_.framesPerSecond &&
           pcmBytes <= format_.AudioBytesPerSecond() && pcmBytes % format_.BlockAlign() == 0;
}

bool TvqWriter::WriteSecond(const uint8_t* frames, int frameCount, const uint8_t* pcm,
                            size_t pcmBytes) {
    if (!CheckSecond(frameCount, pcmBytes) || (frameCount && !frames) || (pcmBytes && !pcm))
        return false;
    scratch_.audio.assign(pcm, pcm + pcmBytes);
    scratch_.frames.clear();
    bool ok = true;
    bool helperOk = true;
    const int half = frameCount / 2;
    helperFrames_.clear();
    std::thread helper;
    if (format_.videoCodec == kCodecJpeg && frameCount >= kMinFramesForHelper) {
        try {
            helper = std::thread([&] {
                helperOk =
                    encoders_[1].EncodeFrames(format_, frames, half, frameCount, helperFrames_);
            });
        } catch (const std::system_error&) {
            // No thread to be had: this thread codes them all below.
        }
    }
    if (helper.joinable()) {
        ok = encoders_[0].EncodeFrames(format_, frames, 0, half, scratch_.frames);
        helper.join();
        ok = ok && helperOk;
        std::move(helperFrames_.begin(), helperFrames_.end(), std::back_inserter(scratch_.frames));
    } else {
        ok = encoders_[0].EncodeFrames(format_, frames, 0, frameCount, scratch_.frames);
    }
    return ok && WriteEncodedSecond(scratch_);
}

bool TvqWriter::WriteEncodedSecond(const TvqEncodedSecond& second) {
    if (!CheckSecond(static_cast<int>(second.frames.size()), second.audio.size()))
        return false;
    uint64_t size = kChunkHeaderBytes + second.audio.size();
    for (const auto& frame : second.frames) {
        if (frame.size() > format_.MaxStoredFrameBytes() ||
            (format_.videoCodec == kCodecRaw && frame.size() != format_.FrameBytes()))
            return false;
        size += 4 + frame.size();
    }
    if (size > UINT32_MAX)
        return false;
    uint8_t head[kChunkHeaderBytes] = {};
    PutU32(head, kChunkTag);
    PutU32(head + 4, static_cast<uint32_t>(kChunkHeaderBytes));
    PutU32(head + 8, static_cast<uint32_t>(index_.size()));
    PutU32(head + 12, static_cast<uint32_t>(second.audio.size()));
    PutU32(head + 16, static_cast<uint32_t>(second.frames.size()));
    const uint64_t start = offset_;
    bool ok = Put(head, sizeof head) && Put(second.audio.data(), second.audio.size());
    for (const auto& frame : second.frames) {
        uint8_t frameSize[4];
        PutU32(frameSize, static_cast<uint32_t>(frame.size()));
        ok = ok && Put(frameSize, 4) && Put(frame.data(), frame.size());
    }
    if (ok)
        index_.push_back({start, static_cast<uint32_t>(size)});
    return ok;
}

bool TvqWriter::Close() {
    if (!file_)
        return false;
    TvqFileHeader header;
    header.format = format_;
    header.secondsCount = static_cast<uint32_t>(index_.size());
    header.indexOffset = offset_;
    header.packedLength = PackLength(header.secondsCount);
    uint8_t indexHead[kIndexHeaderBytes] = {};
    PutU32(indexHead, kIndexTag);
    PutU32(indexHead + 4, header.secondsCount);
    PutU32(indexHead + 8, static_cast<uint32_t>(kIndexEntryBytes));
    bool ok = Put(indexHead, sizeof indexHead);
    for (const IndexEntry& e : index_) {
        uint8_t entry[kIndexEntryBytes] = {};
        PutU64(entry, e.offset);
        PutU32(entry + 8, e.size);
        ok = ok && Put(entry, sizeof entry);
    }
    uint8_t bytes[kFileHeaderBytes];
    EncodeFileHeader(header, bytes);
    ok = ok && std::fseek(file_, 0, SEEK_SET) == 0 &&
         std::fwrite(bytes, 1, sizeof bytes, file_) == sizeof bytes;
    ok = std::fclose(file_) == 0 && ok;
    file_ = nullptr;
    index_.clear();
    return ok;
}

}  // namespace tvq
