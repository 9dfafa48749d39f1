#pragma once
// The frame-pulling half of the video window, free of any toolkit: it keeps the picture format
// and the frame buffers, pulls frame records from the engine up to the position the audio
// clock asks for, and turns the last one by the display mode. The user's other options are the
// application's (CPlayerSettings); the view only answers the playback side's questions about
// repeat and adjust from them. The Qt window (CVideoWnd) derives from it and paints; the
// playback tests use it as it is, as a headless video target.
//
// Buffer safety: the notification thread pulls and transforms into a pair of *work* buffers
// (frame and rotated) under the work lock, then swaps them with the *shown* pair under the view
// lock, which is held only for that O(1) swap. The paint holds the view lock while it reads the
// shown pair, so it never sees a frame half written, and FreeBuffers (which takes both locks)
// can never free a buffer under a paint or a pull. Lock order, outermost first: the playlist
// player's engine lock, the work lock, the view lock; the paint takes only the view lock.
//
// Stored frames (a JPEG movie) are only popped on the notification thread. Decoding and turning
// them is the presenting thread's work: the frame worker's (SetDecodeOnWorker, as the window
// runs) or the notification thread's own (headless tests). That thread decodes into buffers only
// it touches, with no lock held, and takes the work and view locks for the swap alone; a stream
// change stops the worker first, and a frame of an older stream is never published.
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "engine/ByteRing.h"
#include "engine/IVideoTarget.h"
#include "engine/PlaybackState.h"
#include "engine/PlayerSettings.h"
#include "engine/StoredFrameDecoder.h"
#include "engine/StoredFrameWorker.h"
#include "platform/WinTypes.h"

class CFrameView : public IVideoTarget {
public:
    // The frame the paint should draw: bits null without a stream, and also with one until a
    // frame of stored pictures that the window does not decode itself is shown. Rotated frames
    // (display modes 4 and 5) come with the rotated format.
    struct ShownFrame {
        bool streamOpen = false;
        const uint8_t* bits = nullptr;
        win::BITMAPINFOHEADER format;
        bool rotated = false;
        int32_t second = -1;  // the labels of the frame shown; -1 before the first
        int32_t index = -1;
    };

    // The texts and numbers the paint draws over the picture, copied under the view lock.
    struct Overlay {
        int32_t position = 0;  // seconds
        int32_t length = 0;    // seconds
        std::string title;
        std::string seekText;
        std::string dragText;
        std::string noticeText;  // a passing notice such as the volume level
        bool hasStream = false;
    };

    // settings: read for GetRepeat and GetAdjust (not owned); null: both on, as without a
    // settings file.
    explicit CFrameView(const CPlayerSettings* settings = nullptr);
    ~CFrameView() override;
    CFrameView(const CFrameView&) = delete;
    CFrameView& operator=(const CFrameView&) = delete;

    // IVideoTarget (playlist thread and audio notification thread).
    bool OpenStream(CPlaybackEngine* engine, win::RecursiveMutex* engineLock,
                    win::Event* wakeEvent) override;
    void FreeBuffers() override;
    void SetSeekText(const std::string& text) override;
    int ShowFrameAt(int32_t second, int32_t frameIndex) override;
    void RestartFrames() override;
    bool GetRepeat() const override { return settings_->Repeat(); }
    bool GetAdjust() const override { return settings_->Adjust(); }

    void SetEngine(CPlaybackEngine* engine);
    // Pulls records until (frame second, frame index) >= (second, index) or a pull fails; in
    // backward play, where records count down, until it is <= the request. 0 when the last
    // record pulled is already past the request in the engine's direction (nothing pulled).
    int CatchUp(int32_t second, int32_t frameIndex);
    // One record into the work frame buffer under the engine lock; 1 when bytes were read.
    int PullFrame() { return PullFrameToward(nullptr, false); }
    // Turns the freshly pulled frame by the display mode and makes it the shown frame. A frame
    // is turned once: without a new pull there is nothing to do (turning an in-place flip twice
    // would show it upright again).
    void TransformFrame();
    void SetDragText(const std::string& text);
    // Stored frames are decoded on the frame worker instead of the thread that pulls them.
    // Set before the first stream opens.
    void SetDecodeOnWorker(bool on) { decodeOnWorker_ = on; }
    // Returns when the frame worker has put up the last frame handed to it.
    void WaitFramesPresented() { storedWorker_.WaitIdle(); }
    // A short notice over the picture until it is set empty again (UI thread).
    void SetNoticeText(const std::string& text);

    // The display mode the frames are turned by (written on the UI thread, read by the frame
    // path when it turns a frame).
    DisplayMode GetDisplayMode() const { return DisplayMode{displayMode_.load()}; }
    void SetDisplayModeValue(DisplayMode mode) { displayMode_ = static_cast<int>(mode); }
    int32_t GetVideoAreaBottom() const { return videoAreaBottom_.load(); }
    void SetVideoAreaBottom(int32_t y) { videoAreaBottom_ = y; }
    int32_t GetPosition() const { return position_.load(); }

