#pragma once
// The thread that turns the stored frame the notification thread picked into the shown
// picture, so that no JPEG is ever decoded on the sound thread. It holds one job at a time:
// a newer one replaces a job not yet started (the picture only ever needs the latest frame),
// and the job carries the frame queued behind the shown one, which the worker decodes ahead
// while it waits, so that at that frame's time only the hand-over is left.
//
// Threads: Hand, Stop and WaitIdle from any thread but the worker's own; the job runs on the
// worker with none of the caller's locks held. HasPending is for the job itself.
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

#include "engine/StoredFrame.h"
#include "platform/WinTypes.h"

class CStoredFrameWorker {
public:
    struct Job {
        StoredFrame show;  // the frame to put up now
        StoredFrame next;  // queued behind it; empty when nothing is
        int displayMode = 0;
        win::BITMAPINFOHEADER format;  // the stream's picture
        uint64_t stream = 0;           // which stream of the view it belongs to
        bool repaint = false;          // repaint even if the frame does not decode
    };
    using Run = std::function<void(const Job&)>;

    explicit CStoredFrameWorker(Run run) : run_(std::move(run)) {}
    ~CStoredFrameWorker() { Stop(); }
    CStoredFrameWorker(const CStoredFrameWorker&) = delete;
    CStoredFrameWorker& operator=(const CStoredFrameWorker&) = delete;

    // Queues the job, replacing one not yet started; starts the thread on first use.
    void Hand(Job job);
    // Drops a job not yet started, waits for the running one and ends the thread. The next
    // Hand starts it again.
    void Stop();
    // Returns when no job is queued or running (tests, and callers that need the picture).
    void WaitIdle();
    // A newer job is waiting: a job running can skip its work ahead.
    bool HasPending() const;

private:
    void Loop();

    const Run run_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    Job job_;                // under mutex_
    bool pending_ = false;   // under mutex_: job_ waits to run
    bool running_ = false;   // under mutex_: a job is running
    bool stopping_ = false;  // under mutex_
    std::thread thread_;     // started and joined by the callers of Hand and Stop
    std::mutex lifeMutex_;   // serialises starting and joining thread_
};
