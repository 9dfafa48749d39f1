#pragma once
// A skin image: any picture file Qt's image readers decode (BMP, JPEG, GIF, PNG, ICO) turned
// into one ready-to-draw image. The object is either empty or holds one picture; a holder
// must be emptied (DeleteObject) before it loads another, so a failed reload never leaves a
// half-replaced picture behind.
#include <QColor>
#include <QImage>
#include <QPixmap>
#include <QSize>
#include <string>

#include "support/IniValues.h"

class CPictureBitmap {
public:
    // The background colour that means "none": transparent parts stay transparent.
    static constexpr COLORREF kNoBackground = 0xFFFFFFFF;
    // Larger files are refused unread; no skin image comes near it and reading a huge stray
    // file whole would only exhaust memory.
    static constexpr qint64 kMaxFileBytes = 64 * 1024 * 1024;

    CPictureBitmap();
    virtual ~CPictureBitmap();
    CPictureBitmap(const CPictureBitmap&) = delete;
    CPictureBitmap& operator=(const CPictureBitmap&) = delete;
    CPictureBitmap(CPictureBitmap&&) noexcept = default;
    CPictureBitmap& operator=(CPictureBitmap&&) noexcept = default;

    // Reads the whole file and decodes it. With a background colour the picture is composed
    // over that colour into an opaque image (transparent parts of icons and GIFs take it);
    // with kNoBackground it keeps its alpha. False, with the object unchanged, when the
    // object already holds a picture, the file cannot be opened, is empty or too large, or
    // does not decode.
    bool LoadFromFile(const std::string& path, COLORREF background = kNoBackground);
    // Empties the object. False when it was already empty.
    bool DeleteObject();

    bool IsEmpty() const { return m_image.isNull(); }
    int Width() const { return m_image.width(); }
    int Height() const { return m_image.height(); }
    QSize Size() const { return m_image.size(); }
    // The picture itself (null when empty). Opaque Format_RGB32 when loaded with a
    // background, Format_ARGB32_Premultiplied without one.
    const QImage& Image() const { return m_image; }
    // A pixmap of the picture; needs the GUI application to exist.
    QPixmap Pixmap() const { return QPixmap::fromImage(m_image); }

    static QColor ToQColor(COLORREF color) {
        return QColor(GetRValue(color), GetGValue(color), GetBValue(color));
    }

protected:
    QImage m_image;  // null when empty
};
