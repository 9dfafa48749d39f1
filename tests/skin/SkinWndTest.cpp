// The skinned frame: its geometry and hit tests as pure functions, and the frame on a window.
#include <gtest/gtest.h>

#include <QCloseEvent>
#include <QDialog>
#include <QMenu>
#include <QScreen>
#include <QTimer>
#include <climits>
#include <memory>
#include <utility>

#include "SkinTestSupport.h"
#include "skin/FrameGeometry.h"
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
        ASSERT_TRUE(dir.isValid());
        skin = std::make_unique<TestSkin>(dir.path().toStdString());
    }

    // A window of W x H with the given boxes, the frame loaded from the test skin and attached.
    std::unique_ptr<CloseCounter> MakeWindow(bool thick, bool minBox, bool maxBox) {
        auto window = std::make_unique<CloseCounter>();
        window->setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                               (minBox ? Qt::WindowMinimizeButtonHint : Qt::Widget) |
                               (maxBox ? Qt::WindowMaximizeButtonHint : Qt::Widget));
        window->setProperty(CSkinWnd::kThickFrameProperty, thick);
        window->resize(W, H);
        skin->Write();
        EXPECT_EQ(frame.LoadSkin(skin->Ini()), 1);
        EXPECT_EQ(frame.Attach(window.get(), false), 1);
        return window;
    }

    static void Click(QWidget* window, QPoint at) {
        SendMouse(window, QEvent::MouseButtonPress, at, Qt::LeftButton, Qt::LeftButton);
        SendMouse(window, QEvent::MouseButtonRelease, at, Qt::LeftButton, Qt::NoButton);
    }

    QTemporaryDir dir;
    std::unique_ptr<TestSkin> skin;
    CSkinWnd frame;
};

TEST_F(SkinWndTest, LoadSkinHalvesTheEdgeBitmapsAndCutsTheCaptionBar) {
    // An odd caption bitmap rounds down; an oversized tail leaves a body one column wide.
    SaveBmp(Filled(60, 31, kActiveCaption), skin->folder + "top.bmp");
    skin->personality = "TopTopHeight=10\nTopBotHeight=100\n";
    skin->Write();
    ASSERT_EQ(frame.LoadSkin(skin->Ini()), 1);
    EXPECT_EQ(frame.CaptionHeight(), 15);
    EXPECT_EQ(frame.TopHead(), 10);
    EXPECT_EQ(frame.TopTail(), 11);
}

TEST_F(SkinWndTest, LoadSkinFailsWithoutAnEdgeOrWithAMissingButtonImage) {
    QWidget window;
    WriteText(skin->Ini(), "[Personality]\nLeft=left.bmp\nRight=right.bmp\nBottom=bottom.bmp\n");
    EXPECT_EQ(frame.LoadSkin(skin->Ini()), 0);
    EXPECT_EQ(frame.Attach(&window, false), 0);
    skin->buttonCount = 1;
    for (const char* button : {"ButtonImage=nothere.bmp\nAction=0\n", "Action=2\n"}) {
        skin->buttons = std::string("[Button0]\n") + button;
        skin->Write();
        EXPECT_EQ(frame.LoadSkin(skin->Ini()), 0) << button;
    }
    // A button of an unknown action is skipped, whatever its image.
    skin->buttons = "[Button0]\nButtonImage=nothere.bmp\nAction=7\n";
    skin->Write();
    EXPECT_EQ(frame.LoadSkin(skin->Ini()), 1);
    EXPECT_EQ(frame.Attach(&window, false), 1);
}

TEST_F(SkinWndTest, WithoutAMaximizeBoxTheMinimizeButtonIsDrawnAndHitInItsPlace) {
    auto window = MakeWindow(false, true, false);
    EXPECT_EQ(frame.HitTest(W - 35, 10), HTMINBUTTON);
    const QImage shot = window->grab().toImage();
    EXPECT_TRUE(SameRgb(shot.pixelColor(W - 32, 10), kButtonStates[0]));
    EXPECT_FALSE(SameRgb(shot.pixelColor(W - 52, 10), kButtonStates[0]));
}

