#pragma once
// The bytes and play state of one secondary sound buffer. The application side
// (DirectSoundBuffer) and the device that plays it (SDL callback or the virtual test device)
// share it; every field below lives under mutex_.
//
// The bytes themselves are written by the application outside the lock, through the spans
// that DirectSoundBuffer::Lock hands out, and read by the device under the lock. As with the
// real thing, the application writes only what has been played; Lock and Unlock take the lock
// briefly so that each write is ordered after the last read of those bytes and before the
// next one.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <vector>

#include "platform/sound/DirectSoundTypes.h"

namespace win {

class SoundRing {
public:
    SoundRing(const WAVEFORMATEX& format, uint32_t bytes);
    SoundRing(const SoundRing&) = delete;
    SoundRing& operator=(const SoundRing&) = delete;

    const WAVEFORMATEX& Format() const { return format_; }  // set once
    uint32_t Size() const { return size_; }                 // set once
    uint8_t* Data() { return data_.data(); }

    // Application side.
    void Play(bool looping);
    void Stop();
    uint32_t PlayCursor() const;
    void SetPlayCursor(uint32_t offset);
    void SetVolume(int32_t hundredthsDb);
    int32_t Volume() const;
    uint32_t Status() const;  // DSBSTATUS_* bits
    bool IsPlaying() const { return (Status() & DSBSTATUS_PLAYING) != 0; }
    void MarkLost();  // the device was taken away: playing stops, contents are void
    void ClearLost();
    bool IsLost() const { return (Status() & DSBSTATUS_BUFFERLOST) != 0; }
    void SetNotifications(std::vector<DSBPOSITIONNOTIFY> positions);
    std::vector<DSBPOSITIONNOTIFY> Notifications() const;
    // Publishes the application's writes to the device (see the header comment).
    void Fence() const;

    // Device side. Copies up to `bytes` bytes from the play cursor into `out` and moves the
    // cursor on (round the end when looping; a one-shot play stops at the end), then sets the
    // event of every notification position it passed. The events are set under the ring's
    // lock, so that events cleared by SetNotifications are never set afterwards. With
    // wait = false it only tries the lock and takes nothing when the application holds it:
    // the device plays silence rather than wait.
    struct Taken {
        uint32_t bytes = 0;
        int32_t volume = DSBVOLUME_MAX;
        uint32_t generation = 0;  // changes whenever the cursor jumps (SetPlayCursor)
        bool busy = false;        // the try-lock failed; nothing else is valid
    };
    Taken Consume(uint8_t* out, uint32_t bytes, bool wait);

    // Bytes the device has taken from the ring that are not yet heard (its converter and
    // buffer), for a device that does not stamp its takes. Never blocks.
    void SetDeviceLatency(uint32_t bytes) { latency_.store(bytes, std::memory_order_relaxed); }

    // The play cursor between takes. A device takes a block of bytes at a time (SDL: 11.6 ms)
    // and plays it out over the following period; a cursor that jumped by whole takes would
    // make the picture step with them. So after a take the device stamps it with the steady
    // clock and its latency, and from then on the play cursor runs with the clock at the
    // format's rate from where it stood (at least the end of the take before) toward the end
    // of what was taken, and stops there: never more than the take behind the taken cursor,
    // never beyond it, never backwards. The latency reported with it is what is unheard
    // beyond that running cursor: the stamped latency less the take. A device that stamps
    // says so when it attaches the ring (SetStampedTakes); until its first stamp after the
    // cursor was set, the play cursor stays where the last take began. A ring whose device
    // does not stamp reports the taken cursor and the plain latency, as before. With
    // wait = false the stamp only tries the lock (the SDL callback), and a stamp of an older
    // generation (the cursor was set since) is dropped.
    void SetStampedTakes(bool on);
    using TimePoint = std::chrono::steady_clock::time_point;
    void StampTake(uint32_t generation, uint32_t latencyBytes, TimePoint at, bool wait);
    struct Cursors {
        uint32_t play = 0;     // the running cursor: everything before it has been taken
        uint32_t write = 0;    // the taken cursor: the device's next byte
        uint32_t unheard = 0;  // bytes before the play cursor not yet heard
    };
    Cursors CursorsAt(TimePoint now) const;

    // Linear gain of a volume in hundredths of a decibel; 0 at DSBVOLUME_MIN and below.
    static float GainOf(int32_t hundredthsDb);
    // The volume whose gain is `gain` (0 .. 1): DSBVOLUME_MIN at 0, DSBVOLUME_MAX at 1.
    static int32_t VolumeOfGain(float gain);

private:
    Taken ConsumeLocked(uint8_t* out, uint32_t bytes, std::vector<Event*>& passed);
    // Bytes since the cursor was last set up to the running play cursor at `now`.
    uint64_t PlayedLocked(TimePoint now) const;

    const WAVEFORMATEX format_;
    const uint32_t size_;
    std::vector<uint8_t> data_;  // see the header comment

    mutable std::mutex mutex_;
    bool playing_ = false;                          // under mutex_
    bool looping_ = false;                          // under mutex_
    bool lost_ = false;                             // under mutex_
    uint32_t cursor_ = 0;                           // under mutex_: offset of the next byte to play
    uint32_t generation_ = 0;                       // under mutex_
    int32_t volume_ = DSBVOLUME_MAX;                // under mutex_
    std::vector<DSBPOSITIONNOTIFY> notifications_;  // under mutex_
    std::atomic<uint32_t> latency_{0};
    uint32_t setAt_ = 0;  // under mutex_: where the cursor was set
    uint64_t taken_ = 0;  // under mutex_: bytes taken since then
    // The last stamp, under mutex_: the play cursor runs from stampFrom_ at stampAt_ toward
    // stampTo_ (byte counts like taken_).
    bool stampsTakes_ = false;
    bool stamped_ = false;  // since the cursor was set
    TimePoint stampAt_{};
    uint64_t stampFrom_ = 0;
    uint64_t stampTo_ = 0;
    uint32_t stampLatency_ = 0;
};

}  // namespace win