    // The engine's speed and mode under the engine lock; 1x normal play without an engine.
    Speed GetSpeed() const;
    SpeedMode GetSpeedMode() const;

    // Untransformed picture format (zoom rules use it also in the turned modes).
    win::BITMAPINFOHEADER GetPictureFormat() const;
    // Calls draw with the shown frame while holding the view lock: the bits stay valid and
    // unchanged for the call. draw must not call back into this object.
    void WithShownFrame(const std::function<void(const ShownFrame&)>& draw) const;
    Overlay GetOverlay() const;
    // Last record pulled (second, index).
    std::pair<int32_t, int32_t> GetFramePosition() const;

    // The transforms, on one bottom-up frame of the given format (bytes per pixel from its bit
    // count). Flips and mirrors work in place; the quarter turns write a buffer of
    // RotatedFormat(format).biSizeImage bytes.
    static void FlipRows(uint8_t* bits, const win::BITMAPINFOHEADER& format);
    static void MirrorRows(uint8_t* bits, const win::BITMAPINFOHEADER& format);
    static void Turn180(uint8_t* bits, const win::BITMAPINFOHEADER& format);
    static void Rotate90(const uint8_t* src, const win::BITMAPINFOHEADER& format, uint8_t* dst);
    static void Rotate270(const uint8_t* src, const win::BITMAPINFOHEADER& format, uint8_t* dst);
    static win::BITMAPINFOHEADER RotatedFormat(const win::BITMAPINFOHEADER& format);
    // The turn of a display mode, in place or (modes 4 and 5) into `rotated`, which grows to
    // fit; true for the quarter turns.
    static bool TurnByDisplayMode(int mode, uint8_t* bits, const win::BITMAPINFOHEADER& format,
                                  std::vector<uint8_t>& rotated);

protected:
    // A new frame or text is ready to be painted. Called on whichever thread changed it, with
    // no lock of this object held.
    virtual void Invalidate() {}
    // The frame just turned, on the notification thread, before it becomes the shown one;
    // null when the buffers are made anew or freed. A window that keeps a display-ready copy
    // (converted off the user-interface thread) makes it here. The work lock is held: the
    // bits stay valid for the call, and it must not call back into this object.
    virtual void FramePrepared(const ShownFrame* frame) { (void)frame; }
    // A record's frame where it lies in the engine's video queue, bottom-up in the picture
    // format, as one or two pieces, and the display mode to show it in.
    struct QueuedFrame {
        CByteRing::Span first;
        CByteRing::Span rest;  // empty unless the frame wraps at the queue's end
        win::BITMAPINFOHEADER format;
        int displayMode = 0;
        int32_t second = 0;  // the record's labels
        int32_t index = 0;
    };
    // A window that makes its display-ready copy straight from the queue in this display mode
    // says so here; its frames are then never copied into the frame buffer nor turned there,
    // and it gets ConvertQueuedFrame instead of FramePrepared for them. The shown frame buffer
    // then keeps old bits: such a window paints only its own copy. Notification thread, work
    // lock held.
    virtual bool ConvertsQueuedFrames(int displayMode) const {
        (void)displayMode;
        return false;
    }
    // Runs under the work lock and the engine's data lock, which the decode thread's queue
    // writes wait for: convert and return. The pieces are valid only during the call, and it
    // must not call back into this object or the engine.
    virtual void ConvertQueuedFrame(const QueuedFrame& frame) { (void)frame; }
    // A window that decodes stored frames straight into what it paints, in this display mode,
    // says so here; it then gets PrepareStoredFrame and PublishPreparedFrame instead of
    // FramePrepared for them. Presenting thread.
    virtual bool PreparesStoredFrames(int displayMode) const {
        (void)displayMode;
        return false;
    }
    // Decodes `frame` of a stream of `format` into the window's next picture, turned by the
    // display mode; false when it does not decode. Presenting thread, no lock held: it may
    // take its time, and must not call back into this object.
    virtual bool PrepareStoredFrame(const StoredFrame& frame, const win::BITMAPINFOHEADER& format,
                                    int displayMode) {
        (void)frame;
        (void)format;
        (void)displayMode;
        return false;
    }
    // Makes the prepared picture the painted one: a swap. Work and view locks held.
    virtual void PublishPreparedFrame() {}
    // A window that writes the sync trace when it paints a frame (TVQ_TRACE_SYNC) says so;
    // otherwise a frame is traced when it becomes the shown one.
    virtual bool TracesAtPaint() const { return false; }

private:
    static constexpr int32_t kRotatedSlackBytes = 1000;  // spare bytes after the turned frame