TEST_F(SkinWndTest, CaptionOutlineHasCutCornersAtTheTopOnly) {
    skin->personality = "UsesTran=1\n";
    auto window = MakeWindow(false, true, true);
    ASSERT_EQ(frame.UsesTran(), 1);
    EXPECT_EQ(frame.TransColor(), 0xFF00FFu);
    const QRegion region = frame.BuildWindowRegion(QSize(W, H));
    EXPECT_FALSE(region.contains(QPoint(0, 0)));
    EXPECT_TRUE(region.contains(QPoint(3, 0)));
    EXPECT_FALSE(region.contains(QPoint(W - 1, 0)));
    EXPECT_TRUE(region.contains(QPoint(100, 10)));
    EXPECT_TRUE(
        QRegion(0, TestSkin::kCaption, W, H - TestSkin::kCaption).subtracted(region).isEmpty());
    // The window carries that outline, and a wider window's right corner moves with it.
    EXPECT_FALSE(window->mask().contains(QPoint(0, 0)));
    EXPECT_TRUE(window->mask().contains(QPoint(100, 10)));
    window->show();
    window->resize(W + 50, H);
    EXPECT_FALSE(window->mask().contains(QPoint(W + 49, 0)));
    EXPECT_TRUE(window->mask().contains(QPoint(W - 1, 0)));
    window->resize(W, H);
    // Painting leaves the key pixels alone.
    const QImage shot = window->grab().toImage();
    EXPECT_FALSE(SameRgb(shot.pixelColor(0, 0), kMagenta));
    EXPECT_TRUE(SameRgb(shot.pixelColor(3, 0), kBorderInactive));
}

