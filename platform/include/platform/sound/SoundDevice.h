#pragma once
// The output a DirectSound object plays through. A device plays every secondary buffer
// attached to it, mixed, at its primary format. Which device DirectSoundCreate opens is
// decided by the process-wide factory: SDL audio by default, the virtual device in tests.
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/sound/DirectSoundTypes.h"
#include "platform/sound/SoundRing.h"

namespace win {

// Operations of the sound layer a test device can make fail.
enum class SoundOp {
    CreatePrimary,
    SetFormat,
    CreateSecondary,
    QueryNotify,
    SetNotifications,
    GetStatus,
    Lock,
    Unlock,
    Play,
    Stop,
    SetPosition,
    GetPosition,
    Restore,  // fails with DSERR_BUFFERLOST
    SetVolume,
    Count
};

class SoundDevice {
public:
    virtual ~SoundDevice() = default;
    // The format the device mixes to (the primary buffer's format).
    virtual HRESULT SetPrimaryFormat(const WAVEFORMATEX& format) = 0;
    virtual WAVEFORMATEX PrimaryFormat() const = 0;
    // From Attach until Detach returns the device may play the ring.
    virtual void Attach(const std::shared_ptr<SoundRing>& ring) = 0;
    virtual void Detach(const SoundRing* ring) = 0;
    // Fault injection: true when the next `op` is to fail. Real devices never fail on purpose.
    virtual bool Fails(SoundOp op) {
        (void)op;
        return false;
    }
    // Not empty when this device stands in for an output that could not be opened (it plays
    // in real time but nothing is heard); says why.
    virtual std::string FallbackReason() const { return {}; }
    // True once the output has gone away under the device: its buffers count as lost.
    virtual bool Lost() const { return false; }
    // Called after each successful Unlock of one of its buffers (the test device counts them).
    virtual void NoteUnlock() {}
    // Called after one of its buffers started playing. A device that let its output go while
    // nothing played takes it up again here, before the call returns.
    virtual void NotePlay() {}
    // The clock its takes are stamped with (SoundRing::StampTake); the test device's may be
    // a fake one.
    virtual std::chrono::steady_clock::time_point Now() const {
        return std::chrono::steady_clock::now();
    }
};

// Opens a device; null when no device can be opened.
using SoundDeviceFactory = std::function<std::shared_ptr<SoundDevice>()>;

// Replaces the factory DirectSoundCreate uses; an empty function restores the default (SDL).
void SetSoundDeviceFactory(SoundDeviceFactory factory);
// Opens a device through the current factory.
std::shared_ptr<SoundDevice> CreateSoundDevice();

// The usual primary format: 44100 Hz, 2 channels, 16 bits.
WAVEFORMATEX DefaultPrimaryFormat();

}  // namespace win
