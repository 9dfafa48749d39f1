#include "support/LanguageTable.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>

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
    "[Option]\n"
    "TitleInfoCount=4\n"
    "DebugInfoCount=2\n"
    "UIInfoCount=1\n"
    "[LanguageMap]\n"
    "804=Chinese,zh\n"
    "404=Chinese2\n"
    "default=English\n"
    "[English]\n"
    "TitleInfo00=Error!\n"
    "TitleInfo01=Warn\n"
    "TitleInfo02=Info\n"
    "TitleInfo03=Done\n"
    "DebugInfo00=No COM\n"
    "DebugInfo01=Cannot open %s\n"
    "UIInfo00=TVQ Player (en)\n"
    "[Chinese]\n"
    "TitleInfo00=\xE9\x94\x99\xE8\xAF\xAF\n"
    "TitleInfo01=zh1\n"
    "TitleInfo02=zh2\n"
    "TitleInfo03=zh3\n"
    "DebugInfo00=zh-debug0\n"
    "DebugInfo01=zh-debug1\n"
    "UIInfo00=zh-ui0\n"
    "[Chinese2]\n"
    "TitleInfo00=tw0\n";

class LanguageFileTest : public ::testing::Test {
protected:
    // Writes TvqPlayer.ini with the given text and loads a fresh table from it.
    CLanguageTable Load(const std::string& text, const char* langId = "0x0409") {
        ScopedLangId lang(langId);
        folder_.Write("TvqPlayer.ini", text);
        CLanguageTable table;
        table.LoadLanguageFile(folder_.Path());
        return table;
    }
    TempFolder folder_;
};

TEST(LanguageTableDefaults, TrickyEntriesAndOptions) {
    CLanguageTable table;
    EXPECT_EQ(table.TitleInfo(0), "Error");
    EXPECT_EQ(table.TitleInfo(3), "Success");
    EXPECT_EQ(table.DebugInfo(1), "Can not open file %s!");
    EXPECT_EQ(table.DebugInfo(26), "Please install codec for %s");
    EXPECT_EQ(table.DebugInfo(27), "");
    EXPECT_EQ(table.DebugInfo(49), "");
    EXPECT_EQ(table.UIInfo(0), "TVQ Player");
    EXPECT_EQ(table.UIInfo(54), "Property");
    EXPECT_EQ(table.UIInfo(55), "Vedio frames per second:   ");
    EXPECT_EQ(table.UIInfo(56), "Audio sample rate:         ");
    EXPECT_EQ(table.UIInfo(57), "Video size:                ");
    EXPECT_EQ(table.UIInfo(58), "Movie time:                ");
    for (int i = 55; i <= 58; ++i) EXPECT_EQ(table.UIInfo(i).size(), 27u) << i;
    EXPECT_EQ(table.UIInfo(59), "Movie property");
    EXPECT_EQ(table.UIInfo(66), "270 Degree Circle");
    EXPECT_EQ(table.UIInfo(67), "");
    EXPECT_EQ(table.UIInfo(68), "Skin style");
    EXPECT_EQ(table.UIInfo(CLanguageTable::kUIRestore), "&Restore");
    EXPECT_EQ(table.UIInfo(CLanguageTable::kUIClose), "&Close");
    EXPECT_EQ(table.UIInfo(CLanguageTable::kUIMuted), "Muted");
    EXPECT_EQ(table.UIInfo(CLanguageTable::kUIMuted + 1), "");
    EXPECT_FALSE(table.UIInfo(19).empty());

    EXPECT_EQ(table.GetOptionValue(0), 3);
    EXPECT_EQ(table.GetOptionValue(1), 3);
    EXPECT_EQ(table.GetOptionValue(2), 0);
    EXPECT_EQ(table.GetOptionValue(3), 0);
    EXPECT_EQ(table.GetOptionText(2), "tvq");
    EXPECT_EQ(table.GetLanguageName(), "");
}

TEST(LanguageTableDefaults, IndicesOutsideAGroupGiveNothing) {
    CLanguageTable table;
    EXPECT_EQ(table.TitleInfo(4), "");
    EXPECT_EQ(table.TitleInfo(-1), "");
    EXPECT_EQ(table.DebugInfo(50), "");
    EXPECT_EQ(table.UIInfo(100), "");
    EXPECT_EQ(table.UIInfo(-1), "");
    EXPECT_EQ(table.GetOptionValue(50), 0);
    EXPECT_EQ(table.GetOptionValue(-1), 0);
    EXPECT_EQ(table.GetOptionText(50), "");
}

TEST(LanguageTableDefaults, ProcessWideTableStartsWithDefaults) {
    EXPECT_EQ(&LanguageTable(), &LanguageTable());
    EXPECT_EQ(LanguageTable().UIInfo(24), "About TVQ Player");
}

