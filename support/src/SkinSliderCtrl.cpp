#include "support/SkinSliderCtrl.h"

#include <QMouseEvent>
#include <QPainter>
#include <QRegion>
#include <QStyle>
#include <QStyleOptionSlider>

namespace {
// Every skin picture is composed over black.
constexpr COLORREF kLoadBackground = 0;
}  // namespace

CSkinSliderCtrl::CSkinSliderCtrl(QWidget* parent) : QSlider(Qt::Horizontal, parent) {
    setTickPosition(QSlider::NoTicks);
    setFocusPolicy(Qt::StrongFocus);
}

CSkinSliderCtrl::~CSkinSliderCtrl() = default;

void CSkinSliderCtrl::SetSkin(const std::string& skinFolder, const std::string& backgroundPath) {
    m_skinned = true;
    CPictureBitmap background;
    background.LoadFromFile(backgroundPath, kLoadBackground);
    // A fresh screen bitmap: black until the background is copied in.
    m_snapshot = QImage(size().expandedTo(QSize(1, 1)), QImage::Format_RGB32);
    m_snapshot.fill(Qt::black);
    if (!background.IsEmpty()) {
        QPainter painter(&m_snapshot);
        // The control's place in its parent is where it sits on the dialog background.
        painter.drawImage(QPoint(0, 0), background.Image(), QRect(pos(), size()));
    }
    m_thumb.DeleteObject();
    m_thumb.LoadFromFile(skinFolder + kThumbFile, kLoadBackground);
    update();
}

QRect CSkinSliderCtrl::GetThumbRect() const {
    QStyleOptionSlider option;
    initStyleOption(&option);
    return style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, this);
}

QRect CSkinSliderCtrl::GetChannelRect() const {
    QStyleOptionSlider option;
    initStyleOption(&option);
    return style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderGroove, this);
}

QRect CSkinSliderCtrl::DrawnThumbRect() const {
    return GetThumbRect().adjusted(0, 0, kThumbExtraWidth, 0);
}

void CSkinSliderCtrl::sliderChange(SliderChange change) {
    if (change != SliderValueChange) {
        QSlider::sliderChange(change);
        return;
    }
    // The play position moves every second, which on a long movie is less than a pixel: only
    // a thumb that really moves is drawn again, and only where it was and where it is.
    const QRect thumb = DrawnThumbRect();
    if (thumb == m_paintedThumb)
        return;
    update(QRegion(thumb).united(m_paintedThumb));
}

void CSkinSliderCtrl::paintEvent(QPaintEvent*) {
    // The trackbar's own look is never drawn: before SetSkin there is simply no snapshot and
    // no thumb to compose. Composed off screen and copied once so the moving thumb does not
    // flicker.
    QImage canvas(size(), QImage::Format_RGB32);
    if (canvas.isNull())
        return;
    canvas.fill(Qt::black);
    {
        QPainter mem(&canvas);
        if (!m_snapshot.isNull())
            mem.drawImage(QPoint(0, 0), m_snapshot, rect());
        m_paintedThumb = DrawnThumbRect();
        if (!m_thumb.IsEmpty()) {
            const QRect thumb = m_paintedThumb;
            mem.setClipRect(thumb);
            mem.drawImage(thumb.topLeft(), m_thumb.Image());
        }
    }
    QPainter painter(this);
    painter.drawImage(0, 0, canvas);
}

void CSkinSliderCtrl::SetHoverHandlers(std::function<void(int x)> moved,
                                       std::function<void()> left) {
    m_hoverMoved = std::move(moved);
    m_hoverLeft = std::move(left);
    setMouseTracking(static_cast<bool>(m_hoverMoved));
}

void CSkinSliderCtrl::mouseMoveEvent(QMouseEvent* event) {
    QSlider::mouseMoveEvent(event);
    if (m_hoverMoved)
        m_hoverMoved(event->position().toPoint().x());
}

void CSkinSliderCtrl::leaveEvent(QEvent* event) {
    QSlider::leaveEvent(event);
    if (m_hoverLeft)
        m_hoverLeft();
}
