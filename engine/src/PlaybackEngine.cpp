#include "engine/PlaybackEngine.h"

#include <pthread.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <mutex>
#include <new>
#include <set>
#include <string>
#include <thread>

#include "engine/FrameRecord.h"
#include "engine/Messages.h"
#include "engine/TvqDecoder.h"
#include "platform/MessageBox.h"
#include "support/LanguageTable.h"

namespace {

// The decode thread looks at its queues at least this often.
constexpr uint32_t kDecodeWakeMs = 10;
// How often the decode thread looks whether a waiting command has got the decode lock.
constexpr std::chrono::milliseconds kWaiterPollMs{1};
// Decode output buffers: four seconds of audio and two seconds of frames, so a component that
// delivers a little more than one second never writes past them.
constexpr int64_t kAudioBufferSeconds = 4;
constexpr int64_t kFrameBufferSeconds = 2;
// Sizes above this are refused rather than allocated (the queues count in int32).
constexpr int64_t kLargestBufferBytes = std::numeric_limits<int32_t>::max() - 16;
// Steady-state queue sizes, allocated once so that filling never grows (and so never moves) a
// queue. The fill adds a whole second while a queue holds at most one second. The sound
// buffer, though, holds up to a second of sound taken from the audio queue whose frames are
// still queued, so a fill for sound can find nearly two seconds of records and video peaks
// just over three (the device latency and a notification on top): 3.5 s. Measured at 720p,
// two seconds made the ring double (and copy itself) within the first seconds of play. Audio
// may also gain a second from a frame fetch's own decode, so it gets three. The ring needs
// two bytes beyond its fullest count.
constexpr int64_t kVideoQueueTenthSeconds = 35;
constexpr int64_t kAudioQueueSeconds = 3;
constexpr int64_t kRingSlackBytes = 2;
// Language-table entries of the box shown when one second of the movie does not fit in memory.
constexpr int kTitleError = 0;          // TitleInfo: "Error"
constexpr int kTextAllocateFailed = 9;  // DebugInfo: "Allocate memory failed!"

// True the first time a file's second did not fit in memory. A list that repeats comes back to
// the same file again and again; its box is shown once, not once per pass.
bool FirstMemoryFailureOf(const std::string& fileName) {
    static std::mutex mutex;
    static std::set<std::string> told;
    std::lock_guard lock(mutex);
    return told.insert(fileName).second;
}

// TVQ_DECODED_FRAMES=1 keeps a component's decoded seconds even when it hands out stored
// frames: the path of older components, for comparing the two.
bool DecodedFramesForced() {
    const char* value = std::getenv("TVQ_DECODED_FRAMES");
    return value && std::strcmp(value, "1") == 0;
}

std::unique_ptr<uint8_t[]> AllocateBuffer(int64_t bytes) {
    if (bytes <= 0 || bytes > kLargestBufferBytes)
        return nullptr;
    return std::unique_ptr<uint8_t[]>(new (std::nothrow) uint8_t[static_cast<size_t>(bytes)]);
}

}  // namespace

CPlaybackEngine::CPlaybackEngine(const std::string& fileName, int32_t startSecond)
    : CPlaybackEngine(fileName, startSecond, ThreadStart::Automatic) {}

CPlaybackEngine::CPlaybackEngine(const std::string& fileName, int32_t startSecond,
                                 ThreadStart threadStart)
    : CPlaybackEngine(fileName, startSecond, threadStart, nullptr) {}

CPlaybackEngine::CPlaybackEngine(const std::string& fileName, int32_t startSecond,
                                 ThreadStart threadStart, const std::atomic<uint32_t>* skipEpoch)
    : threadStart_(threadStart),
      skipEpoch_(skipEpoch),
      skipEpochAtOpen_(skipEpoch ? skipEpoch->load() : 0),
      tickSource_(win::GetTickCount) {
    opened_ = Open(fileName, startSecond);
}

