#pragma once
// A sound device for tests: nothing is heard, and the play cursor of each playing buffer moves
// only when the test calls Advance. Notification logic can so be driven byte by byte without
// waiting for real time. Any operation of the layer can be made to fail. Given a clock, each
// Advance is a take stamped with it, and the play cursor runs on between them with that clock
// as on a real output.
#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/sound/SoundDevice.h"

namespace win {

class VirtualSoundDevice : public SoundDevice {
public:
    VirtualSoundDevice();

    HRESULT SetPrimaryFormat(const WAVEFORMATEX& format) override;
    WAVEFORMATEX PrimaryFormat() const override;
    void Attach(const std::shared_ptr<SoundRing>& ring) override;
    void Detach(const SoundRing* ring) override;
    bool Fails(SoundOp op) override;

    // Plays `bytes` bytes (in each buffer's own format) of every playing buffer: moves their
    // play cursors and sets the events of the positions passed. Returns what the first
    // attached buffer played, as heard: scaled by its volume (silence at DSBVOLUME_MIN).
    std::vector<uint8_t> Advance(uint32_t bytes);

    // The buffers attached now, oldest first.
    std::vector<std::shared_ptr<SoundRing>> Buffers() const;
    std::shared_ptr<SoundRing> FirstBuffer() const;
    // Number of secondary buffers ever created on this device.
    int CreatedBuffers() const;

    // Makes the next `times` calls of `op` fail (-1: every call until ClearFailures).
    void FailOn(SoundOp op, int times = -1);
    void ClearFailures();
    // Takes the device away from every attached buffer, as another program would.
    void LoseBuffers();
    // The output itself goes away (or comes back): buffers are lost and cannot be restored.
    void SetGone(bool gone);
    bool Lost() const override { return gone_.load(); }
    // Bytes every buffer reports as taken but not yet heard.
    void SetLatency(uint32_t bytes);
    // Stamps every later Advance with this clock (null: no stamps, the cursor moves only in
    // Advance). Set before the buffers play.
    using Clock = std::function<std::chrono::steady_clock::time_point()>;
    void SetClock(Clock clock);
    std::chrono::steady_clock::time_point Now() const override;

    // Successful Unlock calls so far, and a wait until there have been `count` of them: each
    // refill of a buffer ends with one, so a test can wait for the refill it caused.
    uint64_t Unlocks() const;
    bool WaitForUnlocks(uint64_t count, int timeoutMs) const;
    void NoteUnlock() override;

private:
    mutable std::mutex mutex_;
    mutable std::condition_variable unlocked_;
    WAVEFORMATEX primary_;                                             // under mutex_
    std::vector<std::shared_ptr<SoundRing>> rings_;                    // under mutex_
    int created_ = 0;                                                  // under mutex_
    std::array<int, static_cast<size_t>(SoundOp::Count)> failures_{};  // under mutex_
    uint64_t unlocks_ = 0;                                             // under mutex_
    uint32_t latency_ = 0;                                             // under mutex_
    Clock clock_;                                                      // under mutex_
    std::atomic<bool> gone_{false};
};

}  // namespace win
