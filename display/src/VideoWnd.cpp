#include "display/VideoWnd.h"

#include <QContextMenuEvent>
#include <QCursor>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QRegion>
#include <QScreen>
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "display/FrameConvert.h"
#include "engine/SyncTrace.h"
#include "platform/Paths.h"
#include "platform/Text.h"

namespace {

const QColor kTextColor(0, 255, 0);
constexpr int kTextMargin = 5;           // time and seek text: from the right and bottom edges
constexpr int kScopeGap = 5;             // between the scope strip and the text line
constexpr int kTitleLeft = 10;           // left edge of the title strip
constexpr int kTitleTopGap = 7;          // title strip top: text height + this above the bottom
constexpr int kTitleMinRight = 10;       // a narrower strip than this ...
constexpr int kTitleFallbackRight = 20;  // ... gets this right edge
// Reserves the room of the longest time text beside the title strip.
constexpr const char* kTimeTextRoom = "        seeking to 88:88  ";
constexpr const char* kSeekTextRoom = "            ";  // 12 blanks after a seek text
constexpr const char* kNoStreamText = "HELLO";

QString TimeText(const CFrameView::Overlay& o) {
    char text[300];
    if (o.dragText.empty()) {
        std::snprintf(text, sizeof text, "%s/%s", win::ClockText(o.position).c_str(),
                      win::ClockText(o.length).c_str());
    } else {
        std::snprintf(text, sizeof text, "%s/%s", o.dragText.c_str(),
                      win::ClockText(o.position).c_str());
    }
    return QString::fromUtf8(text);
}

}  // namespace

CVideoWnd::CVideoWnd(win::MessageTarget* dialog, CPlayerSettings& settings, QWidget* parent)
    : QWidget(parent),
      CFrameView(&settings),
      settings_(&settings),
      dialog_(dialog),
      programFolder_(win::ProgramFolder()) {
    // The paint covers every pixel, so Qt need not clear the background first.
    setAttribute(Qt::WA_OpaquePaintEvent);
    // Decoding a JPEG takes milliseconds: never on the thread that feeds the sound card.
    SetDecodeOnWorker(true);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        screenSize_ = screen->geometry().size();
    SetDisplayModeValue(settings_->GetDisplayMode());
}

bool CVideoWnd::OpenStream(CPlaybackEngine* engine, win::RecursiveMutex* engineLock,
                           win::Event* wakeEvent) {
    settings_->SetZoom(CPlayerSettings::kNaturalZoom);
    return CFrameView::OpenStream(engine, engineLock, wakeEvent);
}

CVideoWnd::~CVideoWnd() {
    if (IsFullScreen() && window() != this)
        window()->removeEventFilter(this);
    FreeBuffers();
}

void CVideoWnd::Invalidate() {
    if (updateQueued_.exchange(true))
        return;
    QMetaObject::invokeMethod(
        this,
        [this] {
            updateQueued_ = false;
            // A new frame alone changes only the picture: the black around a small picture
            // and the texts are not drawn and sent to the screen again. One rectangle, as a
            // region of several (the picture and the text lines) costs Qt more than the
            // pixels it saves.
            const bool textsStay =
                painted_.timeText == TimeText(GetOverlay()) && painted_.titleSlice == TitleSlice();
            if (textsStay && !painted_.picture.isEmpty())
                update(painted_.picture);
            else
                update();
        },
        Qt::QueuedConnection);
}

QFont CVideoWnd::DialogFont() const {
    return parentWidget() ? parentWidget()->font() : font();
}

// ---- paint -----------------------------------------------------------------------------

void CVideoWnd::paintEvent(QPaintEvent* event) {
    // Qt composes a widget's paint in its window's back buffer and puts that on the screen
    // in one copy: that buffer is the memory bitmap of the scene. Composing in an image of our
    // own first would cost a fill and a copy of the whole window per frame.
    ++paintCount_;
    lastPaintRegion_ = event->region();
    const bool whole = (QRegion(rect()) - event->region()).isEmpty();
    SceneLayout drawn;
    {
        QPainter p(this);
        drawn = DrawScene(p, true);
    }
    // A partial paint found the layout changed (a new picture size, a seek text, a notice):
    // the rest of the window follows at once.
    if (!whole && drawn.layout != painted_.layout)
        update();
    painted_ = std::move(drawn);
}

