#include "engine/DirectSoundPlayer.h"

#include <pthread.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

#include "engine/IVideoTarget.h"
#include "engine/Messages.h"
#include "engine/PlaybackEngine.h"
#include "engine/SyncTrace.h"
#include "platform/Text.h"

namespace {

// Pause between two attempts to restore a lost buffer, in milliseconds.
constexpr int kRestoreRetryMs = 10;
// Attempts before a buffer whose device is gone is given up (one second in all).
constexpr int kRestoreAttempts = 100;
// Said once per run of the program: where the sound went when no output could be opened.
std::atomic<bool> g_fallbackReported{false};

}  // namespace

CDirectSoundPlayer::CDirectSoundPlayer() {
    m_traceLog.SetFileName(kTraceFileName);
}

CDirectSoundPlayer::~CDirectSoundPlayer() {
    Close();
    // Open may have failed half-way, leaving sound objects and no thread behind.
    win::ScopedLock c(m_closeLock);
    EndThread();
    ReleaseSound();
    m_hNotifyEvent.reset();
}

void CDirectSoundPlayer::Trace(const char* utf8Text) {
    const std::string text = win::Utf8ToCp936(std::string(utf8Text) + "\n");
    m_traceLog.Log("%s", text.c_str());
}

uint8_t CDirectSoundPlayer::SilenceByte() const {
    return m_wfx.wBitsPerSample == 8 ? 128 : 0;
}

bool CDirectSoundPlayer::IsThreadRunning() {
    win::ScopedLock c(m_closeLock);
    return m_pThread != nullptr;
}

void CDirectSoundPlayer::SetEngine(CPlaybackEngine* engine) {
    win::ScopedLock e(EngineLock());
    m_pEngine = engine;
}

// ---- the frame timer -----------------------------------------------------------------------

void CFrameTimer::Reset(uint32_t byteRate, uint32_t playRate, uint32_t block, int fps) {
    byteRate_ = byteRate;
    playRate_ = playRate;
    block_ = block;
    fps_ = static_cast<uint64_t>(std::max(fps, 1));
    shown_ = Frame{};
    lastHeard_ = 0;
}

CFrameTimer::Frame CFrameTimer::FrameOf(uint64_t heard) const {
    if (byteRate_ == 0)
        return {};
    return {static_cast<int32_t>(heard / byteRate_),
            static_cast<int32_t>(fps_ * (heard % byteRate_) / byteRate_)};
}

uint64_t CFrameTimer::NextBoundary(uint64_t heard) const {
    if (byteRate_ == 0)
        return heard;
    const uint64_t second = heard / byteRate_ * byteRate_;
    const uint64_t next = fps_ * (heard % byteRate_) / byteRate_ + 1;
    // The first byte whose frame index is `next`: fps x r / byteRate >= next.
    return next >= fps_ ? second + byteRate_ : second + (next * byteRate_ + fps_ - 1) / fps_;
}

