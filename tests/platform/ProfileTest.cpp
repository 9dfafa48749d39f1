// settings.ini through the profile functions, read and written by Windows' rules.
#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "TempFolder.h"
#include "platform/Profile.h"

using namespace win;

namespace {

class ProfileTest : public ::testing::Test {
protected:
    void Write(const std::string& text) { folder_.Write("test.ini", text); }
    std::string Read() const { return TempFolder::ReadAll(file_); }
    std::string Get(const char* section, const char* key, const char* def = "dflt",
                    uint32_t size = 256) {
        std::vector<char> buf(size + 1, 'X');
        const uint32_t n = GetPrivateProfileString(section, key, def, buf.data(), size, file_);
        EXPECT_EQ(buf[n], '\0');
        EXPECT_EQ(buf[size], 'X') << "wrote past the buffer";
        return std::string(buf.data(), n);
    }
    TempFolder folder_{"tvq-profile"};
    const std::string file_ = folder_.File("test.ini");
};

}  // namespace

TEST_F(ProfileTest, ReadsWithWindowsRules) {
    Write(
        "; comment=not a key\n"
        "[Player Setup]\n"
        "  Repeat  =  on  \r\n"
        "quoted=\"  spaced  \"\n"
        "single='x'\n"
        "half=\"open\n"
        "repeat=second wins? no\n"
        "[player setup]\n"
        "later=ignored\n"
        "[Other]\n"
        "noequals\n"
        "Repeat=other\n");
    EXPECT_EQ(Get("PLAYER SETUP", "REPEAT"), "on");
    EXPECT_EQ(Get("Player Setup", "quoted"), "  spaced  ");
    EXPECT_EQ(Get("Player Setup", "single"), "x");
    EXPECT_EQ(Get("Player Setup", "half"), "\"open");
    EXPECT_EQ(Get("Player Setup", "later"), "dflt") << "only the first matching section counts";
    EXPECT_EQ(Get("Other", "repeat"), "other");
    EXPECT_EQ(Get("Other", "noequals"), "dflt");
    EXPECT_EQ(Get("Missing", "repeat", "def   "), "def") << "default loses trailing blanks";
    EXPECT_EQ(Get("Player Setup", "Repeat", "", 2), "o") << "cut to size - 1";
}

TEST_F(ProfileTest, MissingFileGivesDefaultsAndAnUnwritableFolderFails) {
    EXPECT_EQ(Get("a", "b", "fallback"), "fallback");
    EXPECT_EQ(GetPrivateProfileInt("a", "b", 42, file_), 42);
    EXPECT_EQ(Get("a", "b", "x", 1), "");
    EXPECT_FALSE(WritePrivateProfileString("A", "b", "c", folder_.File("no/such/dir.ini")));
}

TEST_F(ProfileTest, IntTakesLeadingNumber) {
    Write("[s]\na= 4 \nb=-12px\nc=px12\nd=\ne=007\n");
    for (const auto& [key, value] :
         {std::pair{"a", 4}, {"b", -12}, {"c", 0}, {"d", 0}, {"e", 7}, {"zz", 9}})
        EXPECT_EQ(GetPrivateProfileInt("s", key, 9, file_), value) << key;
}

TEST_F(ProfileTest, WriteCreatesAndDeletesKeysAndSections) {
    ASSERT_TRUE(WritePrivateProfileString("PlayerSetup", "repeat", "1", file_));
    EXPECT_EQ(Read(), "[PlayerSetup]\nrepeat=1\n");
    ASSERT_TRUE(WritePrivateProfileString("PlayerSetup", "adjust", "0", file_));
    ASSERT_TRUE(WritePrivateProfileString("Other", "k", "v", file_));
    EXPECT_EQ(Read(), "[PlayerSetup]\nrepeat=1\nadjust=0\n[Other]\nk=v\n");
    EXPECT_EQ(Get("playersetup", "ADJUST"), "0");
    // A null value deletes the key, a null key the section.
    ASSERT_TRUE(WritePrivateProfileString("PlayerSetup", "repeat", nullptr, file_));
    ASSERT_TRUE(WritePrivateProfileString("Other", nullptr, nullptr, file_));
    EXPECT_EQ(Read(), "[PlayerSetup]\nadjust=0\n");
}

TEST_F(ProfileTest, WriteReplacesInPlaceAndKeepsEverythingElse) {
    Write(
        "; top comment\r\n"
        "[A]\r\n"
        "one=1\r\n"
        "; inner comment\r\n"
        "Two = 2\r\n"
        "three=3\r\n"
        "\r\n"
        "[B]\r\n"
        "two=b2\r\n");
    ASSERT_TRUE(WritePrivateProfileString("a", "two", "22", file_));
    ASSERT_TRUE(WritePrivateProfileString("A", "four", "4", file_));
    EXPECT_EQ(Read(),
              "; top comment\r\n"
              "[A]\r\n"
              "one=1\r\n"
              "; inner comment\r\n"
              "two=22\r\n"
              "three=3\r\n"
              "four=4\r\n"
              "\r\n"
              "[B]\r\n"
              "two=b2\r\n");
    EXPECT_EQ(Get("B", "two"), "b2");
}

TEST_F(ProfileTest, MalformedInputNeverCrashes) {
    std::string garbage = "\xEF\xBB\xBF[Bom]\nk=v\n[unclosed\nk2=v2\n";
    garbage += "[Long]\nkey=" + std::string(10 * 1024 * 1024, 'L') + "\n";
    for (int i = 0; i < 4096; ++i) garbage += static_cast<char>((i * 131) & 0xFF);
    Write(garbage);
    EXPECT_EQ(Get("Bom", "k"), "v") << "a byte-order mark does not hide the first section";
    EXPECT_EQ(Get("unclosed", "k2"), "v2");
    EXPECT_EQ(Get("Long", "key", "", 16).size(), 15u);
    EXPECT_EQ(Get("nothing", "here"), "dflt");
    ASSERT_TRUE(WritePrivateProfileString("Bom", "k", "w", file_));
    EXPECT_EQ(Get("Long", "key", "", 4), "LLL");
    EXPECT_EQ(Get("Bom", "k"), "w");
}
