#include "skin/FramePainter.h"

#include <algorithm>

namespace {

// The caption font is the fixed-size "System" font, which has one size only; its stand-in
// is a bold sans of about that size.
constexpr int kTitlePointSize = 9;

// The caption bar and the bottom border leave out their bitmap's last column; the bottom
// border's tail ends one column short of its length.
constexpr EdgeTail kTopTail{true, 0};
constexpr EdgeTail kBottomTail{true, 1};
constexpr EdgeTail kSideTail{false, 0};

}  // namespace

void CFramePainter::Reset() {
    for (Caption& caption : m_captions) caption = Caption{};
}

// The caption bar and the bottom edge: a picture with the active look above the inactive one,
// laid along the edge by its cut.
void CFramePainter::DrawEdge(QPainter& p, SkinPart part, int height, EdgeTail tail, int x, int y,
                             int length, bool inactive) const {
    const CSkinBitmap& edge = m_theme.Part(part);
    const int srcY = inactive ? height : 0;
    for (const EdgePiece& piece : LayEdge(edge.Width(), m_theme.Cut(part), length, tail)) {
        const QRect source(piece.from, srcY, piece.length, height);
        edge.Draw(p, x + piece.at, y, &source);
    }
}

void CFramePainter::DrawTopEdge(QPainter& p, int x, int y, int length, bool inactive) const {
    DrawEdge(p, SkinPart::Top, m_theme.Metrics().captionHeight, kTopTail, x, y, length, inactive);
}

void CFramePainter::DrawBottomEdge(QPainter& p, int x, int y, int length, bool inactive) const {
    DrawEdge(p, SkinPart::Bottom, m_theme.Metrics().bottomHeight, kBottomTail, x, y, length,
             inactive);
}

void CFramePainter::DrawSideEdge(QPainter& p, SkinPart edge, int x, int y, int length,
                                 bool inactive) const {
    const CSkinBitmap& bitmap = m_theme.Part(edge);
    const int halfWidth =
        edge == SkinPart::Left ? m_theme.Metrics().leftWidth : m_theme.Metrics().rightWidth;
    const int srcX = inactive ? halfWidth : 0;
    for (const EdgePiece& piece : LayEdge(bitmap.Height(), m_theme.Cut(edge), length, kSideTail)) {
        const QRect source(srcX, piece.from, halfWidth, piece.length);
        bitmap.Draw(p, x, y + piece.at, &source);
    }
}

CFramePainter::Caption CFramePainter::Compose(int width, bool inactive) const {
    const FrameMetrics& m = m_theme.Metrics();
    Caption caption;
    caption.width = width;
    if (width <= 0 || m.captionHeight <= 0)
        return caption;
    caption.strip = QImage(width, m.captionHeight, QImage::Format_RGB32);
    caption.strip.fill(Qt::black);
    {
        QPainter p(&caption.strip);
        DrawTopEdge(p, m.leftWidth, 0, width - m.leftWidth - m.rightWidth + 1, inactive);
        DrawSideEdge(p, SkinPart::Left, 0, 0, m_theme.Part(SkinPart::Left).Height(), inactive);
        DrawSideEdge(p, SkinPart::Right, width - m.rightWidth, 0,
                     m_theme.Part(SkinPart::Right).Height(), inactive);
    }
    // Key-colour pixels of the caption bar itself are left unpainted; the buttons and the
    // title drawn over them later do not change that.
    caption.opaque = m_theme.UsesTran()
                         ? CSkinBitmap::RegionOfImage(caption.strip, m_theme.TransColor())
                         : QRegion(0, 0, width, m.captionHeight);
    return caption;
}

const CFramePainter::Caption& CFramePainter::CaptionFor(int width, bool inactive) {
    Caption& caption = m_captions[inactive ? 1 : 0];
    if (caption.width != width)
        caption = Compose(width, inactive);
    return caption;
}

QRegion CFramePainter::WindowRegion(QSize size) {
    const int W = size.width(), H = size.height();
    const int captionHeight = m_theme.Metrics().captionHeight;
    const QRegion below(0, captionHeight, W, std::max(0, H - captionHeight));
    const Caption& caption = CaptionFor(W, false);
    const QRegion keyed = m_theme.UsesTran()
                              ? caption.opaque
                              : CSkinBitmap::RegionOfImage(caption.strip, m_theme.TransColor());
    return below.xored(keyed);
}

void CFramePainter::PaintFrame(QPainter& painter, QSize size, const FrameLook& look) {
    const FrameMetrics& m = m_theme.Metrics();
    const int W = size.width(), H = size.height();
    const bool inactive = !look.active;
    painter.save();
    painter.setClipRect(QRect(0, m.captionHeight, W, H - m.captionHeight));
    DrawSideEdge(painter, SkinPart::Left, 0, 0, H, inactive);
    DrawSideEdge(painter, SkinPart::Right, W - m.rightWidth, 0, H, inactive);
    DrawBottomEdge(painter, m.leftWidth, H - m.bottomHeight, W - m.leftWidth - m.rightWidth,
                   inactive);
    painter.restore();

    const Caption& caption = CaptionFor(W, inactive);
    if (caption.strip.isNull())
        return;
    painter.save();
    painter.setClipRegion(caption.opaque);
    painter.drawImage(0, 0, caption.strip);
    DrawCaptionButtons(painter, look, W);
    DrawIconAndTitle(painter, look, W);
    painter.restore();
}

