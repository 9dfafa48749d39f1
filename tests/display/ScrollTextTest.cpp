// The title strip's slide-in and scroll sequence, and what Draw puts where.
#include "display/ScrollText.h"

#include <gtest/gtest.h>

#include <QFontMetrics>
#include <QImage>
#include <QPainter>

namespace {

struct StepState {
    int destination, source, width;
    bool operator==(const StepState&) const = default;
};

StepState At(const CScrollText& s) {
    return {s.DestinationX(), s.SourceX(), s.VisibleWidth()};
}

std::ostream& operator<<(std::ostream& os, const StepState& s) {
    return os << "(dst " << s.destination << ", src " << s.source << ", w " << s.width << ")";
}

TEST(ScrollText, SlidesInFromTheRightThenRunsAlongTheTextAndStartsOver) {
    const QFont font;
    const QFontMetrics metrics(font);
    CScrollText strip;
    EXPECT_EQ(strip.Text(), "HELLO");
    strip.SetArea(10, 100, 33, 120, "ab", metrics);
    const int boxRight = 10 + metrics.horizontalAdvance("ab") + 10;
    EXPECT_EQ(strip.BoxRight(), boxRight);
    EXPECT_EQ(strip.BoxBottom(), 100 + metrics.height() + 2);
    EXPECT_EQ(At(strip), (StepState{33, 10, 5}));

    // Area 23 wide: the destination walks left in 5s, stopping at the area's left edge, the
    // width grows but never beyond the area.
    const StepState slideIn[] = {
        {28, 10, 10}, {23, 10, 15}, {18, 10, 20}, {13, 10, 23}, {10, 10, 23}};
    for (const auto& expected : slideIn) {
        strip.Step();
        EXPECT_EQ(At(strip), expected);
    }
    // Then the source moves along the strip bitmap; the width shrinks to what is left of it.
    int source = 10, width = 23;
    while (source + 5 <= boxRight) {
        strip.Step();
        source += 5;
        width = std::min(width, boxRight - source);
        ASSERT_EQ(At(strip), (StepState{10, source, width}));
    }
    strip.Step();  // past the bitmap: from the start again
    EXPECT_EQ(At(strip), (StepState{33, 10, 5}));
    EXPECT_TRUE(strip.Scrolling());  // a title narrower than its area scrolls all the same
}

TEST(ScrollText, DrawsOnlyTheVisibleSliceAtItsDestination) {
    QFont font;
    font.setPixelSize(14);
    const QFontMetrics metrics(font);
    CScrollText strip;
    strip.SetArea(10, 20, 200, 20 + metrics.height() + 2, "WWWWWWWW", metrics);
    for (int i = 0; i < 4; ++i) strip.Step();  // destination 180, width 25

    QImage canvas(220, 60, QImage::Format_RGB32);
    canvas.fill(Qt::white);
    {
        QPainter p(&canvas);
        strip.Draw(p, font);
    }
    // The slice is black with green text, exactly columns 180 .. 204 of the strip's rows.
    bool green = false;
    for (int y = 0; y < canvas.height(); ++y) {
        for (int x = 0; x < canvas.width(); ++x) {
            const QRgb c = canvas.pixel(x, y);
            const bool inSlice = x >= 180 && x < 205 && y >= 20 && y < strip.AreaBottom();
            if (!inSlice) {
                ASSERT_EQ(c, qRgb(255, 255, 255)) << x << "," << y;
                continue;
            }
            ASSERT_EQ(qRed(c), 0) << x << "," << y;
            ASSERT_EQ(qBlue(c), 0) << x << "," << y;
            green = green || qGreen(c) > 128;
        }
    }
    EXPECT_TRUE(green);
}

}  // namespace
