#include "engine/FrameView.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "engine/FrameRecord.h"
#include "engine/PlaybackEngine.h"
#include "engine/SyncTrace.h"

namespace {

// Frames beyond this are refused rather than allocated: no movie is that big, and a
// corrupt header must not make us reserve gigabytes.
constexpr int64_t kMaxFrameBytes = 256LL * 1024 * 1024;
// Side of the square tiles of the quarter turns, in pixels: small enough that the rows of a
// tile of the source and of the destination stay in the cache together.
constexpr int32_t kTurnTilePixels = 64;
// Read when a view is given no settings: the options' defaults.
const CPlayerSettings kDefaultSettings;

int BytesPerPixel(const win::BITMAPINFOHEADER& f) {
    return f.biBitCount / 8;
}

int32_t StrideOf(const win::BITMAPINFOHEADER& f) {
    return win::DibStride(f.biWidth, f.biBitCount);
}

// The pixel loops are instantiated for 3 and 4 bytes per pixel so that each pixel move is a
// fixed-size copy the compiler turns into plain loads and stores.
template <int kBytes>
inline void SwapPixel(uint8_t* a, uint8_t* b) {
    uint8_t t[kBytes];
    std::memcpy(t, a, kBytes);
    std::memcpy(a, b, kBytes);
    std::memcpy(b, t, kBytes);
}

// Reverses the pixel order of a row of w pixels (in place when a == b) while exchanging it
// with another row: a[c] <-> b[w-1-c].
template <int kBytes>
void SwapReversed(uint8_t* a, uint8_t* b, int32_t w) {
    if (a == b) {
        for (int32_t c = 0; c < w / 2; ++c)
            SwapPixel<kBytes>(a + c * kBytes, a + (w - 1 - c) * kBytes);
        return;
    }
    for (int32_t c = 0; c < w; ++c) SwapPixel<kBytes>(a + c * kBytes, b + (w - 1 - c) * kBytes);
}

// A quarter turn, tile by tile. clockwise: source (r, c) to memory row w-1-c, column r;
// otherwise to memory row c, column h-1-r.
template <int kBytes, bool kClockwise>
void Turn(const uint8_t* src, const win::BITMAPINFOHEADER& f, uint8_t* dst) {
    const int32_t w = f.biWidth, h = f.biHeight;
    const int64_t srcStride = StrideOf(f);
    const int64_t dstStride = win::DibStride(h, f.biBitCount);
    const int64_t step = kClockwise ? -dstStride : dstStride;  // per source column
    for (int32_t r0 = 0; r0 < h; r0 += kTurnTilePixels) {
        const int32_t r1 = std::min(h, r0 + kTurnTilePixels);
        for (int32_t c0 = 0; c0 < w; c0 += kTurnTilePixels) {
            const int32_t c1 = std::min(w, c0 + kTurnTilePixels);
            for (int32_t r = r0; r < r1; ++r) {
                const uint8_t* s = src + r * srcStride + c0 * kBytes;
                uint8_t* d = kClockwise ? dst + (w - 1 - c0) * dstStride + r * kBytes
                                        : dst + c0 * dstStride + (h - 1 - r) * kBytes;
                for (int32_t c = c0; c < c1; ++c, s += kBytes, d += step) std::memcpy(d, s, kBytes);
            }
        }
    }
}

}  // namespace

CFrameView::CFrameView(const CPlayerSettings* settings)
    : settings_(settings != nullptr ? settings : &kDefaultSettings) {}

CFrameView::~CFrameView() {
    FreeBuffers();
}

// ---- stream ---------------------------------------------------------------------------

bool CFrameView::UsableFormat(const win::BITMAPINFOHEADER& f) {
    if (f.biWidth <= 0 || f.biHeight <= 0)
        return false;
    if (f.biBitCount != 24 && f.biBitCount != 32)
        return false;
    const int64_t stride = win::DibStride(f.biWidth, f.biBitCount);
    const int64_t turnedStride = win::DibStride(f.biHeight, f.biBitCount);
    return stride * f.biHeight <= kMaxFrameBytes && turnedStride * f.biWidth <= kMaxFrameBytes;
}

win::BITMAPINFOHEADER CFrameView::RotatedFormat(const win::BITMAPINFOHEADER& f) {
    win::BITMAPINFOHEADER r = f;
    r.biWidth = f.biHeight;
    r.biHeight = f.biWidth;
    r.biSizeImage = static_cast<uint32_t>(win::DibStride(r.biWidth, r.biBitCount)) *
                    static_cast<uint32_t>(r.biHeight);
    return r;
}