std::array<int, 3> CVideoWnd::TitleSlice() const {
    return {titleStrip_.DestinationX(), titleStrip_.SourceX(), titleStrip_.VisibleWidth()};
}

void CVideoWnd::TracePainted(const ShownFrame& frame) {
    const std::pair<int32_t, int32_t> label{frame.second, frame.index};
    if (label.first < 0 || label == tracedLabel_)
        return;
    tracedLabel_ = label;
    sync_trace::FrameShown(label.first, label.second);
}

QImage CVideoWnd::RenderScene() {
    QImage scene(size(), QImage::Format_RGB32);
    scene.fill(Qt::black);
    QPainter p(&scene);
    DrawScene(p);
    return scene;
}

QSize CVideoWnd::ShownSize(QSize picture, float zoom, QSize area) {
    const QSize zoomed(static_cast<int>(picture.width() * zoom),
                       static_cast<int>(picture.height() * zoom));
    // A picture that fits keeps the zoom exactly. One larger than the area at the natural
    // size (a 720p movie in the default window) would only show its middle: it is scaled
    // down as a whole, keeping its aspect. A zoom above 1 never gets here larger than the
    // area, as zooming in stops short of it and a resize fits it again.
    if (zoom > 1.0f || area.width() <= 0 || area.height() <= 0 || picture.width() <= 0 ||
        picture.height() <= 0 ||
        (zoomed.width() <= area.width() && zoomed.height() <= area.height()))
        return zoomed;
    // In whole numbers: the limiting side gets the area's size exactly.
    const int64_t zw = zoomed.width(), zh = zoomed.height();
    const int64_t aw = area.width(), ah = area.height();
    if (zw <= 0 || zh <= 0)
        return zoomed;
    if (aw * zh <= ah * zw)
        return QSize(area.width(), static_cast<int>(std::max<int64_t>(1, zh * aw / zw)));
    return QSize(static_cast<int>(std::max<int64_t>(1, zw * ah / zh)), area.height());
}

void CVideoWnd::DrawOverlayText(QPainter& p, int x, int y, const QString& text) const {
    p.drawText(x, y + p.fontMetrics().ascent(), text);
}