CPlaybackEngine::~CPlaybackEngine() {
    Shutdown();
    // The decode thread may still be leaving its body after its own shutdown.
    if (thread_ && !thread_->IsCurrentThread())
        thread_->Join();
    audioQueue_.Free();
    videoQueue_.Free();
    fileName_.clear();
}

int CPlaybackEngine::Open(const std::string& fileName, int32_t startSecond) {
    seekNotifyThread_ = 0;
    seekPending_ = 0;
    closing_ = 0;
    decodedSeconds_ = 0;
    baseSecond_ = 0;
    fileName_ = fileName;

    TvqOpenBlock block{};
    std::strncpy(block.path, fileName.c_str(), sizeof block.path - 1);
    decoder_ = std::make_unique<CTvqDecoder>(block);
    audioFormat_ = decoder_->GetAudioFormat();
    pictureFormat_ = decoder_->GetPictureFormat();
    framesPerSecond_ = decoder_->GetFramesPerSecond();
    // The view decodes stored frames into the stream's 24-bit picture; anything else keeps
    // the component's own decoding.
    storedFrames_ =
        decoder_->HasStoredFrames() && pictureFormat_.biBitCount == 24 && !DecodedFramesForced();

    if (!AllocateQueuesAndBuffers() && FirstMemoryFailureOf(fileName)) {
        // Playing on would show nothing and say nothing; the user learns why, and the engine
        // runs without buffers, so its decode thread ends at once and the list goes on.
        const CLanguageTable& texts = LanguageTable();
        win::MessageBox(texts.DebugInfo(kTextAllocateFailed), texts.TitleInfo(kTitleError),
                        win::MB_ICONERROR);
    }
    decodeRequest_ = TvqDecodeRequest{};
    decodeRequest_.one = 1;
    decodeRequest_.audioBuffer = reinterpret_cast<uintptr_t>(audioDecodeBuffer_.get());
    decodeRequest_.audioCount = reinterpret_cast<uintptr_t>(&audioCountOut_);
    decodeRequest_.frameBuffer = reinterpret_cast<uintptr_t>(frameDecodeBuffer_.get());
    decodeRequest_.frameCount = reinterpret_cast<uintptr_t>(&frameCountOut_);
    decodeRequest_.zero = 0;
    storedRequest_ = TvqStoredRequest{};
    storedRequest_.audioBuffer = decodeRequest_.audioBuffer;
    storedRequest_.audioCount = decodeRequest_.audioCount;
    storedRequest_.frames = reinterpret_cast<uintptr_t>(storedSlots_.get());
    storedRequest_.frameCount = decodeRequest_.frameCount;
    storedRequest_.codec = reinterpret_cast<uintptr_t>(&storedCodec_);
    atEnd_ = 0;

    opening_ = 1;
    SkipToSecond(startSecond);
    opening_ = 0;
    if (!decoder_->IsUsable())
        QueueSilentSecond();
    if (threadStart_ == ThreadStart::Automatic) {
        // One second is enough for the output to start; the decode thread fills the rest of
        // the queues while the first second plays, so the first picture comes at once.
        FillPass();
        StartThread();
    } else {
        FillQueues();
    }
    return 1;
}

