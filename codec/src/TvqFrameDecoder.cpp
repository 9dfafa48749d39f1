#include "codec/TvqFrameDecoder.h"

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <functional>
#include <mutex>
#include <system_error>
#include <thread>

namespace tvq {
namespace {
// Below this many JPEG frames a helper thread costs more than it saves.
constexpr int kMinFramesForHelper = 4;
}  // namespace

// One worker that runs a job handed to it and reports when it is done; it blocks without a
// timeout between jobs, so it costs nothing while the movie waits.
class TvqFrameDecoder::Helper {
public:
    Helper() : thread_([this] { Run(); }) {}

    ~Helper() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stop_ = true;
        }
        wake_.notify_all();
        thread_.join();
    }

    void Start(std::function<void()> job) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            job_ = std::move(job);
            busy_ = true;
        }
        wake_.notify_all();
    }

    void Wait() {
        std::unique_lock<std::mutex> lock(mutex_);
        done_.wait(lock, [this] { return !busy_; });
    }

private:
    void Run() {
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            wake_.wait(lock, [this] { return stop_ || job_; });
            if (stop_)
                return;
            auto job = std::move(job_);
            job_ = nullptr;
            lock.unlock();
            job();
            lock.lock();
            busy_ = false;
            done_.notify_all();
        }
    }

    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable done_;
    std::function<void()> job_;
    bool busy_ = false;
    bool stop_ = false;
    std::thread thread_;  // last, so it starts after the state it reads
};

TvqFrameDecoder::TvqFrameDecoder() = default;
TvqFrameDecoder::~TvqFrameDecoder() = default;

bool TvqFrameDecoder::EnsureHelper() {
    if (helper_)
        return true;
    try {
        helper_ = std::make_unique<Helper>();
    } catch (const std::system_error&) {
        // No thread to be had: the caller decodes everything itself, and asks again next time.
    }
    return helper_ != nullptr;
}

void TvqFrameDecoder::DecodeRange(const TvqStreamFormat& format, const TvqStoredSecond& second,
                                  uint8_t* out, int first, int last, JpegCodec& codec, bool* ok) {
    const size_t frameBytes = format.FrameBytes();
    for (int i = first; i < last; ++i) {
        const auto& data = second.frames[static_cast<size_t>(i)];
        uint8_t* dst = out + static_cast<size_t>(i) * frameBytes;
        if (format.videoCodec == kCodecRaw) {
            ok[i] = data.size() == frameBytes;
            if (ok[i])
                std::memcpy(dst, data.data(), frameBytes);
        } else {
            ok[i] = codec.Decode(data.data(), data.size(), dst, format.width, format.height,
                                 format.Stride());
        }
    }
}

int TvqFrameDecoder::Decode(const TvqStreamFormat& format, const TvqStoredSecond& second,
                            uint8_t* out, int framesOut) {
    if (!out || framesOut <= 0)
        return 0;
    const size_t frameBytes = format.FrameBytes();
    const int stored = std::min(static_cast<int>(second.frames.size()), framesOut);
    auto ok = std::make_unique<bool[]>(static_cast<size_t>(std::max(stored, 1)));
    const int half = stored / 2;
    if (format.videoCodec == kCodecJpeg && stored >= kMinFramesForHelper && EnsureHelper()) {
        helper_->Start(
            [&] { DecodeRange(format, second, out, half, stored, codecs_[1], ok.get()); });
        DecodeRange(format, second, out, 0, half, codecs_[0], ok.get());
        helper_->Wait();
    } else {
        DecodeRange(format, second, out, 0, stored, codecs_[0], ok.get());
    }
    int good = 0;
    for (int i = 0; i < framesOut; ++i) {
        uint8_t* dst = out + static_cast<size_t>(i) * frameBytes;
        if (i < stored && ok[i]) {
            ++good;
        } else if (i == 0) {
            std::memset(dst, 0, frameBytes);
        } else {
            std::memcpy(dst, dst - frameBytes, frameBytes);
        }
    }
    return good;
}

}  // namespace tvq
