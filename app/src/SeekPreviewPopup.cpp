#include "app/SeekPreviewPopup.h"

#include <QPaintEvent>
#include <QPainter>
#include <algorithm>

#include "platform/Text.h"

namespace {

const QColor kFrameColour(200, 200, 200);
const QColor kBandColour(0, 0, 0);
const QColor kTextColour(255, 255, 255);
constexpr int kTextPadding = 2;  // px above and below the time

}  // namespace

CSeekPreviewPopup::CSeekPreviewPopup(QWidget* parent, QSize box)
    : QWidget(parent), m_worker(box, [this](CSeekPreview::Picture picture) {
          // Worker thread: the picture travels to the user-interface thread, and is dropped
          // with the event if this widget is gone by then.
          QMetaObject::invokeMethod(
              this, [this, picture = std::move(picture)] { OnPicture(picture); },
              Qt::QueuedConnection);
      }) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::NoFocus);
    hide();
}

CSeekPreviewPopup::~CSeekPreviewPopup() {
    m_worker.Close();
}

void CSeekPreviewPopup::SetFile(const std::string& path) {
    ForgetPicture();
    m_worker.Open(path);
}

void CSeekPreviewPopup::CloseFile() {
    ForgetPicture();
    m_worker.Close();
}

void CSeekPreviewPopup::ForgetPicture() {
    hide();
    m_hovering = false;
    m_wanted = m_requested = -1;
    m_picture = {};
    m_timeText.clear();
}

void CSeekPreviewPopup::HoverAt(int32_t second, QPoint anchor) {
    if (!HasFile() || second < 0) {
        EndHover();
        return;
    }
    m_hovering = true;
    m_anchor = anchor;
    m_wanted = second;
    if (second != m_requested) {
        m_requested = second;
        m_worker.Request(second);
    }
    if (m_picture.image.isNull())
        return;
    Place();
    if (!isVisible()) {
        show();
        raise();
    }
}

void CSeekPreviewPopup::EndHover() {
    m_hovering = false;
    hide();
}

void CSeekPreviewPopup::OnPicture(const CSeekPreview::Picture& picture) {
    if (!HasFile() || picture.generation != m_worker.Generation())
        return;
    if (picture.image.isNull()) {
        // Only the second under the mouse decides: a passed-over second without a picture
        // leaves the last good one up until the wanted one arrives.
        if (picture.second == m_wanted) {
            m_picture = {};
            hide();
        }
        emit PictureArrived(picture.second, false);
        return;
    }
    m_picture = picture;
    m_timeText = QString::fromStdString(win::ClockText(picture.second));
    const QSize image = picture.image.size();
    resize(image.width() + 2 * kBorder, image.height() + TextBandHeight() + 2 * kBorder);
    if (m_hovering) {
        Place();
        show();
        raise();
    }
    update();
    emit PictureArrived(picture.second, true);
}

int CSeekPreviewPopup::TextBandHeight() const {
    return fontMetrics().height() + 2 * kTextPadding;
}

void CSeekPreviewPopup::Place() {
    const QWidget* room = parentWidget();
    const int roomWidth = room ? room->width() : width();
    const int x = std::clamp(m_anchor.x() - width() / 2, 0, std::max(0, roomWidth - width()));
    const int y = std::max(0, m_anchor.y() - kGapAboveSlider - height());
    if (pos() != QPoint(x, y))
        move(x, y);
}

void CSeekPreviewPopup::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), kFrameColour);
    const QRect inside = rect().adjusted(kBorder, kBorder, -kBorder, -kBorder);
    painter.fillRect(inside, kBandColour);
    painter.drawImage(inside.topLeft(), m_picture.image);
    const QRect band(inside.left(), inside.top() + m_picture.image.height(), inside.width(),
                     inside.height() - m_picture.image.height());
    painter.setPen(kTextColour);
    painter.drawText(band, Qt::AlignCenter, m_timeText);
}
