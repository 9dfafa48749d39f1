#include <gtest/gtest.h>

#include <climits>
#include <vector>

#include "skin/FrameGeometry.h"

namespace {

constexpr int W = 200, H = 150;

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