void CFramePainter::DrawCaptionButtons(QPainter& p, const FrameLook& look, int W) const {
    const FrameMetrics& m = m_theme.Metrics();
    const auto stateOf = [&](int code) {
        return look.pressed == code ? 1 : look.hover == code ? 2 : 0;
    };
    const auto draw = [&](const CSkinBitmap& image, const QRect& at, int state) {
        const int w = image.Width() / m_theme.ButtonImageCount();
        if (image.IsEmpty() || w <= 0)
            return;
        const QRect source(w * state, 0, w, image.Height());
        image.Draw(p, at.left(), at.top(), &source);
    };
    draw(m_theme.Part(SkinPart::Close), PlaceButton(m.close, W), stateOf(HTCLOSE));
    const CSkinBitmap& minimize = m_theme.Part(SkinPart::Minimize);
    if (look.style.minimizeBox)
        draw(minimize, MinimizeButtonRect(m, look.style, W), stateOf(HTMINBUTTON));
    const CSkinBitmap& maximize = m_theme.Part(SkinPart::Maximize);
    const CSkinBitmap& restore = m_theme.Part(SkinPart::Restore);
    if (look.style.maximizeBox && !maximize.IsEmpty())
        draw(look.state == SkinWindowState::Maximized && !restore.IsEmpty() ? restore : maximize,
             PlaceButton(m.maximize, W), stateOf(HTMAXBUTTON));
}

void CFramePainter::DrawIconAndTitle(QPainter& p, const FrameLook& look, int W) const {
    const FrameMetrics& m = m_theme.Metrics();
    if (!look.icon.isNull())
        look.icon.paint(&p, SystemIconRect(m));
    p.setPen(CSkinBitmap::ToRgb(m_theme.TitleText(look.active)));
    QFont font = look.font;
    font.setPointSize(kTitlePointSize);
    font.setBold(true);
    p.setFont(font);
    const QPoint shift = m_theme.TextShift();
    const CSkinBitmap& top = m_theme.Part(SkinPart::Top);
    const QRect textRect(shift.x(), shift.y(),
                         W - (top.Width() - m_theme.Cut(SkinPart::Top).tail) - shift.x(),
                         m.captionHeight - shift.y());
    if (textRect.width() <= 0 || textRect.height() <= 0)
        return;
    const QString text = p.fontMetrics().elidedText(look.title, Qt::ElideRight, textRect.width());
    p.drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, text);
}

void CFramePainter::DrawSplitBackground(QPainter& p, const QImage& picture, QPoint split,
                                        const QRect& target) {
    const int bw = picture.width(), bh = picture.height();
    if (bw <= 0 || bh <= 0 || target.isEmpty())
        return;
    // Along one axis: the bitmap up to and with the split line, the split line stretched over
    // the extra room, and the rest shifted by that room.
    struct Span {
        int from, length, to, toLength;
    };
    const auto spans = [](int size, int at, int extra, Span* out) {
        const int s = std::clamp(at, 0, size - 1);
        out[0] = {0, s + 1, 0, s + 1};
        out[1] = {s, 1, s + 1, extra};
        out[2] = {s + 1, size - s - 1, s + 1 + extra, size - s - 1};
    };
    Span xs[3], ys[3];
    spans(bw, split.x(), std::max(0, target.width() - bw), xs);
    spans(bh, split.y(), std::max(0, target.height() - bh), ys);
    p.save();
    p.setClipRect(target);
    for (const Span& y : ys)
        for (const Span& x : xs) {
            if (x.length <= 0 || x.toLength <= 0 || y.length <= 0 || y.toLength <= 0)
                continue;
            p.drawImage(QRect(target.left() + x.to, target.top() + y.to, x.toLength, y.toLength),
                        picture, QRect(x.from, y.from, x.length, y.length));
        }
    p.restore();
}

void CFramePainter::PaintBackground(QPainter& p, const QRect& client, QPoint split) const {
    const CSkinBitmap& background = m_theme.Part(SkinPart::Background);
    const int bw = background.Width(), bh = background.Height();
    if (bw <= 0 || bh <= 0 || client.isEmpty())
        return;
    if (split.x() >= 0 && split.y() >= 0 && (client.width() > bw || client.height() > bh)) {
        DrawSplitBackground(p, background.Image(), split, client);
        return;
    }
    p.save();
    p.setClipRect(client);
    for (int row = 0; row < client.height() / bh + 1; ++row)
        for (int column = 0; column < client.width() / bw + 1; ++column)
            background.Draw(p, client.left() + column * bw, client.top() + row * bh);
    p.restore();
}
