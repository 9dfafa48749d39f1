#include <gtest/gtest.h>

#include <QCloseEvent>
#include <QDialog>
#include <QGuiApplication>
#include <QMenu>
#include <QPainter>
#include <QScreen>
#include <QTimer>
#include <map>
#include <memory>

#include "SkinTestSupport.h"
#include "skin/SkinWnd.h"
#include "support/LanguageTable.h"

namespace {

class CloseCounter : public QWidget {
public:
    int closes = 0;

protected:
    void closeEvent(QCloseEvent* e) override {
        ++closes;
        e->ignore();
    }
};

constexpr int W = 200, H = 150;

class SkinWndTest : public ::testing::Test {
protected:
    void SetUp() override {
        TestApp();
        ASSERT_TRUE(dir.isValid());
        skin = std::make_unique<TestSkin>(dir.path().toStdString());
    }

    // A window of W x H with the given boxes, the frame loaded from the test skin and attached.
    std::unique_ptr<CloseCounter> MakeWindow(bool thick, bool minBox, bool maxBox) {
        auto window = std::make_unique<CloseCounter>();
        Qt::WindowFlags flags = Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint;
        if (minBox)
            flags |= Qt::WindowMinimizeButtonHint;
        if (maxBox)
            flags |= Qt::WindowMaximizeButtonHint;
        window->setWindowFlags(flags);
        window->setProperty(CSkinWnd::kThickFrameProperty, thick);
        window->resize(W, H);
        skin->Write();
        EXPECT_EQ(frame.LoadSkin(skin->Ini()), 1);
        EXPECT_EQ(frame.Attach(window.get(), false), 1);
        return window;
    }

