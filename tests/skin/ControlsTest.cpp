#include <gtest/gtest.h>

#include <QApplication>
#include <QCursor>
#include <QEnterEvent>
#include <QPalette>
#include <memory>

#include "SkinTestSupport.h"
#include "platform/MessageBox.h"
#include "skin/DialogSkin.h"
#include "skin/IconButton.h"
#include "skin/SkinButton.h"
#include "skin/SkinHeader.h"
#include "skin/SkinLabel.h"
#include "skin/SkinList.h"

namespace {

class ControlsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        folder = dir.path().toStdString() + "/";
    }
    CSkinHeader* MakeList(COwnerDrawListCtrl* list) {
        list->resize(300, 100);
        list->InsertColumn(0, "File name", COwnerDrawListCtrl::LVCFMT_LEFT, 100);
        list->InsertColumn(1, "Time", COwnerDrawListCtrl::LVCFMT_RIGHT, 80);
        return CSkinHeader::Install(list, folder);
    }
    QTemporaryDir dir;
    std::string folder;
};

TEST_F(ControlsTest, ButtonTakesThePictureSizeOnlyWhenEveryPictureLoads) {
    QWidget parent;
    CSkinButton button(&parent);
    button.setGeometry(7, 9, 20, 15);
    SaveBmp(Filled(40, 30, Qt::red), folder + "n.bmp");
    SaveBmp(Filled(40, 30, Qt::green), folder + "p.bmp");
    SaveBmp(Filled(40, 30, Qt::blue), folder + "d.bmp");
    SaveBmp(Filled(40, 30, Qt::gray), folder + "b.bmp");
    EXPECT_FALSE(button.SetBitmaps(folder + "n.bmp", folder + "missing.bmp", folder + "d.bmp",
                                   folder + "b.bmp"));
    EXPECT_FALSE(button.IsLoaded());
    EXPECT_EQ(button.geometry(), QRect(7, 9, 20, 15));
    const QColor face = button.palette().color(QPalette::Button);
    EXPECT_TRUE(SameRgb(button.grab().toImage().pixelColor(1, 1), face));  // the plain look
    EXPECT_TRUE(
        button.SetBitmaps(folder + "n.bmp", folder + "p.bmp", folder + "d.bmp", folder + "b.bmp"));
    EXPECT_EQ(button.geometry(), QRect(7, 9, 40, 30));
    EXPECT_TRUE(SameRgb(button.grab().toImage().pixelColor(5, 5), Qt::red));
    button.setEnabled(false);
    EXPECT_TRUE(SameRgb(button.grab().toImage().pixelColor(5, 5), Qt::blue));
    button.setEnabled(true);
    button.SetDrawMode(2);
    EXPECT_TRUE(SameRgb(button.grab().toImage().pixelColor(5, 5), Qt::green));
    // A second tooltip replaces the first; a null one leaves it.
    button.SetTooltipText("Play");
    button.SetTooltipText("Stop");
    button.SetTooltipText(nullptr);
    EXPECT_EQ(button.toolTip(), QStringLiteral("Stop"));
}

TEST_F(ControlsTest, MagentaShowsTheFaceAndAPressedFocusedButtonShowsBothPictures) {
    QImage normal = Filled(20, 20, Qt::red);
    QPainter(&normal).fillRect(15, 0, 5, 5, kMagenta);
    QImage pressed = Filled(20, 20, Qt::green);
    QPainter(&pressed).fillRect(0, 0, 10, 20, kMagenta);
    SaveBmp(normal, folder + "n.bmp");
    SaveBmp(pressed, folder + "p.bmp");
    SaveBmp(Filled(20, 20, Qt::blue), folder + "d.bmp");
    QWidget parent;
    parent.resize(50, 50);
    CSkinButton button(&parent);
    ASSERT_TRUE(
        button.SetBitmaps(folder + "n.bmp", folder + "p.bmp", folder + "d.bmp", folder + "d.bmp"));
    parent.show();
    QApplication::setActiveWindow(&parent);
    button.setFocus();
    ASSERT_TRUE(button.hasFocus());
    button.setDown(true);
    // The pressed picture over the focused one, which shows through its magenta half.
    const QImage shot = button.grab().toImage();
    EXPECT_TRUE(SameRgb(shot.pixelColor(3, 10), Qt::red));
    EXPECT_TRUE(SameRgb(shot.pixelColor(15, 10), Qt::green));
    // Down without focus is drawn as normal, its magenta corner in the face colour.
    button.clearFocus();
    const QImage normalShot = button.grab().toImage();
    EXPECT_TRUE(SameRgb(normalShot.pixelColor(15, 10), Qt::red));
    EXPECT_TRUE(SameRgb(normalShot.pixelColor(17, 2), button.palette().color(QPalette::Button)));
}

