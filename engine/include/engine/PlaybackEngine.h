#pragma once
// CPlaybackEngine plays one open file: it owns the file's CTvqDecoder, a decode thread and two
// queues (PCM bytes, and frame records labelled with their second and index) that the thread
// keeps one to two seconds ahead of playback. The audio output is the clock and pulls from
// the queues; the engine paces nothing itself. It also carries the speed modes (normal,
// forward, backward), forward seeks done by the decode thread, and the re-alignment of audio
// and video.
//
// Frames take one of two paths. When the component hands out stored frames (TvqReadStored),
// the engine queues them as they are in the file (CStoredFrameQueue, a few MB a second) and
// the frame view decodes only the frame it shows, outside every lock of the engine. Otherwise
// the engine queues decoded seconds as frame records in a byte ring: the frame (image size of
// the picture format), then the int32 second it belongs to, then its int32 index within that
// second (0 .. fps - 1). The environment variable TVQ_DECODED_FRAMES=1 forces the second path.
//
// Locks, outermost first: the data lock (queue reads, the length query), the decode lock
// (queue writes, decoding, Step, mode changes, re-alignment; recursive), the decoder's own
// mutex, and each queue's own small mutex. Every path takes them in that order: EnsureFrame
// (data, then decode to fetch a second), the mode changes and the re-alignment (data, then
// decode, then the output's restart reads audio under the data lock it already holds), and
// Shutdown. The decode thread takes only the decode lock, and both at its own shutdown.
// Callers from other threads also hold the playlist player's engine lock around every call.
//
// Nothing holds the decode lock for more than one second's decode: the decode thread's fills
// and skips take it per second and let a waiting command in between two seconds, the mode
// changes decode at most the one second their first picture or sound needs, a frame fetch in
// fast play leaves decoding to a running decode thread, and the re-alignment only tries the
// lock. Whoever holds the engine lock therefore never waits long for decoding, and neither
// does the user behind it.
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "codec/TvqComponentApi.h"
#include "engine/ByteRing.h"
#include "engine/FrameBytesPool.h"
#include "engine/IAudioOutput.h"
#include "engine/PlaybackState.h"
#include "engine/StoredFrameDecoder.h"
#include "engine/StoredFrameQueue.h"
#include "platform/Sync.h"
#include "platform/Thread.h"
#include "platform/WinTypes.h"

class CTvqDecoder;

class CPlaybackEngine {
public:
    // Automatic: Open starts the decode thread. Manual: it does not; the owner drives Step
    // (or StartThread) itself. Tests and benchmarks use Manual for exact interleavings.
    enum class ThreadStart { Automatic, Manual };

    // Opens the file at `startSecond` (runs Open and keeps its result).
    CPlaybackEngine(const std::string& fileName, int32_t startSecond);
    CPlaybackEngine(const std::string& fileName, int32_t startSecond, ThreadStart threadStart);
    // As above; the skip to `startSecond` made while opening gives up as soon as `*skipEpoch`
    // differs from its value at construction (the owner's Stop, Next or a new seek), leaving
    // the engine at the second it had reached. The counter must outlive the constructor call.
    CPlaybackEngine(const std::string& fileName, int32_t startSecond, ThreadStart threadStart,
                    const std::atomic<uint32_t>* skipEpoch);
    virtual ~CPlaybackEngine();
    CPlaybackEngine(const CPlaybackEngine&) = delete;
    CPlaybackEngine& operator=(const CPlaybackEngine&) = delete;

    // --- opening and decoding (normally run by the constructor and the decode thread) ---
    int Open(const std::string& fileName, int32_t startSecond);
    // Empties the queues and decodes (discarding) up to `target`; base second = target. The
    // decode lock is held for one decoder call at a time, never for the whole skip, so frame
    // fetches, speed changes and Shutdown never wait for it. A target behind the decoder, which
    // cannot go back, leaves the numbering at the decoder's real position instead of
    // relabelling what comes next. 1 when done (also when the end or Shutdown cut it short),
    // 0 when given up for a newer seek request, a mode change or the owner's skip epoch.
    int SkipToSecond(int32_t target);
    // Decodes and queues one second forward. 1 when frames came, 0 otherwise.
    int DecodeOneSecond();
    // Normal and forward mode fill. 0 once the end was reached and the queues drained.
    int FillQueues();
    // Backward mode fill, numbering down through second 0. 0 once that is done (or the end
    // reached) and the queued frames have been taken.
    int FillQueuesBackward();
    void StartThread();
    // One turn of the decode thread: a pending seek (normal mode only), then the fill.
    int Step();

