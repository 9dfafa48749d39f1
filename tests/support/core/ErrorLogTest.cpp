#include "support/ErrorLog.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "TempFolder.h"
#include "platform/Paths.h"

namespace {

const std::regex kHeader(R"(\[\d{4}-\d{1,2}-\d{1,2}, \d{1,2}:\d{1,2}:\d{1,2}\]\n)");

TEST(ErrorLog, TimeStampIsNotZeroPadded) {
    std::tm t{};
    t.tm_year = 2010 - 1900;
    t.tm_mon = 3;  // April
    t.tm_mday = 3;
    t.tm_hour = 9;
    t.tm_min = 5;
    t.tm_sec = 3;
    EXPECT_EQ(CErrorLog::FormatTimeStamp(t), "[2010-4-3, 9:5:3]\n");
    t.tm_year = 2026 - 1900;
    t.tm_mon = 11;
    t.tm_mday = 31;
    t.tm_hour = 23;
    t.tm_min = 59;
    t.tm_sec = 58;
    EXPECT_EQ(CErrorLog::FormatTimeStamp(t), "[2026-12-31, 23:59:58]\n");
}

TEST(ErrorLog, EntriesAreAppendedWithAHeaderEach) {
    TempFolder folder;
    const std::string path = folder.Path() + "DirectSoundPlayer.txt";
    CErrorLog log;
    log.SetFileName(path.c_str());
    log.Log("first %d\n", 1);
    log.Log("second %s", "no newline");
    EXPECT_EQ(log.GetFileName(), path);

    const std::string text = TempFolder::ReadAll(path);
    const std::regex whole(
        R"(\[\d{4}-\d{1,2}-\d{1,2}, \d{1,2}:\d{1,2}:\d{1,2}\]\nfirst 1\n)"
        R"(\[\d{4}-\d{1,2}-\d{1,2}, \d{1,2}:\d{1,2}:\d{1,2}\]\nsecond no newline)");
    EXPECT_TRUE(std::regex_match(text, whole)) << text;

    // A new object on the same file keeps what is there.
    CErrorLog again;
    again.SetFileName(path.c_str());
    again.Log("third\n");
    EXPECT_EQ(TempFolder::ReadAll(path).rfind(text, 0), 0u);
    EXPECT_NE(TempFolder::ReadAll(path).find("]\nthird\n"), std::string::npos);
}

TEST(ErrorLog, UnopenableFileIsIgnored) {
    TempFolder folder;
    CErrorLog log;
    const std::string path = folder.Path() + "missing/folder/log.txt";
    log.SetFileName(path.c_str());
    log.Log("lost %s\n", "entry");
    EXPECT_FALSE(win::FileExists(path));
    // A folder in place of the file.
    log.SetFileName(folder.Path().c_str());
    log.Log("lost too\n");
    EXPECT_TRUE(win::IsDirectory(folder.Path()));
}

TEST(ErrorLog, BareNameGoesToTheWritableFolder) {
    CErrorLog log;
    EXPECT_EQ(log.GetFileName(), "ErrorLog.txt");
    const std::string bare = "tvq-errorlog-test-" + std::to_string(::getpid()) + ".txt";
    log.SetFileName(bare.c_str());
    log.Log("x\n");
    const std::string expected = win::WritableFolder(win::ProgramFolder()) + bare;
    EXPECT_EQ(log.GetFileName(), expected);
    EXPECT_TRUE(win::FileExists(expected));
    std::filesystem::remove(expected);
}

TEST(ErrorLog, LongNamesAreCut) {
    CErrorLog log;
    const std::string name(300, 'n');
    log.SetFileName(name.c_str());
    EXPECT_EQ(log.GetFileName().size(), CErrorLog::kMaxFileNameBytes);
}

TEST(ErrorLog, EntriesFromSeveralThreadsStayWhole) {
    TempFolder folder;
    const std::string path = folder.Path() + "threads.txt";
    CErrorLog log;
    log.SetFileName(path.c_str());
    constexpr int kThreads = 4;
    constexpr int kEntriesEach = 50;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&log, t] {
            for (int i = 0; i < kEntriesEach; ++i) log.Log("thread %d entry %d\n", t, i);
        });
    for (std::thread& th : threads) th.join();

    const std::string text = TempFolder::ReadAll(path);
    const std::regex entry(R"(\[[0-9, :-]+\]\nthread \d entry \d+\n)");
    int entries = 0;
    for (auto it = std::sregex_iterator(text.begin(), text.end(), entry);
         it != std::sregex_iterator(); ++it)
        ++entries;
    EXPECT_EQ(entries, kThreads * kEntriesEach);
    EXPECT_TRUE(std::regex_search(text, kHeader));
}

}  // namespace
