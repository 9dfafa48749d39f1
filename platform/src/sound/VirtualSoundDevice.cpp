#include "platform/sound/VirtualSoundDevice.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>

namespace win {
namespace {

// What the device makes of a buffer's bytes at its volume: the samples scaled by the gain,
// as a sound card's mixer does, so that tests hear the level the player set.
void ApplyVolume(std::vector<uint8_t>& bytes, const WAVEFORMATEX& format, int32_t volume) {
    const float gain = SoundRing::GainOf(volume);
    if (gain >= 1.0f)
        return;
    if (format.wBitsPerSample == 8) {
        for (uint8_t& b : bytes)
            b = static_cast<uint8_t>(128 + std::lround((static_cast<int>(b) - 128) * gain));
        return;
    }
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
        int16_t sample = 0;
        std::memcpy(&sample, &bytes[i], 2);
        sample = static_cast<int16_t>(std::lround(static_cast<float>(sample) * gain));
        std::memcpy(&bytes[i], &sample, 2);
    }
}

}  // namespace

VirtualSoundDevice::VirtualSoundDevice() : primary_(DefaultPrimaryFormat()) {}

HRESULT VirtualSoundDevice::SetPrimaryFormat(const WAVEFORMATEX& format) {
    std::lock_guard lk(mutex_);
    primary_ = format;
    return DS_OK;
}

WAVEFORMATEX VirtualSoundDevice::PrimaryFormat() const {
    std::lock_guard lk(mutex_);
    return primary_;
}

void VirtualSoundDevice::Attach(const std::shared_ptr<SoundRing>& ring) {
    std::lock_guard lk(mutex_);
    ring->SetDeviceLatency(latency_);
    ring->SetStampedTakes(clock_ != nullptr);
    rings_.push_back(ring);
    ++created_;
}

void VirtualSoundDevice::Detach(const SoundRing* ring) {
    std::lock_guard lk(mutex_);
    std::erase_if(rings_, [ring](const auto& r) { return r.get() == ring; });
}

bool VirtualSoundDevice::Fails(SoundOp op) {
    std::lock_guard lk(mutex_);
    int& left = failures_[static_cast<size_t>(op)];
    if (left == 0)
        return false;
    if (left > 0)
        --left;
    return true;
}

void VirtualSoundDevice::FailOn(SoundOp op, int times) {
    std::lock_guard lk(mutex_);
    failures_[static_cast<size_t>(op)] = times;
}

void VirtualSoundDevice::ClearFailures() {
    std::lock_guard lk(mutex_);
    failures_.fill(0);
}

std::vector<std::shared_ptr<SoundRing>> VirtualSoundDevice::Buffers() const {
    std::lock_guard lk(mutex_);
    return rings_;
}

std::shared_ptr<SoundRing> VirtualSoundDevice::FirstBuffer() const {
    std::lock_guard lk(mutex_);
    return rings_.empty() ? nullptr : rings_.front();
}

int VirtualSoundDevice::CreatedBuffers() const {
    std::lock_guard lk(mutex_);
    return created_;
}

void VirtualSoundDevice::SetLatency(uint32_t bytes) {
    std::lock_guard lk(mutex_);
    latency_ = bytes;
    for (const auto& ring : rings_) ring->SetDeviceLatency(bytes);
}

void VirtualSoundDevice::SetClock(Clock clock) {
    std::lock_guard lk(mutex_);
    clock_ = std::move(clock);
    for (const auto& ring : rings_) ring->SetStampedTakes(clock_ != nullptr);
}

std::chrono::steady_clock::time_point VirtualSoundDevice::Now() const {
    Clock clock;
    {
        std::lock_guard lk(mutex_);
        clock = clock_;
    }
    return clock ? clock() : std::chrono::steady_clock::now();
}

void VirtualSoundDevice::SetGone(bool gone) {
    gone_ = gone;
    if (gone)
        LoseBuffers();
}

void VirtualSoundDevice::LoseBuffers() {
    for (const auto& ring : Buffers()) ring->MarkLost();
}

std::vector<uint8_t> VirtualSoundDevice::Advance(uint32_t bytes) {
    std::vector<uint8_t> heard;
    bool first = true;
    Clock clock;
    uint32_t latency = 0;
    {
        std::lock_guard lk(mutex_);
        clock = clock_;
        latency = latency_;
    }
    // The rings are played outside the device lock: setting a notification event may wake a
    // thread that calls straight back into the device.
    for (const auto& ring : Buffers()) {
        std::vector<uint8_t> out(bytes);
        const SoundRing::Taken taken = ring->Consume(out.data(), bytes, /*wait=*/true);
        if (clock && taken.bytes > 0)
            ring->StampTake(taken.generation, latency, clock(), /*wait=*/true);
        out.resize(taken.bytes);
        ApplyVolume(out, ring->Format(), taken.volume);
        if (first)
            heard = std::move(out);
        first = false;
    }
    return heard;
}

void VirtualSoundDevice::NoteUnlock() {
    {
        std::lock_guard lk(mutex_);
        ++unlocks_;
    }
    unlocked_.notify_all();
}

uint64_t VirtualSoundDevice::Unlocks() const {
    std::lock_guard lk(mutex_);
    return unlocks_;
}

bool VirtualSoundDevice::WaitForUnlocks(uint64_t count, int timeoutMs) const {
    std::unique_lock lk(mutex_);
    return unlocked_.wait_for(lk, std::chrono::milliseconds(timeoutMs),
                              [&] { return unlocks_ >= count; });
}

}  // namespace win
