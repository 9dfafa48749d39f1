// The main window's size for the movie that starts: the geometry rule on its own, then the
// dialog with a shipped skin growing for a 720p picture and keeping its controls at the edges
// the skin's layout ties them to; and full screen on the window's own monitor.
#include <gtest/gtest.h>

#include <QApplication>
#include <QScreen>
#include <QTest>
#include <QWindow>

#include "AppTestSupport.h"
#include "app/WindowFit.h"
#include "display/VideoWnd.h"
#include "engine/Messages.h"
#include "skin/MainSkin.h"
#include "skin/SkinButton.h"

namespace {

// A window at the skin's size, centred on a 1920x1080 screen: 20 x 200 pixels of frame,
// slider, buttons and list around a 580 x 300 picture area.
const QRect kSkinWindow(660, 275, 600, 500);
const QSize kSkinArea(580, 300);
const QRect kLargeScreen(0, 0, 1920, 1050);

WindowFitRequest Request(QSize picture, QRect available = kLargeScreen) {
    return {kSkinWindow, kSkinWindow.size(), kSkinArea, picture, available};
}

TEST(FitWindowToPicture, GrowsByWhatThePictureNeedsAroundTheSameCentre) {
    const QRect grown = FitWindowToPicture(Request(QSize(1280, 720)));
    EXPECT_EQ(grown.size(), QSize(1300, 920));
    EXPECT_EQ(grown.center(), kSkinWindow.center());
    // One side larger is enough; the other keeps the base size.
    EXPECT_EQ(FitWindowToPicture(Request(QSize(1280, 200))).size(), QSize(1300, 500));
    EXPECT_EQ(FitWindowToPicture(Request(QSize(400, 400))).size(), QSize(600, 600));
}

TEST(FitWindowToPicture, ASmallerPictureLeavesTheWindowOrTakesItBackToItsBase) {
    EXPECT_EQ(FitWindowToPicture(Request(QSize(320, 240))), kSkinWindow);
    EXPECT_EQ(FitWindowToPicture(Request(QSize(580, 300))), kSkinWindow);
    // From the grown window back to the skin's size, where it was.
    const QRect grown = FitWindowToPicture(Request(QSize(1280, 720)));
    const WindowFitRequest back{grown, kSkinWindow.size(), QSize(1280, 720), QSize(320, 240),
                                kLargeScreen};
    EXPECT_EQ(FitWindowToPicture(back), kSkinWindow);
    // A base larger than the skin (the user's size) is never undercut.
    const WindowFitRequest user{grown, QSize(900, 700), QSize(1280, 720), QSize(320, 240),
                                kLargeScreen};
    EXPECT_EQ(FitWindowToPicture(user).size(), QSize(900, 700));
}

TEST(FitWindowToPicture, ASmallScreenGetsTheLargestAreaOfThePicturesAspect) {
    const QRect screen(0, 0, 1280, 800);
    const QRect fitted = FitWindowToPicture(Request(QSize(1280, 720), screen));
    // 600 rows are left for the picture: 1066 x 600, 16:9 as near as whole pixels go.
    EXPECT_EQ(fitted.size(), QSize(1086, 800));
    EXPECT_TRUE(screen.contains(fitted));
    // A picture wider than tall hits the width first.
    const QRect wide = FitWindowToPicture(Request(QSize(2560, 720), screen));
    EXPECT_EQ(wide.size(), QSize(1280, 200 + 720 * 1260 / 2560));
    EXPECT_TRUE(screen.contains(wide));
    // A screen offset by a panel keeps the window on it.
    const QRect panel(0, 40, 1280, 760);
    EXPECT_TRUE(panel.contains(FitWindowToPicture(Request(QSize(1280, 720), panel))));
}

TEST(FitWindowToPicture, AWindowNearAnEdgeIsMovedOntoTheScreen) {
    const WindowFitRequest nearEdge{QRect(1300, 500, 600, 500), QSize(600, 500), kSkinArea,
                                    QSize(1280, 720), kLargeScreen};
    EXPECT_EQ(FitWindowToPicture(nearEdge), QRect(620, 130, 1300, 920));
    // Without a screen it only grows; without a picture or an area nothing changes.
    EXPECT_EQ(FitWindowToPicture(Request(QSize(1280, 720), QRect())).size(), QSize(1300, 920));
    EXPECT_EQ(FitWindowToPicture(Request(QSize())), kSkinWindow);
    EXPECT_EQ(FitWindowToPicture(
                  {kSkinWindow, kSkinWindow.size(), QSize(), QSize(1280, 720), kLargeScreen}),
              kSkinWindow);
}

#ifdef TVQ_SHIPPED_SKINS

// Distances of a control to the client area's right and bottom edges.
QPoint ToFarEdges(const QWidget* control) {
    const QWidget* client = control->parentWidget();
    return QPoint(client->width() - control->geometry().right(),
                  client->height() - control->geometry().bottom());
}

// A dialog on a copy of the shipped skins.
class ShippedSkinTest : public DialogTest {
protected:
    void SetUp() override {
        CopyShippedSkins(dir);
        DialogTest::SetUp();
    }
};

class WindowFitDialogTest : public ShippedSkinTest {
protected:
    void Configure(CPlayerDlg::Options& options) override {
        options.availableGeometry = [this] { return screen; };
    }
    void SetUp() override {
        ShippedSkinTest::SetUp();
        dlg->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(dlg.get()));
        skinSize = dlg->size();
        video = dlg->VideoWindow();
        skinArea = video->PictureArea();
    }
    // Waits for the window system to hand the window its new size and the layout to follow.
    void WaitForSize(QSize size) {
        const QSize client = size - (skinSize - kDrawnSize);
        ASSERT_TRUE(QTest::qWaitFor([&] {
            return dlg->size() == size && dlg->Client()->size() == client;
        })) << "window "
            << dlg->width() << "x" << dlg->height() << ", wanted " << size.width() << "x"
            << size.height();
    }