bool CFrameView::OpenStream(CPlaybackEngine* engine, win::RecursiveMutex* engineLock,
                            win::Event* /*wakeEvent*/) {
    videoAreaBottom_ = 0;
    storedWorker_.Stop();
    {
        std::lock_guard work(workMutex_);
        std::lock_guard view(viewMutex_);
        ++stream_;
        pulledFrame_ = pulledNext_ = StoredFrame{};
        frameSecond_ = frameIndex_ = 0;
        frameBackward_ = false;
        // Nothing pulled yet: the first request takes the first record, so the output's
        // opening request for (0, 0) puts the first picture up before any sound is heard (and
        // the start second's first picture after a seek).
        restartRun_ = true;
        freshFrame_ = false;
        freshConverted_ = false;
        streamOpen_ = false;
        std::vector<uint8_t>().swap(frameBuffer_);
        std::vector<uint8_t>().swap(rotatedBuffer_);
        std::vector<uint8_t>().swap(shownFrame_);
        std::vector<uint8_t>().swap(shownRotated_);
        seekText_.clear();
        dragText_.clear();
        length_ = 0;
        pictureFormat_ = win::BITMAPINFOHEADER{};
        pictureFormat_.biWidth = 96;
        pictureFormat_.biHeight = 64;
        pictureFormat_.biBitCount = 32;
    }
    {
        std::lock_guard work(workMutex_);
        FramePrepared(nullptr);
    }
    engineLock_ = engineLock;

    // Takes the engine lock, so none of ours may be held here.
    SetEngine(engine);
    if (engine_.load() == nullptr)
        return false;

    std::lock_guard work(workMutex_);
    std::lock_guard view(viewMutex_);
    win::BITMAPINFOHEADER& f = pictureFormat_;
    if (!UsableFormat(f))
        return false;
    f.biSizeImage = static_cast<uint32_t>(StrideOf(f)) * static_cast<uint32_t>(f.biHeight);
    f.biXPelsPerMeter = f.biYPelsPerMeter = 0;
    f.biClrUsed = f.biClrImportant = 0;
    rotatedFormat_ = RotatedFormat(f);

    // Cleared, unlike a fresh Windows allocation: until the first frame arrives the paint
    // shows black rather than whatever the heap held. The quarter turns' buffers are made when
    // a frame is first turned: most files never are. Stored frames are decoded into the
    // presenting thread's buffers (or the window's own picture), which are swapped in when
    // they are shown: the view makes no frame buffer of its own for them.
    streamOpen_ = true;
    if (!storedPath_) {
        frameBuffer_.assign(f.biSizeImage, 0);
        shownFrame_.assign(f.biSizeImage, 0);
    }
    shownFormat_ = f;
    shownRotatedFormat_ = rotatedFormat_;
    shownIsRotated_ = false;
    shownLabel_ = {-1, -1};
    return true;
}

void CFrameView::SetEngine(CPlaybackEngine* engine) {
    win::ScopedLock lock(engineLock_.load());
    engine_ = engine;
    if (engine == nullptr)
        return;
    const win::BITMAPINFOHEADER format = engine->GetPictureFormat();
    std::string title = engine->GetFileName();
    const int32_t length = engine->GetLengthSeconds();
    const bool stored = engine->DeliversStoredFrames() != 0;
    std::lock_guard work(workMutex_);
    std::lock_guard view(viewMutex_);
    pictureFormat_ = format;
    storedPath_ = stored;
    pulledFrame_ = pulledNext_ = StoredFrame{};
    title_ = std::move(title);
    length_ = length;
}

void CFrameView::FreeBuffers() {
    // The worker may be about to swap a frame in: it goes before the buffers do.
    storedWorker_.Stop();
    {
        std::lock_guard work(workMutex_);
        std::lock_guard view(viewMutex_);
        ++stream_;
        pulledFrame_ = pulledNext_ = StoredFrame{};
        streamOpen_ = false;
        // swap with empties so the memory really goes back now
        std::vector<uint8_t>().swap(frameBuffer_);
        std::vector<uint8_t>().swap(rotatedBuffer_);
        std::vector<uint8_t>().swap(shownFrame_);
        std::vector<uint8_t>().swap(shownRotated_);
        freshFrame_ = false;
        freshConverted_ = false;
    }
    std::lock_guard work(workMutex_);
    FramePrepared(nullptr);
}

