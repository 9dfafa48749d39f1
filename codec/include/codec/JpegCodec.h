#pragma once
// One thread's JPEG encoder and decoder (libjpeg-turbo). Frames are 24-bit BGR, bottom-up
// rows of `stride` bytes, so decoding writes straight into the buffer the player shows.
// Not thread-safe: give each thread its own JpegCodec.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace tvq {

class JpegCodec {
public:
    JpegCodec() = default;
    ~JpegCodec();
    JpegCodec(const JpegCodec&) = delete;
    JpegCodec& operator=(const JpegCodec&) = delete;

    // Compresses a frame at quality 1..100 into `out` (resized to the JPEG's size).
    bool Encode(const uint8_t* bottomUpBgr, int width, int height, int stride, int quality,
                std::vector<uint8_t>& out);

    // Decodes a JPEG of exactly width x height into the frame buffer. False (buffer content
    // unspecified) when the data is not such a JPEG.
    bool Decode(const uint8_t* jpeg, size_t size, uint8_t* bottomUpBgr, int width, int height,
                int stride);

private:
    void* compressor_ = nullptr;         // tjhandle, made on first Encode
    void* decompressor_ = nullptr;       // tjhandle, made on first Decode
    std::vector<uint8_t> encodeBuffer_;  // worst-case size of the last Encode
};

}  // namespace tvq
