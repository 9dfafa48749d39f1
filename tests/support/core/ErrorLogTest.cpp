// The error log: one entry per call under a time-stamp header, whole also from several
// threads, in the writable folder when named bare; a file that cannot be opened is ignored.
#include "support/ErrorLog.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "TempFolder.h"
#include "platform/Paths.h"

namespace {

// Splits a log into its entries: the text after each header line, up to the next header.
// Empty when the text does not start with a well-formed header.
std::vector<std::string> Entries(const std::string& text) {
    std::vector<std::string> entries;
    size_t pos = 0;
    while (pos < text.size()) {
        int year, month, day, hour, minute, second, used = 0;
        if (std::sscanf(text.c_str() + pos, "[%d-%d-%d, %d:%d:%d]\n%n", &year, &month, &day, &hour,
                        &minute, &second, &used) != 6 ||
            used == 0 || text[pos + static_cast<size_t>(used) - 1] != '\n' || year < 2000 ||
            month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 ||
            second > 60)
            return {};
        pos += static_cast<size_t>(used);
        size_t next = text.find("\n[", pos);
        next = next == std::string::npos ? text.size() : next + 1;
        entries.push_back(text.substr(pos, next - pos));
        pos = next;
    }
    return entries;
}

TEST(ErrorLog, TimeStampIsNotZeroPadded) {
    const auto stamp = [](int year, int month, int day, int hour, int minute, int second) {
        std::tm t{};
        t.tm_year = year - 1900, t.tm_mon = month - 1, t.tm_mday = day;
        t.tm_hour = hour, t.tm_min = minute, t.tm_sec = second;
        return CErrorLog::FormatTimeStamp(t);
    };
    EXPECT_EQ(stamp(2010, 4, 3, 9, 5, 3), "[2010-4-3, 9:5:3]\n");
    EXPECT_EQ(stamp(2026, 12, 31, 23, 59, 58), "[2026-12-31, 23:59:58]\n");
}

TEST(ErrorLog, EntriesAreAppendedWithAHeaderEach) {
    TempFolder folder;
    const std::string path = folder.File("DirectSoundPlayer.txt");
    CErrorLog log;
    log.SetFileName(path.c_str());
    log.Log("first %d\n", 1);
    log.Log("second %s", "no newline");
    EXPECT_EQ(log.GetFileName(), path);

    const std::string text = TempFolder::ReadAll(path);
    EXPECT_EQ(Entries(text), (std::vector<std::string>{"first 1\n", "second no newline"})) << text;

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

TEST(ErrorLog, BareNameGoesToTheWritableFolderAndLongNamesAreCut) {
    CErrorLog log;
    EXPECT_EQ(log.GetFileName(), "ErrorLog.txt");
    const std::string bare = "tvq-errorlog-test-" + std::to_string(::getpid()) + ".txt";
    log.SetFileName(bare.c_str());
    log.Log("x\n");
    const std::string expected = win::WritableFolder(win::ProgramFolder()) + bare;
    EXPECT_EQ(log.GetFileName(), expected);
    EXPECT_TRUE(win::FileExists(expected));
    std::filesystem::remove(expected);
    log.SetFileName(std::string(300, 'n').c_str());
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

    const std::vector<std::string> entries = Entries(TempFolder::ReadAll(path));
    ASSERT_EQ(entries.size(), static_cast<size_t>(kThreads * kEntriesEach));
    for (const std::string& entry : entries) {
        int t = -1, i = -1, used = 0;
        EXPECT_EQ(std::sscanf(entry.c_str(), "thread %d entry %d\n%n", &t, &i, &used), 2) << entry;
        EXPECT_EQ(static_cast<size_t>(used), entry.size()) << entry;
    }
}

}  // namespace