// ---- pulling frames --------------------------------------------------------------------

int CFrameView::ShowFrameAt(int32_t second, int32_t frameIndex) {
    {
        std::lock_guard lock(workMutex_);
        if (!streamOpen_)
            return 0;
    }
    // Backward play runs the display past second 0 to take the last records of its run.
    position_ = std::max(second, 0);
    {
        win::ScopedLock lock(engineLock_.load());
        CPlaybackEngine* engine = engine_.load();
        if (engine == nullptr || !engine->IsRunning())
            return 0;
    }
    if (CatchUp(second, frameIndex) == 0)
        return 1;
    bool fresh = false;
    {
        std::lock_guard lock(workMutex_);
        fresh = freshFrame_;
        // A stored frame is traced when it is put up, which is later and on another thread.
        if (fresh && !storedPath_ && !TracesAtPaint() && sync_trace::Enabled())
            sync_trace::FrameShown(frameSecond_, frameIndex_);
    }
    // Requests come at every sound notification, more often than the frames change: a repaint
    // without a new frame or a new time text would only draw the same picture again.
    const int32_t shownSecond = position_.load();
    const bool newTime = invalidatedPosition_.exchange(shownSecond) != shownSecond;
    if (storedPath_) {
        // The presenting thread repaints once the frame is up (or found undecodable).
        if (!PresentPulledStoredFrame(newTime) && newTime)
            Invalidate();
        return 1;
    }
    TransformFrame();
    if (fresh || newTime)
        Invalidate();
    return 1;
}

int CFrameView::CatchUp(int32_t second, int32_t frameIndex) {
    const auto wanted = std::make_pair(second, frameIndex);
    const bool backward = GetSpeedMode() == SpeedMode::Backward;
    // Backward play queues its records counting down, so "not yet there" and "already past"
    // swap. A record pulled in the other direction says nothing about the new run: its queue
    // was emptied when the direction changed, so the first record of the new run is taken.
    const auto before = [backward](std::pair<int32_t, int32_t> at,
                                   std::pair<int32_t, int32_t> goal) {
        return backward ? at > goal : at < goal;
    };
    bool sameRun = false;
    {
        std::lock_guard lock(workMutex_);
        sameRun = frameBackward_ == backward && !restartRun_;
    }
    if (sameRun && before(wanted, GetFramePosition()))
        return 0;
    if (!sameRun && PullFrameToward(&wanted, backward) == 0)
        return 1;
    while (before(GetFramePosition(), wanted)) {
        if (PullFrameToward(&wanted, backward) == 0)
            break;
    }
    return 1;
}

int CFrameView::PullStoredFrame() {
    StoredFrame frame, next;
    bool backward = false;
    {
        win::ScopedLock engineLock(engineLock_.load());
        CPlaybackEngine* engine = engine_.load();
        if (engine == nullptr || !engine->IsRunning())
            return 0;
        // Above 1x the next frame shown is several behind the one queued next: decoding that
        // one ahead would only double the decoding of fast play.
        StoredFrame* ahead = engine->GetSpeed() == Speed::X1 ? &next : nullptr;
        if (engine->EnsureFrame(1) != 1 || !engine->TakeStoredFrame(&frame, nullptr, ahead))
            return 0;
        backward = engine->GetMode() == SpeedMode::Backward;
    }
    // Only kept: a frame is decoded when it is about to be shown, so the frames a catch-up
    // passes over (fast play, the way to a seek's target) never are.
    std::lock_guard lock(workMutex_);
    if (!streamOpen_)
        return 0;
    frameSecond_ = frame.second;
    frameIndex_ = frame.index;
    pulledFrame_ = std::move(frame);
    pulledNext_ = std::move(next);
    frameBackward_ = backward;
    restartRun_ = false;
    freshFrame_ = true;
    freshConverted_ = false;
    return 1;
}

