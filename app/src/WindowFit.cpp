#include "app/WindowFit.h"

#include <algorithm>
#include <cstdint>

namespace {

// The start of a span of length inside [low, low + room): its wanted start when it fits,
// pushed in from the far side first, so a span longer than the room starts at low.
int KeepInside(int wanted, int length, int low, int room) {
    return std::max(low, std::min(wanted, low + room - length));
}

}  // namespace

QRect FitWindowToPicture(const WindowFitRequest& r) {
    if (r.picture.isEmpty() || r.pictureArea.isEmpty() || r.window.isEmpty())
        return r.window;
    // Frame, controls and the strip under the picture.
    const QSize around = r.window.size() - r.pictureArea;
    QSize area = r.picture;
    if (!r.available.isEmpty()) {
        const int64_t roomW = std::max(1, r.available.width() - around.width());
        const int64_t roomH = std::max(1, r.available.height() - around.height());
        const int64_t pw = r.picture.width(), ph = r.picture.height();
        if (pw > roomW || ph > roomH) {
            // The limiting side gets the whole room; whole numbers keep it exact.
            if (roomW * ph <= roomH * pw)
                area = QSize(static_cast<int>(roomW),
                             static_cast<int>(std::max<int64_t>(1, ph * roomW / pw)));
            else
                area = QSize(static_cast<int>(std::max<int64_t>(1, pw * roomH / ph)),
                             static_cast<int>(roomH));
        }
    }
    const QSize size = (area + around).expandedTo(r.baseSize);
    if (size == r.window.size())
        return r.window;
    const QPoint centre = r.window.center();
    QRect fitted(QPoint(centre.x() - (size.width() - 1) / 2, centre.y() - (size.height() - 1) / 2),
                 size);
    if (!r.available.isEmpty()) {
        fitted.moveLeft(
            KeepInside(fitted.left(), size.width(), r.available.left(), r.available.width()));
        fitted.moveTop(
            KeepInside(fitted.top(), size.height(), r.available.top(), r.available.height()));
    }
    return fitted;
}
