#pragma once
// CDirectSoundPlayer plays the engine's audio through a looping sound buffer and is the clock
// of playback. Its notification thread wakes each time the play cursor passes one of the
// buffer's notification positions, refills exactly the span played since the last wake with
// the engine's next PCM bytes, counts those bytes (the clock), turns the count into the second
// and frame the video target must show, reports even seconds to the notify window, and lets
// the engine re-align audio and video when the target's adjust option is on. When the engine
// stops running the thread stops the buffer, ends and sets the wake event.
//
// One object serves every file: Open at the start of a file, Close before the next.
//
// Locks: the engine lock (the playlist player's) guards the output's playing state as well as
// the engine. Every operation takes it itself (it is recursive, so the engine's mode changes
// and re-alignment, which call Stop, FillAt and Mute with it held, simply take it again). A
// lock of the output's own would sit between the engine lock and the engine's data lock on one
// path and behind the engine's decode lock on another, and so close a cycle with the engine's
// own locks. The close lock comes before the engine lock: Open and Close are never called
// with the engine lock held, since Close waits for the notification thread, which needs it.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>

#include "engine/IAudioOutput.h"
#include "platform/MessageTarget.h"
#include "platform/Sync.h"
#include "platform/Thread.h"
#include "platform/WinTypes.h"
#include "platform/sound/DirectSound.h"
#include "support/ErrorLog.h"

class CPlaybackEngine;
class IVideoTarget;

// When the next frame of normal play is due. The notifications come every 25 ms (or one frame
// at higher frame rates), while a frame lasts 1/fps: shown only at notifications, a frame would
// be up to 25 ms late. So after each notification the notification thread asks this timer for
// the instant the heard position reaches the next frame's first byte, waits for that instant
// (a deadline wait of the steady clock) and shows that frame then.
//
// Pure arithmetic on the heard position and a time the caller passes in (tests drive it with a
// fake clock); the output keeps it under the engine lock. The frame is the one the
// notifications count in normal play: s = heard / byte rate, f = fps x (heard mod byte rate) /
// byte rate. A frame is never handed out twice nor before one already shown. When the heard
// position has stood still since the last look (paused, the device stalled, the end) the timer
// disarms until the next notification, so a halted player does not wake at the frame rate.
class CFrameTimer {
public:
    using TimePoint = std::chrono::steady_clock::time_point;
    struct Frame {
        int32_t second = -1;
        int32_t index = -1;
        auto operator<=>(const Frame&) const = default;
    };
    struct Step {
        bool show = false;  // `frame` is new: show it
        Frame frame;
        std::optional<TimePoint> next;  // when to look again; none: wait for a notification
    };

    // A new run: nothing shown yet. byteRate is the clock's unit (the format's byte rate),
    // playRate the bytes the device plays per second (samples x block; they may disagree),
    // block the bytes of one sample frame: a deadline lies one block past the boundary, so
    // that the cursor, which moves by whole blocks, has surely crossed it.
    void Reset(uint32_t byteRate, uint32_t playRate, uint32_t block, int fps);
    // A notification has shown the frame of `heard`.
    Step Notified(uint64_t heard, TimePoint now);
    // The deadline has passed: the frame of `heard`, if it is new.
    Step Fired(uint64_t heard, TimePoint now);
    Frame FrameOf(uint64_t heard) const;
    // The first byte of the frame after the one `heard` lies in.
    uint64_t NextBoundary(uint64_t heard) const;

private:
    std::optional<TimePoint> Arm(uint64_t heard, TimePoint now) const;

    uint64_t byteRate_ = 0;
    uint64_t playRate_ = 0;
    uint64_t block_ = 0;
    uint64_t fps_ = 1;
    Frame shown_;  // the last frame handed out in this run
    uint64_t lastHeard_ = 0;
};

class CDirectSoundPlayer : public IAudioOutput {
public:
    // Notification positions per buffer when the movie has fewer frames per second: one wake
    // every 25 ms keeps the picture within a 25 ms step of the sound.
    static constexpr int kMinNotificationCount = 40;
    // The streaming buffer holds this many seconds of audio.
    static constexpr int kBufferSeconds = 1;
    // The layer's full level: the stored volume until the user sets another.
    static constexpr int32_t kFullVolume = 0;
    // Name of the trace file, in the program's writable folder.
    static constexpr const char* kTraceFileName = "DirectSoundPlayer.txt";
    // Without a notification for this long the thread looks whether the device is still there.
    static constexpr uint32_t kStallCheckMs = 500;