// Sizes everything once for this file. False when the stream is not usable (the default
// formats of an unusable decoder are) or one second of it does not fit in memory.
bool CPlaybackEngine::AllocateQueuesAndBuffers() {
    const int64_t bytesPerSecond = audioFormat_.nAvgBytesPerSec;
    const int64_t bareSecondOfFrames = static_cast<int64_t>(pictureFormat_.biBitCount) / 8 *
                                       pictureFormat_.biWidth * pictureFormat_.biHeight *
                                       framesPerSecond_;
    const int64_t recordSecond =
        FrameRecordBytes(static_cast<int64_t>(pictureFormat_.biSizeImage)) * framesPerSecond_;
    const bool sane = bytesPerSecond > 0 && bareSecondOfFrames > 0 && recordSecond > 0 &&
                      pictureFormat_.biSizeImage > 0;
    audioHighWater_ = 0;
    videoHighWater_ = 0;
    if (!sane)
        return true;  // nothing to play: not a memory problem
    const int64_t audioCapacity = kAudioQueueSeconds * bytesPerSecond + kRingSlackBytes;
    if (storedFrames_)
        return AllocateForStoredFrames(audioCapacity);
    const int64_t videoCapacity = kVideoQueueTenthSeconds * recordSecond / 10 + kRingSlackBytes;
    if (audioCapacity > kLargestBufferBytes || videoCapacity > kLargestBufferBytes)
        return false;
    // The decoder writes one second into buffers made for two; the half it never touches is
    // never made resident.
    audioDecodeBuffer_ = AllocateBuffer(kAudioBufferSeconds * bytesPerSecond);
    frameDecodeBuffer_ = AllocateBuffer(kFrameBufferSeconds * framesPerSecond_ *
                                        static_cast<int64_t>(pictureFormat_.biSizeImage));
    if (!audioDecodeBuffer_ || !frameDecodeBuffer_ ||
        !audioQueue_.Allocate(static_cast<int32_t>(audioCapacity)) ||
        !videoQueue_.Allocate(static_cast<int32_t>(videoCapacity))) {
        audioDecodeBuffer_.reset();
        frameDecodeBuffer_.reset();
        audioQueue_.Free();
        videoQueue_.Free();
        return false;
    }
    audioHighWater_ = static_cast<int32_t>(bytesPerSecond);
    videoHighWater_ = static_cast<int32_t>(bareSecondOfFrames);
    return true;
}

// The stored path needs no room for decoded pictures: the frames queue as they are stored, in
// memory taken as they come.
bool CPlaybackEngine::AllocateForStoredFrames(int64_t audioCapacity) {
    if (audioCapacity > kLargestBufferBytes)
        return false;
    const int64_t bytesPerSecond = audioFormat_.nAvgBytesPerSec;
    audioDecodeBuffer_ = AllocateBuffer(kAudioBufferSeconds * bytesPerSecond);
    storedSlots_.reset(new (std::nothrow)
                           TvqStoredFrame[static_cast<size_t>(kFrameBufferSeconds) *
                                          static_cast<size_t>(std::max(framesPerSecond_, 1))]);
    if (!audioDecodeBuffer_ || !storedSlots_ ||
        !audioQueue_.Allocate(static_cast<int32_t>(audioCapacity))) {
        audioDecodeBuffer_.reset();
        storedSlots_.reset();
        audioQueue_.Free();
        return false;
    }
    audioHighWater_ = static_cast<int32_t>(bytesPerSecond);
    videoHighWater_ = framesPerSecond_;
    return true;
}

// A file the decoder refuses has nothing to give. Rather than run silent until the user stops
// it, it plays one second of silence in the stand-in format and ends like any other file,
// so that a list goes on past it.
void CPlaybackEngine::QueueSilentSecond() {
    win::ScopedLock decode(decodeLock_);
    if (!HasDecodeBuffers() || audioHighWater_ <= 0)
        return;
    const auto silence = std::make_unique<uint8_t[]>(static_cast<size_t>(audioHighWater_));
    audioQueue_.Write(silence.get(), audioHighWater_);
    atEnd_ = 1;
}

bool CPlaybackEngine::HasDecodeBuffers() const {
    if (!decoder_ || !audioDecodeBuffer_ || !audioQueue_.HasBuffer())
        return false;
    return storedFrames_ ? storedSlots_ != nullptr : frameDecodeBuffer_ && videoQueue_.HasBuffer();
}

int CPlaybackEngine::CallDecoder() {
    if (storedFrames_)
        return decoder_->ReadStored(&storedRequest_);
    return decoder_->Decode(&decodeRequest_);
}

int64_t CPlaybackEngine::QueuedVideo() const {
    return storedFrames_ ? storedQueue_.GetCount() : videoQueue_.GetCount();
}

