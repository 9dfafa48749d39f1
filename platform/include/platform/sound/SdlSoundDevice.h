#pragma once
// The sound device on a real output through SDL2 audio. The device is opened at the primary
// format and pulls the attached secondary buffers from SDL's audio thread: each callback
// takes bytes at a buffer's play cursor (moving the cursor and setting notification events as
// it goes), converts them to the device format through an SDL_AudioStream, applies the
// buffer's volume and mixes. The driver is whatever SDL picks or SDL_AUDIODRIVER names;
// "dummy" and "disk" run without a sound card.
//
// SDL calls back at its period for as long as a device is open, paused or not, and most
// drivers go on playing silence then. So once no buffer has sounded for kIdleGrace, the device
// closes its output (from a thread of its own: SDL's thread cannot close its own device) and
// the next Play of a buffer opens it again. Play cursors and notification positions live in
// the rings, so they stand still while the output is closed and go on from there.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
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
    // Silence for this long closes the output. Long enough that a seek or a speed change,
    // which stop and restart the buffer within milliseconds, never pays for a reopening.
    static constexpr std::chrono::milliseconds kIdleGrace{500};

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
    void NotePlay() override;
    // False while the output is closed for idleness (or could not be opened again).
    bool IsOutputOpen() const;

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
    // The SDL device ended its callbacks because the output went away.
    bool OutputGone() const;
    // Callback side of the idle close: counts silent time, asks the idle thread to close.
    void NoteSilence(bool silent);
    void IdleThread();
    void CloseIdleOutput();
    void StopIdleThread();

    // Opening and closing the output (Open before the device is shared, then SetPrimaryFormat,
    // NotePlay and the idle thread) happen under deviceMutex_, which comes before voicesMutex_
    // and the rings' locks. The callback reads deviceId_ only while its device is open.
    mutable std::mutex deviceMutex_;
    std::atomic<uint32_t> deviceId_{0};      // written under deviceMutex_; 0 while closed
    bool idleClosed_ = false;                // under deviceMutex_: closed for idleness
    std::atomic<bool> reopenFailed_{false};  // written under deviceMutex_
    bool started_ = false;                   // this device started SDL's audio subsystem
    std::string fallbackReason_;             // set once by Open
    // SDL's buffer, and a sound server's behind it, in device sample frames.
    std::atomic<uint32_t> deviceFrames_{0};

    // The callback only tries this lock: when Attach or Detach hold it, it plays silence.
    mutable std::mutex voicesMutex_;
    WAVEFORMATEX format_;        // under voicesMutex_
    std::vector<Voice> voices_;  // under voicesMutex_
    std::vector<uint8_t> take_;  // under voicesMutex_: bytes taken from a ring
    std::vector<int16_t> mix_;   // under voicesMutex_: one voice converted

    std::atomic<uint64_t> consumed_{0};
    std::atomic<uint64_t> callbacks_{0};
    std::atomic<uint64_t> busy_{0};

    // The callback's own, reset by OpenDevice before the callbacks start.
    std::optional<std::chrono::steady_clock::time_point> silentSince_;
    bool idleAsked_ = false;  // the idle thread was asked since the last sound

    // The idle thread sleeps until the callback asks it to close the output.
    std::mutex idleMutex_;
    std::condition_variable idleWake_;
    bool idleWanted_ = false;  // under idleMutex_
    bool idleQuit_ = false;    // under idleMutex_
    std::thread idleThread_;   // started by Open, joined by the destructor
};

// Opens the default SDL output at DefaultPrimaryFormat(); null when there is none.
std::shared_ptr<SoundDevice> OpenSdlSoundDevice();

}  // namespace win