int CFrameView::PullFrameToward(const std::pair<int32_t, int32_t>* goal, bool backward) {
    if (storedPath_)
        return PullStoredFrame();
    win::ScopedLock engineLock(engineLock_.load());
    CPlaybackEngine* engine = engine_.load();
    if (engine == nullptr || !engine->IsRunning())
        return 0;
    std::lock_guard lock(workMutex_);
    if (!streamOpen_)
        return 0;
    const int32_t imageSize = static_cast<int32_t>(pictureFormat_.biSizeImage);
    if (engine->EnsureFrame(imageSize + kRecordLabelBytes) != 1)
        return 0;
    int32_t second = 0, index = 0;
    const int mode = displayMode_.load();  // once: the UI thread may change it meanwhile
    const bool inPlace = ConvertsQueuedFrames(mode);
    if (inPlace) {
        // The window converts the frame where it lies in the queue: one pass over it instead
        // of a copy out of the queue, a turn and then the conversion.
        const auto use = [&](CByteRing::Span first, CByteRing::Span rest, int32_t s, int32_t i,
                             int32_t queuedAfter) {
            second = s;
            index = i;
            const auto at = std::make_pair(s, i);
            const bool shortOfGoal = goal && (backward ? at > *goal : at < *goal);
            if (shortOfGoal && queuedAfter >= imageSize + kRecordLabelBytes)
                return;
            QueuedFrame queued;
            queued.second = s;
            queued.index = i;
            queued.first = first;
            queued.rest = rest;
            queued.format = pictureFormat_;
            queued.displayMode = mode;
            ConvertQueuedFrame(queued);
        };
        if (engine->ReadFrameInPlace(imageSize, use) <= 0)
            return 0;
    } else if (engine->ReadFrame(frameBuffer_.data(), imageSize, &second, &index) <= 0) {
        return 0;
    }
    frameSecond_ = second;
    frameIndex_ = index;
    frameBackward_ = engine->GetMode() == SpeedMode::Backward;
    restartRun_ = false;
    freshFrame_ = true;
    freshConverted_ = inPlace;
    return 1;
}

void CFrameView::RestartFrames() {
    std::lock_guard lock(workMutex_);
    restartRun_ = true;
}

void CFrameView::TransformFrame() {
    if (storedPath_) {
        PresentPulledStoredFrame(false);
        return;
    }
    std::lock_guard lock(workMutex_);
    if (!freshFrame_ || !streamOpen_)
        return;
    if (freshConverted_) {
        // Already turned and converted by the window in the display mode of its pull; a mode
        // chosen since then takes effect with the next frame.
        freshFrame_ = freshConverted_ = false;
        Publish(false);
        return;
    }
    const int mode = displayMode_.load();  // once: the UI thread may change it meanwhile
    const bool turned =
        TurnByDisplayMode(mode, frameBuffer_.data(), pictureFormat_, rotatedBuffer_);
    freshFrame_ = false;
    ShownFrame prepared;
    prepared.bits = turned ? rotatedBuffer_.data() : frameBuffer_.data();
    prepared.format = turned ? rotatedFormat_ : pictureFormat_;
    prepared.rotated = turned;
    FramePrepared(&prepared);
    Publish(turned);
}

bool CFrameView::TurnByDisplayMode(int mode, uint8_t* bits, const win::BITMAPINFOHEADER& format,
                                   std::vector<uint8_t>& rotated) {
    const bool turned = IsQuarterTurn(DisplayMode{mode});
    const size_t turnedBytes = size_t(RotatedFormat(format).biSizeImage) + kRotatedSlackBytes;
    if (turned && rotated.size() < turnedBytes)
        rotated.assign(turnedBytes, 0);
    switch (DisplayMode{mode}) {
        case DisplayMode::UpDown:
            FlipRows(bits, format);
            break;
        case DisplayMode::LeftRight:
            MirrorRows(bits, format);
            break;
        case DisplayMode::UpDownLeftRight:
            Turn180(bits, format);
            break;
        case DisplayMode::Rotate90:
            Rotate90(bits, format, rotated.data());
            break;
        case DisplayMode::Rotate270:
            Rotate270(bits, format, rotated.data());
            break;
        default:
            break;  // Normal, and values out of range from a hand-edited settings file
    }
    return turned;
}

// ---- stored frames: decoded and put up by the presenting thread -------------------------

bool CFrameView::PresentPulledStoredFrame(bool repaint) {
    CStoredFrameWorker::Job job;
    job.repaint = repaint;
    {
        std::lock_guard lock(workMutex_);
        if (!freshFrame_ || !streamOpen_)
            return false;
        freshFrame_ = false;
        job.show = std::exchange(pulledFrame_, StoredFrame{});
        job.next = std::exchange(pulledNext_, StoredFrame{});
        job.format = pictureFormat_;
        job.stream = stream_;
    }
    job.displayMode = displayMode_.load();
    if (decodeOnWorker_)
        storedWorker_.Hand(std::move(job));
    else
        PresentStored(job);
    return true;
}

