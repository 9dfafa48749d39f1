#pragma once
// Codes whole seconds of the movie on a fixed number of worker threads (the caller chooses how
// many) and hands them to the writer strictly in order; at most a few seconds wait in memory.
#include "VideoTrack.h"
#include "codec/TvqFormat.h"
#include "codec/TvqSecondEncoder.h"

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

namespace tvqconvert {

struct SecondJob {
    int second = 0;
    std::vector<Picture> pictures;  // one per frame of the second, repeats share a picture
    std::vector<uint8_t> pcm;
};

class EncoderPool {
public:
    // `write` is called with each coded second, in order, on one thread at a time.
    using Writer = std::function<bool(const tvq::TvqEncodedSecond&)>;
    // `rotation`: clockwise quarter turns (in degrees) applied to decoded pictures.
    EncoderPool(const tvq::TvqStreamFormat& format, int rotation, int workers, int maxAhead,
                Writer write);
    ~EncoderPool();  // waits for the workers
    EncoderPool(const EncoderPool&) = delete;
    EncoderPool& operator=(const EncoderPool&) = delete;

    // Queues the next second (numbered from 0 in order); waits while too many are on their
    // way. False once coding or writing failed.
    bool Submit(SecondJob job);
    // Waits until every queued second is written; false if any failed.
    bool Finish();
    int SecondsWritten();

private:
    void Work();
    bool Encode(SecondJob& job, tvq::TvqEncodedSecond& out, tvq::JpegCodec& codec, Scaler& scaler,
                std::vector<uint8_t>& frame) const;

    tvq::TvqStreamFormat format_;
    int rotation_;
    int maxAhead_;
    Writer write_;
    std::vector<std::thread> threads_;

    std::mutex lock_;
    std::condition_variable changed_;
    // Under lock_.
    std::map<int, SecondJob> queued_;
    std::map<int, tvq::TvqEncodedSecond> done_;
    int submitted_ = 0;
    int written_ = 0;
    bool writing_ = false;  // a worker is handing seconds to the writer
    bool failed_ = false;
    bool stopping_ = false;
};

}  // namespace tvqconvert