float CPlaybackEngine::QueuedVideoSeconds() const {
    if (storedFrames_)
        return framesPerSecond_ > 0 ? static_cast<float>(storedQueue_.GetCount()) /
                                          static_cast<float>(framesPerSecond_)
                                    : 0.0f;
    const float recordSecond =
        static_cast<float>(FrameRecordBytes(static_cast<int64_t>(pictureFormat_.biSizeImage))) *
        static_cast<float>(framesPerSecond_);
    return recordSecond > 0 ? static_cast<float>(videoQueue_.GetCount()) / recordSecond : 0.0f;
}

void CPlaybackEngine::ResetVideo() {
    videoQueue_.Reset();
    storedQueue_.Reset();
}

int32_t CPlaybackEngine::GetVideoQueuedBytes() const {
    if (!storedFrames_)
        return videoQueue_.GetCount();
    return static_cast<int32_t>(
        std::min<int64_t>(storedQueue_.GetBytes(), std::numeric_limits<int32_t>::max()));
}

void CPlaybackEngine::ClearCounts() {
    audioCountOut_ = 0;
    frameCountOut_ = 0;
}

void CPlaybackEngine::QueueAudio() {
    const int64_t bytes = 2 * static_cast<int64_t>(audioCountOut_);
    const int64_t room = kAudioBufferSeconds * audioFormat_.nAvgBytesPerSec;
    audioQueue_.Write(audioDecodeBuffer_.get(), static_cast<int32_t>(bytes < room ? bytes : room));
}

bool CPlaybackEngine::QueueFrames(int32_t second, bool reverse) {
    if (storedFrames_)
        return QueueStoredFrames(second, reverse);
    const int64_t imageSize = pictureFormat_.biSizeImage;
    if (imageSize <= 0 || imageSize > std::numeric_limits<int32_t>::max())
        return false;
    for (int32_t n = 0; n < framesPerSecond_; ++n) {
        const FrameRecordLabel label{second, reverse ? framesPerSecond_ - 1 - n : n};
        // Straight from the decode buffer into the queue: no copy of the frame in between. A
        // record goes in whole or not at all; once one does not fit, neither do the rest.
        if (!videoQueue_.WriteAll({{frameDecodeBuffer_.get() + label.index * imageSize,
                                    static_cast<int32_t>(imageSize)},
                                   {reinterpret_cast<const uint8_t*>(&label), kRecordLabelBytes}}))
            return false;
    }
    return true;
}

// Copies the second's frames out of the component (its bytes last only until its next call).
// A repeated frame (a short second's padding) shares the copy of the one it repeats.
bool CPlaybackEngine::QueueStoredFrames(int32_t second, bool reverse) {
    const int32_t count = static_cast<int32_t>(
        std::min<int64_t>(frameCountOut_, kFrameBufferSeconds * framesPerSecond_));
    std::vector<StoredFrame> frames;
    try {
        frames.reserve(static_cast<size_t>(std::max(count, 0)));
        const uint8_t* lastData = nullptr;
        std::shared_ptr<const std::vector<uint8_t>> lastCopy;
        for (int32_t n = 0; n < count; ++n) {
            const TvqStoredFrame& slot = storedSlots_[n];
            if (!lastCopy || slot.data != lastData) {
                lastData = slot.data;
                lastCopy = framePool_.Copy(slot.data, slot.data ? slot.size : 0);
            }
            frames.push_back(StoredFrame{second, n, storedCodec_, lastCopy});
        }
    } catch (const std::bad_alloc&) {
        return false;
    }
    if (reverse)
        std::reverse(frames.begin(), frames.end());
    for (StoredFrame& frame : frames) storedQueue_.Push(std::move(frame));
    return true;
}

bool CPlaybackEngine::SkipGivenUp() const {
    if (opening_)
        return skipEpoch_ && skipEpoch_->load() != skipEpochAtOpen_;
    // On the decode thread: a newer request replaces this one, and a speed change wants the
    // decoder now (the seek then waits for normal play again).
    return seekPending_.load() || mode_.load() != SpeedMode::Normal;
}

