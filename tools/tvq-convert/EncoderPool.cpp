#include "EncoderPool.h"

namespace tvqconvert {

EncoderPool::EncoderPool(const tvq::TvqStreamFormat& format, int rotation, int workers,
                         int maxAhead, Writer write)
    : format_(format), rotation_(rotation), maxAhead_(maxAhead), write_(std::move(write)) {
    for (int i = 0; i < workers; ++i) threads_.emplace_back([this] { Work(); });
}

EncoderPool::~EncoderPool() {
    {
        std::lock_guard lock(lock_);
        stopping_ = true;
        changed_.notify_all();
    }
    for (auto& t : threads_) t.join();
}

bool EncoderPool::Submit(SecondJob job) {
    std::unique_lock lock(lock_);
    changed_.wait(lock, [&] { return failed_ || submitted_ - written_ < maxAhead_; });
    if (failed_)
        return false;
    const int second = submitted_++;
    job.second = second;
    queued_.emplace(second, std::move(job));
    changed_.notify_all();
    return true;
}

bool EncoderPool::Finish() {
    std::unique_lock lock(lock_);
    changed_.wait(lock, [&] { return failed_ || written_ == submitted_; });
    return !failed_;
}

int EncoderPool::SecondsWritten() {
    std::lock_guard lock(lock_);
    return written_;
}

bool EncoderPool::Encode(SecondJob& job, tvq::TvqEncodedSecond& out, tvq::JpegCodec& codec,
                         Scaler& scaler, std::vector<uint8_t>& frame) const {
    out.audio = std::move(job.pcm);
    out.frames.clear();
    out.frames.reserve(job.pictures.size());
    for (size_t i = 0; i < job.pictures.size(); ++i) {
        const Picture& p = job.pictures[i];
        if (i > 0 && p.SameAs(job.pictures[i - 1])) {
            out.frames.push_back(out.frames.back());  // a repeated picture is coded once
        } else if (p.jpeg) {
            out.frames.push_back(*p.jpeg);
        } else {
            out.frames.emplace_back();
            if (!p.frame || !scaler.Scale(*p.frame, format_.width, format_.height, frame.data()) ||
                !codec.Encode(frame.data(), format_.width, format_.height, format_.Stride(),
                              format_.jpegQuality, out.frames.back()))
                return false;
        }
    }
    job.pictures.clear();  // lets the decoder reuse the pictures' memory early
    return true;
}

void EncoderPool::Work() {
    tvq::JpegCodec codec;
    Scaler scaler(rotation_);
    std::vector<uint8_t> frame(format_.FrameBytes());
    std::unique_lock lock(lock_);
    for (;;) {
        changed_.wait(lock, [&] { return stopping_ || failed_ || !queued_.empty(); });
        if (stopping_ || failed_)
            return;
        SecondJob job = std::move(queued_.begin()->second);
        queued_.erase(queued_.begin());
        lock.unlock();
        tvq::TvqEncodedSecond encoded;
        const bool ok = Encode(job, encoded, codec, scaler, frame);
        lock.lock();
        if (!ok) {
            failed_ = true;
            changed_.notify_all();
            return;
        }
        done_.emplace(job.second, std::move(encoded));
        // Whoever finds the next second ready writes it, and any that follow it.
        while (!writing_ && !failed_ && done_.count(written_)) {
            writing_ = true;
            tvq::TvqEncodedSecond next = std::move(done_.at(written_));
            done_.erase(written_);
            lock.unlock();
            const bool wrote = write_(next);
            lock.lock();
            writing_ = false;
            if (wrote)
                ++written_;
            else
                failed_ = true;
        }
        changed_.notify_all();
    }
}

}  // namespace tvqconvert
