#include "app/SeekPreview.h"

#include <memory>
#include <utility>

#include "app/PreviewDecoder.h"
#include "platform/Thread.h"

CSeekPreview::CSeekPreview(QSize box, Delivery deliver)
    : m_box(box), m_deliver(std::move(deliver)) {}

CSeekPreview::~CSeekPreview() {
    Close();
}

void CSeekPreview::Open(const std::string& path) {
    Close();
    {
        std::lock_guard lock(m_lock);
        m_stop = false;
        m_pending = kNoRequest;
    }
    m_thread = std::thread(&CSeekPreview::Run, this, path, ++m_generation);
}

void CSeekPreview::Close() {
    {
        std::lock_guard lock(m_lock);
        m_stop = true;
        m_pending = kNoRequest;
    }
    m_wake.notify_all();
    if (m_thread.joinable())
        m_thread.join();
}

void CSeekPreview::Request(int32_t second) {
    if (!IsOpen() || second < 0)
        return;
    {
        std::lock_guard lock(m_lock);
        m_pending = second;
    }
    m_wake.notify_one();
}

bool CSeekPreview::TakeRequest(int32_t& second) {
    std::unique_lock lock(m_lock);
    m_wake.wait(lock, [this] { return m_stop || m_pending != kNoRequest; });
    if (m_stop)
        return false;
    second = std::exchange(m_pending, kNoRequest);
    return true;
}

void CSeekPreview::Run(const std::string& path, uint64_t generation) {
    // A sweep of the mouse asks for a picture per move: on a busy machine that decoding must
    // give way to the playing movie's frames, never take their time.
    win::SetCurrentThreadPriority(win::ThreadPriority::BelowNormal);
    std::unique_ptr<CPreviewDecoder> decoder;
    int32_t second = kNoRequest;
    while (TakeRequest(second)) {
        if (!decoder)
            decoder = std::make_unique<CPreviewDecoder>(path);
        Picture picture{second, decoder->Picture(second, m_box), generation};
        if (m_deliver)
            m_deliver(std::move(picture));
    }
}
