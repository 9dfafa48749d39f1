// A copy of the player killed outright (SIGKILL, no clean-up of any kind) while it holds the
// named start-up mutex: the kernel drops its lock, so the next copy's wait ends, as Windows
// abandons a mutex, whether that copy was already waiting or starts afterwards.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <future>
#include <string>

#include "platform/NamedObjects.h"
#include "platform/WinTypes.h"

namespace {

using win::NamedMutex;

constexpr const char* kName = "_VTRAX_SHARE_MUTEX_OBJ_";

// Gives each test its own object folder (a player the developer has open is never touched)
// and a child process that takes the mutex, says so through a pipe and then hangs until it
// is killed.
class NamedMutexKill : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/tvq-kill-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        folder_ = pattern;
        const char* old = std::getenv("XDG_RUNTIME_DIR");
        hadRuntimeDir_ = old != nullptr;
        oldRuntimeDir_ = old ? old : "";
        setenv("XDG_RUNTIME_DIR", folder_.c_str(), 1);
    }
    void TearDown() override {
        if (child_ > 0) {
            kill(child_, SIGKILL);
            waitpid(child_, nullptr, 0);
        }
        if (hadRuntimeDir_)
            setenv("XDG_RUNTIME_DIR", oldRuntimeDir_.c_str(), 1);
        else
            unsetenv("XDG_RUNTIME_DIR");
        std::error_code ec;
        std::filesystem::remove_all(folder_, ec);
    }

    // Starts the holder; true once it holds the mutex `depth` times.
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

private:
    std::string folder_;
    std::string oldRuntimeDir_;
    bool hadRuntimeDir_ = false;
};

TEST_F(NamedMutexKill, TheNextStartAfterTheKillGetsTheMutexAbandoned) {
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

TEST_F(NamedMutexKill, AStartAlreadyWaitingIsReleasedByTheKill) {
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

TEST_F(NamedMutexKill, AHolderKilledInsideARecursiveHoldReleasesItWhole) {
    ASSERT_TRUE(StartHolder(3));
    ASSERT_TRUE(KillHolder());
    auto next = NamedMutex::Create(kName);
    ASSERT_NE(next, nullptr);
    EXPECT_EQ(next->TryWait(), win::WAIT_ABANDONED);
    EXPECT_TRUE(next->Release());
    EXPECT_FALSE(next->Release());  // one wait, one release: nothing of the dead holder's count
    // And a second process can have it too.
    const pid_t other = fork();
    if (other == 0) {
        auto mine = NamedMutex::Open(kName);
        const bool got = mine && mine->TryWait() == win::WAIT_OBJECT_0 && mine->Release();
        _exit(got ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(other, &status, 0), other);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

}  // namespace