void CFrameView::PresentStored(const CStoredFrameWorker::Job& job) {
    std::lock_guard lock(presentMutex_);
    const Prepared wanted{job.stream, job.show.second, job.show.index, job.displayMode,
                          PreparesStoredFrames(job.displayMode)};
    // An undecodable frame (damaged, cut) leaves the picture before it on the screen.
    const bool shown = (prepared_ == wanted || PrepareStored(job.show, job)) && PublishStored(job);
    if (shown && !TracesAtPaint() && sync_trace::Enabled())
        sync_trace::FrameShown(job.show.second, job.show.index);
    if (shown || job.repaint)
        Invalidate();
    prepared_ = Prepared{};
    // The frame behind it, while nothing newer waits: at its time only the swap is left.
    if (job.next.IsEmpty() || storedWorker_.HasPending())
        return;
    CStoredFrameWorker::Job ahead = job;
    ahead.show = job.next;
    if (PrepareStored(ahead.show, ahead))
        prepared_ = Prepared{job.stream, job.next.second, job.next.index, job.displayMode,
                             PreparesStoredFrames(job.displayMode)};
}

bool CFrameView::PrepareStored(const StoredFrame& frame, const CStoredFrameWorker::Job& job) {
    if (PreparesStoredFrames(job.displayMode))
        return PrepareStoredFrame(frame, job.format, job.displayMode);
    const win::BITMAPINFOHEADER& f = job.format;
    if (!UsableFormat(f))
        return false;
    const size_t bytes = static_cast<size_t>(StrideOf(f)) * static_cast<size_t>(f.biHeight);
    if (storedFrame_.size() != bytes)
        storedFrame_.assign(bytes, 0);
    const CStoredFrameDecoder::Size full{f.biWidth, f.biHeight};
    if (!storedDecoder_.Decode(frame, full, full, CStoredFrameDecoder::Layout::Bgr24BottomUp,
                               storedFrame_.data(), StrideOf(f)))
        return false;
    TurnByDisplayMode(job.displayMode, storedFrame_.data(), f, storedRotated_);
    return true;
}

bool CFrameView::PublishStored(const CStoredFrameWorker::Job& job) {
    std::lock_guard work(workMutex_);
    if (job.stream != stream_ || !streamOpen_)
        return false;  // the stream has changed or closed since the frame was pulled
    if (PreparesStoredFrames(job.displayMode)) {
        // Under the view lock, which the paint holds while it draws: picture and label change
        // together.
        std::lock_guard view(viewMutex_);
        PublishPreparedFrame();
        shownLabel_ = {job.show.second, job.show.index};
        return true;
    }
    const bool turned = IsQuarterTurn(DisplayMode{job.displayMode});
    ShownFrame prepared;
    prepared.bits = turned ? storedRotated_.data() : storedFrame_.data();
    prepared.format = turned ? rotatedFormat_ : pictureFormat_;
    prepared.rotated = turned;
    FramePrepared(&prepared);
    SwapIntoShown(storedFrame_, storedRotated_, turned, {job.show.second, job.show.index});
    return true;
}

// Makes the work frame (or its turn) the shown one. Caller holds workMutex_.
void CFrameView::Publish(bool turned) {
    SwapIntoShown(frameBuffer_, rotatedBuffer_, turned, {frameSecond_, frameIndex_});
}

void CFrameView::SwapIntoShown(std::vector<uint8_t>& frame, std::vector<uint8_t>& rotated,
                               bool turned, std::pair<int32_t, int32_t> label) {
    std::lock_guard lock(viewMutex_);
    if (turned) {
        shownRotated_.swap(rotated);
        shownRotatedFormat_ = rotatedFormat_;
    } else {
        shownFrame_.swap(frame);
        shownFormat_ = pictureFormat_;
    }
    shownIsRotated_ = turned;
    shownLabel_ = label;
}

std::pair<int32_t, int32_t> CFrameView::GetFramePosition() const {
    std::lock_guard lock(workMutex_);
    return {frameSecond_, frameIndex_};
}

