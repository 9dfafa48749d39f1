// Full screen of the main window with a shipped skin: the frame off the monitor the window is
// on, the video area over all of that monitor, the invisible caption buttons out of reach, and
// everything back on leaving. Also run with two monitors (two-monitors.json), the window on
// the one that is not the primary.
#include <gtest/gtest.h>

#include <QApplication>
#include <QScreen>
#include <QTest>
#include <QWindow>
#include <filesystem>

#include "AppTestSupport.h"
#include "app/PlayerDlg.h"
#include "display/VideoWnd.h"
#include "platform/MessageBox.h"

#ifdef TVQ_SHIPPED_SKINS
namespace {

class FullScreenTest : public ::testing::Test {
protected:
    void SetUp() override {
        win::SetMessageBoxService(boxes);
        CopyShippedSkins(dir);
        dlg = std::make_unique<CPlayerDlg>(TestDialogOptions(dir, std::make_unique<FakePlayer>()));
    }
    void TearDown() override {
        dlg.reset();
        win::SetMessageBoxService(nullptr);
    }
    // The window's top rows: black video area, or something of the skin's caption.
    static bool TopRowsAreBlack(const QImage& shot) {
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < shot.width(); ++x)
                if ((shot.pixel(x, y) & 0xFFFFFF) != 0)
                    return false;
        return true;
    }

    TempFolder dir;
    std::shared_ptr<win::RecordingMessageBoxService> boxes =
        std::make_shared<win::RecordingMessageBoxService>();
    std::unique_ptr<CPlayerDlg> dlg;
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

}  // namespace
#endif