int CPlaybackEngine::SkipToSecond(int32_t target) {
    {
        // Emptied before the flag is raised: whoever sees the flag finds nothing stale queued.
        win::ScopedLock decode(decodeLock_);
        audioQueue_.Reset();
        ResetVideo();
        skipping_ = 1;
    }
    int done = 1;
    if (SeekDecoder(target)) {
        skipping_ = 0;
        return 1;
    }
    for (;;) {
        // A mode change waiting for the lock would otherwise only get it by chance: the
        // lock is taken straight back below, and it is what gives this skip up.
        LetWaitersIn();
        // One decoder call per hold of the lock: whoever waits for it waits one second's
        // decode at most. The numbering follows the decoder second by second, so a frame
        // fetch or a mode change that decodes in between labels its second correctly.
        win::ScopedLock decode(decodeLock_);
        // Emptied at every turn: a mode change decoding in between may have queued a second.
        audioQueue_.Reset();
        ResetVideo();
        const int32_t position = baseSecond_ + decodedSeconds_;
        if (position >= target || !HasDecodeBuffers())
            break;
        if (atEnd_ || closing_) {
            atEnd_ = 1;
            break;
        }
        if (SkipGivenUp()) {
            done = 0;
            break;
        }
        const int result = CallDecoder();
        ClearCounts();
        baseSecond_ = position + 1;
        decodedSeconds_ = 0;
        if (result == kTvqEndOfFile)
            atEnd_ = 1;
    }
    win::ScopedLock decode(decodeLock_);
    audioQueue_.Reset();
    ResetVideo();
    ClearCounts();
    const int32_t position = baseSecond_ + decodedSeconds_;
    // Past the end the target is still taken as the base. Behind the decoder (it decoded on
    // while the request was on its way) the real position stays: relabelling it would shift
    // every later label and the clock.
    if (done && (target >= position || atEnd_))
        baseSecond_ = target;
    else
        baseSecond_ = position;
    decodedSeconds_ = 0;
    skipping_ = 0;
    return done;
}

// Repositions a decoder that can, in either direction. True when the numbering is at `target`;
// false leaves everything as it was for the skip by decoding.
bool CPlaybackEngine::SeekDecoder(int32_t target) {
    win::ScopedLock decode(decodeLock_);
    if (!HasDecodeBuffers() || target < 0 || !decoder_->HasSeek() || closing_)
        return false;
    if (!decoder_->Seek(target))
        return false;
    audioQueue_.Reset();
    ResetVideo();
    ClearCounts();
    baseSecond_ = target;
    decodedSeconds_ = 0;
    // The component delivers that second next, even after it had reached its end.
    atEnd_ = 0;
    return true;
}

int CPlaybackEngine::DecodeOneSecond() {
    win::ScopedLock decode(decodeLock_);
    if (!HasDecodeBuffers() || atEnd_)
        return 0;
    const int32_t position = baseSecond_ + decodedSeconds_;
    const int result = CallDecoder();
    if (audioCountOut_ > 0)
        QueueAudio();
    if (frameCountOut_ > 0) {
        QueueFrames(position, false);
        ++decodedSeconds_;
    }
    if (result == kTvqEndOfFile)
        atEnd_ = 1;
    if (frameCountOut_ < 1)
        return 0;
    ClearCounts();
    return 1;
}

// One decode call of the forward fill and the queueing of its output. The decode buffers are
// shared with DecodeOneSecond (frame fetches, mode changes, re-alignment on other threads), so
// the call and the queueing of what it delivered happen under one hold of the decode lock;
// otherwise another thread's call could overwrite the buffers before they are queued.
// 1 to go on, 0 to end the pass.
int CPlaybackEngine::FillPass() {
    win::ScopedLock decode(decodeLock_);
    // The end may have been reached by another thread's call, and a change to backward play
    // may have happened since the decode thread looked at the mode.
    if (atEnd_ || mode_ == SpeedMode::Backward || !HasDecodeBuffers())
        return 0;
    const int32_t position = baseSecond_ + decodedSeconds_;
    const int result = CallDecoder();
    if (audioCountOut_ > 0 && speed_ == Speed::X1 && mode_ == SpeedMode::Normal)
        QueueAudio();
    if (frameCountOut_ > 0) {
        QueueFrames(position, false);
        ++decodedSeconds_;
    }
    if (result == kTvqEndOfFile)
        atEnd_ = 1;
    if (audioCountOut_ < 1 || frameCountOut_ < 1)
        return 0;
    ClearCounts();
    return atEnd_ ? 0 : 1;
}