    static constexpr QSize kDrawnSize{600, 500};  // the shipped skins' dialog-p.bmp
    QRect screen{0, 0, 1920, 1080};
    CVideoWnd* video = nullptr;
    QSize skinSize, skinArea;
};

TEST_F(WindowFitDialogTest, A720pPictureGrowsTheWindowUntilTheVideoAreaHoldsItWhole) {
    ASSERT_EQ(dlg->Client()->size(), kDrawnSize);
    ASSERT_EQ(video->geometry(), QRect(8, 8, 584, 328));
    ASSERT_LT(skinArea.height(), 720);
    CSkinSliderCtrl* slider = Slider();
    const QPoint sliderLeft = slider->pos(), sliderToEdges = ToFarEdges(slider);
    const QPoint listToEdges = ToFarEdges(List());
    const QPoint styleToEdges = ToFarEdges(dlg->Button(IDC_STYLE));
    const QPoint play = dlg->Button(IDC_PLAY)->pos();
    const int playToBottom = ToFarEdges(dlg->Button(IDC_PLAY)).y();

    dlg->FitToPicture(QSize(1280, 720));
    ASSERT_NO_FATAL_FAILURE(WaitForSize(skinSize + QSize(1280, 720) - skinArea));
    EXPECT_EQ(video->PictureArea(), QSize(1280, 720));
    EXPECT_EQ(CVideoWnd::ShownSize(QSize(1280, 720), 1.0f, video->PictureArea()), QSize(1280, 720));
    EXPECT_TRUE(screen.contains(dlg->geometry()));
    // The slider and the list stretch between the edges they were tied to, the style button
    // stays at the right, the play button at the left, all at the same height from the bottom.
    EXPECT_EQ(slider->pos().x(), sliderLeft.x());
    EXPECT_EQ(ToFarEdges(slider), sliderToEdges);
    EXPECT_EQ(slider->BackgroundSnapshot().size(), slider->size());
    EXPECT_EQ(ToFarEdges(List()), listToEdges);
    EXPECT_EQ(ToFarEdges(dlg->Button(IDC_STYLE)), styleToEdges);
    EXPECT_EQ(dlg->Button(IDC_PLAY)->pos().x(), play.x());
    EXPECT_EQ(ToFarEdges(dlg->Button(IDC_PLAY)).y(), playToBottom);
}

TEST_F(WindowFitDialogTest, OnASmallScreenTheWindowStaysOnItAndThePictureIsScaledDown) {
    screen = QRect(0, 0, 1024, 700);
    dlg->FitToPicture(QSize(1280, 720));
    ASSERT_TRUE(QTest::qWaitFor([&] {
        return dlg->size() != skinSize &&
               dlg->Client()->size() == dlg->size() - (skinSize - kDrawnSize);
    }));
    EXPECT_TRUE(screen.contains(dlg->geometry()));
    const QSize area = video->PictureArea();
    EXPECT_GT(area.width(), skinArea.width());
    EXPECT_LT(area.height(), 720);
    const QSize shown = CVideoWnd::ShownSize(QSize(1280, 720), 1.0f, area);
    EXPECT_LE(shown.width(), area.width());
    EXPECT_LE(shown.height(), area.height());
    // The area was cut to the picture's shape: no bars beyond a rounding pixel.
    EXPECT_LE(area.width() - shown.width() + area.height() - shown.height(), 1);
}

TEST_F(WindowFitDialogTest, SmallMoviesLeaveTheWindowAndAGrownOneReturnsToTheSkinsSize) {
    // In the middle of the screen, where growing needs no push back onto it.
    dlg->move(screen.center() - QPoint((skinSize.width() - 1) / 2, (skinSize.height() - 1) / 2));
    ASSERT_TRUE(QTest::qWaitFor([&] { return dlg->geometry().center() == screen.center(); }));
    const QRect before = dlg->geometry();
    dlg->FitToPicture(QSize(320, 240));
    // Nor does the start of a movie the video window has no picture of.
    dlg->OnWinMessage(WM_PLAY_STARTING, 0, 0);
    QApplication::processEvents();
    EXPECT_EQ(dlg->geometry(), before);
    EXPECT_EQ(video->geometry(), QRect(8, 8, 584, 328));

    dlg->FitToPicture(QSize(1280, 720));
    ASSERT_NO_FATAL_FAILURE(WaitForSize(skinSize + QSize(1280, 720) - skinArea));
    dlg->FitToPicture(QSize(320, 240));
    ASSERT_NO_FATAL_FAILURE(WaitForSize(skinSize));
    EXPECT_EQ(video->geometry(), QRect(8, 8, 584, 328));
    EXPECT_EQ(dlg->geometry().center(), before.center());
}