TEST_F(SkinWndTest, FramePaintsEdgesButtonsAndTiledBackgroundInEitherLook) {
    auto window = MakeWindow(false, true, true);
    EXPECT_EQ(window->contentsMargins(), QMargins(4, 20, 4, 4));
    const QImage shot = window->grab().toImage();
    // Without UsesTran the key colour is painted and no outline is cut.
    EXPECT_TRUE(SameRgb(shot.pixelColor(0, 0), kMagenta));
    EXPECT_TRUE(window->mask().isEmpty());
    // Never activated: the inactive halves.
    EXPECT_TRUE(SameRgb(shot.pixelColor(100, 2), kInactiveCaption));
    EXPECT_TRUE(SameRgb(shot.pixelColor(1, 80), kBorderInactive));
    EXPECT_TRUE(SameRgb(shot.pixelColor(100, H - 2), kBorderInactive));
    EXPECT_TRUE(SameRgb(shot.pixelColor(W - 12, 10), kButtonStates[0]));
    // The 100 x 80 background is tiled from the client area's corner.
    EXPECT_TRUE(SameRgb(shot.pixelColor(10, 30), kBackgroundColour));
    EXPECT_TRUE(SameRgb(shot.pixelColor(4 + 150, 20 + 100), kBackgroundColour));
    window->setWindowTitle(QStringLiteral("TVQ Player"));
    EXPECT_EQ(frame.Title(), "TVQ Player");
    // Activated: the active halves.
    QEvent activate(QEvent::WindowActivate);
    QCoreApplication::sendEvent(window.get(), &activate);
    const QImage active = window->grab().toImage();
    EXPECT_TRUE(SameRgb(active.pixelColor(100, 2), kActiveCaption));
    EXPECT_TRUE(SameRgb(active.pixelColor(1, 80), kBorderActive));
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

TEST_F(SkinWndTest, MaximizeButtonAndSystemMenuCommandsChangeTheFrameState) {
    auto window = MakeWindow(true, true, true);
    const QRect before = window->geometry();
    Click(window.get(), QPoint(W - 35, 10));
    EXPECT_EQ(frame.GetWindowState(), SkinWindowState::Maximized);
    EXPECT_EQ(window->geometry(), window->screen()->availableGeometry());
    Click(window.get(), QPoint(window->width() - 35, 10));
    EXPECT_EQ(frame.GetWindowState(), SkinWindowState::Normal);
    EXPECT_EQ(window->geometry(), before);
    unsigned forwarded = 0;
    frame.SetSystemCommandHandler([&](unsigned id) { forwarded = id; });
    frame.OnSystemMenuCommand(SC_MAXIMIZE);
    EXPECT_EQ(frame.GetWindowState(), SkinWindowState::Maximized);
    frame.OnSystemMenuCommand(SC_RESTORE);
    EXPECT_EQ(window->geometry(), before);
    frame.OnSystemMenuCommand(16);
    EXPECT_EQ(forwarded, 16u);
    frame.OnSystemMenuCommand(SC_CLOSE);
    EXPECT_EQ(window->closes, 1);
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
    // Each item's word, and whether it is enabled, in menu order.
    const auto items = [](QMenu* m) {
        QStringList words;
        QString enabled;
        for (QAction* action : m->actions()) {
            words << action->text();
            if (!action->isSeparator())
                enabled += action->isEnabled() ? '1' : '0';
        }
        return std::make_pair(words, enabled);
    };
    // Restore, move, minimize, maximize, close.
    EXPECT_EQ(items(menu),
              std::make_pair(QStringList({"R1", "M1", "N1", "X1", "", "C1"}), QString("01101")));
    auto window = MakeWindow(true, true, true);
    frame.Maximize();
    // Restore, move, size, minimize, maximize, close; the English words again.
    EXPECT_EQ(items(frame.PrepareSystemMenu()).second, "100101");
    frame.Restore();
    EXPECT_EQ(items(frame.PrepareSystemMenu()).second, "011111");
    EXPECT_EQ(items(frame.PrepareSystemMenu()).first[2],
              QString::fromStdString(table.UIInfo(CLanguageTable::kUISize)));
}

TEST_F(SkinWndTest, DraggingTheCaptionOrABorderMovesOrSizesTheWindow) {
    auto window = MakeWindow(true, true, true);
    window->move(50, 60);
    const auto drag = [&](QPoint from, QPoint by) {
        SendMouse(window.get(), QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton);
        SendMouse(window.get(), QEvent::MouseMove, from + by, Qt::NoButton, Qt::LeftButton);
        SendMouse(window.get(), QEvent::MouseButtonRelease, from + by, Qt::LeftButton,
                  Qt::NoButton);
    };
    drag(QPoint(100, 10), QPoint(30, 20));
    EXPECT_EQ(window->pos(), QPoint(80, 80));
    drag(QPoint(W - 1, 60), QPoint(25, 0));
    EXPECT_EQ(window->size(), QSize(W + 25, H));
}

TEST_F(SkinWndTest, TheMinimumTrackingSizeHoldsForEveryResize) {
    auto window = MakeWindow(true, true, true);
    // Left + right + top bitmap widths, the side bitmaps' height + 20.
    const QSize minimum(8 + 8 + 60, 40 + 20);
    ASSERT_EQ(frame.MinimumTrackSize(), minimum);
    window->resize(30, 20);  // as the window system's own sizing asks
    EXPECT_EQ(window->size(), minimum);
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
        // New thicknesses, same hook; the caption is the new picture's in both looks.
        SaveBmp(Filled(60, 60, kActiveCaption), skin->folder + "top.bmp");
        skin->Write();
        EXPECT_EQ(frame.LoadSkin(skin->Ini()), 1);
        EXPECT_EQ(client.geometry().top(), 30);
        EXPECT_TRUE(SameRgb(window->grab().toImage().pixelColor(100, 2), kActiveCaption));
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

// ---- the frame's geometry as pure functions ---------------------------------------------

// Caption 20, borders 4; buttons of 16 x 14 from y 3: close 20, maximize 40, minimize 60 pixels
// left of the right edge.
FrameMetrics Metrics(bool buttons = true) {
    const QSize button = buttons ? QSize(16, 14) : QSize();
    return FrameMetrics{20, 4, 4, 4, {20, 3, button}, {40, 3, button}, {60, 3, button}};
}

int Hit(QPoint p, FrameStyle style, SkinWindowState state = SkinWindowState::Normal,
        const FrameMetrics& m = Metrics()) {
    return FrameHitTest(m, style, state, QSize(W, H), p);
}

TEST(FrameGeometry, EdgeCutsStayInsideTheBitmapAndKeepABody) {
    EXPECT_EQ(CutEdge(60, 10, 20).head, 10);
    EXPECT_EQ(CutEdge(60, 10, 20).tail, 40);
    // A tail reaching past the head leaves a body one column wide.
    EXPECT_EQ(CutEdge(60, 10, 100).tail, 11);
    // Numbers past the bitmap, either way, are held inside it.
    EXPECT_EQ(CutEdge(60, INT_MAX, INT_MIN).head, 59);
    EXPECT_EQ(CutEdge(60, INT_MAX, INT_MIN).tail, 60);
    EXPECT_EQ(CutEdge(60, -5, INT_MAX).head, 0);
    EXPECT_EQ(CutEdge(60, -5, INT_MAX).tail, 1);
}

TEST(FrameGeometry, AnEdgeIsItsHeadTheBodyRepeatedAndItsTailAtTheEnd) {
    const EdgeCut cut{3, 7};  // a bitmap of 10: head 0-2, body 3-6, tail 7-9
    // The side borders: the tail rows end with the edge; the last body copy is cut short.
    EXPECT_EQ(LayEdge(10, cut, 12, {false, 0}),
              (std::vector<EdgePiece>{{0, 3, 0}, {3, 4, 3}, {3, 4, 7}, {3, 1, 11}, {7, 3, 9}}));
    // The caption bar leaves the bitmap's last column out; the bottom border also ends one
    // column short.
    EXPECT_EQ(LayEdge(10, cut, 8, {true, 0}),
              (std::vector<EdgePiece>{{0, 3, 0}, {3, 4, 3}, {3, 1, 7}, {7, 2, 6}}));
    EXPECT_EQ(LayEdge(10, cut, 8, {true, 1}).back(), (EdgePiece{7, 2, 5}));
    // No head, and an edge shorter than the head: the head only, then the tail.
    EXPECT_EQ(LayEdge(10, {0, 9}, 4, {false, 0}), (std::vector<EdgePiece>{{0, 4, 0}, {9, 1, 3}}));
    EXPECT_EQ(LayEdge(10, cut, 2, {false, 0}), (std::vector<EdgePiece>{{0, 3, 0}, {7, 3, -1}}));
}

TEST(FrameGeometry, HitTestFindsBordersCornersButtonsAndCaption) {
    const FrameStyle all{true, true, true}, boxes{false, true, true};
    const struct {
        QPoint at;
        int code;
        int withoutThickFrame;
    } cases[] = {
        {{0, 0}, HTTOPLEFT, HTCLIENT},
        {{W - 1, 0}, HTTOPRIGHT, HTCLIENT},
        {{0, H - 1}, HTBOTTOMLEFT, HTCLIENT},
        {{W - 1, H - 1}, HTBOTTOMRIGHT, HTCLIENT},
        {{0, 60}, HTLEFT, HTCLIENT},
        {{W - 1, 60}, HTRIGHT, HTCLIENT},
        {{100, H - 1}, HTBOTTOM, HTCLIENT},
        {{100, 3}, HTTOP, HTCLIENT},     // the top band is as high as the bottom border
        {{100, 4}, HTCLIENT, HTCLIENT},  // between the top band and the caption's 5 px
        {{100, 5}, HTCAPTION, HTCAPTION},
        {{6, 7}, HTSYSMENU, HTSYSMENU},
        {{W - 20, 3}, HTCLOSE, HTCLOSE},
        {{W - 5, 16}, HTCLOSE, HTCLOSE},
        {{W - 4, 10}, HTTOPRIGHT, HTCLIENT},  // the corner is as high as the caption
        {{W - 35, 10}, HTMAXBUTTON, HTMAXBUTTON},
        {{W - 55, 10}, HTMINBUTTON, HTMINBUTTON},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Hit(c.at, all), c.code) << c.at.x() << "," << c.at.y();
        EXPECT_EQ(Hit(c.at, boxes), c.withoutThickFrame) << c.at.x() << "," << c.at.y();
    }
    // Maximized by the frame: no sizing borders.
    EXPECT_EQ(Hit({0, 60}, all, SkinWindowState::Maximized), HTCLIENT);
    EXPECT_EQ(Hit({100, 3}, all, SkinWindowState::Maximized), HTCLIENT);
}

TEST(FrameGeometry, TheBoxesDecideWhichButtonsAreHitAndWhere) {
    // No maximize box: the minimize button stands in the maximize button's place.
    const FrameStyle minOnly{false, true, false};
    EXPECT_EQ(Hit({W - 35, 10}, minOnly), HTMINBUTTON);
    EXPECT_EQ(Hit({W - 55, 10}, minOnly), HTCAPTION);
    EXPECT_EQ(MinimizeButtonRect(Metrics(), minOnly, W), QRect(W - 40, 3, 16, 14));
    // No boxes: only close.
    for (int x : {W - 35, W - 55}) EXPECT_EQ(Hit({x, 10}, FrameStyle{}), HTCAPTION);
    EXPECT_EQ(Hit({W - 15, 10}, FrameStyle{}), HTCLOSE);
    // No buttons at all: the top-right corner is caption and border.
    const FrameMetrics bare = Metrics(false);
    EXPECT_EQ(Hit({W - 15, 10}, {true, true, true}, SkinWindowState::Normal, bare), HTCAPTION);
    EXPECT_TRUE(PlaceButton(bare.close, W).isEmpty());
}

TEST(FrameGeometry, DraggingMovesOrSizesAndKeepsTheMinimum) {
    const QRect start(50, 60, W, H);
    const QSize minimum(76, 60);
    EXPECT_EQ(DraggedGeometry(HTCAPTION, start, {30, 20}, minimum), QRect(80, 80, W, H));
    EXPECT_EQ(DraggedGeometry(HTRIGHT, start, {25, 9}, minimum), QRect(50, 60, W + 25, H));
    EXPECT_EQ(DraggedGeometry(HTTOPLEFT, start, {-10, -5}, minimum), QRect(40, 55, W + 10, H + 5));
    // Never below the minimum, the opposite edge staying where it was.
    EXPECT_EQ(DraggedGeometry(HTLEFT, start, {500, 0}, minimum),
              QRect(start.right() + 1 - 76, 60, 76, H));
    EXPECT_EQ(DraggedGeometry(HTBOTTOM, start, {0, -500}, minimum), QRect(50, 60, W, 60));
}

}  // namespace
