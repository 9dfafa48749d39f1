#include "skin/FrameGeometry.h"

#include <algorithm>

namespace {

bool PtInRect(int left, int top, int right, int bottom, QPoint p) {
    return p.x() >= left && p.x() < right && p.y() >= top && p.y() < bottom;
}

bool PtInRect(const QRect& r, QPoint p) {
    return !r.isEmpty() && r.contains(p);
}

}  // namespace

EdgeCut CutEdge(int bitmapLength, int headKey, int tailKey) {
    EdgeCut cut;
    cut.head = std::clamp(headKey, 0, std::max(0, bitmapLength - 1));
    cut.tail = bitmapLength - std::clamp(tailKey, 0, std::max(0, bitmapLength));
    if (cut.tail <= cut.head)
        cut.tail = cut.head + 1;
    return cut;
}

std::vector<EdgePiece> LayEdge(int bitmapLength, EdgeCut cut, int length, EdgeTail tail) {
    std::vector<EdgePiece> pieces;
    const int head = std::min(cut.head, bitmapLength);
    if (head > 0)
        pieces.push_back({0, head, 0});
    const int body = cut.tail - cut.head;
    for (int pos = cut.head; pos < length; pos += body)
        pieces.push_back({cut.head, std::min(body, length - pos), pos});
    const int tailLength = bitmapLength - cut.tail - (tail.dropLastColumn ? 1 : 0);
    if (tailLength > 0)
        pieces.push_back({cut.tail, tailLength, length - tailLength - tail.endGap});
    return pieces;
}

QRect PlaceButton(const ButtonPlace& place, int windowWidth) {
    return QRect(QPoint(windowWidth - place.fromRight, place.top), place.size);
}

QRect FrameClientRect(const FrameMetrics& m, QSize window) {
    return QRect(m.leftWidth, m.captionHeight, window.width() - m.leftWidth - m.rightWidth,
                 window.height() - m.captionHeight - m.bottomHeight);
}

QRect MinimizeButtonRect(const FrameMetrics& m, FrameStyle style, int windowWidth) {
    return PlaceButton(style.maximizeBox ? m.minimize : m.maximize, windowWidth);
}

QRect SystemIconRect(const FrameMetrics& m) {
    return QRect(m.leftWidth, kCaptionBandTop, kSmallIconSize, kSmallIconSize);
}

int FrameHitTest(const FrameMetrics& m, FrameStyle style, SkinWindowState state, QSize window,
                 QPoint p) {
    const int W = window.width(), H = window.height();
    const QRect maxR = PlaceButton(m.maximize, W);
    if (PtInRect(PlaceButton(m.close, W), p))
        return HTCLOSE;
    if (PtInRect(PlaceButton(m.minimize, W), p) && style.minimizeBox && style.maximizeBox)
        return HTMINBUTTON;
    if (PtInRect(maxR, p) && style.minimizeBox && !style.maximizeBox)
        return HTMINBUTTON;
    if (PtInRect(maxR, p) && style.maximizeBox)
        return HTMAXBUTTON;
    if (PtInRect(SystemIconRect(m), p))
        return HTSYSMENU;
    if (style.thickFrame && state != SkinWindowState::Maximized) {
        const int lw = m.leftWidth, rw = m.rightWidth, ch = m.captionHeight, bh = m.bottomHeight;
        // The top-right corner is as wide as the left border and the top band as high as the
        // bottom border: that is how the frame has always been hit.
        const struct {
            int l, t, r, b, code;
        } borders[] = {
            {0, 0, lw, ch, HTTOPLEFT},         {W - lw, 0, W, ch, HTTOPRIGHT},
            {0, H - bh, lw, H, HTBOTTOMLEFT},  {W - rw, H - bh, W, H, HTBOTTOMRIGHT},
            {0, ch, lw, H - bh, HTLEFT},       {W - rw, ch, W, H - bh, HTRIGHT},
            {lw, H - bh, W - rw, H, HTBOTTOM}, {lw, 0, W - rw, bh, HTTOP},
        };
        for (const auto& b : borders)
            if (PtInRect(b.l, b.t, b.r, b.b, p))
                return b.code;
    }
    if (PtInRect(m.leftWidth, kCaptionBandTop, W - m.rightWidth, m.captionHeight, p))
        return HTCAPTION;
    return HTCLIENT;
}

bool IsSizingCode(int code) {
    return code >= HTLEFT && code <= HTBOTTOMRIGHT;
}

Qt::Edges EdgesOf(int code) {
    switch (code) {
        case HTLEFT:
            return Qt::LeftEdge;
        case HTRIGHT:
            return Qt::RightEdge;
        case HTTOP:
            return Qt::TopEdge;
        case HTBOTTOM:
            return Qt::BottomEdge;
        case HTTOPLEFT:
            return Qt::TopEdge | Qt::LeftEdge;
        case HTTOPRIGHT:
            return Qt::TopEdge | Qt::RightEdge;
        case HTBOTTOMLEFT:
            return Qt::BottomEdge | Qt::LeftEdge;
        case HTBOTTOMRIGHT:
            return Qt::BottomEdge | Qt::RightEdge;
        default:
            return {};
    }
}

QRect DraggedGeometry(int code, const QRect& start, QPoint delta, QSize minimum) {
    QRect r = start;
    if (code == HTCAPTION) {
        r.moveTopLeft(start.topLeft() + delta);
        return r;
    }
    const Qt::Edges edges = EdgesOf(code);
    if (edges & Qt::LeftEdge)
        r.setLeft(std::min(r.left() + delta.x(), r.right() + 1 - minimum.width()));
    if (edges & Qt::RightEdge)
        r.setRight(std::max(r.right() + delta.x(), r.left() + minimum.width() - 1));
    if (edges & Qt::TopEdge)
        r.setTop(std::min(r.top() + delta.y(), r.bottom() + 1 - minimum.height()));
    if (edges & Qt::BottomEdge)
        r.setBottom(std::max(r.bottom() + delta.y(), r.top() + minimum.height() - 1));
    return r;
}