    // --- used by the playlist player, the audio output and the video window ---
    int32_t GetLengthSeconds();
    // 1 when the file's decoder can reposition, so a seek in either direction is done in
    // place by the decode thread. Under the data lock.
    int CanSeek();
    // Copies up to `wanted` queued PCM bytes; the number copied (0 when empty).
    int32_t ReadAudio(uint8_t* dest, int32_t wanted);
    // 1 when frames reach the view as stored frames (TakeStoredFrame) rather than records.
    int DeliversStoredFrames() const { return storedFrames_ ? 1 : 0; }
    // Takes the oldest stored frame and how many are queued behind it, under the data lock
    // for the moment of the pop only; false when none is queued. `next`, when given, gets the
    // frame queued behind it (empty when there is none), for a view that decodes one ahead.
    bool TakeStoredFrame(StoredFrame* frame, int32_t* queuedAfter, StoredFrame* next = nullptr);
    // 1 when a whole record of `recordSize` bytes (with stored frames: one frame) is queued.
    // Otherwise in forward and backward play, while the decode thread runs, 0 (the thread is
    // decoding the next second); else the result of one DecodeOneSecond (in backward play: of one
    // backward fill).
    int EnsureFrame(int32_t recordSize);
    // Takes one record: the frame into `dest`, its second and index. Bytes of frame copied,
    // 0 when nothing was read. With stored frames it takes one and decodes it into `dest`
    // (after the data lock is let go); a frame that does not decode leaves `dest` black.
    int32_t ReadFrame(uint8_t* dest, int32_t imageSize, int32_t* second, int32_t* index);
    // Takes one record like ReadFrame without copying its frame: `use` gets the frame where it
    // lies in the queue (one span, or two when it wraps) with the record's second and index
    // and the bytes queued behind the record, under the data lock; the spans are valid only
    // during the call. imageSize, or 0 with `use` not called.
    using QueuedFrameUse = std::function<void(CByteRing::Span, CByteRing::Span, int32_t second,
                                              int32_t index, int32_t queuedAfter)>;
    int32_t ReadFrameInPlace(int32_t imageSize, const QueuedFrameUse& use);
    // Asks the decode thread to seek forward to `target` and to post WM_SEEK_DONE to
    // `notifyThread` when done. Waits while the mode is not normal.
    void RequestSeek(int32_t target, int pending, win::ThreadId notifyThread);
    // 1 when the mode or the factor changed.
    int SetSpeed(Speed speed, IAudioOutput* output, SpeedDirection direction);
    // Re-aligns audio and video when their queued lengths drift apart. 1 when it did.
    int Resync(IAudioOutput* output);
    // Ends the decode thread and frees the decoder and buffers. Runs once; a second caller
    // waits until the first has finished (unless it is the decode thread itself).
    void Shutdown();

    // --- mode steps of the speed changes (each takes the decode lock itself) ---
    void LeaveForward(IAudioOutput* output, int decode);
    void LeaveBackward(IAudioOutput* output, int decode);
    void StartBackward();
    void ForwardToBackward(IAudioOutput* output);