    // PullFrame on the way to `goal` (in backward play counting down): a record short of it,
    // with a whole record queued behind, is passed over without being converted in place, as
    // the next pull replaces it before anything is shown.
    int PullFrameToward(const std::pair<int32_t, int32_t>* goal, bool backward);
    // The stored path's pull: takes the frame (no decode) and keeps it for TransformFrame.
    int PullStoredFrame();
    // Hands the pulled stored frame to the presenting thread, which repaints when it is up,
    // or anyway with `repaint` (a new time text); false when nothing was pulled.
    bool PresentPulledStoredFrame(bool repaint);
    // The presenting thread's job: the shown frame up (decoded ahead when it can be), then
    // the one behind it decoded ahead.
    void PresentStored(const CStoredFrameWorker::Job& job);
    // Decodes and turns a stored frame into the presenting thread's buffers; false when it
    // does not decode.
    bool PrepareStored(const StoredFrame& frame, const CStoredFrameWorker::Job& job);
    // Swaps what PrepareStored made in as the shown frame, unless its stream has gone.
    bool PublishStored(const CStoredFrameWorker::Job& job);
    void Publish(bool turned);
    // Swaps a frame (or its quarter turn) with the shown one, with its label. Caller holds
    // workMutex_; takes viewMutex_.
    void SwapIntoShown(std::vector<uint8_t>& frame, std::vector<uint8_t>& rotated, bool turned,
                       std::pair<int32_t, int32_t> label);
    static bool UsableFormat(const win::BITMAPINFOHEADER& format);

    const CPlayerSettings* const settings_;  // set at construction

    // Engine pointer: written by SetEngine under the engine lock, read under it.
    std::atomic<CPlaybackEngine*> engine_{nullptr};
    std::atomic<win::RecursiveMutex*> engineLock_{nullptr};  // set by OpenStream

    // Work side: notification thread (pulls, transforms), playlist thread (open, free).
    mutable std::mutex workMutex_;
    win::BITMAPINFOHEADER pictureFormat_;  // under workMutex_
    win::BITMAPINFOHEADER rotatedFormat_;  // under workMutex_
    std::vector<uint8_t> frameBuffer_;     // under workMutex_; empty without decoded frames
    std::vector<uint8_t> rotatedBuffer_;   // under workMutex_
    int32_t frameSecond_ = 0;              // under workMutex_
    int32_t frameIndex_ = 0;               // under workMutex_
    bool frameBackward_ = false;           // under workMutex_: pulled in backward play
    bool restartRun_ = false;              // under workMutex_: the next pull starts a new run
    bool freshFrame_ = false;              // under workMutex_: pulled, not yet turned
    bool freshConverted_ = false;          // under workMutex_: that frame went to the window
                                           // straight from the queue (ConvertQueuedFrame)
    std::atomic<bool> storedPath_{false};  // the engine hands out stored frames
    std::atomic<bool> decodeOnWorker_{false};
    StoredFrame pulledFrame_;  // under workMutex_: stored, pulled, not yet handed on
    StoredFrame pulledNext_;   // under workMutex_: the frame queued behind it
    uint64_t stream_ = 0;      // under workMutex_: counts stream opens and frees
    bool streamOpen_ = false;  // written under workMutex_ and viewMutex_, read under either

    // The presenting thread's state. Only one thread presents at a time; the mutex makes that
    // so also when tests pull from several threads without the worker. Lock order: this one,
    // then the work lock.
    std::mutex presentMutex_;
    CStoredFrameDecoder storedDecoder_;
    std::vector<uint8_t> storedFrame_;    // under presentMutex_: decoded, turned in place
    std::vector<uint8_t> storedRotated_;  // under presentMutex_: the quarter turns
    struct Prepared {
        uint64_t stream = 0;
        int32_t second = -1, index = -1;
        int displayMode = -1;
        bool byWindow = false;
        bool operator==(const Prepared&) const = default;
    };
    Prepared prepared_;  // under presentMutex_: what the buffers (or the window) hold
    CStoredFrameWorker storedWorker_{
        [this](const CStoredFrameWorker::Job& job) { PresentStored(job); }};

    // View side: read by the paint (UI thread), swapped in by the notification thread.
    mutable std::mutex viewMutex_;
    std::vector<uint8_t> shownFrame_;                 // under viewMutex_
    std::vector<uint8_t> shownRotated_;               // under viewMutex_
    win::BITMAPINFOHEADER shownFormat_;               // under viewMutex_
    win::BITMAPINFOHEADER shownRotatedFormat_;        // under viewMutex_
    bool shownIsRotated_ = false;                     // under viewMutex_
    std::pair<int32_t, int32_t> shownLabel_{-1, -1};  // under viewMutex_
    int32_t length_ = 0;                              // under viewMutex_
    std::string title_;                               // under viewMutex_
    std::string seekText_;                            // under viewMutex_
    std::string dragText_;                            // under viewMutex_
    std::string noticeText_;                          // under viewMutex_

    // Single values touched from several threads.
    std::atomic<int32_t> position_{0};  // notification thread writes, paint reads
    // Notification thread: the second of the time text last sent to the paint.
    std::atomic<int32_t> invalidatedPosition_{-1};
    std::atomic<int> displayMode_{0};  // a DisplayMode's number, as the frame path passes it on
    std::atomic<int32_t> videoAreaBottom_{0};
};