int CPlaybackEngine::FillQueues() {
    if (!HasDecodeBuffers())
        return 0;
    if (!atEnd_) {
        while ((audioQueue_.GetCount() <= audioHighWater_ && speed_ == Speed::X1) ||
               QueuedVideo() <= videoHighWater_) {
            if (!FillPass())
                break;
            // A seek waiting for the decode thread goes first; the fill goes on after it.
            if (seekPending_ && mode_ == SpeedMode::Normal)
                break;
            if (LetWaitersIn())
                break;
        }
        return 1;
    }
    return DrainedResult(mode_ != SpeedMode::Normal);
}

// After the end: 1 while there is still something to play.
int CPlaybackEngine::DrainedResult(bool videoOnly) const {
    if (videoOnly)
        return QueuedVideo() >= 1 ? 1 : 0;
    return audioQueue_.GetCount() > 0 || QueuedVideo() >= 1 ? 1 : 0;
}

void CPlaybackEngine::StartThread() {
    if (thread_) {
        // Only a thread of an earlier open can be here; make it leave before replacing it.
        while (running_) {
            stopEvent_.Set();
            threadEnded_.Wait(kDecodeWakeMs);
        }
        if (!thread_->IsCurrentThread())
            thread_->Join();
        thread_.reset();
    }
    stopEvent_.Reset();
    threadEnded_.Reset();
    thread_ = std::make_unique<win::WorkerThread>();
    // Running before the body starts, so a Shutdown right after creation waits for the thread.
    running_ = 1;
    if (!thread_->Start([this] { ThreadBody(); }, win::ThreadPriority::Normal))
        running_ = 0;
}

void CPlaybackEngine::ThreadBody() {
    pthread_setname_np(pthread_self(), "tvq-decode");  // for profilers and /proc
    running_ = 1;
    win::Event* const events[] = {&stopEvent_};
    int more = Step();
    while (more) {
        // A seek that came in during the last step runs at once, not after the wait.
        const uint32_t wake = win::MsgWaitForMultipleObjects(
            events, seekPending_ && mode_ == SpeedMode::Normal ? 0 : kDecodeWakeMs);
        if (wake == win::WAIT_OBJECT_0)
            break;
        if (wake == win::WAIT_OBJECT_0 + 1) {
            bool quit = false;
            win::Message message;
            while (win::PeekMessage(message, true)) {
                if (message.message == win::WM_QUIT)
                    quit = true;
            }
            if (quit)
                break;
        }
        more = Step();
    }
    running_ = 0;
    Shutdown();
    threadEnded_.Set();
}

int CPlaybackEngine::Step() {
    // The skip is made without the decode lock held around it, so the user's commands and the
    // frame fetches never wait for a far seek.
    while (seekPending_ && mode_ == SpeedMode::Normal && !closing_) {
        seekPending_ = 0;
        const int32_t target = seekTarget_;
        if (!SkipToSecond(target)) {
            // Given up for a mode change: the request waits for normal play again. A newer
            // request is already pending and runs next.
            if (mode_ != SpeedMode::Normal)
                seekPending_ = 1;
            continue;
        }
        // As at the opening: one second lets the output restart, the next steps fill the rest.
        FillPass();
        win::PostThreadMessage(seekNotifyThread_, WM_SEEK_DONE, 0, 0);
    }
    // Neither fill holds the decode lock across seconds; each looks at the mode again under
    // it, so a change between two seconds ends the fill of the old mode.
    if (mode_ == SpeedMode::Backward)
        return FillQueuesBackward();
    return FillQueues();
}