    // --- read access ---
    int IsRunning() const { return running_.load(); }
    int GetOpened() const { return opened_; }
    int GetFramesPerSecond() const { return framesPerSecond_; }
    const win::WAVEFORMATEX& GetAudioFormat() const { return audioFormat_; }
    const win::BITMAPINFOHEADER& GetPictureFormat() const { return pictureFormat_; }
    const std::string& GetFileName() const { return fileName_; }
    int32_t GetBaseSecond() const { return baseSecond_.load(); }
    int32_t GetDecodedSeconds() const { return decodedSeconds_.load(); }
    SpeedMode GetMode() const { return mode_.load(); }
    Speed GetSpeed() const { return speed_.load(); }
    int32_t GetBackwardStart() const { return backwardStart_.load(); }
    int IsAtEnd() const { return atEnd_.load(); }
    int IsSkipping() const { return skipping_.load(); }
    int32_t GetAudioQueuedBytes() const { return audioQueue_.GetCount(); }
    int32_t GetVideoQueuedBytes() const;
    int32_t GetAudioHighWater() const { return audioHighWater_; }
    int32_t GetVideoHighWater() const { return videoHighWater_; }
    int32_t GetAudioCapacity() const { return audioQueue_.GetCapacity(); }
    int32_t GetVideoCapacity() const { return videoQueue_.GetCapacity(); }
    float GetLeadThreshold() const { return leadThreshold_; }
    int IsCalibrating() const { return calibrating_; }

    // Waits up to `timeoutMs` (may be win::INFINITE) for the decode thread to have ended and
    // shut the engine down. True when it has.
    bool WaitForThreadEnd(uint32_t timeoutMs);
    // The re-alignment's clock (milliseconds); win::GetTickCount unless replaced (tests).
    void SetTickSource(std::function<uint32_t()> tickSource);

private:
    void ThreadBody();
    bool HasDecodeBuffers() const;
    void QueueSilentSecond();
    bool AllocateQueuesAndBuffers();
    bool SkipGivenUp() const;
    bool SeekDecoder(int32_t target);
    int CallDecoder();
    // Appends the decoded frames as records of `second`, in forward or reverse order.
    // False when a record did not fit (the queue could not grow); the records queued stay whole.
    bool QueueFrames(int32_t second, bool reverse);
    bool QueueStoredFrames(int32_t second, bool reverse);
    bool AllocateForStoredFrames(int64_t audioCapacity);
    int32_t ReadStoredFrame(uint8_t* dest, int32_t imageSize, int32_t* second, int32_t* index);
    // The video queue in use, in its own unit (records' bytes, or stored frames), against the
    // high-water mark in that unit; and its length in seconds.
    int64_t QueuedVideo() const;
    float QueuedVideoSeconds() const;
    void ResetVideo();
    void QueueAudio();
    void ClearCounts();
    int FillPass();
    // One second of the backward fill under one hold of the decode lock: kPassAgain when the
    // fill should go on, else the fill's result.
    int BackwardPass();
    void FirstBackwardSecond();
    static constexpr int kPassAgain = 2;
    // On the decode thread between two seconds: lets a thread that waits for the decode lock
    // take it first. True when the current fill should stop (the engine is closing).
    bool LetWaitersIn();
    // The decode lock as a caller from outside the decode thread takes it, counted in
    // decodeWaiters_ while it waits, so that the decode thread makes way.
    class DecodeTurn {
    public:
        explicit DecodeTurn(CPlaybackEngine& engine);
        ~DecodeTurn();
        DecodeTurn(const DecodeTurn&) = delete;
        DecodeTurn& operator=(const DecodeTurn&) = delete;

    private:
        CPlaybackEngine& engine_;
    };
    int DrainedResult(bool videoOnly) const;
    int SpeedToNormal(Speed speed, IAudioOutput* output, SpeedDirection direction);
    int SpeedToBackward(Speed speed, IAudioOutput* output, SpeedDirection direction);
    int SpeedToForward(Speed speed, IAudioOutput* output, SpeedDirection direction);
    int ChangeFactor(Speed speed);
    int32_t BackwardStartAt(int32_t position);
    float MeasureLead(float* videoSeconds, float* audioSeconds);
    void Calibrate(float lead);
    void Realign(float videoSeconds, float audioSeconds, int32_t position, IAudioOutput* output);
    void FreeEverything();