CVideoWnd::SceneLayout CVideoWnd::DrawScene(QPainter& p, bool fillBackground) {
    const int right = width(), bottom = height();
    const QFont font = DialogFont();
    p.save();
    p.setFont(font);
    p.setPen(kTextColor);
    const QFontMetrics metrics(font);
    const Overlay o = GetOverlay();
    const bool fullScreen = IsFullScreen();

    const QString time = TimeText(o);
    int lastHeight = metrics.height();
    const int timeX = right - metrics.horizontalAdvance(time) - kTextMargin;
    const int timeY = bottom - lastHeight - kTextMargin;
    const int areaBottom = GetVideoAreaBottom();
    const int areaHeight = areaBottom >= 1 ? areaBottom : bottom;

    bool drewFrame = false;
    QRect pictureRect;
    WithShownFrame([&](const ShownFrame& frame) {
        if (!frame.streamOpen)
            return;
        drewFrame = true;
        // Only a paint of the window puts the frame on the screen (RenderScene does not fill).
        if (fillBackground && sync_trace::Enabled())
            TracePainted(frame);
        const QSize shown = ShownSize(QSize(frame.format.biWidth, frame.format.biHeight), GetZoom(),
                                      QSize(right, areaHeight));
        const int w = shown.width(), h = shown.height();
        const QRect target = fullScreen ? QRect(QPoint(0, 0), screenSize_)
                                        : QRect((right - w) / 2, (areaHeight - h) / 2, w, h);
        pictureRect = target;
        // Black where the picture does not cover (the picture itself is opaque).
        const auto fillAround = [&](const QRect& picture) {
            if (!fillBackground)
                return;
            QRegion around(rect());
            around -= picture;
            for (const QRect& r : around) p.fillRect(r, Qt::black);
        };
        if (frameBlit_ != FrameBlit::Converted) {
            fillAround(frame.bits != nullptr ? target : QRect());  // black until the first frame
            if (frame.bits != nullptr)
                DrawFrame(p, frame, target, frameBlit_);
            return;
        }
        // The next frames are converted straight to this size, so that drawing them is a
        // plain copy. A target reaching outside the window (a zoom beyond the area) is drawn
        // by Qt, which only touches the part that shows.
        const bool inside = fullScreen || rect().contains(target);
        pictureTarget_ = inside ? PackSize(target.size()) : 0;
        std::lock_guard lock(pictureMutex_);
        fillAround(picture_.isNull() ? QRect() : target);
        if (picture_.isNull())
            return;  // no frame of this stream yet: black

        if (target.size() == picture_.size())
            p.drawImage(target.topLeft(), picture_);
        else
            p.drawImage(target, picture_);
    });
    if (!drewFrame && fillBackground)
        p.fillRect(rect(), Qt::black);
    if (drewFrame) {
        if (!fullScreen)
            titleStrip_.Draw(p, font);
        if (!fullScreen && o.seekText.empty())
            DrawOverlayText(p, timeX, timeY, time);
    } else {
        const QString hello = QString::fromLatin1(kNoStreamText);
        lastHeight = metrics.height();
        DrawOverlayText(p, (right - metrics.horizontalAdvance(hello)) / 2,
                        (areaBottom - lastHeight) / 2, hello);
    }
    if (!o.noticeText.empty())
        DrawOverlayText(p, kTextMargin, kTextMargin, QString::fromStdString(o.noticeText));
    SceneLayout drawn;
    drawn.layout = {size(),     fullScreen, drewFrame,    pictureRect,       areaBottom,
                    HasScope(), o.seekText, o.noticeText, titleStrip_.Text()};
    drawn.picture = drewFrame ? pictureRect.intersected(rect()) : QRect();
    drawn.timeText = time;
    drawn.titleSlice = TitleSlice();
    if (!o.seekText.empty()) {
        if (fullScreen) {
            p.restore();
            return drawn;
        }
        const QString seek = QString::fromStdString(o.seekText);
        lastHeight = metrics.height();
        DrawOverlayText(p, right - metrics.horizontalAdvance(seek) - kTextMargin,
                        bottom - lastHeight - kTextMargin, seek);
        titleStrip_.Draw(p, font);
    }
    if (!fullScreen)
        DrawScope(p, bottom - lastHeight - kTextMargin);
    p.restore();
    return drawn;
}

void CVideoWnd::DrawScope(QPainter& p, int y) {
    if (scope_.IsEmpty())
        return;
    const int height = scope_.Height();
    p.drawImage(0, y - height - kScopeGap, scope_.Image());
    SetVideoAreaBottom(y - height - kScopeGap - 1);
}

QSize CVideoWnd::PictureArea(QSize windowSize) const {
    // What the paint keeps below the picture: the text line, the gap and the scope strip
    // (DrawScope). Without a strip the picture has the whole height.
    if (scope_.IsEmpty())
        return windowSize;
    const int line = QFontMetrics(DialogFont()).height();
    const int below = line + kTextMargin + scope_.Height() + kScopeGap + 1;
    return QSize(windowSize.width(), std::max(0, windowSize.height() - below));
}

void CVideoWnd::DrawFrame(QPainter& p, const ShownFrame& frame, const QRect& target,
                          FrameBlit blit) {
    const win::BITMAPINFOHEADER& f = frame.format;
    QImage::Format format;
    if (f.biBitCount == 24)
        format = QImage::Format_BGR888;
    else if (f.biBitCount == 32)
        format = QImage::Format_RGB32;
    else
        return;
    const int stride = win::DibStride(f.biWidth, f.biBitCount);
    // Wraps the buffer without copying; its rows run bottom-up, so the picture is upside down.
    const QImage image(frame.bits, f.biWidth, f.biHeight, stride, format);
    if (blit == FrameBlit::RowByRow && target.size() == image.size()) {
        const int bottomRow = target.top() + f.biHeight - 1;
        for (int row = 0; row < f.biHeight; ++row)
            p.drawImage(QPoint(target.left(), bottomRow - row), image, QRect(0, row, f.biWidth, 1));
        return;
    }
    // The flip sends Qt down its scaling path even at 1:1; measured, that is still cheaper
    // than a plain copy per row or a flipped copy of the picture first.
    p.save();
    p.translate(target.left(), target.top() + target.height());
    p.scale(1.0, -1.0);
    p.drawImage(QRect(0, 0, target.width(), target.height()), image);
    p.restore();
}

