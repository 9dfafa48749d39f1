#pragma once
// A sound layer with the DirectSound model: a device object made for the default output, a
// primary buffer that carries the mixing format, and secondary streaming buffers in any PCM
// format whose play cursor runs round and round while playing, with notification positions
// that set an event each time the cursor passes them. Interfaces are owned through
// unique_ptr; releasing is destroying. Every call answers an HRESULT (DS_OK or DSERR_*).
#include <cstdint>
#include <memory>

#include "platform/sound/DirectSoundTypes.h"
#include "platform/sound/SoundDevice.h"
#include "platform/sound/SoundRing.h"

namespace win {

class DirectSoundNotify;

class DirectSoundBuffer {
public:
    DirectSoundBuffer(std::shared_ptr<SoundDevice> device, std::shared_ptr<SoundRing> ring,
                      uint32_t flags);
    ~DirectSoundBuffer();  // detaches a secondary buffer from the device
    DirectSoundBuffer(const DirectSoundBuffer&) = delete;
    DirectSoundBuffer& operator=(const DirectSoundBuffer&) = delete;

    bool IsPrimary() const { return !ring_; }

    HRESULT GetStatus(uint32_t* status);
    // Hands out the span [offset, offset + bytes) as up to two parts: the second one when the
    // span runs past the end of the buffer and goes on from offset 0.
    HRESULT Lock(uint32_t offset, uint32_t bytes, void** part1, uint32_t* bytes1, void** part2,
                 uint32_t* bytes2, uint32_t flags);
    HRESULT Unlock(void* part1, uint32_t bytes1, void* part2, uint32_t bytes2);
    HRESULT Play(uint32_t reserved, uint32_t priority, uint32_t flags);
    HRESULT Stop();  // the position stays where it was
    // The play cursor and the write cursor. Everything before the play cursor has been taken
    // by the device and may be written again; [play, write) is taken but still running out.
    // Between the device's takes the play cursor moves on with the steady clock (see
    // SoundRing::StampTake); with a device that does not stamp, both are the taken cursor.
    HRESULT GetCurrentPosition(uint32_t* play, uint32_t* write);
    HRESULT SetCurrentPosition(uint32_t offset);
    // Bytes behind the play cursor that the device has taken but not yet played out (its
    // queue and buffer): what has been heard is the cursor's progress minus this. Read with
    // GetCurrentPosition it belongs to that play cursor.
    HRESULT GetLatency(uint32_t* bytes);
    // After a loss the contents must be written again. Fails with DSERR_BUFFERLOST while the
    // device itself is gone.
    HRESULT Restore();
    HRESULT SetVolume(int32_t hundredthsDb);
    HRESULT GetVolume(int32_t* hundredthsDb);
    HRESULT SetFormat(const WAVEFORMATEX* format);  // primary buffer only
    HRESULT GetFormat(WAVEFORMATEX* format);
    // The notification interface of a buffer made with DSBCAPS_CTRLPOSITIONNOTIFY.
    HRESULT QueryInterface(std::unique_ptr<DirectSoundNotify>* notify);

private:
    std::shared_ptr<SoundDevice> device_;  // set once
    std::shared_ptr<SoundRing> ring_;      // set once; null for the primary buffer
    const uint32_t flags_;
    // The span handed out by Lock until Unlock; caller's thread only, as with any interface
    // pointer the application uses from one thread at a time.
    uint8_t* locked_ = nullptr;
    uint32_t lockedBytes_ = 0;
};

class DirectSoundNotify {
public:
    explicit DirectSoundNotify(std::shared_ptr<SoundDevice> device,
                               std::shared_ptr<SoundRing> ring);
    // Replaces all positions. Each offset must lie inside the buffer.
    HRESULT SetNotificationPositions(uint32_t count, const DSBPOSITIONNOTIFY* positions);

private:
    std::shared_ptr<SoundDevice> device_;
    std::shared_ptr<SoundRing> ring_;
};

class DirectSound {
public:
    explicit DirectSound(std::shared_ptr<SoundDevice> device);
    DirectSound(const DirectSound&) = delete;
    DirectSound& operator=(const DirectSound&) = delete;

    // Kept for the model; the device is always shared with other programs.
    HRESULT SetCooperativeLevel(const void* window, uint32_t level);
    HRESULT CreateSoundBuffer(const DSBUFFERDESC* desc, std::unique_ptr<DirectSoundBuffer>* out);
    const std::shared_ptr<SoundDevice>& Device() const { return device_; }

private:
    std::shared_ptr<SoundDevice> device_;
    uint32_t level_ = DSSCL_NORMAL;
};

// Opens the default output through the sound device factory. DSERR_NODRIVER when no device
// can be opened.
HRESULT DirectSoundCreate(std::unique_ptr<DirectSound>* out);

}  // namespace win
