// Where movies were left: the ends rule, the fifty most recent, paths that ini files mangle,
// and files that are damaged or cannot be written.
#include <gtest/gtest.h>

#include <string>

#include "TempFolder.h"
#include "support/ResumeStore.h"

namespace {

constexpr int32_t kLength = 120;

TEST(ResumeStoreTest, ALeftMovieStartsThereUnlessNearEitherEnd) {
    TempFolder dir;
    const std::string file = dir.Path() + CResumeStore::kFileName;
    {
        CResumeStore store(file);
        EXPECT_EQ(store.StartSecond("/m/a.tvq", kLength), 0);  // no file yet
        store.Keep("/m/a.tvq", 40, kLength);
        store.Keep("/m/start.tvq", 9, kLength);
        store.Keep("/m/end.tvq", kLength - 9, kLength);
        store.Keep("/m/edge.tvq", 10, kLength);
        EXPECT_EQ(store.StartSecond("/m/a.tvq", kLength), 40);
        EXPECT_EQ(store.StartSecond("/m/start.tvq", kLength), 0);
        EXPECT_EQ(store.StartSecond("/m/end.tvq", kLength), 0);
        EXPECT_EQ(store.StartSecond("/m/edge.tvq", kLength), 10);
        // Watched on to the end: the old position is forgotten.
        store.Keep("/m/edge.tvq", kLength - 2, kLength);
        EXPECT_EQ(store.StartSecond("/m/edge.tvq", kLength), 0);
    }
    CResumeStore reread(file);
    EXPECT_EQ(reread.StartSecond("/m/a.tvq", kLength), 40);
    EXPECT_EQ(reread.StartSecond("/m/edge.tvq", kLength), 0);
    // The movie has since become shorter: its position now lies near its end.
    EXPECT_EQ(reread.StartSecond("/m/a.tvq", 45), 0);
}

TEST(ResumeStoreTest, OnlyTheFiftyMostRecentAreKeptAndPathsSurviveTheFile) {
    TempFolder dir;
    const std::string file = dir.Path() + CResumeStore::kFileName;
    const std::string odd = "/m/ lead, \"quoted\" 100% = [x]; tail ";
    {
        CResumeStore store(file);
        store.Keep(odd, 33, kLength);
        for (int i = 0; i < 50; ++i) store.Keep("/m/" + std::to_string(i) + ".tvq", 20 + i, 200);
        store.Keep("/m/0.tvq", 11, 200);  // played again: the most recent, kept once
    }
    CResumeStore reread(file);
    EXPECT_EQ(reread.StartSecond(odd, kLength), 0);  // the oldest went at the 51st movie
    EXPECT_EQ(reread.StartSecond("/m/0.tvq", 200), 11);
    EXPECT_EQ(reread.StartSecond("/m/1.tvq", 200), 21);
    EXPECT_EQ(reread.StartSecond("/m/49.tvq", 200), 69);

    TempFolder other;
    CResumeStore single(other.Path() + CResumeStore::kFileName);
    single.Keep(odd, 33, kLength);
    EXPECT_EQ(CResumeStore(other.Path() + CResumeStore::kFileName).StartSecond(odd, kLength), 33);
}

TEST(ResumeStoreTest, GarbledLinesAndUnwritableFilesStartAtZeroWithoutHarm) {
    TempFolder dir;
    const std::string file =
        dir.Write(CResumeStore::kFileName,
                  "[Resume]\n1=40\n2=x /m/b.tvq\n3=-5 /m/c.tvq\n"
                  "4=99999999999 /m/d.tvq\n5=30 /m/bad%2\n6=30 /m/bad%zz\n"
                  "7=25 /m/good%20one.tvq\n\x01\xff=garbage\n[Other]\n8=50 /m/e\n");
    CResumeStore store(file);
    for (const char* movie : {"/m/b.tvq", "/m/c.tvq", "/m/d.tvq", "/m/bad%2", "/m/bad", "/m/e"})
        EXPECT_EQ(store.StartSecond(movie, kLength), 0) << movie;
    EXPECT_EQ(store.StartSecond("/m/good one.tvq", kLength), 25);

    CResumeStore nowhere(dir.Path() + "missing/folder/" + CResumeStore::kFileName);
    nowhere.Keep("/m/a.tvq", 40, kLength);  // cannot be written: remembered for this run only
    EXPECT_EQ(nowhere.StartSecond("/m/a.tvq", kLength), 40);
    EXPECT_EQ(CResumeStore(dir.Path() + "missing/folder/x").StartSecond("/m/a.tvq", kLength), 0);
}

}  // namespace
