#pragma once
// Paints, codes and writes a whole synthetic movie. Two worker threads each make whole
// seconds (painting and JPEG coding are nearly all the work); the calling thread writes them
// in order.
#include "MovieOptions.h"

#include "codec/TvqSecondEncoder.h"

#include <condition_variable>
#include <map>
#include <mutex>

namespace tvqmake {

class MovieBuilder {
public:
    explicit MovieBuilder(const MovieOptions& options) : options_(options) {}

    // Writes the movie; false (with a message on stderr) when anything fails.
    bool Run();

private:
    void Worker();
    bool MakeSecond(int second, std::vector<uint8_t>& frames, std::vector<uint8_t>& pcm,
                    tvq::TvqSecondEncoder& encoder, tvq::TvqEncodedSecond& out) const;

    const MovieOptions& options_;

    std::mutex lock_;
    std::condition_variable changed_;
    // Under lock_: the next second a worker takes, the next second the writer needs, finished
    // seconds waiting to be written, and whether to give up.
    int nextToMake_ = 0;
    int nextToWrite_ = 0;
    std::map<int, tvq::TvqEncodedSecond> done_;
    bool failed_ = false;
};

}  // namespace tvqmake
