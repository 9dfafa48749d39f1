#include "display/ScrollText.h"

#include <QFontMetrics>
#include <QPainter>
#include <algorithm>

namespace {
const QColor kTextColor(0, 255, 0);
constexpr int kBoxExtraWidth = 10;  // right of the text, so it leaves the area entirely
constexpr int kBoxExtraHeight = 2;
constexpr int kTextOffset = 1;  // the text sits one pixel inside the box
}  // namespace

void CScrollText::SetArea(int left, int top, int right, int bottom, const std::string& text,
                          const QFontMetrics& metrics) {
    areaLeft_ = left;
    areaTop_ = top;
    areaRight_ = right;
    areaBottom_ = bottom;
    text_ = text;
    textOriginX_ = left;
    boxTop_ = top;
    const QString qtext = QString::fromStdString(text);
    const int textWidth = metrics.horizontalAdvance(qtext);
    boxRight_ = left + textWidth + kBoxExtraWidth;
    boxBottom_ = top + metrics.height() + kBoxExtraHeight;
    destinationX_ = right;
    visibleWidth_ = kStepPixels;
    sourceX_ = left;
    // A short title scrolls as well: nothing ever turns scrolling off.
    if (textWidth > right - left)
        scrolling_ = true;
}

void CScrollText::Step() {
    if (!scrolling_)
        return;
    if (destinationX_ > areaLeft_) {
        destinationX_ = std::max(destinationX_ - kStepPixels, areaLeft_);
        visibleWidth_ = std::min(visibleWidth_ + kStepPixels, areaRight_ - areaLeft_);
        return;
    }
    sourceX_ += kStepPixels;
    if (sourceX_ > boxRight_) {
        sourceX_ = textOriginX_;
        destinationX_ = areaRight_;
        visibleWidth_ = kStepPixels;
    } else {
        visibleWidth_ = std::min(visibleWidth_, boxRight_ - sourceX_);
    }
}

const QImage& CScrollText::StripImage(const QFont& font) {
    const QString key = QStringLiteral("%1|%2|%3|%4|%5|%6")
                            .arg(QString::fromStdString(text_), font.key())
                            .arg(boxRight_)
                            .arg(boxBottom_)
                            .arg(boxTop_)
                            .arg(textOriginX_);
    if (key == stripKey_ && !strip_.isNull())
        return strip_;
    stripKey_ = key;
    strip_ = QImage(boxRight_, boxBottom_, QImage::Format_RGB32);
    strip_.fill(Qt::black);
    QPainter p(&strip_);
    p.setFont(font);
    p.setPen(kTextColor);
    const QFontMetrics metrics(font);
    p.drawText(textOriginX_ + kTextOffset, boxTop_ + kTextOffset + metrics.ascent(),
               QString::fromStdString(text_));
    return strip_;
}

void CScrollText::Draw(QPainter& painter, const QFont& font) {
    if (boxRight_ <= 0 || boxBottom_ <= 0)
        return;
    const QImage& strip = StripImage(font);
    // The slice as it would be copied; the part of it outside the bitmap copies nothing.
    const QRect slice(sourceX_, areaTop_, visibleWidth_, areaBottom_ - areaTop_);
    const QRect inside = slice.intersected(strip.rect());
    if (inside.isEmpty())
        return;
    const QPoint target(destinationX_ + inside.left() - slice.left(),
                        areaTop_ + inside.top() - slice.top());
    painter.drawImage(target, strip, inside);
}
