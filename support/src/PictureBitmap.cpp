#include "support/PictureBitmap.h"

#include <QBuffer>
#include <QByteArray>
#include <QFile>
#include <QImageReader>
#include <QPainter>

namespace {

// The whole file in one read, or an empty array when it cannot be read or is unusable.
QByteArray ReadWholeFile(const std::string& path) {
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const qint64 length = file.size();
    if (length <= 0 || length > CPictureBitmap::kMaxFileBytes)
        return {};
    return file.read(length);
}

QImage Decode(QByteArray& bytes) {
    QBuffer buffer(&bytes);
    if (!buffer.open(QIODevice::ReadOnly))
        return {};
    QImageReader reader(&buffer);
    reader.setDecideFormatFromContent(true);
    // Pictures are shown as stored, the way the skin author saw them in a paint program.
    reader.setAutoTransform(false);
    QImage image;
    if (!reader.read(&image))
        return {};
    return image;
}

QImage Compose(const QImage& picture, COLORREF background) {
    if (background == CPictureBitmap::kNoBackground)
        return picture.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    QImage canvas(picture.size(), QImage::Format_RGB32);
    if (canvas.isNull())
        return {};
    canvas.fill(CPictureBitmap::ToQColor(background));
    QPainter painter(&canvas);
    painter.drawImage(0, 0, picture);
    painter.end();
    return canvas;
}

}  // namespace

CPictureBitmap::CPictureBitmap() = default;

CPictureBitmap::~CPictureBitmap() = default;

bool CPictureBitmap::LoadFromFile(const std::string& path, COLORREF background) {
    if (!IsEmpty())
        return false;
    QByteArray bytes = ReadWholeFile(path);
    if (bytes.isEmpty())
        return false;
    const QImage picture = Decode(bytes);
    if (picture.isNull() || picture.width() <= 0 || picture.height() <= 0)
        return false;
    QImage composed = Compose(picture, background);
    if (composed.isNull())
        return false;
    m_image = std::move(composed);
    return true;
}

bool CPictureBitmap::DeleteObject() {
    if (IsEmpty())
        return false;
    m_image = QImage();
    return true;
}
