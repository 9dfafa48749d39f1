#pragma once
// The sound device on a real output through SDL2 audio. The device is opened at the primary
// format and pulls the attached secondary buffers from SDL's audio thread: each callback
// takes bytes at a buffer's play cursor (moving the cursor and setting notification events as
// it goes), converts them to the device format through an SDL_AudioStream, applies the
// buffer's volume and mixes. The driver is whatever SDL picks or SDL_AUDIODRIVER names;
// "dummy" and "disk" run without a sound card.
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/sound/SoundDevice.h"

struct _SDL_AudioStream;  // NOLINT(bugprone-reserved-identifier): SDL's own name

namespace win {

class SdlSoundDevice : public SoundDevice {
public:
    // Sample frames SDL asks for per callback: 512 at 44100 Hz is 11.6 ms, below the 25 ms
    // between the player's notification positions, so each position is reported within one
    // callback period of being played, while the callback still runs only ~86 times a second.
    static constexpr uint16_t kCallbackFrames = 512;

    ~SdlSoundDevice() override;
    // Null when SDL audio cannot be started or no output device can be opened. When the
    // default output cannot be opened, and no other device holds SDL's audio, the device
    // runs on SDL's "dummy" driver instead and says why in FallbackReason.
    static std::shared_ptr<SdlSoundDevice> Open(const WAVEFORMATEX& format);

    HRESULT SetPrimaryFormat(const WAVEFORMATEX& format) override;
    WAVEFORMATEX PrimaryFormat() const override;
    void Attach(const std::shared_ptr<SoundRing>& ring) override;
    void Detach(const SoundRing* ring) override;

    std::string FallbackReason() const override;
    bool Lost() const override;

    // Bytes taken from the secondary buffers (in their own formats) since the device opened.
    uint64_t ConsumedBytes() const { return consumed_.load(std::memory_order_relaxed); }
    // Callbacks so far, and how many of them found the mixer busy and played silence.
    uint64_t Callbacks() const { return callbacks_.load(std::memory_order_relaxed); }
    uint64_t BusyCallbacks() const { return busy_.load(std::memory_order_relaxed); }

private:
    struct Voice {
        std::shared_ptr<SoundRing> ring;
        _SDL_AudioStream* stream = nullptr;
        uint32_t generation = 0;
        int32_t volume = DSBVOLUME_MAX;  // last seen; applies to what the stream still holds
    };

    SdlSoundDevice() = default;
    bool OpenDevice(const WAVEFORMATEX& format);
    void CloseDevice();
    static void Callback(void* self, uint8_t* out, int len);
    void Mix(uint8_t* out, int len);
    int Render(Voice& voice, int len);  // converted bytes in mix_, up to len
    _SDL_AudioStream* MakeStream(const WAVEFORMATEX& from) const;

    // The device and its format change only in Open and SetPrimaryFormat, which close the
    // device (ending the callbacks) before they do; the application thread only.
    uint32_t deviceId_ = 0;
    bool started_ = false;                   // this device started SDL's audio subsystem
    std::string fallbackReason_;             // set once by Open
    std::atomic<uint32_t> deviceFrames_{0};  // SDL's buffer, in device sample frames

    // The callback only tries this lock: when Attach or Detach hold it, it plays silence.
    mutable std::mutex voicesMutex_;
    WAVEFORMATEX format_;        // under voicesMutex_
    std::vector<Voice> voices_;  // under voicesMutex_
    std::vector<uint8_t> take_;  // under voicesMutex_: bytes taken from a ring
    std::vector<int16_t> mix_;   // under voicesMutex_: one voice converted

    std::atomic<uint64_t> consumed_{0};
    std::atomic<uint64_t> callbacks_{0};
    std::atomic<uint64_t> busy_{0};
};

// Opens the default SDL output at DefaultPrimaryFormat(); null when there is none.
std::shared_ptr<SoundDevice> OpenSdlSoundDevice();

}  // namespace win