TEST_F(ControlsTest, LabelShowsTheBackgroundUnderItAndTheFileNamePart) {
    QImage background = Filled(100, 60, Qt::blue);
    QPainter(&background).fillRect(30, 20, 70, 40, Qt::green);
    SaveBmp(background, folder + "Dialog-d.bmp");
    QWidget parent;
    parent.resize(100, 60);
    CSkinLabel label(&parent);
    label.setGeometry(30, 20, 60, 30);
    label.SetBackground(folder + "Dialog-d.bmp", true);
    EXPECT_TRUE(SameRgb(label.grab().toImage().pixelColor(59, 29), Qt::green));
    // Only the backslash cuts: a '/' belongs to the text.
    label.SetText("D:\\a/b\\second.tvq");
    EXPECT_EQ(label.DisplayedText(), "second.tvq");
    label.SetBackground("", false);  // keeps the picture, changes the flag
    EXPECT_EQ(label.DisplayedText(), "D:\\a/b\\second.tvq");
    EXPECT_TRUE(SameRgb(label.grab().toImage().pixelColor(59, 29), Qt::green));
}

TEST_F(ControlsTest, IconButtonShowsItsBorderOnlyWhileHovered) {
    QWidget parent;
    parent.resize(100, 50);
    CIconButton button(&parent);
    button.setGeometry(0, 0, 60, 24);
    button.setText(QStringLiteral("OK"));
    const QColor face = button.palette().color(QPalette::Button);
    const auto bordered = [&] {
        return !SameRgb(button.grab().toImage().pixelColor(59, 23), face);
    };
    const auto enter = [&] {
        QEnterEvent event(QPointF(30, 12), QPointF(30, 12), button.mapToGlobal(QPointF(30, 12)));
        QApplication::sendEvent(&button, &event);
    };
    const auto leave = [&] {
        QEvent event(QEvent::Leave);
        QApplication::sendEvent(&button, &event);
    };
    parent.show();
    EXPECT_FALSE(bordered());
    QApplication::setActiveWindow(&parent);
    enter();
    EXPECT_TRUE(bordered());
    leave();
    EXPECT_FALSE(bordered());
    // Losing the focus ends the hover as leaving does.
    enter();
    button.setFocus();
    ASSERT_TRUE(button.hasFocus());
    EXPECT_TRUE(bordered());
    button.clearFocus();
    EXPECT_FALSE(bordered());
    // Without an active window the pointer passing over does not light it.
    leave();
    QApplication::setActiveWindow(nullptr);
    enter();
    EXPECT_FALSE(bordered());
}

TEST_F(ControlsTest, HeaderPressEndsWhenTheWindowLosesTheMouse) {
    COwnerDrawListCtrl list;
    CSkinHeader* header = MakeList(&list);
    list.show();
    QApplication::setActiveWindow(&list);
    QWidget* port = header->viewport();
    const QPoint onFirst(50, 5);
    QCursor::setPos(port->mapToGlobal(onFirst));
    SendMouse(port, QEvent::MouseMove, onFirst, Qt::NoButton, Qt::NoButton);
    SendMouse(port, QEvent::MouseButtonPress, onFirst, Qt::LeftButton, Qt::LeftButton);
    ASSERT_TRUE(header->IsPressed());
    ASSERT_EQ(header->HotItem(), 0);
    // The pressed item has the sunken edge (no listhead.bmp covers it here).
    const QColor light = header->palette().color(QPalette::Light);
    EXPECT_FALSE(SameRgb(port->grab().toImage().pixelColor(0, 0), light));
    // Another window takes the mouse before the button comes up.
    QWidget other;
    other.show();
    QApplication::setActiveWindow(&other);
    EXPECT_FALSE(header->IsPressed());
    EXPECT_EQ(header->HotItem(), -1);
    EXPECT_TRUE(SameRgb(port->grab().toImage().pixelColor(0, 0), light));
    // Hiding the list ends a press too.
    QApplication::setActiveWindow(&list);
    SendMouse(port, QEvent::MouseButtonPress, onFirst, Qt::LeftButton, Qt::LeftButton);
    ASSERT_TRUE(header->IsPressed());
    list.hide();
    EXPECT_FALSE(header->IsPressed());
}

