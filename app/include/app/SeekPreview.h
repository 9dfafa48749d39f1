#pragma once
// The worker behind the seek slider's preview: a thread of its own that opens the playing file
// a second time (CPreviewDecoder) and makes the picture of the second asked for last.
//
// Latest wins: a request replaces one the worker has not taken up yet, so a mouse sweeping over
// the slider costs at most one decode in flight and one waiting, never a queue. The file is
// opened on the first request, so a movie nobody hovers over is never opened twice.
//
// Threads: Open, Request, Close and the destructor on the user-interface thread. The worker
// thread alone owns the decoder and calls the delivery. The two meet only in the request slot
// under m_lock, which neither holds while it opens, reads or decodes; nothing of the playback
// side is touched, so a hover cannot hold up the frames being shown. Close (and Open of another
// file) waits for the decode in flight, a few milliseconds.
#include <QImage>
#include <QSize>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

class CSeekPreview {
public:
    struct Picture {
        int32_t second = -1;
        QImage image;  // null: this second has no picture (outside the movie, damaged)
        // Which Open it belongs to (see Generation): a delivery handed on to another thread
        // may arrive after the next file was opened.
        uint64_t generation = 0;
    };
    // Called on the worker thread, once per request taken up, never after Close returns.
    using Delivery = std::function<void(Picture)>;

    // box: the largest picture wanted; the movie's aspect decides the size inside it.
    CSeekPreview(QSize box, Delivery deliver);
    ~CSeekPreview();
    CSeekPreview(const CSeekPreview&) = delete;
    CSeekPreview& operator=(const CSeekPreview&) = delete;

    // Makes pictures of `path` from now on: the worker of the previous file is ended first.
    void Open(const std::string& path);
    // Ends the worker and forgets a pending request; nothing is delivered after it returns.
    void Close();
    // Asks for the picture of `second`; does nothing while no file is open.
    void Request(int32_t second);
    bool IsOpen() const { return m_thread.joinable(); }
    // Counts the Open calls: the pictures of the file opened last carry this number.
    uint64_t Generation() const { return m_generation; }

private:
    static constexpr int32_t kNoRequest = -1;

    void Run(const std::string& path, uint64_t generation);
    // Waits for a request or for the end; false at the end.
    bool TakeRequest(int32_t& second);

    // Set once.
    const QSize m_box;
    const Delivery m_deliver;
    // User-interface thread only.
    std::thread m_thread;
    uint64_t m_generation = 0;
    // Under m_lock.
    std::mutex m_lock;
    std::condition_variable m_wake;
    int32_t m_pending = kNoRequest;
    bool m_stop = false;
};
