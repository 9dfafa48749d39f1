#include "skin/SkinBitmap.h"

#include <vector>

bool CSkinBitmap::LoadKeyed(const std::string& path, COLORREF key) {
    if (!Load(path))
        return false;
    KeyOut(key);
    return true;
}

void CSkinBitmap::KeyOut(COLORREF key) {
    if (!IsEmpty())
        m_image = KeyedImage(m_image, key);
}

QImage CSkinBitmap::KeyedImage(const QImage& image, COLORREF key) {
    QImage keyed = image.convertToFormat(QImage::Format_ARGB32);
    const QRgb keyRgb = ToRgb(key) & 0xFFFFFF;
    for (int row = 0; row < keyed.height(); ++row) {
        auto* line = reinterpret_cast<QRgb*>(keyed.scanLine(row));
        for (int column = 0; column < keyed.width(); ++column) {
            if ((line[column] & 0xFFFFFF) == keyRgb)
                line[column] = 0;
        }
    }
    return keyed.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

void CSkinBitmap::Draw(QPainter& painter, int x, int y, const QRect* source) const {
    if (IsEmpty())
        return;
    painter.drawImage(QPoint(x, y), m_image, source != nullptr ? *source : m_image.rect());
}

void CSkinBitmap::DrawInRect(QPainter& painter, const QRect& rect) const {
    if (IsEmpty() || rect.isEmpty())
        return;
    const QRect source = QRect(QPoint(0, 0), rect.size()).intersected(m_image.rect());
    painter.drawImage(rect.topLeft(), m_image, source);
}

QRegion CSkinBitmap::CreateRegion(COLORREF key) const {
    return RegionOfImage(m_image, key);
}

QRegion CSkinBitmap::RegionOfImage(const QImage& image, COLORREF key) {
    if (image.isNull())
        return {};
    const QImage pixels =
        image.format() == QImage::Format_RGB32 || image.format() == QImage::Format_ARGB32
            ? image
            : image.convertToFormat(QImage::Format_RGB32);
    const QRgb keyRgb = ToRgb(key) & 0xFFFFFF;
    // One rectangle per run of non-key pixels in a row, rows from the top down.
    std::vector<QRect> runs;
    runs.reserve(static_cast<size_t>(pixels.height()));
    for (int y = 0; y < pixels.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(pixels.constScanLine(y));
        int runStart = -1;
        for (int x = 0; x < pixels.width(); ++x) {
            const bool opaque = (line[x] & 0xFFFFFF) != keyRgb;
            if (opaque && runStart < 0)
                runStart = x;
            if (!opaque && runStart >= 0) {
                runs.emplace_back(runStart, y, x - runStart, 1);
                runStart = -1;
            }
        }
        if (runStart >= 0)
            runs.emplace_back(runStart, y, pixels.width() - runStart, 1);
    }
    QRegion region;
    if (!runs.empty())
        region.setRects(runs.data(), static_cast<int>(runs.size()));
    return region;
}
