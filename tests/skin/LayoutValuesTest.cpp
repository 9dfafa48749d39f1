#include <gtest/gtest.h>

#include <string>

#include "skin/MainSkin.h"

namespace {

TEST(LayoutValuesTest, PointsParseDigitsCommaAndParenthesesAndNothingElse) {
    const struct {
        const char* text;
        int x, y;
    } good[] = {{"(10,20)", 10, 20}, {"(,7)", 0, 7}, {"(10,20)xyz", 10, 20}};
    for (const auto& g : good) {
        int x = -1, y = -1;
        EXPECT_TRUE(ReadLayoutPoint(g.text, &x, &y)) << g.text;
        EXPECT_EQ(QPoint(x, y), QPoint(g.x, g.y)) << g.text;
    }
    int x = 0, y = 0;
    for (const char* bad : {"(10, 20)", "(-5,3)", "(10,20", "10,20", "", "(10,", "(10", "(1;2)"})
        EXPECT_FALSE(ReadLayoutPoint(bad, &x, &y)) << bad;
    const std::string tooLong = "(1," + std::string(300, '2') + ")";
    EXPECT_FALSE(ReadLayoutPoint(tooLong.c_str(), &x, &y));
    EXPECT_FALSE(ReadLayoutPoint(nullptr, &x, &y));
}

TEST(LayoutValuesTest, NumbersBeyondAnyWindowAreHeldAtTheLargestCoordinate) {
    int x = -1, y = -1;
    EXPECT_TRUE(ReadLayoutPoint("(99999999999,4294967296)", &x, &y));
    EXPECT_EQ(QPoint(x, y), QPoint(kMaxLayoutCoordinate, kMaxLayoutCoordinate));
    const std::string digits(100, '9');
    EXPECT_TRUE(ReadLayoutPoint(("(" + digits + "," + digits + ")").c_str(), &x, &y));
    EXPECT_EQ(x, kMaxLayoutCoordinate);
    // A colour number past the int range is taken at its largest, whose low byte is 255.
    COLORREF colour = 0;
    EXPECT_TRUE(ReadLayoutColor("(99999999999,0,0)", &colour));
    EXPECT_EQ(colour, 0x0000FFu);
}

TEST(LayoutValuesTest, ColoursTakeTheLowByteAndLeaveTheColourOnFailure) {
    COLORREF colour = 0;
    EXPECT_TRUE(ReadLayoutColor("(255,0,0)", &colour));
    EXPECT_EQ(colour, 0x0000FFu);
    EXPECT_TRUE(ReadLayoutColor("(300,0,0)", &colour));
    EXPECT_EQ(colour, 44u);
    EXPECT_TRUE(ReadLayoutColor("(1,2,3)", &colour));
    EXPECT_EQ(colour, 0x030201u);
    colour = 0;
    for (const char* bad : {"(0,0,255", "(0,0)", "(0 0 255)"})
        EXPECT_FALSE(ReadLayoutColor(bad, &colour)) << bad;
    EXPECT_EQ(colour, 0u);
}

}  // namespace
