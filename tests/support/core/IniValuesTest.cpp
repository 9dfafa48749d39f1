// theme.ini values: the tokenizer under them (two-byte characters included) and colours.
#include "support/IniValues.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "TempFolder.h"

namespace {

// All the tokens NextToken yields from text, up to the end.
std::vector<std::string> Tokens(const std::string& text, const char* delimiters = nullptr) {
    // An exact-size copy, so a read past the terminator shows up under the address sanitizer.
    auto copy = std::make_unique<char[]>(text.size() + 1);
    std::copy(text.begin(), text.end(), copy.get());
    copy[text.size()] = '\0';
    std::vector<std::string> tokens;
    const char* cursor = copy.get();
    char token[64];
    while (*cursor != '\0') {
        cursor = NextToken(cursor, token, sizeof token, delimiters);
        tokens.emplace_back(token);
    }
    return tokens;
}

using Strings = std::vector<std::string>;

TEST(NextToken, SplitsAtEachDelimiterWithoutSkippingRunsAndTrimsBlanksAtOthers) {
    EXPECT_EQ(Tokens("255 0 0"), (Strings{"255", "0", "0"}));
    EXPECT_EQ(Tokens("1\t2\n3"), (Strings{"1", "2", "3"}));
    EXPECT_EQ(Tokens("255  0 0"), (Strings{"255", "", "0", "0"}));
    EXPECT_EQ(Tokens(" 7"), (Strings{"", "7"}));
    EXPECT_EQ(Tokens("255,0,0"), (Strings{"255,0,0"}));
    EXPECT_EQ(Tokens(" a b ,\tc\n,  ", ","), (Strings{"a b", "c", ""}));
    EXPECT_EQ(Tokens("x;;y", ";"), (Strings{"x", "", "y"}));
}

TEST(NextToken, TwoByteCharactersAreNeverDelimiters) {
    // 0x81 0x20: the blank is the second byte of one character, not a delimiter.
    EXPECT_EQ(Tokens("\x81 x y"), (Strings{"\x81 x", "y"}));
    EXPECT_EQ(Tokens("\xD6\xD0 1"), (Strings{"\xD6\xD0", "1"}));
    // 0x80 is a single-byte character.
    EXPECT_EQ(Tokens("\x80 1"), (Strings{"\x80", "1"}));
    // A lead byte at the very end is kept alone; nothing past the terminator is read.
    EXPECT_EQ(Tokens("ab\xFE"), (Strings{"ab\xFE"}));
    EXPECT_EQ(Tokens("1 \x81"), (Strings{"1", "\x81"}));
}

TEST(NextToken, TokenBufferIsNeverOverrun) {
    const char text[] = "abcdef ghi";
    char token[4];
    const char* cursor = NextToken(text, token, sizeof token);
    EXPECT_STREQ(token, "abc");
    EXPECT_STREQ(cursor, "ghi");  // the whole token was consumed
    // A two-byte character that does not fit whole is dropped, not split.
    char small[3];
    NextToken("a\x81\x82", small, sizeof small);
    EXPECT_STREQ(small, "a");
    // No token buffer at all still advances.
    EXPECT_STREQ(NextToken("x y", nullptr, 0), "y");
}

class ReadIniColorTest : public ::testing::Test {
protected:
    COLORREF Read(const std::string& value, COLORREF fallback = 0x123456) {
        const std::string path = folder_.Write("theme.ini", "[Colours]\r\nTitle=" + value + "\r\n");
        return ReadIniColor("Colours", "Title", path, fallback);
    }
    TempFolder folder_;
};

TEST_F(ReadIniColorTest, ThreeNumbersMakeAColourAndMalformedValuesWhatTheyCan) {
    EXPECT_EQ(Read("255 0 0"), 0x0000FFu);
    EXPECT_EQ(Read("0 0 255"), 0xFF0000u);
    EXPECT_EQ(Read("1 2 3"), MakeColorRef(1, 2, 3));
    EXPECT_EQ(Read("256 -1 511"), MakeColorRef(0, 255, 255));
    EXPECT_EQ(Read("300 0 0"), MakeColorRef(44, 0, 0));
    EXPECT_EQ(Read("255,0,0"), MakeColorRef(255, 0, 0));
    EXPECT_EQ(Read("255  0 9"), MakeColorRef(255, 0, 0));  // the empty token eats a place
    EXPECT_EQ(Read("10 20"), MakeColorRef(10, 20, 0));
    EXPECT_EQ(Read("10 20 30 40"), MakeColorRef(10, 20, 30));
    EXPECT_EQ(Read("red green blue"), 0u);
    EXPECT_EQ(Read("99999999999999999999 7 8"), MakeColorRef(0xFF, 7, 8));
    EXPECT_EQ(Read(std::string(5000, '1')), static_cast<COLORREF>(0xFF));
}

TEST_F(ReadIniColorTest, MissingOrEmptyGivesTheDefault) {
    EXPECT_EQ(Read("", 0xABCDEF), 0xABCDEFu);
    const std::string path = folder_.Write("theme.ini", "[Colours]\nOther=1 2 3\n");
    EXPECT_EQ(ReadIniColor("Colours", "Title", path, 0x010203), 0x010203u);
    EXPECT_EQ(ReadIniColor("Nowhere", "Title", path, 0x010203), 0x010203u);
    EXPECT_EQ(ReadIniColor("Colours", "Title", folder_.Path() + "none.ini", 7), 7u);
}

}  // namespace