TEST_F(ControlsTest, HeaderDrawsListheadAndRepaintsOncePerHotChange) {
    QDir().mkpath(QString::fromStdString(folder + "skin/blue"));
    SaveBmp(Filled(10, 10, Qt::darkBlue), folder + "skin/blue/listhead.bmp");
    COwnerDrawListCtrl list;
    CSkinHeader* header = MakeList(&list);
    ASSERT_EQ(list.header(), header);
    list.SetHeaderBitmap("skin\\blue\\");
    EXPECT_EQ(header->BitmapPath(), folder + "skin/blue/listhead.bmp");
    list.show();
    header->resize(300, 24);
    const QImage shot = header->viewport()->grab().toImage();
    EXPECT_TRUE(SameRgb(shot.pixelColor(50, 2), Qt::darkBlue));
    EXPECT_TRUE(SameRgb(shot.pixelColor(250, 10), Qt::darkBlue));  // the area after the last item
    QWidget* port = header->viewport();
    SendMouse(port, QEvent::MouseMove, QPoint(10, 5), Qt::NoButton, Qt::NoButton);
    SendMouse(port, QEvent::MouseMove, QPoint(50, 5), Qt::NoButton, Qt::NoButton);
    EXPECT_EQ(header->HotItem(), 0);
    SendMouse(port, QEvent::MouseMove, QPoint(150, 5), Qt::NoButton, Qt::NoButton);
    SendMouse(port, QEvent::MouseMove, QPoint(160, 5), Qt::NoButton, Qt::NoButton);
    EXPECT_EQ(header->HotItem(), 1);
    EXPECT_EQ(header->HotChanges(), 2);
}

TEST_F(ControlsTest, SecondaryDialogIsFramedByItsThemeAndItsLabelsAndButtonShowTheBackground) {
    auto boxes = std::make_shared<win::RecordingMessageBoxService>();
    win::SetMessageBoxService(boxes);
    CreateSkinList("");
    QWidget dialog;
    dialog.resize(160, 120);
    QWidget client(&dialog);
    CSkinLabel label(&client);
    label.setGeometry(5, 5, 20, 10);
    CIconButton button(&client);
    button.setGeometry(10, 30, 80, 30);
    button.SetAlign(CIconButton::IconAbove, false);
    button.SetTransparent(true);
    button.setText(QStringLiteral("OK"));
    // Without a theme.ini: the ordinary frame, no message, centred.
    CDialogSkin plain(folder);
    plain.ApplyDialogSkin(&dialog, &client, {&label});
    EXPECT_TRUE(boxes->Boxes().empty());
    EXPECT_TRUE(!plain.Frame().IsAttached() && plain.AttachPending());
    EXPECT_EQ(dialog.frameGeometry().center(), dialog.screen()->availableGeometry().center());
    win::SetMessageBoxService(nullptr);
    QDir().mkpath(QString::fromStdString(folder + "skin/xpstyle"));
    TestSkin theme(folder + "skin/xpstyle");
    theme.Write();
    SaveBmp(Filled(200, 200, Qt::darkGreen), theme.folder + "Dialog-d.bmp");
    CDialogSkin skin(folder);
    skin.ApplyDialogSkin(&dialog, &client, {&label});
    EXPECT_TRUE(skin.Frame().IsAttached() && !skin.AttachPending());
    EXPECT_EQ(dialog.size(), QSize(160, 120));  // not fitted
    EXPECT_TRUE(SameRgb(label.grab().toImage().pixelColor(2, 2), Qt::darkGreen));
    const QImage shot = dialog.grab().toImage();
    EXPECT_TRUE(SameRgb(shot.pixelColor(button.mapTo(&dialog, QPoint(2, 2))), Qt::darkGreen));
    DeleteSkinList();
}

}  // namespace
