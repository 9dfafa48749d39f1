#include "platform/sound/SoundRing.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/Sync.h"

namespace win {

bool IsPlayablePcm(const WAVEFORMATEX& f) {
    if (f.wFormatTag != WAVE_FORMAT_PCM)
        return false;
    if (f.nChannels != 1 && f.nChannels != 2)
        return false;
    if (f.wBitsPerSample != 8 && f.wBitsPerSample != 16)
        return false;
    if (f.nSamplesPerSec < 1000 || f.nSamplesPerSec > 384000)
        return false;
    if (f.nBlockAlign != f.nChannels * f.wBitsPerSample / 8)
        return false;
    // The byte rate is only what the player counts its clock in; the device plays by the
    // sample rate. It may disagree with rate x block align (the player's stand-in format for a
    // file it cannot decode does), so it only has to be there.
    return f.nAvgBytesPerSec > 0;
}

SoundRing::SoundRing(const WAVEFORMATEX& format, uint32_t bytes)
    : format_(format), size_(bytes), data_(bytes, format.wBitsPerSample == 8 ? 128 : 0) {}

void SoundRing::Play(bool looping) {
    std::lock_guard lk(mutex_);
    if (lost_)
        return;
    playing_ = true;
    looping_ = looping;
}

void SoundRing::Stop() {
    std::lock_guard lk(mutex_);
    playing_ = false;
}

uint32_t SoundRing::PlayCursor() const {
    std::lock_guard lk(mutex_);
    return cursor_;
}

void SoundRing::SetPlayCursor(uint32_t offset) {
    std::lock_guard lk(mutex_);
    cursor_ = size_ ? offset % size_ : 0;
    ++generation_;
    setAt_ = cursor_;
    taken_ = 0;
    stamped_ = false;
    stampFrom_ = stampTo_ = 0;
}

void SoundRing::SetStampedTakes(bool on) {
    std::lock_guard lk(mutex_);
    stampsTakes_ = on;
}

uint64_t SoundRing::PlayedLocked(TimePoint now) const {
    if (!stamped_)
        return stampsTakes_ ? stampTo_ : taken_;
    const uint64_t rate = uint64_t{format_.nSamplesPerSec} * format_.nBlockAlign;
    // Never more than a take runs out, so a few seconds bound it (and the product below).
    constexpr int64_t kLongestRunNs = 10'000'000'000;
    const auto elapsed = std::chrono::duration_cast<std::chrono::nanoseconds>(now - stampAt_);
    uint64_t ran = 0;
    if (elapsed.count() > 0)
        ran =
            static_cast<uint64_t>(std::min(elapsed.count(), kLongestRunNs)) * rate / 1'000'000'000u;
    if (format_.nBlockAlign > 0)
        ran -= ran % format_.nBlockAlign;
    return std::min(stampFrom_ + ran, stampTo_);
}

void SoundRing::StampTake(uint32_t generation, uint32_t latencyBytes, TimePoint at, bool wait) {
    std::unique_lock lk(mutex_, std::defer_lock);
    if (wait)
        lk.lock();
    else if (!lk.try_lock())
        return;  // the next take stamps again
    if (generation != generation_)
        return;
    // The new run starts where the cursor has got to, but not behind the end of the last
    // take: a device that plays faster than the steady clock runs (the disk driver, or a card
    // whose crystal is a little fast) must not leave the cursor ever further behind what it
    // took, or the player would refill less than the device takes.
    const uint64_t from = stamped_ ? std::max(PlayedLocked(at), stampTo_) : stampTo_;
    stamped_ = true;
    stampAt_ = at;
    stampFrom_ = from;
    stampTo_ = taken_;
    stampLatency_ = latencyBytes;
    latency_.store(latencyBytes, std::memory_order_relaxed);
}

SoundRing::Cursors SoundRing::CursorsAt(TimePoint now) const {
    std::lock_guard lk(mutex_);
    Cursors c;
    c.write = cursor_;
    if (!stamped_ && !stampsTakes_) {
        c.play = cursor_;
        c.unheard = latency_.load(std::memory_order_relaxed);
        return c;
    }
    if (!stamped_) {
        c.play = size_ ? static_cast<uint32_t>((setAt_ + stampTo_) % size_) : 0;
        c.unheard = latency_.load(std::memory_order_relaxed);
        return c;
    }
    const uint64_t played = PlayedLocked(now);
    c.play = size_ ? static_cast<uint32_t>((setAt_ + played) % size_) : 0;
    const uint64_t take = stampTo_ - stampFrom_;
    c.unheard = stampLatency_ > take ? static_cast<uint32_t>(stampLatency_ - take) : 0;
    return c;
}

void SoundRing::SetVolume(int32_t hundredthsDb) {
    std::lock_guard lk(mutex_);
    volume_ = std::clamp(hundredthsDb, DSBVOLUME_MIN, DSBVOLUME_MAX);
}

int32_t SoundRing::Volume() const {
    std::lock_guard lk(mutex_);
    return volume_;
}

uint32_t SoundRing::Status() const {
    std::lock_guard lk(mutex_);
    uint32_t s = 0;
    if (playing_)
        s |= DSBSTATUS_PLAYING;
    if (playing_ && looping_)
        s |= DSBSTATUS_LOOPING;
    if (lost_)
        s |= DSBSTATUS_BUFFERLOST;
    return s;
}

void SoundRing::MarkLost() {
    std::lock_guard lk(mutex_);
    lost_ = true;
    playing_ = false;
}

void SoundRing::ClearLost() {
    std::lock_guard lk(mutex_);
    lost_ = false;
}

void SoundRing::SetNotifications(std::vector<DSBPOSITIONNOTIFY> positions) {
    std::lock_guard lk(mutex_);
    notifications_ = std::move(positions);
}

std::vector<DSBPOSITIONNOTIFY> SoundRing::Notifications() const {
    std::lock_guard lk(mutex_);
    return notifications_;
}

void SoundRing::Fence() const {
    std::lock_guard lk(mutex_);
}

SoundRing::Taken SoundRing::Consume(uint8_t* out, uint32_t bytes, bool wait) {
    std::unique_lock lk(mutex_, std::defer_lock);
    if (wait) {
        lk.lock();
    } else if (!lk.try_lock()) {
        Taken busy;
        busy.busy = true;
        return busy;
    }
    std::vector<Event*> passed;
    const Taken taken = ConsumeLocked(out, bytes, passed);
    // Still under the ring lock: once the buffer's owner has cleared the positions it may
    // destroy their events, and no device may set one after that. (Setting an event takes
    // only the wait lock, which never waits for a ring.)
    for (Event* e : passed) e->Set();
    return taken;
}

SoundRing::Taken SoundRing::ConsumeLocked(uint8_t* out, uint32_t bytes,
                                          std::vector<Event*>& passed) {
    Taken taken;
    taken.volume = volume_;
    taken.generation = generation_;
    if (!playing_ || size_ == 0)
        return taken;
    const uint32_t start = cursor_;
    uint32_t done = 0;
    while (done < bytes) {
        const uint32_t run = std::min(bytes - done, size_ - cursor_);
        std::memcpy(out + done, data_.data() + cursor_, run);
        done += run;
        cursor_ += run;
        if (cursor_ == size_) {
            cursor_ = 0;
            if (!looping_) {
                playing_ = false;
                break;
            }
        }
    }
    // A position is passed when its byte was among those just taken.
    for (const DSBPOSITIONNOTIFY& n : notifications_) {
        if (!n.hEventNotify)
            continue;
        const uint32_t ahead = (n.dwOffset + size_ - start) % size_;
        if ((done >= size_ || ahead < done) &&
            std::find(passed.begin(), passed.end(), n.hEventNotify) == passed.end())
            passed.push_back(n.hEventNotify);
    }
    taken.bytes = done;
    if (!stamped_)
        stampTo_ = taken_;  // the first stamp runs from where this take began
    taken_ += done;
    return taken;
}

float SoundRing::GainOf(int32_t hundredthsDb) {
    if (hundredthsDb <= DSBVOLUME_MIN)
        return 0.0f;
    if (hundredthsDb >= DSBVOLUME_MAX)
        return 1.0f;
    return std::pow(10.0f, static_cast<float>(hundredthsDb) / 2000.0f);
}

int32_t SoundRing::VolumeOfGain(float gain) {
    if (!(gain > 0.0f))
        return DSBVOLUME_MIN;
    if (gain >= 1.0f)
        return DSBVOLUME_MAX;
    const long v = std::lround(2000.0f * std::log10(gain));
    return static_cast<int32_t>(std::max<long>(v, DSBVOLUME_MIN));
}

}  // namespace win