    QTemporaryDir dir;
    std::unique_ptr<TestSkin> skin;
    CSkinWnd frame;
};

TEST_F(SkinWndTest, LoadSkinReadsThicknessesFromHalfTheEdgeBitmaps) {
    skin->Write();
    ASSERT_EQ(frame.LoadSkin(skin->Ini()), 1);
    EXPECT_EQ(frame.CaptionHeight(), TestSkin::kCaption);
    EXPECT_EQ(frame.LeftWidth(), TestSkin::kBorder);
    EXPECT_EQ(frame.RightWidth(), TestSkin::kBorder);
    EXPECT_EQ(frame.BottomHeight(), TestSkin::kBorder);
    EXPECT_FALSE(frame.Background().IsEmpty());  // DialogBmp, as no background was given

    // An odd caption bitmap rounds down; an oversized tail leaves a body one column wide.
    SaveBmp(Filled(60, 31, kActiveCaption), skin->folder + "top.bmp");
    skin->personality = "TopTopHeight=10\nTopBotHeight=100\n";
    skin->Write();
    ASSERT_EQ(frame.LoadSkin(skin->Ini()), 1);
    EXPECT_EQ(frame.CaptionHeight(), 15);
    EXPECT_EQ(frame.TopHead(), 10);
    EXPECT_EQ(frame.TopTail(), 11);

    // Numbers past the bitmap, either way, are held inside it.
    skin->personality = "TopTopHeight=2147483647\nTopBotHeight=-2147483648\n";
    skin->Write();
    ASSERT_EQ(frame.LoadSkin(skin->Ini()), 1);
    EXPECT_EQ(frame.TopHead(), 59);
    EXPECT_EQ(frame.TopTail(), 60);
    skin->personality = "TopTopHeight=-5\nTopBotHeight=2147483647\n";
    skin->Write();
    ASSERT_EQ(frame.LoadSkin(skin->Ini()), 1);
    EXPECT_EQ(frame.TopHead(), 0);
    EXPECT_EQ(frame.TopTail(), 1);
}

TEST_F(SkinWndTest, HostileNumbersStayInsideTheirBitmapsAndTheFramePaintsWhole) {
    // Each edge cut past its bitmap, and places far outside any window: a frame painted from
    // these must end, with every edge in its place.
    skin->personality =
        "TopTopHeight=2147483647\nTopBotHeight=2147483647\nLeftTopHeight=2147483647\n"
        "LeftBotHeight=-2147483648\nRightTopHeight=-2147483648\nRightBotHeight=2147483647\n"
        "BottomTopHeight=2147483647\nBottomBotHeight=2147483647\nTextShift=-2147483648\n"
        "TextShiftVert=2147483647\n";
    skin->buttons =
        "[Button0]\nButtonImage=close.bmp\nAction=0\nXCoord=-2147483648\nYCoord=2147483647\n"
        "[Button1]\nButtonImage=max.bmp\nAction=1\nXCoord=2147483647\nYCoord=-2147483648\n";
    skin->buttonCount = 2;
    auto window = MakeWindow(true, true, true);
    ASSERT_EQ(frame.TopHead(), 59);
    ASSERT_EQ(frame.TopTail(), 60);
    QImage shot(W, H, QImage::Format_RGB32);
    shot.fill(Qt::black);
    {
        QPainter painter(&shot);
        frame.PaintFrame(painter, QSize(W, H));
    }
    EXPECT_TRUE(SameRgb(shot.pixelColor(W / 2, TestSkin::kCaption / 2), kInactiveCaption));
    EXPECT_TRUE(SameRgb(shot.pixelColor(1, H / 2), kBorderInactive));
    EXPECT_TRUE(SameRgb(shot.pixelColor(W - TestSkin::kBorder, H / 2), kBorderInactive));
    EXPECT_TRUE(SameRgb(shot.pixelColor(W / 2, H - 2), kBorderInactive));
    // The buttons land far outside the window rather than wrapping round onto it.
    EXPECT_FALSE(frame.GetButtonRect(0).intersects(QRect(0, 0, W, H)));
    EXPECT_FALSE(frame.GetButtonRect(1).intersects(QRect(0, 0, W, H)));
    EXPECT_EQ(frame.HitTest(W / 2, H / 2), HTCLIENT);
}

TEST_F(SkinWndTest, LoadSkinFailsWithoutAnEdgeOrWithAMissingButtonImage) {
    QWidget window;
    WriteText(skin->Ini(), "[Personality]\nLeft=left.bmp\nRight=right.bmp\nBottom=bottom.bmp\n");
    EXPECT_EQ(frame.LoadSkin(skin->Ini()), 0);
    EXPECT_EQ(frame.Attach(&window, false), 0);
    EXPECT_FALSE(frame.IsAttached());

    skin->buttons = "[Button0]\nButtonImage=nothere.bmp\nAction=0\nXCoord=20\n";
    skin->buttonCount = 1;
    skin->Write();
    EXPECT_EQ(frame.LoadSkin(skin->Ini()), 0);

    skin->buttons = "[Button0]\nAction=2\n";
    skin->Write();
    EXPECT_EQ(frame.LoadSkin(skin->Ini()), 0);

    // A button of an unknown action is skipped, whatever its image.
    skin->buttons = "[Button0]\nButtonImage=nothere.bmp\nAction=7\n";
    skin->Write();
    EXPECT_EQ(frame.LoadSkin(skin->Ini()), 1);
    EXPECT_EQ(frame.Attach(&window, false), 1);
}

TEST_F(SkinWndTest, HitTestFindsBordersCornersButtonsAndCaption) {
    auto window = MakeWindow(true, true, true);
    EXPECT_EQ(frame.HitTest(0, 0), HTTOPLEFT);
    EXPECT_EQ(frame.HitTest(W - 1, 0), HTTOPRIGHT);
    EXPECT_EQ(frame.HitTest(0, H - 1), HTBOTTOMLEFT);
    EXPECT_EQ(frame.HitTest(W - 1, H - 1), HTBOTTOMRIGHT);
    EXPECT_EQ(frame.HitTest(0, 60), HTLEFT);
    EXPECT_EQ(frame.HitTest(W - 1, 60), HTRIGHT);
    EXPECT_EQ(frame.HitTest(100, H - 1), HTBOTTOM);
    EXPECT_EQ(frame.HitTest(100, 3), HTTOP);     // the top band is as high as the bottom border
    EXPECT_EQ(frame.HitTest(100, 4), HTCLIENT);  // between the top band and the caption's 5 px
    EXPECT_EQ(frame.HitTest(100, 10), HTCAPTION);
    EXPECT_EQ(frame.HitTest(100, 60), HTCLIENT);
    EXPECT_EQ(frame.HitTest(6, 7), HTSYSMENU);
    // Buttons: close at W - 20, maximize at W - 40, minimize at W - 60, from y 3, 16 x 14.
    EXPECT_EQ(frame.HitTest(W - 20, 3), HTCLOSE);
    EXPECT_EQ(frame.HitTest(W - 5, 16), HTCLOSE);
    EXPECT_EQ(frame.HitTest(W - 4, 10), HTTOPRIGHT);  // the corner is as high as the caption
    EXPECT_EQ(frame.HitTest(W - 35, 10), HTMAXBUTTON);
    EXPECT_EQ(frame.HitTest(W - 55, 10), HTMINBUTTON);
    EXPECT_EQ(frame.GetButtonRect(0), QRect(W - 20, 3, 16, 14));
}

TEST_F(SkinWndTest, WithoutThickFrameTheBordersAndTheTopBandAreClient) {
    auto window = MakeWindow(false, true, true);
    EXPECT_EQ(frame.HitTest(0, 60), HTCLIENT);
    EXPECT_EQ(frame.HitTest(W - 1, H - 1), HTCLIENT);
    EXPECT_EQ(frame.HitTest(100, 2), HTCLIENT);
    EXPECT_EQ(frame.HitTest(100, 5), HTCAPTION);
}

TEST_F(SkinWndTest, MinimizeTakesTheMaximizePlaceWithoutAMaximizeBox) {
    auto window = MakeWindow(false, true, false);
    EXPECT_EQ(frame.HitTest(W - 35, 10), HTMINBUTTON);
    EXPECT_EQ(frame.HitTest(W - 55, 10), HTCAPTION);
    // Drawn there too: the minimize picture's normal state shows at the maximize place.
    const QImage shot = window->grab().toImage();
    EXPECT_TRUE(SameRgb(shot.pixelColor(W - 32, 10), kButtonStates[0]));
    EXPECT_FALSE(SameRgb(shot.pixelColor(W - 52, 10), kButtonStates[0]));
}

TEST_F(SkinWndTest, WithoutBoxesOnlyCloseIsHit) {
    auto window = MakeWindow(false, false, false);
    EXPECT_EQ(frame.HitTest(W - 35, 10), HTCAPTION);
    EXPECT_EQ(frame.HitTest(W - 55, 10), HTCAPTION);
    EXPECT_EQ(frame.HitTest(W - 15, 10), HTCLOSE);
}

TEST_F(SkinWndTest, NoButtonsLeaveTheTopRightToCaptionAndBorder) {
    skin->buttonCount = 0;
    auto window = MakeWindow(true, true, true);
    EXPECT_EQ(frame.HitTest(W - 15, 10), HTCAPTION);
    EXPECT_EQ(frame.HitTest(W - 2, 10), HTTOPRIGHT);
    EXPECT_TRUE(frame.GetButtonRect(0).isEmpty());
}

TEST_F(SkinWndTest, CaptionOutlineHasCutCornersAtTheTopOnly) {
    skin->personality = "UsesTran=1\n";
    auto window = MakeWindow(false, true, true);
    ASSERT_EQ(frame.UsesTran(), 1);
    EXPECT_EQ(frame.TransColor(), 0xFF00FFu);
    const QRegion region = frame.BuildWindowRegion(QSize(W, H));
    EXPECT_FALSE(region.contains(QPoint(0, 0)));
    EXPECT_FALSE(region.contains(QPoint(2, 2)));
    EXPECT_TRUE(region.contains(QPoint(3, 0)));
    EXPECT_FALSE(region.contains(QPoint(W - 1, 0)));
    EXPECT_TRUE(region.contains(QPoint(W - 4, 0)));
    EXPECT_TRUE(region.contains(QPoint(100, 10)));
    EXPECT_TRUE(region.contains(QPoint(0, H - 1)));
    EXPECT_TRUE(region.contains(QPoint(W - 1, H - 1)));
    EXPECT_TRUE(region.contains(QPoint(0, TestSkin::kCaption)));
    // Everything below the caption is one rectangle.
    EXPECT_TRUE(region.intersected(QRect(0, TestSkin::kCaption, W, H))
                    .xored(QRegion(0, TestSkin::kCaption, W, H - TestSkin::kCaption))
                    .isEmpty());
    // The window carries that outline.
    EXPECT_FALSE(window->mask().contains(QPoint(0, 0)));
    EXPECT_TRUE(window->mask().contains(QPoint(100, 10)));
    // Painting leaves the key pixels alone.
    const QImage shot = window->grab().toImage();
    EXPECT_FALSE(SameRgb(shot.pixelColor(0, 0), kMagenta));
    EXPECT_TRUE(SameRgb(shot.pixelColor(3, 0), kBorderInactive));
}

TEST_F(SkinWndTest, WithoutUsesTranTheKeyColourIsPaintedAndNoOutlineIsCut) {
    auto window = MakeWindow(false, true, true);
    EXPECT_EQ(frame.UsesTran(), 0);
    const QImage shot = window->grab().toImage();
    EXPECT_TRUE(SameRgb(shot.pixelColor(0, 0), kMagenta));
    EXPECT_TRUE(window->mask().isEmpty());
}

TEST_F(SkinWndTest, FramePaintsEdgesTitleAreaAndTiledBackground) {
    auto window = MakeWindow(false, true, true);
    EXPECT_EQ(window->contentsMargins(), QMargins(4, 20, 4, 4));
    const QImage shot = window->grab().toImage();
    // Never activated: the inactive halves.
    EXPECT_TRUE(SameRgb(shot.pixelColor(100, 2), kInactiveCaption));
    EXPECT_TRUE(SameRgb(shot.pixelColor(1, 80), kBorderInactive));
    EXPECT_TRUE(SameRgb(shot.pixelColor(W - 2, 80), kBorderInactive));
    EXPECT_TRUE(SameRgb(shot.pixelColor(100, H - 2), kBorderInactive));
    EXPECT_TRUE(SameRgb(shot.pixelColor(W - 12, 10), kButtonStates[0]));
    // The 100 x 80 background is tiled from the client area's corner.
    EXPECT_TRUE(SameRgb(shot.pixelColor(10, 30), kBackgroundColour));
    EXPECT_TRUE(SameRgb(shot.pixelColor(4 + 150, 20 + 100), kBackgroundColour));
}

TEST_F(SkinWndTest, ActivationSwitchesToTheActiveHalves) {
    auto window = MakeWindow(false, true, true);
    QEvent activate(QEvent::WindowActivate);
    QCoreApplication::sendEvent(window.get(), &activate);
    const QImage shot = window->grab().toImage();
    EXPECT_TRUE(SameRgb(shot.pixelColor(100, 2), kActiveCaption));
    EXPECT_TRUE(SameRgb(shot.pixelColor(1, 80), kBorderActive));
}

TEST_F(SkinWndTest, PressedButtonTurnsToHoverWhenTheMouseMoves) {
    auto window = MakeWindow(false, true, true);
    const QPoint close(W - 12, 10);
    SendMouse(window.get(), QEvent::MouseButtonPress, close, Qt::LeftButton, Qt::LeftButton);
    EXPECT_EQ(frame.Pressed(), HTCLOSE);
    EXPECT_TRUE(SameRgb(window->grab().toImage().pixelColor(close), kButtonStates[1]));
    SendMouse(window.get(), QEvent::MouseMove, close, Qt::NoButton, Qt::LeftButton);
    EXPECT_EQ(frame.Pressed(), 0);
    EXPECT_EQ(frame.Hover(), HTCLOSE);
    EXPECT_TRUE(SameRgb(window->grab().toImage().pixelColor(close), kButtonStates[2]));
    SendMouse(window.get(), QEvent::MouseButtonRelease, close, Qt::LeftButton, Qt::NoButton);
    EXPECT_EQ(window->closes, 1);
}

TEST_F(SkinWndTest, MaximizeButtonMaximizesToTheWorkAreaAndRestores) {
    auto window = MakeWindow(true, true, true);
    window->move(30, 40);
    const QRect before = window->geometry();
    const QPoint maxButton(W - 35, 10);
    SendMouse(window.get(), QEvent::MouseButtonPress, maxButton, Qt::LeftButton, Qt::LeftButton);
    SendMouse(window.get(), QEvent::MouseButtonRelease, maxButton, Qt::LeftButton, Qt::NoButton);
    EXPECT_EQ(frame.GetWindowState(), SkinWindowState::Maximized);
    EXPECT_EQ(window->geometry(), window->screen()->availableGeometry());
    EXPECT_EQ(frame.Hover(), 0);
    // Maximized: no sizing borders.
    EXPECT_EQ(frame.HitTest(0, 60), HTCLIENT);
    const QPoint restoreAt(window->width() - 35, 10);
    SendMouse(window.get(), QEvent::MouseButtonPress, restoreAt, Qt::LeftButton, Qt::LeftButton);
    SendMouse(window.get(), QEvent::MouseButtonRelease, restoreAt, Qt::LeftButton, Qt::NoButton);
    EXPECT_EQ(frame.GetWindowState(), SkinWindowState::Normal);
    EXPECT_EQ(window->geometry(), before);
}

TEST_F(SkinWndTest, SystemMenuCommandsChangeTheFrameState) {
    auto window = MakeWindow(true, true, true);
    unsigned forwarded = 0;
    frame.SetSystemCommandHandler([&](unsigned id) { forwarded = id; });
    frame.OnSystemMenuCommand(SC_MAXIMIZE);
    EXPECT_EQ(frame.GetWindowState(), SkinWindowState::Maximized);
    frame.OnSystemMenuCommand(SC_RESTORE);
    EXPECT_EQ(frame.GetWindowState(), SkinWindowState::Normal);
    frame.OnSystemMenuCommand(16);
    EXPECT_EQ(forwarded, 16u);
    frame.OnSystemMenuCommand(SC_CLOSE);
    EXPECT_EQ(window->closes, 1);
    QMenu* menu = CSkinWnd::GetSystemMenu(window.get());
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(CSkinWnd::GetSystemMenu(window.get()), menu);
}

TEST_F(SkinWndTest, SystemMenuWordsComeFromTheLanguageTableAndItsItemsFollowTheWindowState) {
    CLanguageTable& table = LanguageTable();
    const CLanguageTable saved = table;
    // A language that leaves the word for Size empty.
    WriteText(skin->folder + CLanguageTable::kFileName,
              "[Option]\nUIInfoCount=75\n[LanguageMap]\ndefault=Test\n[Test]\nTitleInfo00=E\n"
              "UIInfo69=R1\nUIInfo70=M1\nUIInfo72=N1\nUIInfo73=X1\nUIInfo74=C1\n");
    table.LoadLanguageFile(skin->folder);
    // As the main dialog: a minimize box, no maximize box, no sizing border.
    auto dialog = MakeWindow(false, true, false);
    QMenu* menu = frame.PrepareSystemMenu();
    table = saved;
    ASSERT_NE(menu, nullptr);
    const auto items = [](QMenu* m) {
        std::map<unsigned, QAction*> byId;
        for (QAction* action : m->actions())
            if (!action->isSeparator())
                byId[action->data().toUInt()] = action;
        return byId;
    };
    QStringList words;
    for (QAction* action : menu->actions()) words << action->text();
    EXPECT_EQ(words, QStringList({"R1", "M1", "N1", "X1", "", "C1"}));
    auto byId = items(menu);
    EXPECT_FALSE(byId[SC_RESTORE]->isEnabled());
    EXPECT_TRUE(byId[SC_MOVE]->isEnabled());
    EXPECT_TRUE(byId[SC_MINIMIZE]->isEnabled());
    EXPECT_FALSE(byId[SC_MAXIMIZE]->isEnabled());
    EXPECT_TRUE(byId[SC_CLOSE]->isEnabled());

    auto window = MakeWindow(true, true, true);
    frame.Maximize();
    byId = items(frame.PrepareSystemMenu());
    ASSERT_EQ(byId.size(), 6u);
    EXPECT_TRUE(byId[SC_RESTORE]->isEnabled());
    EXPECT_FALSE(byId[SC_MOVE]->isEnabled());
    EXPECT_FALSE(byId[SC_SIZE]->isEnabled());
    EXPECT_FALSE(byId[SC_MAXIMIZE]->isEnabled());
    EXPECT_TRUE(byId[SC_MINIMIZE]->isEnabled());
    frame.Restore();
    byId = items(frame.PrepareSystemMenu());
    EXPECT_FALSE(byId[SC_RESTORE]->isEnabled());
    EXPECT_TRUE(byId[SC_SIZE]->isEnabled());
    EXPECT_TRUE(byId[SC_MAXIMIZE]->isEnabled());
    EXPECT_EQ(byId[SC_SIZE]->text(), QString::fromStdString(table.UIInfo(CLanguageTable::kUISize)));
}

TEST_F(SkinWndTest, DraggingTheCaptionOrABorderMovesOrSizesTheWindow) {
    auto window = MakeWindow(true, true, true);
    window->move(50, 60);
    const QPoint grip(100, 10);
    SendMouse(window.get(), QEvent::MouseButtonPress, grip, Qt::LeftButton, Qt::LeftButton);
    SendMouse(window.get(), QEvent::MouseMove, grip + QPoint(30, 20), Qt::NoButton, Qt::LeftButton);
    SendMouse(window.get(), QEvent::MouseButtonRelease, grip + QPoint(30, 20), Qt::LeftButton,
              Qt::NoButton);
    EXPECT_EQ(window->pos(), QPoint(80, 80));

    const QPoint edge(W - 1, 60);
    SendMouse(window.get(), QEvent::MouseButtonPress, edge, Qt::LeftButton, Qt::LeftButton);
    SendMouse(window.get(), QEvent::MouseMove, edge + QPoint(25, 0), Qt::NoButton, Qt::LeftButton);
    SendMouse(window.get(), QEvent::MouseButtonRelease, edge + QPoint(25, 0), Qt::LeftButton,
              Qt::NoButton);
    EXPECT_EQ(window->width(), W + 25);
    EXPECT_EQ(window->height(), H);
}

TEST_F(SkinWndTest, TheMinimumTrackingSizeHoldsForEveryResize) {
    auto window = MakeWindow(true, true, true);
    // Left + right + top bitmap widths, the side bitmaps' height + 20.
    const QSize minimum(8 + 8 + 60, 40 + 20);
    ASSERT_EQ(frame.MinimumTrackSize(), minimum);
    window->resize(30, 20);  // as the window system's own sizing asks
    EXPECT_EQ(window->size(), minimum);
    window->resize(W, H);
    EXPECT_EQ(window->size(), QSize(W, H));

    // A dialog of fixed size keeps it.
    QWidget fixed;
    fixed.setFixedSize(50, 40);
    CSkinWnd fixedFrame;
    ASSERT_EQ(fixedFrame.LoadSkin(skin->Ini()), 1);
    ASSERT_EQ(fixedFrame.Attach(&fixed, false), 1);
    EXPECT_EQ(fixed.size(), QSize(50, 40));

    // Without a loaded frame the window's own minimum is back.
    WriteText(skin->Ini(), "[Personality]\n");
    EXPECT_EQ(frame.LoadSkin(skin->Ini()), 0);
    window->resize(30, 20);
    EXPECT_EQ(window->size(), QSize(30, 20));
}

TEST_F(SkinWndTest, FitToBackgroundAndReloadInPlace) {
    auto window = std::make_unique<QDialog>();
    QWidget client(window.get());
    window->setWindowFlag(Qt::WindowMinimizeButtonHint);
    const Qt::WindowFlags flags = window->windowFlags();
    skin->Write();
    ASSERT_EQ(frame.LoadSkin(skin->Ini()), 1);
    ASSERT_EQ(frame.Attach(window.get(), true, &client), 1);
    EXPECT_EQ(window->size(),
              QSize(4 + 4 + TestSkin::kBackgroundW, 20 + 4 + TestSkin::kBackgroundH));
    EXPECT_EQ(client.geometry(), QRect(4, 20, TestSkin::kBackgroundW, TestSkin::kBackgroundH));

    // Skin switches while the dialog runs modal, as the player's main window does.
    bool stillModal = false;
    QTimer::singleShot(0, window.get(), [&] {
        // New thicknesses, same hook.
        SaveBmp(Filled(60, 60, kActiveCaption), skin->folder + "top.bmp");
        skin->Write();
        EXPECT_EQ(frame.LoadSkin(skin->Ini()), 1);
        EXPECT_TRUE(frame.IsAttached());
        EXPECT_EQ(window->contentsMargins(), QMargins(4, 30, 4, 4));
        EXPECT_EQ(client.geometry().top(), 30);

        // A broken skin: the window falls back to its plain look, with the window system's
        // own frame and buttons, until a skin loads again.
        WriteText(skin->Ini(), "[Personality]\n");
        EXPECT_EQ(frame.LoadSkin(skin->Ini()), 0);
        EXPECT_EQ(window->contentsMargins(), QMargins(0, 0, 0, 0));
        EXPECT_EQ(window->windowFlags(), flags);
        skin->Write();
        EXPECT_EQ(frame.LoadSkin(skin->Ini()), 1);
        EXPECT_TRUE(window->windowFlags() & Qt::FramelessWindowHint);
        EXPECT_FALSE(window->windowFlags() & Qt::WindowMinimizeButtonHint);
        EXPECT_EQ(window->contentsMargins(), QMargins(4, 30, 4, 4));
        // Neither switch ended the dialog.
        QTimer::singleShot(0, window.get(), [&] {
            stillModal = true;
            window->done(0);
        });
    });
    window->exec();
    EXPECT_TRUE(stillModal);
}

TEST_F(SkinWndTest, TitleFollowsTheWindowText) {
    auto window = MakeWindow(false, true, true);
    window->setWindowTitle(QStringLiteral("TVQ Player"));
    EXPECT_EQ(frame.Title(), "TVQ Player");
}

}  // namespace