std::optional<CFrameTimer::TimePoint> CFrameTimer::Arm(uint64_t heard, TimePoint now) const {
    if (playRate_ == 0 || byteRate_ == 0)
        return std::nullopt;
    const uint64_t bytes = NextBoundary(heard) - heard + block_;
    const uint64_t ns = (bytes * 1'000'000'000u + playRate_ - 1) / playRate_;
    return now + std::chrono::nanoseconds(ns);
}

CFrameTimer::Step CFrameTimer::Notified(uint64_t heard, TimePoint now) {
    Step step;
    step.frame = FrameOf(heard);
    shown_ = std::max(shown_, step.frame);
    lastHeard_ = heard;
    step.next = Arm(heard, now);
    return step;
}

CFrameTimer::Step CFrameTimer::Fired(uint64_t heard, TimePoint now) {
    Step step;
    step.frame = FrameOf(heard);
    step.show = shown_ < step.frame;
    if (step.show)
        shown_ = step.frame;
    const bool stoodStill = heard <= lastHeard_;
    lastHeard_ = std::max(lastHeard_, heard);
    if (step.show || !stoodStill)
        step.next = Arm(heard, now);
    return step;
}

// ---- open and close ------------------------------------------------------------------------

int CDirectSoundPlayer::Open(CPlaybackEngine* engine, win::Event* wakeEvent,
                             win::MessageTarget* notifyWindow, int globalFocus,
                             win::RecursiveMutex* engineLock, IVideoTarget* videoWindow) {
    int32_t startSecond = 0;
    {
        win::ScopedLock c(m_closeLock);
        EndThread();
        ReleaseSound();
        m_hNotifyEvent.reset();

        m_hEngineLock = engineLock;
        m_pVideoWindow = videoWindow;
        m_hWakeEvent = wakeEvent;
        m_hNotifyWindow = notifyWindow;
        {
            win::ScopedLock e(EngineLock());
            m_pEngine = engine;
            ResetCounters();
            m_dwClock = 0;
            m_qwSegmentStart = 0;
            m_bPaused = 0;
        }
        if (!engine)
            return 0;

        const int fps = engine->GetFramesPerSecond();
        sync_trace::MovieOpened(fps);
        m_nNotificationCount = std::max(fps, kMinNotificationCount);
        startSecond = std::max(engine->GetBaseSecond(), 0);

        if (!CreateSound(*engine, notifyWindow, globalFocus))
            return 0;

        if (m_pVideoWindow)
            m_pVideoWindow->ShowFrameAt(0, 0);

        m_bThreadStarted = 0;
        m_pThread = std::make_unique<win::WorkerThread>();
        m_pThread->Start([this] { HandleNotificationThread(); }, win::ThreadPriority::AboveNormal);
    }
    FillAt(startSecond);
    return 1;
}

int CDirectSoundPlayer::CreateSound(CPlaybackEngine& engine, win::MessageTarget* notifyWindow,
                                    int globalFocus) {
    std::unique_ptr<win::DirectSound> ds;
    if (win::FAILED(win::DirectSoundCreate(&ds))) {
        Trace("创建m_pDirectSound失败");
        return 0;
    }
    ds->SetCooperativeLevel(notifyWindow, win::DSSCL_PRIORITY);
    const std::string fallback = ds->Device()->FallbackReason();
    if (fallback.empty()) {
        g_fallbackReported = false;  // a real output again: say it once more if it goes
    } else if (!g_fallbackReported.exchange(true)) {
        Trace(("Sound: " + fallback).c_str());
        std::fprintf(stderr, "tvqplayer: %s\n", fallback.c_str());
    }

    win::DSBUFFERDESC primaryDesc;
    primaryDesc.dwFlags = win::DSBCAPS_PRIMARYBUFFER;
    std::unique_ptr<win::DirectSoundBuffer> primary;
    if (win::FAILED(ds->CreateSoundBuffer(&primaryDesc, &primary))) {
        Trace("创建pDSBPrimary失败");
        return 0;
    }
    const win::WAVEFORMATEX wfx = win::DefaultPrimaryFormat();
    if (win::FAILED(primary->SetFormat(&wfx))) {
        Trace("pDSBPrimary->SetFormat(&wfx)失败");
        return 0;
    }
    primary.reset();

    const win::WAVEFORMATEX format = engine.GetAudioFormat();
    const uint32_t count = static_cast<uint32_t>(m_nNotificationCount.load());
    const uint32_t align = format.nBlockAlign;
    uint32_t chunk = static_cast<uint32_t>(static_cast<uint64_t>(m_nBufferSeconds) *
                                           format.nSamplesPerSec * align / count);
    if (align > 0)
        chunk -= chunk % align;
    m_dwChunkBytes = chunk;
    m_dwBufferBytes = chunk * count;

    win::DSBUFFERDESC desc;
    desc.dwFlags = win::DSBCAPS_GETCURRENTPOSITION2 | win::DSBCAPS_CTRLPOSITIONNOTIFY |
                   win::DSBCAPS_CTRLVOLUME;
    if (globalFocus)
        desc.dwFlags |= win::DSBCAPS_GLOBALFOCUS;
    desc.dwBufferBytes = m_dwBufferBytes;
    desc.lpwfxFormat = &format;
    std::unique_ptr<win::DirectSoundBuffer> buffer;
    if (win::FAILED(ds->CreateSoundBuffer(&desc, &buffer))) {
        Trace("创建m_pDSBuffer失败");
        return 0;
    }

    std::unique_ptr<win::DirectSoundNotify> notify;
    if (win::FAILED(buffer->QueryInterface(&notify))) {
        Trace("QueryInterface失败");
        return 0;
    }
    auto event = std::make_unique<win::Event>(/*manualReset=*/false);
    std::vector<win::DSBPOSITIONNOTIFY> positions(count);
    const uint32_t step = m_dwBufferBytes / count;
    for (uint32_t i = 0; i < count; ++i) {
        positions[i].dwOffset = step * (i + 1) - 1;
        positions[i].hEventNotify = event.get();
    }
    if (win::FAILED(notify->SetNotificationPositions(count, positions.data()))) {
        Trace("SetNotificationPositions失败");
        return 0;
    }

    m_hNotifyEvent = std::move(event);
    win::ScopedLock e(EngineLock());
    m_wfx = format;
    m_pDirectSound = std::move(ds);
    m_pDSBuffer = std::move(buffer);
    return 1;
}

void CDirectSoundPlayer::Close() {
    win::ScopedLock c(m_closeLock);
    if (!m_pThread)
        return;
    m_bThreadStarted = 0;
    EndThread();
    ReleaseSound();
    // Only now: the buffer's notification positions pointed at it.
    m_hNotifyEvent.reset();
}

void CDirectSoundPlayer::EndThread() {
    if (!m_pThread)
        return;
    m_pThread->PostMessage(win::WM_QUIT);  // fails harmlessly when the thread ended itself
    m_pThread->Join();
    m_pThread.reset();
}

void CDirectSoundPlayer::ReleaseSound() {
    win::ScopedLock e(EngineLock());
    if (m_pDSBuffer) {
        m_pDSBuffer->Stop();
        m_pDSBuffer.reset();
    }
    m_pDirectSound.reset();
}

// ---- filling and playing -------------------------------------------------------------------

void CDirectSoundPlayer::ResetCounters() {
    m_dwWriteCursor = 0;
    m_nExtraSeconds = 0;
    m_nLastSubSecond = 0;
    m_dwBackwardBase = 0;
    m_frameTimer.Reset(m_wfx.nAvgBytesPerSec, m_wfx.nSamplesPerSec * m_wfx.nBlockAlign,
                       m_wfx.nBlockAlign, m_pEngine ? m_pEngine->GetFramesPerSecond() : 1);
}

int CDirectSoundPlayer::FillAt(int32_t second) {
    return PlayBuffer(second);
}

int CDirectSoundPlayer::PlayBuffer(int32_t second) {
    win::ScopedLock e(EngineLock());
    if (!m_pDSBuffer)
        return 0;
    int result = 1;
    if (m_bPaused) {
        if (!RestoreBuffer()) {
            Trace("PlayBuffer()：恢复缓冲区和数据失败");
            return 0;
        }
        m_bPaused = 0;
    } else {
        ResetCounters();
        m_dwClock = second > 0 ? static_cast<uint64_t>(second) * m_wfx.nAvgBytesPerSec : 0;
        m_llShownMs = second > 0 ? int64_t{second} * 1000 : 0;
        m_qwSegmentStart = m_dwClock.load();
        bool lost = false;
        if (!RestoreLost(&lost))
            return 0;
        m_pDSBuffer->Stop();
        m_pDSBuffer->SetCurrentPosition(0);
        if (!FillWholeBuffer("PlayBuffer(),Lock失败", "PlayBuffer(),Unlock失败"))
            return 0;
        result = m_pEngine ? m_pEngine->IsRunning() : 0;
    }
    m_pDSBuffer->SetVolume(win::DSBVOLUME_MIN);
    m_bMuted = 0;
    m_pDSBuffer->SetVolume(AudibleVolume());
    m_pDSBuffer->Play(0, 0, win::DSBPLAY_LOOPING);
    return result;
}

int CDirectSoundPlayer::RestoreBuffer() {
    win::ScopedLock e(EngineLock());
    if (!m_pDSBuffer)
        return 0;
    bool lost = false;
    if (!RestoreLost(&lost))
        return 0;
    if (!lost)
        return 1;
    if (!FillWholeBuffer("RestoreBuffer(),Lock失败", "RestoreBuffer(),Unlock失败"))
        return 0;
    return m_pEngine ? m_pEngine->IsRunning() : 0;
}

int CDirectSoundPlayer::RestoreLost(bool* wasLost) {
    uint32_t status = 0;
    if (win::FAILED(m_pDSBuffer->GetStatus(&status))) {
        Trace("m_pDSBuffer->GetStatus()失败");
        return 0;
    }
    *wasLost = (status & win::DSBSTATUS_BUFFERLOST) != 0;
    if (*wasLost) {
        // Bounded: when the device itself is gone the buffer never comes back.
        for (int i = 0; m_pDSBuffer->Restore() == win::DSERR_BUFFERLOST; ++i) {
            if (i + 1 >= kRestoreAttempts) {
                Trace("Sound: the device is gone; the buffer cannot be restored");
                return 0;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(kRestoreRetryMs));
        }
    }
    return 1;
}

int CDirectSoundPlayer::FillWholeBuffer(const char* lockTrace, const char* unlockTrace) {
    void* part1 = nullptr;
    void* part2 = nullptr;
    uint32_t bytes1 = 0;
    uint32_t bytes2 = 0;
    if (win::FAILED(m_pDSBuffer->Lock(0, m_dwBufferBytes, &part1, &bytes1, &part2, &bytes2, 0))) {
        Trace(lockTrace);
        return 0;
    }
    FillPart(static_cast<uint8_t*>(part1), bytes1);
    if (part2)
        FillPart(static_cast<uint8_t*>(part2), bytes2);
    if (win::FAILED(m_pDSBuffer->Unlock(part1, bytes1, part2, bytes2))) {
        Trace(unlockTrace);
        return 0;
    }
    return 1;
}

void CDirectSoundPlayer::FillPart(uint8_t* part, uint32_t bytes) {
    int32_t got = 0;
    if (m_pEngine)
        got = m_pEngine->ReadAudio(part, static_cast<int32_t>(bytes));
    got = std::clamp<int32_t>(got, 0, static_cast<int32_t>(bytes));
    std::memset(part + got, SilenceByte(), bytes - static_cast<uint32_t>(got));
}

int CDirectSoundPlayer::Stop() {
    win::ScopedLock e(EngineLock());
    if (!m_pDSBuffer)
        return 0;
    m_bPaused = 0;
    ResetCounters();
    m_dwClock = 0;
    m_qwSegmentStart = 0;
    if (win::FAILED(m_pDSBuffer->Stop())) {
        Trace("Stop()失败");
        return 0;
    }
    if (win::FAILED(m_pDSBuffer->SetCurrentPosition(0))) {
        Trace("SetCurrentPosition()失败");
        return 0;
    }
    return 1;
}

void CDirectSoundPlayer::Pause() {
    win::ScopedLock e(EngineLock());
    if (m_pDSBuffer)
        m_pDSBuffer->Stop();
    m_bPaused = 1;
}

void CDirectSoundPlayer::Resume() {
    PlayBuffer(0);
}

void CDirectSoundPlayer::Mute(int flag) {
    win::ScopedLock e(EngineLock());
    m_bMuted = flag ? 1 : 0;
    if (m_pDSBuffer)
        m_pDSBuffer->SetVolume(AudibleVolume());
}

void CDirectSoundPlayer::SetUserVolume(int32_t hundredthsDb, int muted) {
    win::ScopedLock e(EngineLock());
    m_lVolume = std::clamp(hundredthsDb, win::DSBVOLUME_MIN, win::DSBVOLUME_MAX);
    m_bUserMuted = muted ? 1 : 0;
    if (m_pDSBuffer)
        m_pDSBuffer->SetVolume(AudibleVolume());
}

int32_t CDirectSoundPlayer::AudibleVolume() const {
    return m_bMuted || m_bUserMuted ? win::DSBVOLUME_MIN : m_lVolume.load();
}

// ---- the notification thread ---------------------------------------------------------------

// The notification thread waits for three things: the buffer's notification event (refill,
// time update, as always), its message queue (WM_QUIT), and, in normal play, the deadline of
// the next frame (m_frameDue, the frame timer). The deadline is a point of the steady clock
// and the wait is as fine as the condition variable's, so a frame goes up within a fraction of
// a millisecond of its time rather than at the next notification. Both the notification and
// the timer work under the engine lock, as any look at the engine does; the timer only reads
// the play cursor and hands a frame to the video target (whose stored-frame worker has decoded
// it ahead, so that only the hand-over and the repaint are left). If the cursor stands still
// the timer disarms, and the thread wakes only for notifications and the stall check.
// Failures: a play cursor that cannot be read counts as standing still (the next notification
// traces the failure and ends the thread as before); a deadline left over from before a Stop,
// FillAt or Pause finds the timer reset or paused under the engine lock and shows nothing old;
// a notification already waiting when the deadline passes is taken first (its event is set
// before the cursor can be read past its position).
void CDirectSoundPlayer::HandleNotificationThread() {
    using Clock = std::chrono::steady_clock;
    pthread_setname_np(pthread_self(), "tvq-notify");  // for profilers and /proc
    m_bThreadStarted = 1;
    m_frameDue.reset();
    win::Event* const events[] = {m_hNotifyEvent.get()};
    bool running = true;
    Clock::time_point lastNotified = Clock::now();
    while (running) {
        const Clock::time_point stallAt = lastNotified + std::chrono::milliseconds(kStallCheckMs);
        const Clock::time_point until = m_frameDue ? std::min(*m_frameDue, stallAt) : stallAt;
        const uint32_t r = win::MsgWaitUntil(events, until);
        if (r == win::WAIT_OBJECT_0) {
            running = HandleNotification() != 0;
            lastNotified = Clock::now();
        } else if (r == win::WAIT_TIMEOUT) {
            if (m_frameDue && Clock::now() >= *m_frameDue) {
                HandleFrameTimer();
            } else {
                running = CheckStalled() != 0;
                lastNotified = Clock::now();
            }
        } else if (r == win::WAIT_OBJECT_0 + 1) {
            win::Message msg;
            while (win::PeekMessage(msg, true))
                if (msg.message == win::WM_QUIT)
                    running = false;
        }
    }
    if (m_hWakeEvent)
        m_hWakeEvent->Set();
}

int CDirectSoundPlayer::HandleNotification() {
    // The whole wake runs under the engine lock, the frame shown included (the video target
    // takes the same lock to pull frames, and only posts its repaint): once Pause, Stop or
    // FillAt return, no update of the old clock can still arrive.
    win::ScopedLock e(EngineLock());
    if (!m_pEngine || !m_pDSBuffer)
        return 0;
    if (!m_pEngine->IsRunning()) {
        m_pDSBuffer->Stop();
        m_dwWriteCursor = 0;
        return 0;
    }
    uint32_t play = 0;
    if (win::FAILED(m_pDSBuffer->GetCurrentPosition(&play, nullptr))) {
        Trace("HandleNotificationThread(void* pParam),GetCurrentPosition()失败");
        return 0;
    }
    const uint32_t write = m_dwWriteCursor;
    if (play == write) {
        // Nothing heard since the last refill yet (the device's cursor runs on with the clock
        // between its takes): the frame timer still looks when the next frame is due.
        m_frameDue.reset();
        if (m_pEngine->GetMode() == SpeedMode::Normal)
            m_frameDue = m_frameTimer.Notified(HeardClock(), std::chrono::steady_clock::now()).next;
        return 1;
    }
    // Below the write cursor the play cursor has wrapped: the span runs through the end of
    // the buffer and on from 0, and Lock hands it out as two parts.
    const uint32_t span = play > write ? play - write : m_dwBufferBytes - write + play;
    int running = 0;
    if (!WriteSpan(write, span, &running))
        return 0;
    const TimeStep step = UpdateTime();
    Publish(step);
    m_frameDue.reset();
    if (step.show && m_pEngine->GetMode() == SpeedMode::Normal)
        m_frameDue = m_frameTimer.Notified(HeardClock(), std::chrono::steady_clock::now()).next;
    if (m_pVideoWindow && m_pVideoWindow->GetAdjust())
        m_pEngine->Resync(this);
    return running;
}

void CDirectSoundPlayer::HandleFrameTimer() {
    win::ScopedLock e(EngineLock());
    m_frameDue.reset();
    if (!m_pEngine || !m_pDSBuffer || m_bPaused || !m_pEngine->IsRunning() ||
        m_pEngine->GetMode() != SpeedMode::Normal)
        return;
    const uint64_t heard = HeardNow();
    // A take that passed a notification position sets its event before the cursor can be
    // read past it: a waiting notification refills and shows first, and arms the timer again.
    if (m_hNotifyEvent->IsSet())
        return;
    const CFrameTimer::Step step = m_frameTimer.Fired(heard, std::chrono::steady_clock::now());
    m_frameDue = step.next;
    if (!step.show)
        return;
    if (m_pVideoWindow) {
        if (sync_trace::Enabled() && m_wfx.nAvgBytesPerSec > 0)
            sync_trace::Heard(heard * 1000 / m_wfx.nAvgBytesPerSec);
        m_pVideoWindow->ShowFrameAt(step.frame.second, step.frame.index);
    }
    const int64_t fps = std::max(m_pEngine->GetFramesPerSecond(), 1);
    m_llShownMs = int64_t{step.frame.second} * 1000 + int64_t{step.frame.index} * 1000 / fps;
}

int CDirectSoundPlayer::CheckStalled() {
    win::ScopedLock e(EngineLock());
    if (!m_pDSBuffer || m_bPaused)
        return 1;
    uint32_t status = 0;
    if (win::FAILED(m_pDSBuffer->GetStatus(&status)) || !(status & win::DSBSTATUS_BUFFERLOST))
        return 1;
    // Lost while playing: the notifications have stopped. Given back (another program let
    // go of the device), play on from a full buffer; otherwise end this file.
    if (m_pDSBuffer->Restore() == win::DS_OK &&
        FillWholeBuffer("RestoreBuffer(),Lock失败", "RestoreBuffer(),Unlock失败") &&
        win::SUCCEEDED(m_pDSBuffer->Play(0, 0, win::DSBPLAY_LOOPING)))
        return 1;
    Trace("Sound: the device went away during play; the file ends");
    return 0;
}

float CDirectSoundPlayer::PictureLagSeconds() const {
    const uint32_t bps = m_wfx.nAvgBytesPerSec;
    if (bps == 0 || !m_pDSBuffer)
        return 0.0f;
    return static_cast<float>(m_dwClock - HeardClock()) / static_cast<float>(bps);
}

uint64_t CDirectSoundPlayer::HeardAt(uint64_t clock) const {
    uint32_t latency = 0;
    if (m_pDSBuffer && win::FAILED(m_pDSBuffer->GetLatency(&latency)))
        latency = 0;
    const uint64_t start = std::min<uint64_t>(m_qwSegmentStart, clock);
    return clock - std::min<uint64_t>(latency, clock - start);
}

uint64_t CDirectSoundPlayer::HeardNow() const {
    uint32_t play = 0;
    const uint32_t size = m_dwBufferBytes;
    if (!m_pDSBuffer || size == 0 || win::FAILED(m_pDSBuffer->GetCurrentPosition(&play, nullptr)))
        return HeardClock();
    // Refilled up to the write cursor at the last notification; the cursor has run on since.
    const uint32_t ran = (play + size - m_dwWriteCursor) % size;
    return HeardAt(m_dwClock + ran);
}

int CDirectSoundPlayer::WriteSpan(uint32_t from, uint32_t bytes, int* running) {
    void* part1 = nullptr;
    void* part2 = nullptr;
    uint32_t bytes1 = 0;
    uint32_t bytes2 = 0;
    if (win::FAILED(m_pDSBuffer->Lock(from, bytes, &part1, &bytes1, &part2, &bytes2, 0))) {
        Trace("HandleNotificationThread(void* pParam),Lock失败");
        return 0;
    }
    FillPart(static_cast<uint8_t*>(part1), bytes1);
    m_dwClock += bytes1;
    if (part2) {
        FillPart(static_cast<uint8_t*>(part2), bytes2);
        m_dwClock += bytes2;
    }
    if (win::FAILED(m_pDSBuffer->Unlock(part1, bytes1, part2, bytes2))) {
        Trace("HandleNotificationThread(void* pParam),Unlock失败");
        return 0;
    }
    m_dwWriteCursor = (from + bytes) % m_dwBufferBytes;
    *running = m_pEngine->IsRunning();
    return 1;
}

// ---- time ----------------------------------------------------------------------------------

CDirectSoundPlayer::TimeStep CDirectSoundPlayer::UpdateTime() {
    TimeStep step;
    const uint64_t bps = m_wfx.nAvgBytesPerSec;
    if (bps == 0)
        return step;
    const SpeedMode mode = m_pEngine->GetMode();
    const uint64_t fps = static_cast<uint64_t>(std::max(m_pEngine->GetFramesPerSecond(), 1));
    // The picture follows what is heard, not what the device has taken.
    const uint64_t clock = HeardClock();
    if (mode == SpeedMode::Normal) {
        step.second = static_cast<int32_t>(clock / bps);
        step.frame = static_cast<int32_t>(fps * (clock % bps) / bps);
        step.post = step.second % 2 == 0;
        step.show = true;
        return step;
    }
    const uint64_t factor = static_cast<uint64_t>(SpeedFactor(m_pEngine->GetSpeed()));
    uint64_t played = clock;
    if (mode == SpeedMode::Backward) {
        if (m_dwBackwardBase == 0) {
            m_dwBackwardBase = clock;
            return step;
        }
        played = clock - m_dwBackwardBase;
    }
    const int32_t whole = static_cast<int32_t>(played / bps);
    const uint64_t v = factor * (played % bps) * fps / bps;
    // The sub-second counter runs `factor` times through each second of sound: every time it
    // moves on, the display skips one more second ahead (or back).
    const int sub = static_cast<int>(v / fps);
    if (sub != m_nLastSubSecond) {
        m_nLastSubSecond = sub;
        ++m_nExtraSeconds;
    }
    const int32_t within = static_cast<int32_t>(v % fps);
    if (mode == SpeedMode::Forward) {
        step.second = m_nExtraSeconds + whole;
        step.frame = within;
    } else {
        step.second = m_pEngine->GetBackwardStart() - m_nExtraSeconds - whole;
        step.frame = static_cast<int32_t>(fps) - within;
        if (step.second < 0) {
            // Past the start nothing is posted, but the picture still takes the rest of the
            // run, so that the engine's queue empties and backward play ends the file.
            step.show = true;
            return step;
        }
    }
    step.post = step.second % 2 == 0;
    step.show = true;
    return step;
}

void CDirectSoundPlayer::Publish(const TimeStep& step) {
    if (step.post && m_hNotifyWindow)
        m_hNotifyWindow->PostMessage(WM_PLAY_POSITION, static_cast<uintptr_t>(step.second), 0);
    if (step.show && m_pVideoWindow) {
        if (sync_trace::Enabled() && m_wfx.nAvgBytesPerSec > 0)
            sync_trace::Heard(HeardClock() * 1000 / m_wfx.nAvgBytesPerSec);
        m_pVideoWindow->ShowFrameAt(step.second, step.frame);
    }
    if (step.show) {
        const int64_t fps = std::max(m_pEngine->GetFramesPerSecond(), 1);
        m_llShownMs = int64_t{step.second} * 1000 + int64_t{step.frame} * 1000 / fps;
    }
}
