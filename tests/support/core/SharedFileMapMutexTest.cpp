// The named mutex behind the block: recursive for its thread, exclusive between threads and
// processes, abandoned when its holder dies; and the per-user object folder.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <future>
#include <thread>

#include "SharedFileMapTestUtil.h"
#include "platform/WinTypes.h"
#include "support/SharedFileMap.h"

namespace {

using win::NamedMutex;

class NamedMutexTest : public PrivateObjectFolder {};

// Runs `body` in a child process and returns its exit code.
template <typename F>
int InChild(F body) {
    const pid_t child = fork();
    if (child == 0)
        _exit(body());
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST_F(NamedMutexTest, OpenFindsOnlyAMutexThatWasMade) {
    EXPECT_EQ(NamedMutex::Open("m"), nullptr);
    auto made = NamedMutex::Create("m");
    ASSERT_NE(made, nullptr);
    EXPECT_NE(NamedMutex::Open("m"), nullptr);
}

TEST_F(NamedMutexTest, RecursiveForItsThreadAcrossHandles) {
    auto a = NamedMutex::Create(kShareMutexName);
    auto b = NamedMutex::Open(kShareMutexName);
    ASSERT_TRUE(a && b);
    EXPECT_EQ(a->Wait(), win::WAIT_OBJECT_0);
    EXPECT_EQ(b->Wait(), win::WAIT_OBJECT_0);  // would deadlock if handles were separate locks
    EXPECT_TRUE(b->Release());
    // Still held once: another thread cannot take it.
    auto other = std::async(std::launch::async, [&] { return b->TryWait(); });
    EXPECT_EQ(other.get(), win::WAIT_TIMEOUT);
    EXPECT_TRUE(a->Release());
    EXPECT_FALSE(a->Release());  // not owned any more
    other = std::async(std::launch::async, [&] {
        const uint32_t r = b->TryWait();
        b->Release();
        return r;
    });
    EXPECT_EQ(other.get(), win::WAIT_OBJECT_0);
}

TEST_F(NamedMutexTest, AWaitingThreadGetsTheMutexWhenItIsReleased) {
    auto m = NamedMutex::Create("m");
    ASSERT_EQ(m->Wait(), win::WAIT_OBJECT_0);
    std::promise<void> started;
    auto waiter = std::async(std::launch::async, [&] {
        started.set_value();
        const uint32_t r = m->Wait();
        const bool released = m->Release();
        return r == win::WAIT_OBJECT_0 && released;
    });
    started.get_future().wait();
    EXPECT_EQ(waiter.wait_for(std::chrono::milliseconds(50)), std::future_status::timeout);
    EXPECT_TRUE(m->Release());
    EXPECT_TRUE(waiter.get());
}

TEST_F(NamedMutexTest, ExclusiveBetweenProcesses) {
    auto m = NamedMutex::Create(kShareMutexName);
    ASSERT_EQ(m->Wait(), win::WAIT_OBJECT_0);
    EXPECT_EQ(InChild([] {
                  auto mine = NamedMutex::Open(kShareMutexName);
                  return mine && mine->TryWait() == win::WAIT_TIMEOUT ? 0 : 1;
              }),
              0);
    m->Release();
    EXPECT_EQ(InChild([] {
                  auto mine = NamedMutex::Open(kShareMutexName);
                  return mine && mine->TryWait() == win::WAIT_OBJECT_0 && mine->Release() ? 0 : 1;
              }),
              0);
}

TEST_F(NamedMutexTest, AHolderThatDiesAbandonsTheMutex) {
    EXPECT_EQ(InChild([] {
                  auto mine = NamedMutex::Create(kShareMutexName);
                  return mine && mine->Wait() == win::WAIT_OBJECT_0 ? 0 : 1;  // never released
              }),
              0);
    auto m = NamedMutex::Open(kShareMutexName);
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->Wait(), win::WAIT_ABANDONED);
    EXPECT_TRUE(m->Release());
    EXPECT_EQ(m->Wait(), win::WAIT_OBJECT_0);  // released properly this time
    m->Release();
}

TEST_F(NamedMutexTest, TheStartUpLockOfTheBlockSerialisesCopies) {
    CSharedFileMapCreator app;
    app.Lock();
    // The queue operations of the holder's own thread still work while it holds the lock.
    EXPECT_TRUE(app.Write("x", 2));
    EXPECT_EQ(InChild([] {
                  auto mine = NamedMutex::Open(kShareMutexName);
                  return mine && mine->TryWait() == win::WAIT_TIMEOUT ? 0 : 1;
              }),
              0);
    app.Unlock();
    EXPECT_EQ(InChild([] {
                  CSharedFileMapCreator second;  // attaches: the queued bytes are there
                  return second.GetCount() == 2 ? 0 : 1;
              }),
              0);
}

TEST_F(NamedMutexTest, ObjectFolderIsTheUsersOwn) {
    EXPECT_EQ(win::NamedObjectFolder(), folder_ + "/");
    // A folder others may write into is not trusted with the user's objects.
    chmod(folder_.c_str(), 0777);
    const std::string fallback = win::NamedObjectFolder();
    EXPECT_EQ(fallback, "/tmp/tvqplayer-" + std::to_string(geteuid()) + "/");
    struct stat st {};
    ASSERT_EQ(stat(fallback.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 077, 0u);
    chmod(folder_.c_str(), 0700);
}

}  // namespace
