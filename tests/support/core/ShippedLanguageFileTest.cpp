// The language file we ship must load in both of its languages without losing texts: every
// entry the player shows is present, the padded property labels keep their blanks, and the
// skin list names the three shipped skins.
#include <gtest/gtest.h>
#include <stdlib.h>

#include "support/LanguageTable.h"

namespace {

CLanguageTable LoadFor(const char* langId) {
    setenv("TVQ_LANGID", langId, 1);
    CLanguageTable table;
    table.LoadLanguageFile(TVQ_RES_DIR "/");
    unsetenv("TVQ_LANGID");
    return table;
}

}  // namespace

TEST(ShippedLanguageFile, EnglishMatchesTheBuiltInTexts) {
    const CLanguageTable defaults;
    const CLanguageTable english = LoadFor("0x0409");
    EXPECT_EQ(english.GetLanguageName(), "English");
    for (int i = 0; i < CLanguageTable::kTitleInfoSize; ++i)
        EXPECT_EQ(english.TitleInfo(i), defaults.TitleInfo(i)) << "TitleInfo " << i;
    for (int i = 0; i < CLanguageTable::kDebugInfoSize; ++i)
        EXPECT_EQ(english.DebugInfo(i), defaults.DebugInfo(i)) << "DebugInfo " << i;
    for (int i = 0; i < CLanguageTable::kUIInfoSize; ++i) {
        if (i == 19 || i == 67)
            continue;  // our notice line and the skin list are file-only
        EXPECT_EQ(english.UIInfo(i), defaults.UIInfo(i)) << "UIInfo " << i;
    }
    EXPECT_FALSE(english.UIInfo(19).empty());
    EXPECT_EQ(english.UIInfo(67),
              "(XP Style,skin\\xpstyle\\);(Midnight,skin\\midnight\\);(Ocean,skin\\ocean\\);");
    EXPECT_EQ(english.GetOptionText(2), "tvq");
    EXPECT_EQ(english.GetOptionValue(3), 0);
}

TEST(ShippedLanguageFile, ChineseReplacesEveryShownText) {
    const CLanguageTable english = LoadFor("0x0409");
    const CLanguageTable chinese = LoadFor("2052");
    EXPECT_EQ(chinese.GetLanguageName(), "Chinese");
    EXPECT_EQ(chinese.TitleInfo(0), "错误");
    EXPECT_EQ(chinese.DebugInfo(1), "无法打开文件 %s！") << "the file name placeholder survives";
    EXPECT_EQ(chinese.UIInfo(0), "TVQ Player") << "a second copy finds the first by this title";
    for (int i :
         {7, 13, 20, 21, 24, 25, 27, 30, 40, 46, 47, 48, 49, 50, 59, 61, 66, 68, 69, 74, 75, 76})
        EXPECT_NE(chinese.UIInfo(i), english.UIInfo(i)) << "UIInfo " << i << " untranslated";
    for (int i = 55; i <= 58; ++i) EXPECT_EQ(chinese.UIInfo(i).back(), ' ') << i;
    EXPECT_NE(chinese.UIInfo(67).find("skin\\midnight\\"), std::string::npos);
}