QSize CVideoWnd::ConversionTarget(const win::BITMAPINFOHEADER& format) const {
    const uint64_t packed = pictureTarget_.load();
    return packed == 0 ? QSize(format.biWidth, format.biHeight)
                       : QSize(int(packed >> 32), int(packed & 0xFFFFFFFFu));
}

void CVideoWnd::PublishSpare() {
    std::lock_guard lock(pictureMutex_);
    picture_.swap(spare_);
}

void CVideoWnd::FramePrepared(const ShownFrame* frame) {
    if (frame == nullptr) {
        std::lock_guard lock(pictureMutex_);
        picture_ = QImage();
        spare_ = QImage();
        return;
    }
    ConvertUpright(*frame, ConversionTarget(frame->format), spare_);
    PublishSpare();
}

bool CVideoWnd::ConvertsQueuedFrames(int displayMode) const {
    frame_convert::Turn turn;
    return frameBlit_.load() == FrameBlit::Converted &&
           frame_convert::TurnOfMode(displayMode, &turn);
}

void CVideoWnd::ConvertQueuedFrame(const QueuedFrame& frame) {
    frame_convert::Turn turn = frame_convert::Turn::kNone;
    frame_convert::TurnOfMode(frame.displayMode, &turn);
    const win::BITMAPINFOHEADER& f = frame.format;
    frame_convert::Source source;
    source.first = frame.first.data;
    source.firstBytes = static_cast<size_t>(std::max(frame.first.length, 0));
    source.second = frame.rest.data;
    source.secondBytes = static_cast<size_t>(std::max(frame.rest.length, 0));
    source.width = f.biWidth;
    source.height = f.biHeight;
    source.bytesPerPixel = f.biBitCount / 8;
    source.stride = win::DibStride(f.biWidth, f.biBitCount);
    frame_convert::ToUprightRgb32(source, turn, ConversionTarget(f), spare_);
    PublishSpare();
}

bool CVideoWnd::PreparesStoredFrames(int displayMode) const {
    // The same modes as the queued frames: those the one-pass conversion turns.
    return ConvertsQueuedFrames(displayMode);
}

bool CVideoWnd::PrepareStoredFrame(const StoredFrame& frame, const win::BITMAPINFOHEADER& f,
                                   int displayMode) {
    return DecodeStored(frame, f, displayMode, ConversionTarget(f), storedDecoder_, storedScratch_,
                        storedNext_);
}

bool CVideoWnd::DecodeStored(const StoredFrame& frame, const win::BITMAPINFOHEADER& f,
                             int displayMode, QSize size, CStoredFrameDecoder& decoder,
                             std::vector<uint8_t>& scratch, QImage& out) {
    using Decoder = CStoredFrameDecoder;
    frame_convert::Turn turn = frame_convert::Turn::kNone;
    if (!frame_convert::TurnOfMode(displayMode, &turn) || size.isEmpty())
        return false;
    const Decoder::Size full{f.biWidth, f.biHeight};
    const bool jpeg = Decoder::Scales(frame);
    const Decoder::Size scaled =
        jpeg ? Decoder::ScaledSize(full, {size.width(), size.height()}) : full;
    // Upright at a size the decoder makes itself (the picture's own, or a DCT scale of it):
    // straight into the painted image, with no pass of our own over the pixels.
    if (jpeg && turn == frame_convert::Turn::kNone &&
        scaled == Decoder::Size{size.width(), size.height()}) {
        if (out.size() != size || out.format() != QImage::Format_RGB32)
            out = QImage(size, QImage::Format_RGB32);
        return !out.isNull() && decoder.Decode(frame, full, scaled, Decoder::Layout::Bgrx32TopDown,
                                               out.bits(), out.bytesPerLine());
    }
    // Otherwise decoded as small as still covers the size, then turned and scaled in one pass.
    const int bitCount = jpeg ? 32 : 24;
    const int64_t stride = win::DibStride(scaled.width, bitCount);
    const size_t bytes = static_cast<size_t>(stride) * static_cast<size_t>(scaled.height);
    if (scratch.size() < bytes)
        scratch.resize(bytes);
    const auto layout = jpeg ? Decoder::Layout::Bgrx32BottomUp : Decoder::Layout::Bgr24BottomUp;
    if (!decoder.Decode(frame, full, scaled, layout, scratch.data(), stride))
        return false;
    frame_convert::Source source;
    source.first = scratch.data();
    source.firstBytes = bytes;
    source.width = scaled.width;
    source.height = scaled.height;
    source.bytesPerPixel = bitCount / 8;
    source.stride = stride;
    frame_convert::ToUprightRgb32(source, turn, size, out);
    return !out.isNull();
}