win::BITMAPINFOHEADER CFrameView::GetPictureFormat() const {
    std::lock_guard lock(workMutex_);
    return pictureFormat_;
}

// ---- what the paint reads --------------------------------------------------------------

void CFrameView::WithShownFrame(const std::function<void(const ShownFrame&)>& draw) const {
    std::lock_guard lock(viewMutex_);
    ShownFrame shown;
    shown.streamOpen = streamOpen_;
    if (shownIsRotated_) {
        if (!shownRotated_.empty())
            shown.bits = shownRotated_.data();
        shown.format = shownRotatedFormat_;
        shown.rotated = true;
    } else {
        if (!shownFrame_.empty())
            shown.bits = shownFrame_.data();
        shown.format = shownFormat_;
    }
    shown.second = shownLabel_.first;
    shown.index = shownLabel_.second;
    draw(shown);
}

CFrameView::Overlay CFrameView::GetOverlay() const {
    Overlay o;
    o.position = position_.load();
    std::lock_guard lock(viewMutex_);
    o.length = length_;
    o.title = title_;
    o.seekText = seekText_;
    o.dragText = dragText_;
    o.noticeText = noticeText_;
    o.hasStream = streamOpen_;
    return o;
}

void CFrameView::SetSeekText(const std::string& text) {
    {
        std::lock_guard lock(viewMutex_);
        seekText_ = text;
    }
    Invalidate();
}

void CFrameView::SetDragText(const std::string& text) {
    {
        std::lock_guard lock(viewMutex_);
        dragText_ = text;
    }
    Invalidate();
}

void CFrameView::SetNoticeText(const std::string& text) {
    {
        std::lock_guard lock(viewMutex_);
        noticeText_ = text;
    }
    Invalidate();
}

// ---- engine reads for the menu ---------------------------------------------------------

Speed CFrameView::GetSpeed() const {
    win::ScopedLock lock(engineLock_.load());
    CPlaybackEngine* engine = engine_.load();
    return engine ? engine->GetSpeed() : Speed::X1;
}

SpeedMode CFrameView::GetSpeedMode() const {
    win::ScopedLock lock(engineLock_.load());
    CPlaybackEngine* engine = engine_.load();
    return engine ? engine->GetMode() : SpeedMode::Normal;
}

// ---- transforms ------------------------------------------------------------------------

void CFrameView::FlipRows(uint8_t* bits, const win::BITMAPINFOHEADER& f) {
    const int64_t stride = StrideOf(f);
    for (int32_t r = 0; r < f.biHeight / 2; ++r) {
        uint8_t* a = bits + r * stride;
        uint8_t* b = bits + (f.biHeight - 1 - r) * stride;
        std::swap_ranges(a, a + stride, b);
    }
}

void CFrameView::MirrorRows(uint8_t* bits, const win::BITMAPINFOHEADER& f) {
    const int64_t stride = StrideOf(f);
    for (int32_t r = 0; r < f.biHeight; ++r) {
        uint8_t* row = bits + r * stride;
        if (BytesPerPixel(f) == 3)
            SwapReversed<3>(row, row, f.biWidth);
        else
            SwapReversed<4>(row, row, f.biWidth);
    }
}

void CFrameView::Turn180(uint8_t* bits, const win::BITMAPINFOHEADER& f) {
    const int64_t stride = StrideOf(f);
    const int32_t h = f.biHeight;
    // Row r swaps with row h-1-r, each reversed on the way; the middle row of an odd height
    // is its own partner and is reversed in place.
    for (int32_t r = 0; r < (h + 1) / 2; ++r) {
        uint8_t* a = bits + r * stride;
        uint8_t* b = bits + (h - 1 - r) * stride;
        if (BytesPerPixel(f) == 3)
            SwapReversed<3>(a, b, f.biWidth);
        else
            SwapReversed<4>(a, b, f.biWidth);
    }
}

void CFrameView::Rotate90(const uint8_t* src, const win::BITMAPINFOHEADER& f, uint8_t* dst) {
    if (BytesPerPixel(f) == 3)
        Turn<3, true>(src, f, dst);
    else
        Turn<4, true>(src, f, dst);
}

void CFrameView::Rotate270(const uint8_t* src, const win::BITMAPINFOHEADER& f, uint8_t* dst) {
    if (BytesPerPixel(f) == 3)
        Turn<3, false>(src, f, dst);
    else
        Turn<4, false>(src, f, dst);
}
