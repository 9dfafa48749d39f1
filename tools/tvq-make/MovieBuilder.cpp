#include "MovieBuilder.h"

#include "MoviePattern.h"
#include "codec/TvqWriter.h"

#include <algorithm>
#include <cstdio>
#include <thread>

namespace tvqmake {
namespace {
constexpr int kWorkers = 2;
// Seconds a worker may run ahead of the writer; bounds memory on long movies.
constexpr int kMaxSecondsAhead = 6;
}  // namespace

bool MovieBuilder::MakeSecond(int second, std::vector<uint8_t>& frames, std::vector<uint8_t>& pcm,
                              tvq::TvqSecondEncoder& encoder, tvq::TvqEncodedSecond& out) const {
    const tvq::TvqStreamFormat& f = options_.format;
    const MoviePattern pattern(f, options_.pattern);
    const bool shortSecond = options_.shortLastSecondMs > 0 && second + 1 == options_.seconds;
    int frameCount = f.framesPerSecond;
    long sampleFrames = f.sampleRate;
    if (shortSecond) {
        const int ms = options_.shortLastSecondMs;
        frameCount = std::max(1, (ms * f.framesPerSecond + 999) / 1000);
        sampleFrames = static_cast<long>(f.sampleRate) * ms / 1000;
    }
    for (int i = 0; i < frameCount; ++i)
        pattern.PaintFrame(frames.data() + static_cast<size_t>(i) * f.FrameBytes(), second, i);
    const size_t pcmBytes = pattern.MakeAudio(pcm.data(), second, sampleFrames);
    return encoder.Encode(f, frames.data(), frameCount, pcm.data(), pcmBytes, out);
}

void MovieBuilder::Worker() {
    const tvq::TvqStreamFormat& f = options_.format;
    std::vector<uint8_t> frames(f.FrameBytes() * f.framesPerSecond);
    std::vector<uint8_t> pcm(f.AudioBytesPerSecond());
    tvq::TvqSecondEncoder encoder;
    for (;;) {
        int second;
        {
            std::unique_lock lock(lock_);
            changed_.wait(lock, [&] {
                return failed_ || nextToMake_ >= options_.seconds ||
                       nextToMake_ < nextToWrite_ + kMaxSecondsAhead;
            });
            if (failed_ || nextToMake_ >= options_.seconds)
                return;
            second = nextToMake_++;
        }
        tvq::TvqEncodedSecond encoded;
        const bool ok = MakeSecond(second, frames, pcm, encoder, encoded);
        std::lock_guard lock(lock_);
        if (ok)
            done_.emplace(second, std::move(encoded));
        else
            failed_ = true;
        changed_.notify_all();
    }
}

bool MovieBuilder::Run() {
    tvq::TvqWriter writer;
    if (!writer.Open(options_.output, options_.format)) {
        std::fprintf(stderr, "tvq-make: cannot create %s\n", options_.output.c_str());
        return false;
    }
    std::vector<std::thread> workers;
    workers.reserve(kWorkers);
    for (int i = 0; i < kWorkers; ++i) workers.emplace_back([this] { Worker(); });
    bool ok = true;
    for (int second = 0; second < options_.seconds && ok; ++second) {
        tvq::TvqEncodedSecond encoded;
        {
            std::unique_lock lock(lock_);
            changed_.wait(lock, [&] { return failed_ || done_.count(second) != 0; });
            if (failed_)
                break;
            encoded = std::move(done_.at(second));
            done_.erase(second);
            nextToWrite_ = second + 1;
            changed_.notify_all();
        }
        ok = writer.WriteEncodedSecond(encoded);
    }
    {
        std::lock_guard lock(lock_);
        ok = ok && !failed_;
        failed_ = failed_ || !ok;  // stops the workers early on a write failure
        changed_.notify_all();
    }
    for (auto& w : workers) w.join();
    ok = writer.Close() && ok;
    if (!ok)
        std::fprintf(stderr, "tvq-make: writing %s failed\n", options_.output.c_str());
    return ok;
}

}  // namespace tvqmake
