#include "support/PictureBitmap.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <QImage>
#include <QPainter>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

class PictureBitmapTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "tvq-picture-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        folder_ = pattern + "/";
    }
    void TearDown() override {
        std::error_code ec;
        std::filesystem::remove_all(folder_, ec);
    }

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
        const std::string path = folder_ + name;
        EXPECT_TRUE(image.save(QString::fromStdString(path), format)) << format;
        return path;
    }

    std::string WriteBytes(const char* name, const std::string& bytes) {
        const std::string path = folder_ + name;
        std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
        return path;
    }

    static void ExpectNear(QRgb actual, QRgb expected, int tolerance) {
        EXPECT_NEAR(qRed(actual), qRed(expected), tolerance);
        EXPECT_NEAR(qGreen(actual), qGreen(expected), tolerance);
        EXPECT_NEAR(qBlue(actual), qBlue(expected), tolerance);
    }

    std::string folder_;
};

TEST_F(PictureBitmapTest, BmpLoadsPixelForPixel) {
    const std::string path = Save(Card(), "card.bmp", "BMP");
    CPictureBitmap bitmap;
    ASSERT_TRUE(bitmap.LoadFromFile(path, 0));
    EXPECT_FALSE(bitmap.IsEmpty());
    EXPECT_EQ(bitmap.Width(), 16);
    EXPECT_EQ(bitmap.Height(), 16);
    EXPECT_EQ(bitmap.Image().format(), QImage::Format_RGB32);
    EXPECT_EQ(bitmap.Image().pixel(0, 0), qRgb(255, 0, 0));
    EXPECT_EQ(bitmap.Image().pixel(15, 0), qRgb(0, 255, 0));
    EXPECT_EQ(bitmap.Image().pixel(0, 15), qRgb(0, 0, 255));
    EXPECT_EQ(bitmap.Image().pixel(15, 15), qRgb(255, 255, 255));
}

TEST_F(PictureBitmapTest, JpegLoadsLikeBmp) {
    const std::string path = Save(Card(), "card.jpg", "JPEG");
    CPictureBitmap bitmap;
    ASSERT_TRUE(bitmap.LoadFromFile(path, 0));
    EXPECT_EQ(bitmap.Size(), QSize(16, 16));
    // Lossy: corners away from the quarter edges keep their colour closely.
    ExpectNear(bitmap.Image().pixel(1, 1), qRgb(255, 0, 0), 40);
    ExpectNear(bitmap.Image().pixel(14, 14), qRgb(255, 255, 255), 40);
}

TEST_F(PictureBitmapTest, FormatIsTakenFromTheContentNotTheName) {
    const std::string path = Save(Card(), "card.bmp.jpg", "PNG");
    CPictureBitmap bitmap;
    EXPECT_TRUE(bitmap.LoadFromFile(path, 0));
    EXPECT_EQ(bitmap.Image().pixel(15, 15), qRgb(255, 255, 255));
}

TEST_F(PictureBitmapTest, BackgroundFillsTransparentParts) {
    QImage icon(8, 8, QImage::Format_ARGB32);
    icon.fill(Qt::transparent);
    icon.setPixel(3, 3, qRgba(0, 0, 255, 255));
    const std::string png = Save(icon, "icon.png", "PNG");
    const std::string ico = Save(icon, "icon.ico", "ICO");

    CPictureBitmap black;
    ASSERT_TRUE(black.LoadFromFile(png, 0));
    EXPECT_EQ(black.Image().pixel(0, 0), qRgb(0, 0, 0));
    EXPECT_EQ(black.Image().pixel(3, 3), qRgb(0, 0, 255));

    CPictureBitmap magenta;
    ASSERT_TRUE(magenta.LoadFromFile(ico, MakeColorRef(255, 0, 255)));
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

TEST_F(PictureBitmapTest, UnreadableFilesLeaveTheObjectEmpty) {
    std::string junk(3000, '\0');
    for (size_t i = 0; i < junk.size(); ++i) junk[i] = static_cast<char>((i * 37 + 11) & 0xFF);
    const std::string paths[] = {
        folder_ + "missing.bmp",
        WriteBytes("empty.bmp", ""),
        WriteBytes("junk.bmp", junk),
        WriteBytes("header-only.bmp", "BM"),
        folder_,  // a folder, not a file
    };
    for (const std::string& path : paths) {
        CPictureBitmap bitmap;
        EXPECT_FALSE(bitmap.LoadFromFile(path, 0)) << path;
        EXPECT_TRUE(bitmap.IsEmpty()) << path;
        EXPECT_EQ(bitmap.Width(), 0) << path;
    }
}

TEST_F(PictureBitmapTest, TruncatedPicturesNeverGiveAHalfObject) {
    for (const char* format : {"BMP", "JPEG", "PNG"}) {
        const std::string whole = Save(Card(), "whole", format);
        std::ifstream in(whole, std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(in)),
                                std::istreambuf_iterator<char>());
        for (size_t cut : {size_t{10}, bytes.size() / 2, bytes.size() - 1}) {
            CPictureBitmap bitmap;
            const bool loaded = bitmap.LoadFromFile(WriteBytes("cut", bytes.substr(0, cut)), 0);
            EXPECT_EQ(loaded, !bitmap.IsEmpty()) << format << " cut at " << cut;
            if (loaded) {
                EXPECT_EQ(bitmap.Size(), QSize(16, 16)) << format << " cut at " << cut;
            }
        }
    }
}

TEST(PictureBitmapColour, ColorRefHasRedInTheLowByte) {
    EXPECT_EQ(CPictureBitmap::ToQColor(0x0000FF), QColor(255, 0, 0));
    EXPECT_EQ(CPictureBitmap::ToQColor(0xFF0000), QColor(0, 0, 255));
    EXPECT_EQ(CPictureBitmap::ToQColor(MakeColorRef(1, 2, 3)), QColor(1, 2, 3));
}

}  // namespace