TEST_F(WindowFitDialogTest, TheUsersOwnSizeAndAMaximisedWindowAreLeftAlone) {
    dlg->FitToPicture(QSize(1280, 720));
    ASSERT_NO_FATAL_FAILURE(WaitForSize(skinSize + QSize(1280, 720) - skinArea));
    // The user makes the window a little smaller: the next small movie keeps that size.
    const QSize userSize = dlg->size() - QSize(100, 50);
    dlg->resize(userSize);
    ASSERT_NO_FATAL_FAILURE(WaitForSize(userSize));
    dlg->FitToPicture(QSize(320, 240));
    QApplication::processEvents();
    EXPECT_EQ(dlg->size(), userSize);

    dlg->setWindowState(Qt::WindowMaximized);
    QApplication::processEvents();
    const QRect maximised = dlg->geometry();
    dlg->FitToPicture(QSize(1920, 1080));
    QApplication::processEvents();
    EXPECT_TRUE(dlg->isMaximized());
    EXPECT_EQ(dlg->geometry(), maximised);
}

// Full screen with a shipped skin: the frame off the monitor the window is on, the video area
// over all of that monitor, the invisible caption buttons out of reach, and everything back on
// leaving. Also run with two monitors (two-monitors.json), the window on the one that is not
// the primary.
class FullScreenTest : public ShippedSkinTest {
protected:
    // The window's top rows: black video area, or something of the skin's caption.
    static bool TopRowsAreBlack(const QImage& shot) {
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < shot.width(); ++x)
                if ((shot.pixel(x, y) & 0xFFFFFF) != 0)
                    return false;
        return true;
    }
};

TEST_F(FullScreenTest, TheFrameLeavesTheWindowsOwnMonitorToTheVideoAreaAndComesBack) {
    QScreen* own = QGuiApplication::screens().back();
    const QRect monitor = own->geometry();
    dlg->move(monitor.topLeft() + QPoint(30, 20));
    dlg->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(dlg.get()));
    dlg->windowHandle()->setScreen(own);
    ASSERT_TRUE(QTest::qWaitFor([&] { return dlg->screen() == own; }));
    const QRect normal = dlg->geometry();
    const QMargins frame = dlg->contentsMargins();
    ASSERT_GT(frame.top(), 0);
    // The caption and the skin's rounded corners are there.
    ASSERT_FALSE(dlg->mask().isEmpty());
    ASSERT_FALSE(TopRowsAreBlack(dlg->grab().toImage()));

    CVideoWnd* video = dlg->VideoWindow();
    video->ToggleFullScreen();
    ASSERT_TRUE(QTest::qWaitFor([&] { return dlg->geometry() == monitor; }))
        << dlg->geometry().width() << "x" << dlg->geometry().height();
    QApplication::processEvents();
    EXPECT_EQ(dlg->contentsMargins(), QMargins());
    EXPECT_TRUE(dlg->mask().isEmpty());
    EXPECT_EQ(video->ScreenSize(), monitor.size());
    EXPECT_EQ(video->mapTo(dlg.get(), QPoint(0, 0)), QPoint(0, 0));
    EXPECT_EQ(video->size(), monitor.size());
    EXPECT_EQ(video->visibleRegion(), QRegion(video->rect()));
    EXPECT_TRUE(TopRowsAreBlack(dlg->grab().toImage()));
    // Where the close button was drawn, a click reaches the video area and nothing closes.
    QTest::mouseClick(dlg->windowHandle(), Qt::LeftButton, {}, QPoint(monitor.width() - 20, 10));
    QApplication::processEvents();
    EXPECT_TRUE(dlg->isVisible());
    EXPECT_TRUE(video->IsFullScreen());
    // The window system may give it another monitor than the one it was mostly on: the video
    // area covers what the window was given.
    const QRect other(monitor.topLeft(), monitor.size() / 2);
    dlg->setGeometry(other);
    EXPECT_TRUE(QTest::qWaitFor([&] { return video->size() == other.size(); }));
    EXPECT_EQ(video->ScreenSize(), other.size());

    video->ToggleFullScreen();
    ASSERT_TRUE(QTest::qWaitFor([&] { return dlg->geometry() == normal; }));
    QApplication::processEvents();
    EXPECT_EQ(dlg->contentsMargins(), frame);
    EXPECT_FALSE(dlg->mask().isEmpty());
    EXPECT_FALSE(TopRowsAreBlack(dlg->grab().toImage()));
    EXPECT_LT(video->width(), monitor.width());
}

#endif  // TVQ_SHIPPED_SKINS

}  // namespace