void CVideoWnd::PublishPreparedFrame() {
    std::lock_guard lock(pictureMutex_);
    picture_.swap(storedNext_);
}

uint64_t CVideoWnd::PackSize(QSize size) {
    if (size.width() <= 0 || size.height() <= 0)
        return 0;
    return uint64_t(uint32_t(size.width())) << 32 | uint32_t(size.height());
}

void CVideoWnd::ConvertUpright(const ShownFrame& frame, QImage& out) {
    ConvertUpright(frame, QSize(frame.format.biWidth, frame.format.biHeight), out);
}

void CVideoWnd::ConvertUpright(const ShownFrame& frame, QSize size, QImage& out) {
    const win::BITMAPINFOHEADER& f = frame.format;
    frame_convert::Source source;
    source.first = frame.bits;
    source.width = f.biWidth;
    source.height = f.biHeight;
    source.bytesPerPixel = f.biBitCount / 8;
    source.stride = win::DibStride(f.biWidth, f.biBitCount);
    if (f.biWidth > 0 && f.biHeight > 0)
        source.firstBytes = static_cast<size_t>(source.stride) * static_cast<size_t>(f.biHeight);
    frame_convert::ToUprightRgb32(source, frame_convert::Turn::kNone, size, out);
}

// ---- scope, title, timer ---------------------------------------------------------------

void CVideoWnd::LoadScopeBitmap() {
    std::string folder = skinFolder_ ? skinFolder_() : std::string();
    if (folder.empty())
        folder = kDefaultSkinFolder;
    const std::string path = win::ToNativePath(programFolder_ + folder + kScopeFileName);
    scope_.DeleteObject();
    scope_.LoadFromFile(path, 0);
}

bool CVideoWnd::LayoutTitle() {
    const QFontMetrics metrics(DialogFont());
    const Overlay o = GetOverlay();
    const std::string room = o.seekText.empty() ? kTimeTextRoom : o.seekText + kSeekTextRoom;
    const QString measured = QString::fromStdString(room);
    const int roomWidth = metrics.horizontalAdvance(measured);
    const int roomHeight = metrics.height();
    const int top = height() - roomHeight - kTitleTopGap;
    int right = width() - roomWidth - kTextMargin;
    if (right < kTitleMinRight)
        right = kTitleFallbackRight;
    titleStrip_.SetArea(kTitleLeft, top, right, height() - kTextMargin, o.title, metrics);
    return true;
}

void CVideoWnd::Tick(int) {
    titleStrip_.Step();
    // While frames are shown they repaint the window anyway.
    const Overlay o = GetOverlay();
    if (!(o.hasStream && o.seekText.empty()))
        update();
}

// ---- input -----------------------------------------------------------------------------

void CVideoWnd::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::RightButton) {
        ShowContextMenu(event->globalPosition().toPoint());
        event->accept();
        return;
    }
    QWidget::mousePressEvent(event);
}

void CVideoWnd::mouseDoubleClickEvent(QMouseEvent* event) {
    // Full screen on a double click is the dialog's decision (only while playing); let the
    // event travel on instead of turning it into a second press.
    event->ignore();
}

void CVideoWnd::contextMenuEvent(QContextMenuEvent* event) {
    // A mouse right click has shown the menu on its press already.
    if (event->reason() != QContextMenuEvent::Mouse)
        ShowContextMenu(event->globalPos());
    event->accept();
}

void CVideoWnd::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    LayoutTitle();
    FitZoom();
}
