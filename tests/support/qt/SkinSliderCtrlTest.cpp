#include <gtest/gtest.h>

#include <QApplication>
#include <QPaintEvent>
#include <QRegion>
#include <QTemporaryDir>
#include <memory>

#include "support/SkinSliderCtrl.h"

namespace {

bool Uniform(const QImage& image, QColor colour) {
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixelColor(x, y).rgb() != colour.rgb())
                return false;
    return true;
}

class SkinSliderCtrlTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        folder = dir.path().toStdString() + "/";
        // The dialog background: its left 60 columns blue, the rest yellow.
        QImage background(200, 100, QImage::Format_RGB32);
        background.fill(Qt::yellow);
        for (int y = 0; y < 100; ++y)
            for (int x = 0; x < 60; ++x) background.setPixelColor(x, y, Qt::blue);
        background.save(QString::fromStdString(folder + "dialog-p.bmp"), "BMP");
        parent = std::make_unique<QWidget>();
        parent->resize(200, 100);
        slider = new CSkinSliderCtrl(parent.get());
        slider->setGeometry(10, 20, 120, 20);
        slider->setRange(0, 100);
    }

    void SaveThumb(int w, int h) {
        QImage thumb(w, h, QImage::Format_RGB32);
        thumb.fill(Qt::red);
        thumb.save(QString::fromStdString(folder + "thumb-p.bmp"), "BMP");
    }

    QTemporaryDir dir;
    std::string folder;
    std::unique_ptr<QWidget> parent;  // made once the application exists
    CSkinSliderCtrl* slider = nullptr;
};

TEST_F(SkinSliderCtrlTest, TheDefaultLookIsNeverDrawn) {
    slider->setValue(50);
    EXPECT_FALSE(slider->IsSkinned());
    EXPECT_TRUE(Uniform(slider->grab().toImage(), Qt::black));
    slider->SetSkin(folder + "none/", folder + "missing.bmp");
    EXPECT_TRUE(slider->IsSkinned());
    EXPECT_TRUE(Uniform(slider->grab().toImage(), Qt::black));
}

TEST_F(SkinSliderCtrlTest, ShowsTheBackgroundUnderItAndTheThumb) {
    SaveThumb(6, 14);
    slider->setValue(100);  // thumb at the right end, over the yellow part
    slider->SetSkin(folder, folder + "dialog-p.bmp");
    const QImage shot = slider->grab().toImage();
    // Columns 0 .. 49 of the control lie over background columns 10 .. 59: blue.
    EXPECT_EQ(shot.pixelColor(2, 2).rgb(), QColor(Qt::blue).rgb());
    EXPECT_EQ(shot.pixelColor(55, 2).rgb(), QColor(Qt::yellow).rgb());
    const QRect thumb = slider->GetThumbRect();
    EXPECT_EQ(shot.pixelColor(thumb.left() + 1, thumb.top() + 1).rgb(), QColor(Qt::red).rgb());
}

TEST_F(SkinSliderCtrlTest, LargeThumbIsCutAtItsRectangle) {
    SaveThumb(200, 40);
    slider->setValue(0);
    slider->SetSkin(folder, folder + "dialog-p.bmp");
    const QImage shot = slider->grab().toImage();
    const QRect thumb = slider->GetThumbRect();
    const int beyond = thumb.right() + CSkinSliderCtrl::kThumbExtraWidth + 2;
    ASSERT_LT(beyond, shot.width());
    EXPECT_EQ(shot.pixelColor(thumb.right() + CSkinSliderCtrl::kThumbExtraWidth, thumb.top()).rgb(),
              QColor(Qt::red).rgb());
    EXPECT_NE(shot.pixelColor(beyond, thumb.top()).rgb(), QColor(Qt::red).rgb());
}

TEST_F(SkinSliderCtrlTest, MovedSliderKeepsItsOldBackgroundUntilSetSkinAgain) {
    slider->SetSkin(folder, folder + "dialog-p.bmp");
    slider->move(70, 20);  // now entirely over yellow
    EXPECT_EQ(slider->grab().toImage().pixelColor(2, 2).rgb(), QColor(Qt::blue).rgb());
    slider->SetSkin(folder, folder + "dialog-p.bmp");
    EXPECT_EQ(slider->grab().toImage().pixelColor(2, 2).rgb(), QColor(Qt::yellow).rgb());
}

// Counts the paints a widget gets and the area they cover.
class PaintCounter : public QObject {
public:
    int paints = 0;
    QRegion painted;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            ++paints;
            painted += static_cast<QPaintEvent*>(event)->region();
        }
        return false;
    }
};

TEST_F(SkinSliderCtrlTest, APositionRepaintsOnlyWhenTheThumbMovesAndOnlyAroundIt) {
    SaveThumb(9, 16);
    slider->setRange(0, 7200);  // two hours on 120 pixels: a minute is about a pixel
    slider->SetSkin(folder, folder + "dialog-p.bmp");
    parent->show();
    QApplication::processEvents();
    PaintCounter counter;
    slider->installEventFilter(&counter);
    for (int second = 1; second <= 5; ++second) slider->setValue(second);
    QApplication::processEvents();
    EXPECT_EQ(counter.paints, 0) << "seconds that do not move the thumb a pixel";
    slider->setValue(3600);
    QApplication::processEvents();
    EXPECT_EQ(counter.paints, 1);
    int area = 0;
    for (const QRect& r : counter.painted) area += r.width() * r.height();
    EXPECT_LT(area, slider->width() * slider->height() / 2) << "only where the thumb was and is";
    EXPECT_TRUE(counter.painted.contains(slider->GetThumbRect()));
    slider->removeEventFilter(&counter);
}

}  // namespace
