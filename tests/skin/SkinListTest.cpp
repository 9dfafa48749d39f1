#include <gtest/gtest.h>

#include <cstring>

#include "skin/SkinList.h"

namespace {

TEST(SkinListTest, EntriesClosedBySemicolonsBecomeSkins) {
    CSkinList list("(Blue,skin\\blue\\);( Green , skin\\green\\ );(Plain);bad;");
    ASSERT_EQ(list.GetSkinCount(), 3);
    EXPECT_STREQ(list.GetSkin(0)->name, "Blue");
    EXPECT_STREQ(list.GetSkin(0)->folder, "skin\\blue\\");
    EXPECT_STREQ(list.GetSkin(1)->name, "Green");
    EXPECT_STREQ(list.GetSkin(1)->folder, "skin\\green\\");
    EXPECT_EQ(list.GetSkin(3), nullptr);
    EXPECT_EQ(list.GetSkin(-1), nullptr);
    // Without a comma there is no folder, and the default one is used.
    list.SelectSkin(2);
    EXPECT_STREQ(list.GetSkin(2)->folder, "");
    EXPECT_EQ(list.GetSubFolder(), "skin\\xpstyle\\");
    // A name longer than its field is cut to it.
    const CSkinList overlong("(" + std::string(300, 'n') + ",f\\);");
    EXPECT_EQ(std::strlen(overlong.GetSkin(0)->name), SkinEntry::kFieldBytes - 1);
}

TEST(SkinListTest, WithoutUsableEntriesTheBuiltInSkinIsUsed) {
    for (const char* entries : {"", "(Blue,skin\\blue\\)", "Blue,skin;", "(Blue;"}) {
        CSkinList list(entries);
        ASSERT_EQ(list.GetSkinCount(), 1) << entries;
        EXPECT_STREQ(list.GetSkin(0)->name, "XP Sytle");
        EXPECT_EQ(list.GetSubFolder(), "skin\\xpstyle\\");
    }
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
    CSkinList two("(A,a\\);(B,b\\);");
    two.SelectSkin(1);
    EXPECT_EQ(two.GetCurrentSkin(), two.GetSkin(1));
    for (int outside : {5, 2, -1}) {
        two.SelectSkin(1);
        two.SelectSkin(outside);
        EXPECT_EQ(two.GetCurrent(), 0) << outside;
    }
}

}  // namespace
