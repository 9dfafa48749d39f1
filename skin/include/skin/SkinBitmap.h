#pragma once
// A skin picture with the drawing operations of the skinned frame and buttons: plain copy,
// copy into a rectangle, copy with a transparent key colour, and the region of every pixel
// that differs from a key colour.
#include <QPainter>
#include <QRect>
#include <QRegion>

#include "support/PictureBitmap.h"

class CSkinBitmap : public CPictureBitmap {
public:
    // Skin pictures are composed over black: the player never keeps an alpha channel.
    static constexpr COLORREF kLoadBackground = 0;

    // Loads with the black background every skin picture uses.
    bool Load(const std::string& path) { return LoadFromFile(path, kLoadBackground); }

    // Replaces the picture (an empty image empties the object).
    void SetImage(QImage image) { m_image = std::move(image); }

    // Copies source (the whole picture when null) to (x, y), unscaled.
    void Draw(QPainter& painter, int x, int y, const QRect* source = nullptr) const;
    // Copies from the picture's origin into rect, cut to it, no stretching.
    void DrawInRect(QPainter& painter, const QRect& rect) const;
    // Like Draw, but with useKey the pixels of colour key are left out (the destination
    // shows through them).
    void DrawTransparent(QPainter& painter, int x, int y, const QRect* source, COLORREF key,
                         bool useKey) const;
    // Every pixel whose colour differs from key, in picture coordinates.
    QRegion CreateRegion(COLORREF key) const;

    // Same as CreateRegion, for any image (the frame builds its caption strip in one).
    static QRegion RegionOfImage(const QImage& image, COLORREF key);
    static QRgb ToRgb(COLORREF color) {
        return qRgb(GetRValue(color), GetGValue(color), GetBValue(color));
    }
};
