// Skin pictures: loaded by their content whatever their name, with a background filling what
// is transparent, once per object; files that do not hold a whole picture leave it empty.
#include "support/PictureBitmap.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <string>

#include "TempFolder.h"

namespace {

class PictureBitmapTest : public ::testing::Test {
protected:
    // A 16 x 16 test card: four coloured quarters, so orientation and colours both show.
    static QImage Card() {
        QImage image(16, 16, QImage::Format_RGB32);
        image.fill(Qt::red);
        QPainter p(&image);
        p.fillRect(8, 0, 8, 8, Qt::green);
        p.fillRect(0, 8, 8, 8, Qt::blue);
        p.fillRect(8, 8, 8, 8, Qt::white);
        return image;
    }
    std::string Save(const QImage& image, const char* name, const char* format) {
        EXPECT_TRUE(image.save(QString::fromStdString(folder_.File(name)), format)) << format;
        return folder_.File(name);
    }
    TempFolder folder_{"tvq-picture"};
};

TEST_F(PictureBitmapTest, LoadsByContentPixelForPixelOrCloseForJpeg) {
    struct Case {
        const char* name;
        const char* format;
        int tolerance;
    };
    // The name of the third says BMP and JPEG; the content is PNG.
    for (const Case c : {Case{"card.bmp", "BMP", 0}, Case{"card.jpg", "JPEG", 40},
                         Case{"card.bmp.jpg", "PNG", 0}}) {
        SCOPED_TRACE(c.name);
        CPictureBitmap bitmap;
        ASSERT_TRUE(bitmap.LoadFromFile(Save(Card(), c.name, c.format), 0));
        EXPECT_FALSE(bitmap.IsEmpty());
        EXPECT_EQ(bitmap.Size(), QSize(16, 16));
        EXPECT_EQ(bitmap.Image().format(), QImage::Format_RGB32);
        // Lossy JPEG: points away from the quarter edges keep their colour closely.
        const struct {
            int x, y;
            QRgb colour;
        } points[] = {{1, 1, qRgb(255, 0, 0)},
                      {14, 1, qRgb(0, 255, 0)},
                      {1, 14, qRgb(0, 0, 255)},
                      {14, 14, qRgb(255, 255, 255)}};
        for (const auto& p : points) {
            const QRgb actual = bitmap.Image().pixel(p.x, p.y);
            EXPECT_NEAR(qRed(actual), qRed(p.colour), c.tolerance) << p.x << "," << p.y;
            EXPECT_NEAR(qGreen(actual), qGreen(p.colour), c.tolerance) << p.x << "," << p.y;
            EXPECT_NEAR(qBlue(actual), qBlue(p.colour), c.tolerance) << p.x << "," << p.y;
        }
    }
    EXPECT_EQ(CPictureBitmap::ToQColor(MakeColorRef(1, 2, 3)), QColor(1, 2, 3));
}

TEST_F(PictureBitmapTest, BackgroundFillsTransparentParts) {
    QImage icon(8, 8, QImage::Format_ARGB32);
    icon.fill(Qt::transparent);
    icon.setPixel(3, 3, qRgba(0, 0, 255, 255));
    const std::string png = Save(icon, "icon.png", "PNG");

    CPictureBitmap black;
    ASSERT_TRUE(black.LoadFromFile(png, 0));
    EXPECT_EQ(black.Image().pixel(0, 0), qRgb(0, 0, 0));
    EXPECT_EQ(black.Image().pixel(3, 3), qRgb(0, 0, 255));

    CPictureBitmap magenta;
    ASSERT_TRUE(magenta.LoadFromFile(Save(icon, "icon.ico", "ICO"), MakeColorRef(255, 0, 255)));
    EXPECT_EQ(magenta.Image().pixel(0, 0), qRgb(255, 0, 255));
    EXPECT_EQ(magenta.Image().pixel(3, 3), qRgb(0, 0, 255));

    CPictureBitmap keepsAlpha;
    ASSERT_TRUE(keepsAlpha.LoadFromFile(png));
    EXPECT_EQ(qAlpha(keepsAlpha.Image().pixel(0, 0)), 0);
    EXPECT_EQ(qAlpha(keepsAlpha.Image().pixel(3, 3)), 255);
}

TEST_F(PictureBitmapTest, SecondLoadIsRefusedUntilDeleted) {
    QImage other(4, 2, QImage::Format_RGB32);
    other.fill(Qt::yellow);
    const std::string first = Save(Card(), "card.bmp", "BMP");
    const std::string second = Save(other, "other.bmp", "BMP");

    CPictureBitmap bitmap;
    EXPECT_FALSE(bitmap.DeleteObject());  // nothing to delete yet
    ASSERT_TRUE(bitmap.LoadFromFile(first, 0));
    EXPECT_FALSE(bitmap.LoadFromFile(second, 0));
    EXPECT_EQ(bitmap.Size(), QSize(16, 16));
    EXPECT_EQ(bitmap.Image().pixel(0, 0), qRgb(255, 0, 0));

    EXPECT_TRUE(bitmap.DeleteObject());
    EXPECT_TRUE(bitmap.IsEmpty());
    ASSERT_TRUE(bitmap.LoadFromFile(second, 0));
    EXPECT_EQ(bitmap.Size(), QSize(4, 2));
}

TEST_F(PictureBitmapTest, UnreadableOrCutFilesNeverGiveAHalfObject) {
    std::string junk(3000, '\0');
    for (size_t i = 0; i < junk.size(); ++i) junk[i] = static_cast<char>((i * 37 + 11) & 0xFF);
    for (const std::string& path : {folder_.File("missing.bmp"), folder_.Write("empty.bmp", ""),
                                    folder_.Write("junk.bmp", junk),
                                    folder_.Write("header-only.bmp", "BM"), folder_.Path()}) {
        CPictureBitmap bitmap;
        EXPECT_FALSE(bitmap.LoadFromFile(path, 0)) << path;
        EXPECT_TRUE(bitmap.IsEmpty()) << path;
        EXPECT_EQ(bitmap.Width(), 0) << path;
    }
    for (const char* format : {"BMP", "JPEG", "PNG"}) {
        const std::string bytes = TempFolder::ReadAll(Save(Card(), "whole", format));
        for (size_t cut : {size_t{10}, bytes.size() / 2, bytes.size() - 1}) {
            CPictureBitmap bitmap;
            const bool loaded = bitmap.LoadFromFile(folder_.Write("cut", bytes.substr(0, cut)), 0);
            EXPECT_EQ(loaded, !bitmap.IsEmpty()) << format << " cut at " << cut;
            if (loaded) {
                EXPECT_EQ(bitmap.Size(), QSize(16, 16)) << format << " cut at " << cut;
            }
        }
    }
}

}  // namespace