bool CPlaybackEngine::LetWaitersIn() {
    // Only the decode thread holds no lock here; anyone else may hold the decode lock itself.
    if (!thread_ || !thread_->IsCurrentThread())
        return closing_.load() != 0;
    while (decodeWaiters_.load() > 0 && !closing_) std::this_thread::sleep_for(kWaiterPollMs);
    return closing_.load() != 0;
}

CPlaybackEngine::DecodeTurn::DecodeTurn(CPlaybackEngine& engine) : engine_(engine) {
    ++engine_.decodeWaiters_;
    engine_.decodeLock_.Lock();
    --engine_.decodeWaiters_;
}

CPlaybackEngine::DecodeTurn::~DecodeTurn() {
    engine_.decodeLock_.Unlock();
}

void CPlaybackEngine::RequestSeek(int32_t target, int pending, win::ThreadId notifyThread) {
    seekTarget_ = target;
    seekNotifyThread_ = notifyThread;
    seekPending_ = pending;
}

int CPlaybackEngine::CanSeek() {
    win::ScopedLock data(dataLock_);
    return decoder_ && decoder_->HasSeek() ? 1 : 0;
}

int32_t CPlaybackEngine::GetLengthSeconds() {
    win::ScopedLock data(dataLock_);
    return decoder_ ? decoder_->GetLengthSeconds() : 0;
}

int32_t CPlaybackEngine::ReadAudio(uint8_t* dest, int32_t wanted) {
    win::ScopedLock data(dataLock_);
    int32_t length = wanted;
    if (!audioQueue_.Read(dest, &length))
        return 0;
    return length;
}

int CPlaybackEngine::EnsureFrame(int32_t recordSize) {
    win::ScopedLock data(dataLock_);
    // One stored frame is one whole record, whatever its size.
    if (storedFrames_)
        recordSize = 1;
    if (QueuedVideo() >= recordSize)
        return 1;
    // The queues are empty by design during a skip; decoding here would only slow it down.
    if (skipping_)
        return 0;
    // In fast play the display runs through seconds faster than they can be decoded, so a
    // fetch that decoded here would do so at every pull of its catch-up, one second after
    // another, holding the caller's locks (the engine lock of the sound thread, and so every
    // command of the user) all the while. A running decode thread is decoding the next second
    // already; the picture keeps its frame until that is queued. In normal play the thread
    // stays a second ahead, and a fetch decodes only when it fell behind.
    if (running_ && mode_ != SpeedMode::Normal)
        return 0;
    win::ScopedLock decode(decodeLock_);
    // The decode thread may have queued a second (and reached the end) while this waited.
    if (QueuedVideo() >= recordSize)
        return 1;
    // Backward play numbers its seconds counting down: a second decoded forward here would
    // carry a label above the run and break its order.
    if (mode_ == SpeedMode::Backward) {
        FillQueuesBackward();
        return QueuedVideo() >= recordSize ? 1 : 0;
    }
    return DecodeOneSecond();
}

bool CPlaybackEngine::TakeStoredFrame(StoredFrame* frame, int32_t* queuedAfter, StoredFrame* next) {
    win::ScopedLock data(dataLock_);
    if (!storedFrames_ || !storedQueue_.Pop(frame, queuedAfter))
        return false;
    if (next && !storedQueue_.Peek(next))
        *next = StoredFrame{};
    return true;
}

int32_t CPlaybackEngine::ReadFrame(uint8_t* dest, int32_t imageSize, int32_t* second,
                                   int32_t* index) {
    if (storedFrames_)
        return ReadStoredFrame(dest, imageSize, second, index);
    win::ScopedLock data(dataLock_);
    // The writer appends a record in three parts, and a seek on the decode thread may empty the
    // queue at any moment; taking the three parts in one step of the ring means a reader never
    // splits a record and never loses step with the queue.
    if (imageSize <= 0 || !dest)
        return 0;
    int32_t labelSecond = 0, labelIndex = 0;
    if (!videoQueue_.ReadAll({{dest, imageSize},
                              {reinterpret_cast<uint8_t*>(&labelSecond), sizeof labelSecond},
                              {reinterpret_cast<uint8_t*>(&labelIndex), sizeof labelIndex}}))
        return 0;
    if (second)
        *second = labelSecond;
    if (index)
        *index = labelIndex;
    return imageSize;
}

