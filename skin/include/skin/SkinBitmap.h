#pragma once
// A skin picture with the drawing operations of the skinned frame and buttons: copy, copy
// into a rectangle, and the region of every pixel that differs from a key colour. A picture
// drawn with a transparent key colour is keyed once, when it is loaded (KeyOut); drawing it
// then leaves its key pixels out without any work per paint.
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
    // Loads and keys out key, as KeyOut.
    bool LoadKeyed(const std::string& path, COLORREF key);

    // Replaces the picture (an empty image empties the object).
    void SetImage(QImage image) { m_image = std::move(image); }
    // Turns every pixel of colour key into a transparent one, so that drawing the picture
    // leaves them out and the destination shows through.
    void KeyOut(COLORREF key);

    // Draws source (the whole picture when null) at (x, y), unscaled. An opaque picture is
    // copied; a keyed one leaves its key pixels out.
    void Draw(QPainter& painter, int x, int y, const QRect* source = nullptr) const;
    // Draws from the picture's origin into rect, cut to it, no stretching.
    void DrawInRect(QPainter& painter, const QRect& rect) const;
    // Every pixel whose colour differs from key, in picture coordinates.
    QRegion CreateRegion(COLORREF key) const;

    // Same as CreateRegion, for any opaque image (the frame builds its caption strip in one).
    static QRegion RegionOfImage(const QImage& image, COLORREF key);
    // image with the pixels of colour key made transparent, premultiplied.
    static QImage KeyedImage(const QImage& image, COLORREF key);
    static QRgb ToRgb(COLORREF color) {
        return qRgb(GetRValue(color), GetGValue(color), GetBValue(color));
    }
};