    CDirectSoundPlayer();
    ~CDirectSoundPlayer() override;
    CDirectSoundPlayer(const CDirectSoundPlayer&) = delete;
    CDirectSoundPlayer& operator=(const CDirectSoundPlayer&) = delete;

    // Sets up the device, the streaming buffer in the engine's audio format and its
    // notification positions, starts the notification thread and plays from the engine's base
    // second. 1, or 0 on a sound-layer failure (traced; no thread runs then).
    int Open(CPlaybackEngine* engine, win::Event* wakeEvent, win::MessageTarget* notifyWindow,
             int globalFocus, win::RecursiveMutex* engineLock, IVideoTarget* videoWindow);
    // Ends the notification thread (which sets the wake event) and releases the buffer and
    // the device. Does nothing unless a notification thread was started by Open.
    void Close();
    // Forgets the engine (the caller holds the engine lock); the next notification then ends
    // the thread. Used before the engine is deleted.
    void SetEngine(CPlaybackEngine* engine);

    int FillAt(int32_t second) override;  // PlayBuffer(second)
    // Fills the whole buffer from the engine and plays it looping, the clock starting at
    // `second`; after Pause it only restores and resumes, keeping the clock. The engine's
    // running flag after filling (1 when resuming), 0 on failure.
    int PlayBuffer(int32_t second);
    // 1 when the buffer is not lost or has been restored and refilled; 0 on failure.
    int RestoreBuffer();
    int Stop() override;  // halts, rewinds and resets the clock. 1, or 0 on failure
    void Pause();         // halts; the position and the clock stay
    void Resume();        // PlayBuffer(0) after Pause
    // The speed modes' silence; independent of the user's mute below, and cleared by each
    // PlayBuffer.
    void Mute(int flag) override;
    // The user's level (hundredths of a dB) and mute, kept across files and PlayBuffer. The
    // buffer is audible only when neither this mute nor the speed modes' one is on.
    void SetUserVolume(int32_t hundredthsDb, int muted);
    float PictureLagSeconds() const override;  // called under the engine lock

    // --- read access (tests, measurements) ---
    uint64_t GetClock() const { return m_dwClock.load(); }
    uint32_t GetWriteCursor() const { return m_dwWriteCursor.load(); }
    uint32_t GetBufferBytes() const { return m_dwBufferBytes.load(); }
    uint32_t GetChunkBytes() const { return m_dwChunkBytes.load(); }
    int GetNotificationCount() const { return m_nNotificationCount.load(); }
    int IsPaused() const { return m_bPaused.load(); }
    int IsMuted() const { return m_bMuted.load(); }
    int32_t GetUserVolume() const { return m_lVolume.load(); }
    // Where the picture is: the second and frame last handed to the video window, in ms;
    // before that, the second playing started at.
    int64_t GetShownPositionMs() const { return m_llShownMs.load(); }
    int GetExtraSeconds() const { return m_nExtraSeconds.load(); }
    uint64_t GetBackwardBase() const { return m_dwBackwardBase.load(); }
    bool IsThreadRunning();  // a notification thread was started and not yet ended by Close

private:
    // Open's steps from the device to the notification positions; traces and 0 on failure.
    // Builds the objects outside the engine lock (opening a device can take a while) and
    // hands them over under it.
    int CreateSound(CPlaybackEngine& engine, win::MessageTarget* notifyWindow, int globalFocus);
    win::RecursiveMutex* EngineLock() const { return m_hEngineLock.load(); }
    // One wake of the notification thread. 0 ends the thread.
    int HandleNotification();
    // The frame timer's deadline has passed: shows the frame heard now if it is new, and
    // sets the next deadline.
    void HandleFrameTimer();
    // No notification for a while: 0 when the device has gone away under a playing buffer
    // (traced), so that the file ends instead of waiting for ever.
    int CheckStalled();
    // The clock less what the device holds unheard; never before the start of this run.
    uint64_t HeardClock() const { return HeardAt(m_dwClock); }
    uint64_t HeardAt(uint64_t clock) const;
    // What is heard at this instant: the clock moved on to where the play cursor has run
    // since the last refill.
    uint64_t HeardNow() const;
    void HandleNotificationThread();
    // Writes [from, from + bytes) of the buffer with engine audio; adds to the clock. Returns
    // 0 on a lock failure. `running` receives the engine's flag after the pulls.
    int WriteSpan(uint32_t from, uint32_t bytes, int* running);
    // Pulls engine audio into one locked part and pads it with silence.
    void FillPart(uint8_t* part, uint32_t bytes);
    // What one time update shows and reports.
    struct TimeStep {
        bool show = false;
        bool post = false;
        int32_t second = 0;
        int32_t frame = 0;
    };
    TimeStep UpdateTime();
    void Publish(const TimeStep& step);
    int FillWholeBuffer(const char* lockTrace, const char* unlockTrace);
    // Restore until the layer stops answering "lost". 0 when the status cannot be read.
    int RestoreLost(bool* wasLost);
    void ResetCounters();
    // The volume the buffer plays at: silent while either mute is on. Under the engine lock.
    int32_t AudibleVolume() const;
    void EndThread();
    void ReleaseSound();
    void Trace(const char* utf8Text);
    uint8_t SilenceByte() const;