int32_t CPlaybackEngine::ReadStoredFrame(uint8_t* dest, int32_t imageSize, int32_t* second,
                                         int32_t* index) {
    if (imageSize <= 0 || !dest || imageSize < static_cast<int64_t>(pictureFormat_.biSizeImage))
        return 0;
    StoredFrame frame;
    if (!TakeStoredFrame(&frame, nullptr))
        return 0;
    if (second)
        *second = frame.second;
    if (index)
        *index = frame.index;
    const CStoredFrameDecoder::Size full{pictureFormat_.biWidth, pictureFormat_.biHeight};
    // Callers of ReadFrame take turns (each under the owner's engine lock), so one decoder
    // serves them all.
    std::lock_guard lock(readFrameDecoderMutex_);
    if (!readFrameDecoder_)
        readFrameDecoder_ = std::make_unique<CStoredFrameDecoder>();
    if (!readFrameDecoder_->Decode(frame, full, full, CStoredFrameDecoder::Layout::Bgr24BottomUp,
                                   dest, win::DibStride(full.width, 24)))
        std::memset(dest, 0, static_cast<size_t>(imageSize));
    return imageSize;
}

int32_t CPlaybackEngine::ReadFrameInPlace(int32_t imageSize, const QueuedFrameUse& use) {
    win::ScopedLock data(dataLock_);
    if (imageSize <= 0 || !use || storedFrames_)
        return 0;
    int32_t labelSecond = 0, labelIndex = 0;
    const int read = videoQueue_.ReadAllInPlace(
        imageSize,
        {{reinterpret_cast<uint8_t*>(&labelSecond), sizeof labelSecond},
         {reinterpret_cast<uint8_t*>(&labelIndex), sizeof labelIndex}},
        [&](CByteRing::Span first, CByteRing::Span second, int32_t queuedAfter) {
            use(first, second, labelSecond, labelIndex, queuedAfter);
        });
    return read ? imageSize : 0;
}

void CPlaybackEngine::Shutdown() {
    ShutdownState expected = ShutdownState::NotBegun;
    if (!shutdownState_.compare_exchange_strong(expected, ShutdownState::Running)) {
        // Someone else is shutting down. The decode thread must not wait: that someone may be
        // waiting for it to end.
        if (!(thread_ && thread_->IsCurrentThread()))
            shutdownDone_.Wait(win::INFINITE);
        return;
    }
    closing_ = 1;
    // Ended before taking the locks, so the thread's last step can finish whatever it holds.
    if (thread_ && !thread_->IsCurrentThread()) {
        if (running_)
            thread_->PostMessage(win::WM_QUIT);
        thread_->Join();
    }
    running_ = 0;
    FreeEverything();
    shutdownState_ = ShutdownState::Done;
    shutdownDone_.Set();
}

// Frees the decoder and the buffers under both locks (in the engine's order), so neither a
// queue reader nor a mode change on another thread can be using them.
void CPlaybackEngine::FreeEverything() {
    win::ScopedLock data(dataLock_);
    win::ScopedLock decode(decodeLock_);
    stopEvent_.Set();
    audioDecodeBuffer_.reset();
    frameDecodeBuffer_.reset();
    storedSlots_.reset();
    audioQueue_.Free();
    videoQueue_.Free();
    storedQueue_.Reset();
    decoder_.reset();
}

bool CPlaybackEngine::WaitForThreadEnd(uint32_t timeoutMs) {
    return threadEnded_.Wait(timeoutMs) == win::WAIT_OBJECT_0;
}

void CPlaybackEngine::SetTickSource(std::function<uint32_t()> tickSource) {
    tickSource_ = tickSource ? std::move(tickSource) : std::function<uint32_t()>(win::GetTickCount);
}