TEST_F(LanguageFileTest, NoFileKeepsEverything) {
    CLanguageTable table;
    table.LoadLanguageFile(folder_.Path());
    EXPECT_EQ(table.TitleInfo(0), "Error");
    EXPECT_EQ(table.GetOptionValue(0), 3);
    EXPECT_EQ(table.GetOptionValue(1), 3);
    EXPECT_EQ(table.GetLanguageName(), "");
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
    // The mapped section lacks TitleInfo00.
    EXPECT_EQ(
        Load("[LanguageMap]\n804=Chinese\n[Chinese]\nTitleInfo01=x\n", "2052").GetLanguageName(),
        "English");
    // No key for the language and no default.
    EXPECT_EQ(Load("[LanguageMap]\n409=X\n[X]\nTitleInfo00=x\n", "2052").GetLanguageName(),
              "English");
    // A value starting with a comma has an empty first field.
    EXPECT_EQ(
        Load("[LanguageMap]\n804=,Chinese\n[Chinese]\nTitleInfo00=x\n", "2052").GetLanguageName(),
        "English");
    // The default list names a section without TitleInfo00.
    EXPECT_EQ(Load("[LanguageMap]\ndefault=Other\n[Other]\nUIInfo00=y\n", "2052").GetLanguageName(),
              "English");
}

TEST_F(LanguageFileTest, CountsDecideWhichEntriesAreAssigned) {
    CLanguageTable table = Load(
        "[Option]\nTitleInfoCount=2\nUIInfoCount=68\nDebugInfoCount=0\n"
        "[LanguageMap]\ndefault=English\n"
        "[English]\nTitleInfo00=E0\nTitleInfo01=E1\nTitleInfo02=E2\n"
        "UIInfo00=Player\nUIInfo67=(Classic,skin\\classic\\);\nUIInfo68=Skins\n"
        "DebugInfo00=never read\n");
    EXPECT_EQ(table.TitleInfo(0), "E0");
    EXPECT_EQ(table.TitleInfo(1), "E1");
    EXPECT_EQ(table.TitleInfo(2), "Information");
    EXPECT_EQ(table.TitleInfo(3), "Success");
    EXPECT_EQ(table.DebugInfo(0), "Can not init COM!");
    EXPECT_EQ(table.UIInfo(0), "Player");
    EXPECT_EQ(table.UIInfo(1), "");  // below the count without a key: emptied
    EXPECT_EQ(table.UIInfo(67), "(Classic,skin\\classic\\);");
    EXPECT_EQ(table.UIInfo(68), "Skin style");  // at the count: default kept
}

TEST_F(LanguageFileTest, CountsAboveAGroupsSizeStopAtTheSize) {
    CLanguageTable table = Load(
        "[Option]\nTitleInfoCount=1000\nDebugInfoCount=0x7FFFFFFF\nUIInfoCount=100\n"
        "[LanguageMap]\ndefault=English\n"
        "[English]\nTitleInfo00=T0\nTitleInfo03=T3\nDebugInfo49=D49\nUIInfo99=U99\n");
    EXPECT_EQ(table.TitleInfo(0), "T0");
    EXPECT_EQ(table.TitleInfo(1), "");
    EXPECT_EQ(table.TitleInfo(3), "T3");
    EXPECT_EQ(table.DebugInfo(0), "");
    EXPECT_EQ(table.DebugInfo(49), "D49");
    EXPECT_EQ(table.UIInfo(99), "U99");
}

TEST_F(LanguageFileTest, OptionValuesAreCheckedAgainstTheirRanges) {
    const auto options = [&](const std::string& lines) {
        return Load("[Option]\n" + lines + "[LanguageMap]\n");
    };
    CLanguageTable a = options("VIDEOWH=-1\nVIDEOFRAME=7\nUSERF=25\nMTVFILEEXTEND=mtv\n");
    EXPECT_EQ(a.GetOptionValue(0), 3);
    EXPECT_EQ(a.GetOptionValue(1), 4);
    EXPECT_EQ(a.GetOptionValue(3), 25);
    EXPECT_EQ(a.GetOptionText(2), "mtv");

    CLanguageTable b = options("VIDEOWH=0x2\nVIDEOFRAME=3\nUSERF=\nMTVFILEEXTEND=\n");
    EXPECT_EQ(b.GetOptionValue(0), 2);
    EXPECT_EQ(b.GetOptionValue(1), 3);
    EXPECT_EQ(b.GetOptionValue(3), 0);
    EXPECT_EQ(b.GetOptionText(2), "tvq");

    // With a file, a missing display option reads as empty text, which is the number 0.
    CLanguageTable c = options("USERF=abc\n");
    EXPECT_EQ(c.GetOptionValue(0), 0);
    EXPECT_EQ(c.GetOptionValue(1), 0);
    EXPECT_EQ(c.GetOptionValue(3), 0);
    EXPECT_EQ(c.GetLanguageName(), "English");
}

TEST_F(LanguageFileTest, LongValuesAreCutTo99Bytes) {
    const std::string longText(300, 'x');
    CLanguageTable table = Load(
        "[Option]\nUIInfoCount=1\n[LanguageMap]\ndefault=English\n"
        "[English]\nTitleInfo00=E\nUIInfo00=" +
        longText + "\n");
    EXPECT_EQ(table.UIInfo(0), longText.substr(0, 99));
}

TEST_F(LanguageFileTest, FolderWithoutTrailingSeparator) {
    ScopedLangId lang("0x0409");
    folder_.Write("TvqPlayer.ini",
                  "[Option]\nTitleInfoCount=1\n[LanguageMap]\n[English]\nTitleInfo00=Oops\n");
    CLanguageTable table;
    std::string folder = folder_.Path();
    folder.pop_back();
    table.LoadLanguageFile(folder);
    EXPECT_EQ(table.TitleInfo(0), "Oops");
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

}  // namespace
