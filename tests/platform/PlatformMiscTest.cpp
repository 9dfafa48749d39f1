// Paths, text conversions and dynamic libraries.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>

#include "platform/DynamicLibrary.h"
#include "platform/Paths.h"
#include "platform/Text.h"
#include "platform/WinTypes.h"

using namespace win;

TEST(Paths, ProgramFolderIsTheTestsFolder) {
    const std::string folder = ProgramFolder();
    ASSERT_FALSE(folder.empty());
    EXPECT_EQ(folder.back(), '/');
    EXPECT_TRUE(FileExists(folder + "platform_tests"));
    EXPECT_TRUE(IsDirectory(folder));
}

TEST(Paths, BackslashesAndFileParts) {
    EXPECT_EQ(ToNativePath("skin\\xpstyle\\"), "skin/xpstyle/");
    EXPECT_EQ(FileNamePart("/a/b\\c.tvq"), "c.tvq");
    EXPECT_EQ(FileNamePart("plain"), "plain");
    EXPECT_FALSE(FileExists(""));
}

TEST(Paths, UnwritableProgramFolderFallsBackToConfigHome) {
    const auto tmp = std::filesystem::temp_directory_path() / "tvq-xdg-test";
    setenv("XDG_CONFIG_HOME", tmp.c_str(), 1);
    if (::geteuid() != 0) {  // root may write anywhere
        EXPECT_EQ(WritableFolder("/proc/"), tmp.string() + "/tvqplayer/");
        EXPECT_TRUE(IsDirectory(tmp.string() + "/tvqplayer"));
    } else {
        EXPECT_EQ(WritableFolder("/proc/self/"), tmp.string() + "/tvqplayer/");
    }
    EXPECT_EQ(WritableFolder(tmp.string() + "/"), tmp.string() + "/");
    std::filesystem::remove_all(tmp);
}

TEST(Text, Utf8ToCp936RoundTrips) {
    const std::string trace = "创建m_pDirectSound失败";
    const std::string gbk = Utf8ToCp936(trace);
    EXPECT_EQ(gbk.substr(0, 4), "\xB4\xB4\xBD\xA8");  // 创建 in GBK
    EXPECT_EQ(gbk.size(), 4 + 14 + 4);
    EXPECT_EQ(Cp936ToUtf8(gbk), trace);
    EXPECT_EQ(Utf8ToCp936("plain ascii"), "plain ascii");
    EXPECT_EQ(Utf8ToCp936("a\xFF"
                          "b"),
              "a?b")
        << "a broken byte does not stop the conversion";
}

TEST(Text, LanguageIdsFromLocales) {
    EXPECT_EQ(LangIdFromLocale("zh_CN.UTF-8"), 0x0804);
    EXPECT_EQ(LangIdFromLocale("zh_TW"), 0x0404);
    EXPECT_EQ(LangIdFromLocale("en_US.UTF-8"), 0x0409);
    EXPECT_EQ(LangIdFromLocale("tr_TR"), 0x041F);
    EXPECT_EQ(LangIdFromLocale("de_DE@euro"), 0x0407);
    EXPECT_EQ(LangIdFromLocale("xx_YY"), 0);
    EXPECT_EQ(LangIdFromLocale("enx"), 0);
    setenv("TVQ_LANGID", "2052", 1);
    EXPECT_EQ(GetSystemDefaultLangID(), 2052);
    setenv("TVQ_LANGID", "0x041F", 1);
    EXPECT_EQ(GetSystemDefaultLangID(), 0x041F);
    unsetenv("TVQ_LANGID");
    setenv("LC_ALL", "zh_TW.UTF-8", 1);
    EXPECT_EQ(GetSystemDefaultLangID(), 0x0404);
    unsetenv("LC_ALL");
}

TEST(Text, ClockTextIsMinutesAndSeconds) {
    EXPECT_EQ(win::ClockText(0), "0:00");
    EXPECT_EQ(win::ClockText(599), "9:59");
    // An hour stays in the minutes, and long movies keep counting them.
    EXPECT_EQ(win::ClockText(3600), "60:00");
    EXPECT_EQ(win::ClockText(int64_t{6000} * 60 + 7), "6000:07");
    EXPECT_EQ(win::ClockText(-1), "0:00");
    EXPECT_EQ(win::ClockText(-3600), "0:00");
}

TEST(DynamicLibrary, ReportsMissingLibraryAndSymbol) {
    DynamicLibrary lib;
    EXPECT_EQ(lib.Load("/nonexistent/TVQ_DecDLL.so"), 0);
    EXPECT_NE(lib.LastError(), 0);
    EXPECT_EQ(lib.Resolve("TvqInforInit"), nullptr);
    ASSERT_EQ(lib.Load("libm.so.6"), 1);
    EXPECT_NE(lib.Resolve("cos"), nullptr);
    EXPECT_EQ(lib.Resolve("no_such_function_here"), nullptr);
    EXPECT_EQ(lib.LastError(), DynamicLibrary::kSymbolMissing);
    lib.Free();
    EXPECT_FALSE(lib.IsLoaded());
}