    // Set by Open before the decode thread starts, read-only afterwards: opened_, decoder_
    // (the pointer; cleared by Shutdown under both locks), the formats, framesPerSecond_,
    // the high-water marks, decodeRequest_, fileName_. The queues guard themselves.
    CByteRing audioQueue_;           // PCM bytes
    CByteRing videoQueue_;           // frame records (decoded path)
    CStoredFrameQueue storedQueue_;  // stored frames (stored path)
    CFrameBytesPool framePool_;      // their bytes, kept for the next frames
    bool storedFrames_ = false;      // which of the two this file uses
    int opened_ = 0;
    std::unique_ptr<CTvqDecoder> decoder_;  // decoding under the decode lock; freed under both
    win::WAVEFORMATEX audioFormat_{};
    win::BITMAPINFOHEADER pictureFormat_{};
    std::unique_ptr<win::WorkerThread> thread_;  // the decode thread
    win::Event stopEvent_{true};
    win::RecursiveMutex dataLock_;
    win::RecursiveMutex decodeLock_;
    std::atomic<int> running_{0};        // 1 while the decode thread runs
    std::atomic<int> decodeWaiters_{0};  // threads waiting in DecodeTurn for the decode lock
    int framesPerSecond_ = 16;
    TvqDecodeRequest decodeRequest_{};
    // Decoder output; written and consumed under the decode lock, freed under both locks.
    std::unique_ptr<uint8_t[]> audioDecodeBuffer_;  // 4 x byte rate
    std::unique_ptr<uint8_t[]> frameDecodeBuffer_;  // 2 x fps x image size
    int32_t audioCountOut_ = 0;                     // 16-bit values written by the decoder
    int32_t frameCountOut_ = 0;                     // frames written by the decoder
    int32_t audioHighWater_ = 0;                    // bytes: one second
    int32_t videoHighWater_ = 0;  // one second: bytes of bare frames, or stored frames
    // Stored path: the component's answer for one second, and the decoder ReadFrame uses.
    TvqStoredRequest storedRequest_{};
    std::unique_ptr<TvqStoredFrame[]> storedSlots_;  // 2 x fps, filled by the component
    uint32_t storedCodec_ = 0;
    std::mutex readFrameDecoderMutex_;
    std::unique_ptr<CStoredFrameDecoder> readFrameDecoder_;  // under readFrameDecoderMutex_
    std::atomic<int> atEnd_{0};                              // the decoder reported the end
    std::string fileName_;
    // Written under the decode lock (or before the thread starts); read anywhere.
    std::atomic<int32_t> decodedSeconds_{0};
    std::atomic<int32_t> baseSecond_{0};
    std::atomic<int> closing_{0};  // set once Shutdown began
    // Seek request: written by RequestSeek (target and thread before pending), taken by Step.
    std::atomic<win::ThreadId> seekNotifyThread_{0};
    std::atomic<int> seekPending_{0};
    std::atomic<int32_t> seekTarget_{0};
    // Re-alignment calibration: touched only by Resync, under the decode lock.
    int calibrating_ = 1;
    float smallestLead_ = 100.0f;
    uint32_t calibrationStart_ = 0;  // tick count; 0 = not begun
    float leadThreshold_ = 0.5f;
    // Written under the decode lock, except by the fall-through of SetSpeed; read anywhere.
    std::atomic<Speed> speed_{Speed::X1};
    std::atomic<SpeedMode> mode_{SpeedMode::Normal};
    std::atomic<int32_t> backwardStart_{0};

    // Shutdown runs once; shutdownDone_ is set when it is Done.
    enum class ShutdownState { NotBegun, Running, Done };
    std::atomic<ShutdownState> shutdownState_{ShutdownState::NotBegun};
    win::Event shutdownDone_{true};
    win::Event threadEnded_{true};  // set when the decode thread has left its body
    ThreadStart threadStart_ = ThreadStart::Automatic;
    // The owner's cancel counter for the opening skip, and its value when the engine was made.
    const std::atomic<uint32_t>* skipEpoch_ = nullptr;
    uint32_t skipEpochAtOpen_ = 0;
    std::atomic<int> opening_{0};   // 1 while Open runs (the epoch applies only then)
    std::atomic<int> skipping_{0};  // 1 while SkipToSecond runs; frame fetches then wait out
    std::function<uint32_t()> tickSource_;  // set before use; Resync only
};
