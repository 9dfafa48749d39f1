#pragma once
// Turns one stored second's frames into padded bottom-up BGR frames in a caller's buffer,
// using two threads for JPEG (each with its own decoder), since decoding is most of the cost of
// a second of movie. The second thread lives as long as the decoder and sleeps between seconds,
// so a playing movie does not start a thread every second.
#include "codec/JpegCodec.h"
#include "codec/TvqFormat.h"
#include "codec/TvqReader.h"

#include <cstdint>
#include <memory>

namespace tvq {

class TvqFrameDecoder {
public:
    TvqFrameDecoder();
    ~TvqFrameDecoder();

    // Writes exactly `framesOut` frames of format.FrameBytes() each to `out`. A frame that
    // cannot be decoded repeats the one before it (black when it is the first); frames the
    // second lacks repeat its last frame. Returns how many stored frames decoded cleanly.
    int Decode(const TvqStreamFormat& format, const TvqStoredSecond& second, uint8_t* out,
               int framesOut);

private:
    // Decodes stored frames [first, last); marks each success in `ok`.
    void DecodeRange(const TvqStreamFormat& format, const TvqStoredSecond& second, uint8_t* out,
                     int first, int last, JpegCodec& codec, bool* ok);

    // Starts the helper thread the first time it is wanted; false when no thread can be had.
    bool EnsureHelper();

    class Helper;
    JpegCodec codecs_[2];  // [0] on the calling thread, [1] on the helper thread
    std::unique_ptr<Helper> helper_;
};

}  // namespace tvq
