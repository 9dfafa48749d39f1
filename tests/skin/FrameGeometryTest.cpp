#include <gtest/gtest.h>

#include <climits>
#include <vector>

#include "skin/FrameGeometry.h"

namespace {

constexpr QSize kWindow(200, 150);
constexpr int W = 200, H = 150;

// Caption 20, borders 4; buttons of 16 x 14 from y 3: close 20, maximize 40, minimize 60 pixels
// left of the right edge.
FrameMetrics Metrics(bool buttons = true) {
    FrameMetrics m;
    m.captionHeight = 20;
    m.leftWidth = m.rightWidth = m.bottomHeight = 4;
    if (buttons) {
        m.close = {20, 3, QSize(16, 14)};
        m.maximize = {40, 3, QSize(16, 14)};
        m.minimize = {60, 3, QSize(16, 14)};
    }
    return m;
}

int Hit(QPoint p, FrameStyle style, SkinWindowState state = SkinWindowState::Normal,
        const FrameMetrics& m = Metrics()) {
    return FrameHitTest(m, style, state, kWindow, p);
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
    const FrameStyle all{true, true, true};
    EXPECT_EQ(Hit({0, 0}, all), HTTOPLEFT);
    EXPECT_EQ(Hit({W - 1, 0}, all), HTTOPRIGHT);
    EXPECT_EQ(Hit({0, H - 1}, all), HTBOTTOMLEFT);
    EXPECT_EQ(Hit({W - 1, H - 1}, all), HTBOTTOMRIGHT);
    EXPECT_EQ(Hit({0, 60}, all), HTLEFT);
    EXPECT_EQ(Hit({W - 1, 60}, all), HTRIGHT);
    EXPECT_EQ(Hit({100, H - 1}, all), HTBOTTOM);
    EXPECT_EQ(Hit({100, 3}, all), HTTOP);     // the top band is as high as the bottom border
    EXPECT_EQ(Hit({100, 4}, all), HTCLIENT);  // between the top band and the caption's 5 px
    EXPECT_EQ(Hit({100, 10}, all), HTCAPTION);
    EXPECT_EQ(Hit({100, 60}, all), HTCLIENT);
    EXPECT_EQ(Hit({6, 7}, all), HTSYSMENU);
    EXPECT_EQ(Hit({W - 20, 3}, all), HTCLOSE);
    EXPECT_EQ(Hit({W - 5, 16}, all), HTCLOSE);
    EXPECT_EQ(Hit({W - 4, 10}, all), HTTOPRIGHT);  // the corner is as high as the caption
    EXPECT_EQ(Hit({W - 35, 10}, all), HTMAXBUTTON);
    EXPECT_EQ(Hit({W - 55, 10}, all), HTMINBUTTON);
    EXPECT_EQ(PlaceButton(Metrics().close, W), QRect(W - 20, 3, 16, 14));
    // Maximized by the frame: no sizing borders.
    EXPECT_EQ(Hit({0, 60}, all, SkinWindowState::Maximized), HTCLIENT);
    EXPECT_EQ(Hit({100, 3}, all, SkinWindowState::Maximized), HTCLIENT);
    EXPECT_EQ(Hit({0, 60}, all, SkinWindowState::Minimized), HTLEFT);
}

TEST(FrameGeometry, WithoutThickFrameTheBordersAndTheTopBandAreClient) {
    const FrameStyle boxes{false, true, true};
    EXPECT_EQ(Hit({0, 60}, boxes), HTCLIENT);
    EXPECT_EQ(Hit({W - 1, H - 1}, boxes), HTCLIENT);
    EXPECT_EQ(Hit({100, 2}, boxes), HTCLIENT);
    EXPECT_EQ(Hit({100, 5}, boxes), HTCAPTION);
}

TEST(FrameGeometry, TheBoxesDecideWhichButtonsAreHitAndWhere) {
    // No maximize box: the minimize button stands in the maximize button's place.
    const FrameStyle minOnly{false, true, false};
    EXPECT_EQ(Hit({W - 35, 10}, minOnly), HTMINBUTTON);
    EXPECT_EQ(Hit({W - 55, 10}, minOnly), HTCAPTION);
    EXPECT_EQ(MinimizeButtonRect(Metrics(), minOnly, W), QRect(W - 40, 3, 16, 14));
    EXPECT_EQ(MinimizeButtonRect(Metrics(), {false, true, true}, W), QRect(W - 60, 3, 16, 14));
    // No boxes: only close.
    const FrameStyle none{};
    EXPECT_EQ(Hit({W - 35, 10}, none), HTCAPTION);
    EXPECT_EQ(Hit({W - 55, 10}, none), HTCAPTION);
    EXPECT_EQ(Hit({W - 15, 10}, none), HTCLOSE);
    // No buttons at all: the top-right corner is caption and border.
    const FrameStyle all{true, true, true};
    const FrameMetrics bare = Metrics(false);
    EXPECT_EQ(Hit({W - 15, 10}, all, SkinWindowState::Normal, bare), HTCAPTION);
    EXPECT_EQ(Hit({W - 2, 10}, all, SkinWindowState::Normal, bare), HTTOPRIGHT);
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
    EXPECT_EQ(DraggedGeometry(HTCLIENT, start, {10, 10}, minimum), start);
    EXPECT_TRUE(IsSizingCode(HTLEFT) && IsSizingCode(HTBOTTOMRIGHT));
    EXPECT_FALSE(IsSizingCode(HTCAPTION) || IsSizingCode(HTCLOSE));
}

}  // namespace