    // The playlist player's engine lock, handed in by Open.
    std::atomic<win::RecursiveMutex*> m_hEngineLock{nullptr};

    // Set by Open (no notification thread running), read by every thread.
    win::Event* m_hWakeEvent = nullptr;
    win::MessageTarget* m_hNotifyWindow = nullptr;
    IVideoTarget* m_pVideoWindow = nullptr;
    const int m_nBufferSeconds = kBufferSeconds;
    std::atomic<int> m_nNotificationCount{kMinNotificationCount};
    std::atomic<uint32_t> m_dwBufferBytes{0};
    std::atomic<uint32_t> m_dwChunkBytes{0};

    // Under the engine lock.
    CPlaybackEngine* m_pEngine = nullptr;
    win::WAVEFORMATEX m_wfx{};

    // The close lock serialises Close with itself and with Open's set-up: the playlist thread
    // and the dialog's thread may both end playback. It guards m_pThread and m_hNotifyEvent.
    // Lives as long as the object, so that two Close calls never race over its release.
    win::RecursiveMutex m_closeLock;

    // The sound objects and the playing state, under the engine lock. The interface pointers
    // are replaced only by Open and Close, when no notification thread runs.
    std::unique_ptr<win::DirectSound> m_pDirectSound;
    std::unique_ptr<win::DirectSoundBuffer> m_pDSBuffer;
    std::atomic<int> m_bPaused{0};
    std::atomic<int> m_bMuted{0};  // the speed modes'
    // The user's level and mute: written under the engine lock, readable anywhere.
    std::atomic<int32_t> m_lVolume{kFullVolume};
    std::atomic<int> m_bUserMuted{0};
    std::atomic<int64_t> m_llShownMs{0};
    // The clock and the display counters: written under the engine lock, readable anywhere.
    std::atomic<uint32_t> m_dwWriteCursor{0};
    // Bytes played, counted from second 0 of the file. 64 bits: at 192 kHz stereo a 32-bit
    // count wraps after 93 minutes and the picture would freeze.
    std::atomic<uint64_t> m_dwClock{0};
    std::atomic<uint64_t> m_qwSegmentStart{0};  // the clock where the last FillAt started it
    std::atomic<int> m_nExtraSeconds{0};
    std::atomic<int> m_nLastSubSecond{0};
    std::atomic<uint64_t> m_dwBackwardBase{0};  // 0 = not yet taken

    // Under the engine lock; reset with the clock.
    CFrameTimer m_frameTimer;
    // The notification thread's own: when the frame timer fires next.
    std::optional<CFrameTimer::TimePoint> m_frameDue;

    // The notification thread: created by Open, ended by Close (or itself).
    std::unique_ptr<win::WorkerThread> m_pThread;
    std::unique_ptr<win::Event> m_hNotifyEvent;  // auto reset, set by the sound layer
    std::atomic<int> m_bThreadStarted{0};

    CErrorLog m_traceLog;
};
