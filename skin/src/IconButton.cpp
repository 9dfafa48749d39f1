#include "skin/IconButton.h"

#include <QApplication>
#include <QEnterEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionFocusRect>

CIconButton::CIconButton(QWidget* parent) : QAbstractButton(parent) {
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_Hover);
}

CIconButton::~CIconButton() = default;

void CIconButton::SetIcon(const QIcon& icon, QSize size) {
    m_icon = icon;
    m_iconSize = icon.isNull() ? QSize() : size;
    update();
}

void CIconButton::SetTooltipText(const char* text, bool activate) {
    if (text == nullptr)
        return;
    setToolTip(activate ? QString::fromUtf8(text) : QString());
}

void CIconButton::SetAlign(int newAlignment, bool redraw) {
    alignment = newAlignment;
    if (redraw)
        update();
}

void CIconButton::SetFlat(bool newFlat) {
    flat = newFlat;
    update();
}

void CIconButton::SetTransparent(bool on) {
    transparent = on;
    m_parentBackground = QImage();
    update();
}

QSize CIconButton::sizeHint() const {
    const QSize textSize = fontMetrics().size(Qt::TextSingleLine, text()) + QSize(16, 10);
    if (m_icon.isNull())
        return textSize;
    if (alignment == IconAbove)
        return QSize(std::max(textSize.width(), m_iconSize.width() + 2 * kIconMargin),
                     textSize.height() + m_iconSize.height() + kIconMargin);
    return QSize(textSize.width() + m_iconSize.width() + kIconMargin,
                 std::max(textSize.height(), m_iconSize.height() + 2 * kIconMargin));
}

void CIconButton::enterEvent(QEnterEvent* event) {
    QAbstractButton::enterEvent(event);
    // A button held down elsewhere and dragged in does not light the border.
    if (flat && QApplication::mouseButtons() == Qt::NoButton &&
        QApplication::activeWindow() != nullptr && !hover) {
        hover = true;
        update();
    }
}

void CIconButton::leaveEvent(QEvent* event) {
    QAbstractButton::leaveEvent(event);
    if (hover) {
        hover = false;
        update();
    }
}

void CIconButton::focusOutEvent(QFocusEvent* event) {
    QAbstractButton::focusOutEvent(event);
    if (hover) {
        hover = false;
    }
    update();
}

void CIconButton::mousePressEvent(QMouseEvent* event) {
    setFocus(Qt::MouseFocusReason);
    QAbstractButton::mousePressEvent(event);
}

// The top-level window's own painting (its skinned background) under the button, without
// any child widgets, so the capture cannot paint this button again.
void CIconButton::CaptureParentBackground() {
    QWidget* top = window();
    if (top == nullptr || top == this)
        return;
    QImage image(size(), QImage::Format_RGB32);
    image.fill(palette().color(QPalette::Button));
    const QPoint offset = mapTo(top, QPoint(0, 0));
    top->render(&image, QPoint(), QRegion(QRect(offset, size())), QWidget::DrawWindowBackground);
    m_parentBackground = image;
}

void CIconButton::DrawBorder(QPainter& p, QRect r, bool pressedLook) const {
    const QPalette& pal = palette();
    if (pressedLook && !flat) {
        p.setPen(pal.color(QPalette::Dark));
        p.drawRect(r.adjusted(0, 0, -1, -1));
        return;
    }
    // Raised: light outer top-left, dark outer bottom-right, then the inner pair.
    const int l = r.left(), t = r.top(), rr = r.right(), b = r.bottom();
    p.setPen(pal.color(pressedLook ? QPalette::Dark : QPalette::Light));
    p.drawLine(l, t, rr - 1, t);
    p.drawLine(l, t, l, b - 1);
    p.setPen(pal.color(pressedLook ? QPalette::Light : QPalette::Shadow));
    p.drawLine(l, b, rr, b);
    p.drawLine(rr, t, rr, b);
    p.setPen(pal.color(pressedLook ? QPalette::Shadow : QPalette::Midlight));
    p.drawLine(l + 1, t + 1, rr - 2, t + 1);
    p.drawLine(l + 1, t + 1, l + 1, b - 2);
    p.setPen(pal.color(pressedLook ? QPalette::Midlight : QPalette::Dark));
    p.drawLine(l + 1, b - 1, rr - 1, b - 1);
    p.drawLine(rr - 1, t + 1, rr - 1, b - 1);
}

void CIconButton::DrawIconAndText(QPainter& p, QRect r, bool pressedLook) const {
    const QPoint shift = pressedLook ? QPoint(1, 1) : QPoint(0, 0);
    QRect textRect = r;
    if (!m_icon.isNull()) {
        const QSize s = m_iconSize;
        QPoint at;
        switch (alignment) {
            case IconAbove:
                at = QPoint(r.left() + (r.width() - s.width()) / 2, r.top() + kIconMargin);
                textRect.setTop(at.y() + s.height());
                break;
            case IconRight:
                at = QPoint(r.right() - kIconMargin - s.width() + 1,
                            r.top() + (r.height() - s.height()) / 2);
                textRect.setRight(at.x() - 1);
                break;
            default:
                at = QPoint(r.left() + kIconMargin, r.top() + (r.height() - s.height()) / 2);
                textRect.setLeft(at.x() + s.width());
                break;
        }
        m_icon.paint(&p, QRect(at + shift, s), Qt::AlignCenter,
                     isEnabled() ? QIcon::Normal : QIcon::Disabled);
    }
    const QString caption = text();
    if (caption.isEmpty())
        return;
    textRect.translate(shift);
    const int flags = Qt::AlignCenter | Qt::TextWordWrap;
    if (!isEnabled()) {
        p.setPen(palette().color(QPalette::Light));
        p.drawText(textRect.translated(1, 1), flags, caption);
        p.setPen(palette().color(QPalette::Dark));
    } else {
        p.setPen(palette().color(QPalette::ButtonText));
    }
    p.drawText(textRect, flags, caption);
}

void CIconButton::paintEvent(QPaintEvent*) {
    if (transparent && m_parentBackground.isNull())
        CaptureParentBackground();
    QPainter p(this);
    QRect r = rect();
    p.fillRect(r, palette().color(QPalette::Button));
    if (!flat && hasFocus()) {
        p.setPen(Qt::black);
        p.drawRect(r.adjusted(0, 0, -1, -1));
        r.adjust(1, 1, -1, -1);
    }
    if (transparent && !m_parentBackground.isNull())
        p.drawImage(r.topLeft(), m_parentBackground, r);
    const bool pressedLook = isDown();
    if (!flat || hover)
        DrawBorder(p, r, pressedLook);
    DrawIconAndText(p, r, pressedLook);
    if (hasFocus()) {
        QStyleOptionFocusRect option;
        option.initFrom(this);
        option.rect = rect().adjusted(kFocusInset, kFocusInset, -kFocusInset, -kFocusInset);
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &p, this);
    }
}
