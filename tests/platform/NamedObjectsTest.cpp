// The named mutex: recursive for its thread, exclusive between threads and processes; and a
// holder killed outright (SIGKILL, no clean-up of any kind) drops its lock in the kernel, so
// the next copy's wait ends as on Windows with an abandoned mutex, whether that copy was
// already waiting or starts afterwards. And the per-user folder the objects live in.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <future>
#include <string>

#include "TempFolder.h"
#include "platform/NamedObjects.h"
#include "platform/WinTypes.h"

namespace {

using win::NamedMutex;

constexpr const char* kName = "_VTRAX_SHARE_MUTEX_OBJ_";

class NamedObjects : public PrivateObjectFolder {
protected:
    void TearDown() override {
        if (child_ > 0) {
            kill(child_, SIGKILL);
            waitpid(child_, nullptr, 0);
        }
        PrivateObjectFolder::TearDown();
    }

    // Starts a child that takes the mutex `depth` times and then hangs until it is killed;
    // true once it holds it.
    bool StartHolder(int depth) {
        int ready[2];
        if (pipe(ready) != 0)
            return false;
        child_ = fork();
        if (child_ == 0) {
            close(ready[0]);
            auto mine = NamedMutex::Create(kName);
            char held = 1;
            for (int i = 0; i < depth; ++i)
                if (!mine || mine->Wait() != win::WAIT_OBJECT_0)
                    held = 0;
            if (write(ready[1], &held, 1) != 1)
                _exit(2);
            for (;;) pause();
        }
        close(ready[1]);
        char held = 0;
        const bool told = read(ready[0], &held, 1) == 1;
        close(ready[0]);
        return child_ > 0 && told && held == 1;
    }

    // SIGKILL, and true when the child died of it.
    bool KillHolder() {
        if (kill(child_, SIGKILL) != 0)
            return false;
        int status = 0;
        const bool reaped = waitpid(child_, &status, 0) == child_;
        child_ = -1;
        return reaped && WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
    }

    pid_t child_ = -1;
};

TEST_F(NamedObjects, OpenFindsOnlyAMutexThatWasMade) {
    EXPECT_EQ(NamedMutex::Open("m"), nullptr);
    auto made = NamedMutex::Create("m");
    ASSERT_NE(made, nullptr);
    EXPECT_NE(NamedMutex::Open("m"), nullptr);
}

TEST_F(NamedObjects, RecursiveForItsThreadAcrossHandles) {
    auto a = NamedMutex::Create(kName);
    auto b = NamedMutex::Open(kName);
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

TEST_F(NamedObjects, AWaitingThreadGetsTheMutexWhenItIsReleased) {
    auto m = NamedMutex::Create("m");
    ASSERT_EQ(m->Wait(), win::WAIT_OBJECT_0);
    std::promise<void> started;
    auto waiter = std::async(std::launch::async, [&] {
        started.set_value();
        const uint32_t r = m->Wait();
        return r == win::WAIT_OBJECT_0 && m->Release();
    });
    started.get_future().wait();
    EXPECT_EQ(waiter.wait_for(std::chrono::milliseconds(50)), std::future_status::timeout);
    EXPECT_TRUE(m->Release());
    EXPECT_TRUE(waiter.get());
}

TEST_F(NamedObjects, TheNextStartAfterAKillGetsTheMutexAbandoned) {
    ASSERT_TRUE(StartHolder(1));
    auto next = NamedMutex::Open(kName);
    ASSERT_NE(next, nullptr);
    EXPECT_EQ(next->TryWait(), win::WAIT_TIMEOUT);  // really held by the child
    ASSERT_TRUE(KillHolder());
    EXPECT_EQ(next->TryWait(), win::WAIT_ABANDONED);
    EXPECT_TRUE(next->Release());
    // Once released by a live holder it is an ordinary mutex again.
    EXPECT_EQ(next->TryWait(), win::WAIT_OBJECT_0);
    EXPECT_TRUE(next->Release());
}

TEST_F(NamedObjects, AStartAlreadyWaitingIsReleasedByTheKill) {
    ASSERT_TRUE(StartHolder(1));
    auto next = NamedMutex::Create(kName);
    ASSERT_NE(next, nullptr);
    auto waiter = std::async(std::launch::async, [&] {
        const uint32_t result = next->Wait();  // blocks: no time-out, as the start-up waits
        next->Release();
        return result;
    });
    EXPECT_EQ(waiter.wait_for(std::chrono::milliseconds(100)), std::future_status::timeout);
    ASSERT_TRUE(KillHolder());
    ASSERT_EQ(waiter.wait_for(std::chrono::seconds(20)), std::future_status::ready);
    EXPECT_EQ(waiter.get(), win::WAIT_ABANDONED);
}

TEST_F(NamedObjects, AHolderKilledInsideARecursiveHoldReleasesItWhole) {
    ASSERT_TRUE(StartHolder(3));
    ASSERT_TRUE(KillHolder());
    auto next = NamedMutex::Create(kName);
    ASSERT_NE(next, nullptr);
    EXPECT_EQ(next->TryWait(), win::WAIT_ABANDONED);
    EXPECT_TRUE(next->Release());
    EXPECT_FALSE(next->Release());  // one wait, one release: nothing of the dead holder's count
    // And another process can have it too.
    const pid_t other = fork();
    if (other == 0) {
        auto mine = NamedMutex::Open(kName);
        _exit(mine && mine->TryWait() == win::WAIT_OBJECT_0 && mine->Release() ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(other, &status, 0), other);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

TEST_F(NamedObjects, ObjectFolderIsTheUsersOwn) {
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
