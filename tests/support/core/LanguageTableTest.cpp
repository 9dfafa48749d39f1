#include "support/LanguageTable.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>
#include <vector>

#include "TempFolder.h"

namespace {

// Forces the system language the table sees for the lifetime of the object.
class ScopedLangId {
public:
    explicit ScopedLangId(const char* id) { setenv("TVQ_LANGID", id, 1); }
    ~ScopedLangId() { unsetenv("TVQ_LANGID"); }
};

// A language file with an English section and a Chinese one, mapped the usual way.
const char* const kTwoLanguages =
    "[Option]\nTitleInfoCount=4\nDebugInfoCount=2\nUIInfoCount=1\n"
    "[LanguageMap]\n804=Chinese,zh\n404=Chinese2\ndefault=English\n"
    "[English]\nTitleInfo00=Error!\nTitleInfo01=Warn\nTitleInfo02=Info\nTitleInfo03=Done\n"
    "DebugInfo00=No COM\nDebugInfo01=Cannot open %s\nUIInfo00=TVQ Player (en)\n"
    "[Chinese]\nTitleInfo00=\xE9\x94\x99\xE8\xAF\xAF\nTitleInfo01=zh1\nTitleInfo02=zh2\n"
    "TitleInfo03=zh3\nDebugInfo00=zh-debug0\nDebugInfo01=zh-debug1\nUIInfo00=zh-ui0\n"
    "[Chinese2]\nTitleInfo00=tw0\n";

// A fresh table loaded from the TvqPlayer.ini in `folder`, as a system of that language sees it.
CLanguageTable LoadFrom(const std::string& folder, const char* langId = "0x0409") {
    ScopedLangId lang(langId);
    CLanguageTable table;
    table.LoadLanguageFile(folder);
    return table;
}

class LanguageFileTest : public ::testing::Test {
protected:
    // Writes TvqPlayer.ini with the given text and loads a fresh table from it.
    CLanguageTable Load(const std::string& text, const char* langId = "0x0409") {
        folder_.Write("TvqPlayer.ini", text);
        return LoadFrom(folder_.Path(), langId);
    }
    TempFolder folder_;
};

// The built-in texts are checked against the shipped file below; here only what lies outside
// each group.
TEST(LanguageTableDefaults, IndexesOutsideAGroupGiveNothing) {
    CLanguageTable table;
    for (const std::string& outside :
         {table.TitleInfo(4), table.TitleInfo(-1), table.DebugInfo(50), table.UIInfo(100),
          table.UIInfo(-1), table.GetOptionText(50), table.GetLanguageName()})
        EXPECT_EQ(outside, "");
    EXPECT_EQ(table.GetOptionValue(50), 0);
    EXPECT_EQ(table.GetOptionValue(-1), 0);
    EXPECT_EQ(&LanguageTable(), &LanguageTable());
}

TEST_F(LanguageFileTest, NoFileKeepsEverythingAndTheFolderNeedsNoTrailingSeparator) {
    const CLanguageTable table = LoadFrom(folder_.Path());
    EXPECT_EQ(table.TitleInfo(0), "Error");
    EXPECT_EQ(table.GetOptionValue(0), 3);
    EXPECT_EQ(table.GetOptionValue(1), 3);
    EXPECT_EQ(table.GetLanguageName(), "");

    folder_.Write("TvqPlayer.ini",
                  "[Option]\nTitleInfoCount=1\n[LanguageMap]\n[English]\nTitleInfo00=Oops\n");
    const std::string folder = folder_.Path();
    EXPECT_EQ(LoadFrom(folder.substr(0, folder.size() - 1)).TitleInfo(0), "Oops");
}

TEST_F(LanguageFileTest, SystemLanguageChoosesItsSection) {
    CLanguageTable zh = Load(kTwoLanguages, "2052");
    EXPECT_EQ(zh.GetLanguageName(), "Chinese");
    EXPECT_EQ(zh.TitleInfo(0), "\xE9\x94\x99\xE8\xAF\xAF");
    EXPECT_EQ(zh.DebugInfo(1), "zh-debug1");
    EXPECT_EQ(zh.UIInfo(0), "zh-ui0");
    // Beyond the counts the defaults stay.
    EXPECT_EQ(zh.DebugInfo(2), "No this type CODEC, can not create %s!");
    EXPECT_EQ(zh.UIInfo(1), "Select source media file");

    // Hong Kong shares the Taiwan key.
    EXPECT_EQ(Load(kTwoLanguages, "0x0C04").GetLanguageName(), "Chinese2");
    // German has no key of its own: the default list.
    CLanguageTable de = Load(kTwoLanguages, "0x0407");
    EXPECT_EQ(de.GetLanguageName(), "English");
    EXPECT_EQ(de.TitleInfo(0), "Error!");
    EXPECT_EQ(de.UIInfo(0), "TVQ Player (en)");
}

TEST_F(LanguageFileTest, KeysOfOtherLanguagesUseTheLowByteInLowerCaseHex) {
    const std::string file =
        "[LanguageMap]\n41f=Turkish\n409=Eng2\ndefault=Nope\n"
        "[Turkish]\nTitleInfo00=tr\n[Eng2]\nTitleInfo00=gb\n";
    EXPECT_EQ(Load(file, "0x041F").GetLanguageName(), "Turkish");
    EXPECT_EQ(Load(file, "0x0809").GetLanguageName(), "Eng2");
}

TEST_F(LanguageFileTest, UnusableSectionsFallBackToEnglish) {
    for (const char* file : {
             "[LanguageMap]\n804=Chinese\n[Chinese]\nTitleInfo01=x\n",  // no TitleInfo00
             "[LanguageMap]\n409=X\n[X]\nTitleInfo00=x\n",  // no key for it and no default
             "[LanguageMap]\n804=,Chinese\n[Chinese]\nTitleInfo00=x\n",  // empty first field
             "[LanguageMap]\ndefault=Other\n[Other]\nUIInfo00=y\n",      // default without one
         })
        EXPECT_EQ(Load(file, "2052").GetLanguageName(), "English") << file;
}

using Strings = std::vector<std::string>;

TEST_F(LanguageFileTest, CountsDecideWhichEntriesAreAssignedUpToEachGroupsSize) {
    CLanguageTable t = Load(
        "[Option]\nTitleInfoCount=2\nUIInfoCount=68\nDebugInfoCount=0\n"
        "[LanguageMap]\ndefault=English\n"
        "[English]\nTitleInfo00=E0\nTitleInfo01=E1\nTitleInfo02=E2\n"
        "UIInfo00=Player\nUIInfo67=(Classic,skin\\classic\\);\nUIInfo68=Skins\n"
        "DebugInfo00=never read\n");
    EXPECT_EQ((Strings{t.TitleInfo(0), t.TitleInfo(1), t.TitleInfo(2), t.TitleInfo(3)}),
              (Strings{"E0", "E1", "Information", "Success"}));
    EXPECT_EQ(t.DebugInfo(0), "Can not init COM!");
    // Below the count without a key: emptied; at the count: the default kept.
    EXPECT_EQ((Strings{t.UIInfo(0), t.UIInfo(1), t.UIInfo(67), t.UIInfo(68)}),
              (Strings{"Player", "", "(Classic,skin\\classic\\);", "Skin style"}));

    t = Load(
        "[Option]\nTitleInfoCount=1000\nDebugInfoCount=0x7FFFFFFF\nUIInfoCount=100\n"
        "[LanguageMap]\ndefault=English\n"
        "[English]\nTitleInfo00=T0\nTitleInfo03=T3\nDebugInfo49=D49\nUIInfo99=U99\n");
    EXPECT_EQ((Strings{t.TitleInfo(0), t.TitleInfo(1), t.TitleInfo(3), t.DebugInfo(0),
                       t.DebugInfo(49), t.UIInfo(99)}),
              (Strings{"T0", "", "T3", "", "D49", "U99"}));
}

TEST_F(LanguageFileTest, OptionValuesAreCheckedAgainstTheirRanges) {
    const auto options = [&](const std::string& lines) {
        const CLanguageTable t = Load("[Option]\n" + lines + "[LanguageMap]\n");
        return std::vector<std::string>{
            std::to_string(t.GetOptionValue(0)), std::to_string(t.GetOptionValue(1)),
            std::to_string(t.GetOptionValue(3)), t.GetOptionText(2), t.GetLanguageName()};
    };
    EXPECT_EQ(options("VIDEOWH=-1\nVIDEOFRAME=7\nUSERF=25\nMTVFILEEXTEND=mtv\n"),
              (Strings{"3", "4", "25", "mtv", "English"}));
    EXPECT_EQ(options("VIDEOWH=0x2\nVIDEOFRAME=3\nUSERF=\nMTVFILEEXTEND=\n"),
              (Strings{"2", "3", "0", "tvq", "English"}));
    // With a file, a missing display option reads as empty text, which is the number 0.
    EXPECT_EQ(options("USERF=abc\n"), (Strings{"0", "0", "0", "tvq", "English"}));
}

TEST_F(LanguageFileTest, MalformedFilesDoNotBreakLoading) {
    // Windows line ends, a byte-order mark, lines without '=' or ']', binary junk and a
    // 10 MB line: the keys that are well formed still count.
    std::string junk(4096, '\0');
    for (size_t i = 0; i < junk.size(); ++i) junk[i] = static_cast<char>((i * 131) & 0xFF);
    const std::string file =
        "\xEF\xBB\xBF[Option]\r\nTitleInfoCount=2\r\nno equals sign\r\n"
        "[broken section\r\n" +
        junk + "\r\n" + std::string(10 * 1024 * 1024, 'q') +
        "\r\n[LanguageMap]\r\ndefault=English\r\n"
        "[English]\r\nTitleInfo00=CRLF\r\nTitleInfo01=" +
        std::string(200, 'z') + "\r\n";
    CLanguageTable table = Load(file);
    EXPECT_EQ(table.TitleInfo(0), "CRLF");
    EXPECT_EQ(table.TitleInfo(1), std::string(99, 'z'));
    EXPECT_EQ(table.TitleInfo(2), "Information");

    CLanguageTable garbage = Load(junk);
    EXPECT_EQ(garbage.TitleInfo(0), "Error");
    EXPECT_EQ(garbage.GetLanguageName(), "English");
}

TEST(LanguageTableListField, FieldsAndFallbacks) {
    EXPECT_EQ(CLanguageTable::ListField("Chinese,zh,cn", 0), "Chinese");
    EXPECT_EQ(CLanguageTable::ListField("Chinese,zh,cn", 1), "zh");
    EXPECT_EQ(CLanguageTable::ListField("Chinese,zh,cn", 2), "cn");
    EXPECT_EQ(CLanguageTable::ListField("Chinese,zh", 5), "zh");  // too few: the last field
    EXPECT_EQ(CLanguageTable::ListField("Chinese", 0), "Chinese");
    EXPECT_EQ(CLanguageTable::ListField(",zh", 0), "English");
    EXPECT_EQ(CLanguageTable::ListField("", 0), "English");
    EXPECT_EQ(CLanguageTable::ListField("a,,c", 1), "");  // only field 0 falls back
    EXPECT_EQ(CLanguageTable::ListField("a,", 1), "");
}

TEST(LanguageTableParseNumber, DecimalHexAndRejects) {
    struct Case {
        const char* text;
        int32_t value;
        int success;
    };
    const Case cases[] = {
        {" 12 ", 12, 1},   {"-3", -3, 1},         {"+7", 7, 1},
        {"12.7", 12, 1},   {"1A", 1, 1},          {"A1", 0, 1},
        {"", 0, 1},        {"0x1f", 31, 1},       {"0X1F", 31, 1},
        {"-0x10", -16, 1}, {"0xFFFFFFFF", -1, 1}, {"12z", 0, 0},
        {"1 2", 0, 0},     {"--5", 0, 0},         {"0x1g", 0, 0},
        {"\t-0\n", 0, 1},  {"007", 7, 1},         {"99999999999", INT32_MAX, 1},
    };
    for (const Case& c : cases) {
        int success = -1;
        EXPECT_EQ(CLanguageTable::ParseNumber(c.text, &success), c.value) << '"' << c.text << '"';
        EXPECT_EQ(success, c.success) << '"' << c.text << '"';
    }
    EXPECT_EQ(CLanguageTable::ParseNumber("42", nullptr), 42);
}

// The language file we ship, in both of its languages: every entry the player shows is
// there, the padded property labels keep their blanks, the skin list names the shipped skins.
CLanguageTable LoadShipped(const char* langId) {
    return LoadFrom(TVQ_RES_DIR "/", langId);
}

TEST(ShippedLanguageFile, EnglishMatchesTheBuiltInTexts) {
    const CLanguageTable defaults;
    const CLanguageTable english = LoadShipped("0x0409");
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
    const CLanguageTable english = LoadShipped("0x0409");
    const CLanguageTable chinese = LoadShipped("2052");
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

}  // namespace
