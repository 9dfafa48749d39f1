#include <gtest/gtest.h>

#include <cstring>

#include "skin/SkinList.h"

namespace {

TEST(SkinListTest, EntriesClosedBySemicolonsBecomeSkins) {
    CSkinList list("(Blue,skin\\blue\\);( Green , skin\\green\\ );");
    ASSERT_EQ(list.GetSkinCount(), 2);
    EXPECT_STREQ(list.GetSkin(0)->name, "Blue");
    EXPECT_STREQ(list.GetSkin(0)->folder, "skin\\blue\\");
    EXPECT_STREQ(list.GetSkin(1)->name, "Green");
    EXPECT_STREQ(list.GetSkin(1)->folder, "skin\\green\\");
    EXPECT_EQ(list.GetSkin(2), nullptr);
    EXPECT_EQ(list.GetSkin(-1), nullptr);
}

TEST(SkinListTest, WithoutUsableEntriesTheBuiltInSkinIsUsed) {
    for (const char* entries : {"", "(Blue,skin\\blue\\)", "Blue,skin;", "(Blue;"}) {
        CSkinList list(entries);
        ASSERT_EQ(list.GetSkinCount(), 1) << entries;
        EXPECT_STREQ(list.GetSkin(0)->name, "XP Sytle");
        EXPECT_EQ(list.GetSubFolder(), "skin\\xpstyle\\");
    }
}

TEST(SkinListTest, EntryWithoutCommaHasNoFolderAndUsesTheDefaultOne) {
    CSkinList list("(Plain);bad;(Other,skin\\o\\);");
    ASSERT_EQ(list.GetSkinCount(), 2);
    EXPECT_STREQ(list.GetSkin(0)->folder, "");
    EXPECT_EQ(list.GetSubFolder(), "skin\\xpstyle\\");
    list.SelectSkin(1);
    EXPECT_EQ(list.GetSubFolder(), "skin\\o\\");
}

TEST(SkinListTest, AFolderOutsideTheProgramFolderGivesTheDefaultOne) {
    CSkinList list(
        "(Up,..\\x\\);(Deep,skin\\..\\..\\etc\\);(Slash,skin/../../x/);"
        "(Root,/etc/);(Back,\\etc\\);(Ok,skin\\a..b\\);(Dots,skin\\...\\);");
    ASSERT_EQ(list.GetSkinCount(), 7);
    for (int i = 0; i < 5; ++i) {
        list.SelectSkin(i);
        EXPECT_EQ(list.GetSubFolder(), "skin\\xpstyle\\") << list.GetSkin(i)->folder;
    }
    list.SelectSkin(5);
    EXPECT_EQ(list.GetSubFolder(), "skin\\a..b\\");
    list.SelectSkin(6);
    EXPECT_EQ(list.GetSubFolder(), "skin\\...\\");
}

TEST(SkinListTest, SelectOutsideTheListSelectsTheFirst) {
    CSkinList list;
    list.SelectSkin(5);
    EXPECT_EQ(list.GetCurrent(), 0);
    CSkinList two("(A,a\\);(B,b\\);");
    two.SelectSkin(1);
    EXPECT_EQ(two.GetCurrentSkin(), two.GetSkin(1));
    two.SelectSkin(-1);
    EXPECT_EQ(two.GetCurrent(), 0);
}

TEST(SkinListTest, OverlongNamesAreCutToTheirField) {
    const std::string name(300, 'n');
    CSkinList list("(" + name + ",f\\);");
    EXPECT_EQ(std::strlen(list.GetSkin(0)->name), SkinEntry::kFieldBytes - 1);
}

}  // namespace
