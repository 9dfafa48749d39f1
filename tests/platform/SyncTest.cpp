// Events, waits for events or messages, the recursive mutex, and worker threads with their
// message queues. The named mutex: recursive for its thread, exclusive between threads and
// processes; and a holder killed outright (SIGKILL, no clean-up of any kind) drops its lock in
// the kernel, so the next copy's wait ends as on Windows with an abandoned mutex, whether that
// copy was already waiting or starts afterwards. And the per-user folder the objects live in.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "TempFolder.h"
#include "platform/NamedObjects.h"
#include "platform/Sync.h"
#include "platform/Thread.h"
#include "platform/WinTypes.h"

using namespace win;

TEST(Event, ManualResetStaysSetAndReleasesEveryWaiter) {
    Event e(true);
    EXPECT_EQ(e.Wait(0), WAIT_TIMEOUT);
    std::atomic<int> released{0};
    std::vector<std::thread> waiters;
    for (int i = 0; i < 4; ++i)
        waiters.emplace_back([&] {
            if (e.Wait(INFINITE) == WAIT_OBJECT_0)
                ++released;
        });
    e.Set();
    for (auto& t : waiters) t.join();
    EXPECT_EQ(released, 4);
    EXPECT_TRUE(e.IsSet());
    EXPECT_EQ(e.Wait(0), WAIT_OBJECT_0);
    e.Reset();
    EXPECT_EQ(e.Wait(0), WAIT_TIMEOUT);
}

TEST(Event, AutoResetWakesExactlyOneWaiterPerSet) {
    Event e(false);
    std::atomic<int> released{0};
    std::vector<std::thread> waiters;
    for (int i = 0; i < 3; ++i)
        waiters.emplace_back([&] {
            if (e.Wait(2000) == WAIT_OBJECT_0)
                ++released;
        });
    // Let all three block, then set once: exactly one may pass.
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    e.Set();
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(released, 1);
    e.Set();
    for (auto& t : waiters) t.join();
    EXPECT_EQ(released, 2);
    EXPECT_FALSE(e.IsSet());
    // Setting a set event does not count.
    e.Set();
    e.Set();
    EXPECT_EQ(e.Wait(0), WAIT_OBJECT_0);
    EXPECT_EQ(e.Wait(0), WAIT_TIMEOUT);
}

TEST(Event, TimedWaitsNeverEndEarlyAndDeadlinesAreFinerThanAMillisecond) {
    Event e(false);
    const uint32_t t0 = GetTickCount();
    EXPECT_EQ(e.Wait(50), WAIT_TIMEOUT);
    EXPECT_GE(GetTickCount() - t0, 45u);
    // The frame timer's wait: a 300 us deadline, which a wait counting whole milliseconds
    // cannot keep. One of a few tries within 700 us of it, so that a busy machine passes too.
    using Clock = std::chrono::steady_clock;
    Event* events[] = {&e};
    bool kept = false;
    for (int i = 0; i < 20 && !kept; ++i) {
        const Clock::time_point deadline = Clock::now() + std::chrono::microseconds(300);
        EXPECT_EQ(MsgWaitUntil(events, deadline), WAIT_TIMEOUT);
        const Clock::time_point woke = Clock::now();
        ASSERT_GE(woke, deadline);
        kept = woke - deadline < std::chrono::microseconds(700);
    }
    EXPECT_TRUE(kept);
    e.Set();  // a set event ends it before the deadline
    EXPECT_EQ(MsgWaitUntil(events, Clock::now() + std::chrono::seconds(10)), WAIT_OBJECT_0);
}

TEST(Event, WaitForMultipleReportsFirstSetAndConsumesOnlyIt) {
    Event a(false), b(false), c(true);
    Event* all[] = {&a, &b, &c};
    EXPECT_EQ(WaitForMultipleObjects(all, 0), WAIT_TIMEOUT);
    b.Set();
    c.Set();
    EXPECT_EQ(WaitForMultipleObjects(all, 0), WAIT_OBJECT_0 + 1);
    EXPECT_FALSE(b.IsSet());
    EXPECT_EQ(WaitForMultipleObjects(all, 0), WAIT_OBJECT_0 + 2);
    EXPECT_TRUE(c.IsSet());  // manual reset stays set
}

TEST(RecursiveMutex, OwnerMayRelockAndOthersWaitUntilFullyReleased) {
    RecursiveMutex m;
    const auto otherTakesIt = [&m] {
        bool got = false;
        std::thread other([&] {
            got = m.TryLock();
            if (got)
                m.Unlock();
        });
        other.join();
        return got;
    };
    m.Lock();
    {
        ScopedLock again(m);
        EXPECT_FALSE(otherTakesIt());
    }
    EXPECT_FALSE(otherTakesIt()) << "one unlock of two must not release the mutex";
    m.Unlock();
    EXPECT_TRUE(otherTakesIt());
    ScopedLock nothing(static_cast<RecursiveMutex*>(nullptr));  // a null lock is allowed
}

TEST(WorkerThread, MessagesArriveInOrderAndQuitEndsTheLoop) {
    std::vector<uint32_t> seen;
    WorkerThread worker;
    ASSERT_TRUE(worker.Start([&] {
        Message m;
        while (GetMessage(m)) seen.push_back(static_cast<uint32_t>(m.wParam));
    }));
    // The queue exists as soon as Start returns.
    for (uint32_t i = 0; i < 100; ++i) ASSERT_TRUE(worker.PostMessage(WM_USER, i, 0));
    ASSERT_TRUE(worker.PostMessage(WM_QUIT));
    ASSERT_TRUE(worker.Join());
    ASSERT_EQ(seen.size(), 100u);
    for (uint32_t i = 0; i < 100; ++i) EXPECT_EQ(seen[i], i);
    EXPECT_FALSE(PostThreadMessage(worker.Id(), WM_USER, 0, 0)) << "an ended thread has no queue";
    EXPECT_FALSE(PostThreadMessage(0, WM_USER, 0, 0));
    EXPECT_FALSE(PostThreadMessage(0x7FFFFFF0, WM_USER, 0, 0));
}

TEST(WorkerThread, DoesNotJoinItselfAndRunsAtAPriorityItMayNotGet) {
    WorkerThread worker;
    std::atomic<int> selfJoin{-1};
    ASSERT_TRUE(worker.Start([&] { selfJoin = worker.Join() ? 1 : 0; },
                             ThreadPriority::AboveNormal));  // best effort: still runs
    worker.Join();
    EXPECT_EQ(selfJoin, 0);

    // Lowering needs no privilege; it is counted from the main thread's nice (this one's), and
    // only the thread that asks is lowered.
    const int callerNice = getpriority(PRIO_PROCESS, 0);
    std::atomic<int> lowered{-100};
    std::thread([&] {
        SetCurrentThreadPriority(ThreadPriority::BelowNormal);
        lowered = getpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)));
    }).join();
    EXPECT_EQ(lowered, std::min(callerNice + 10, 19));
    EXPECT_EQ(getpriority(PRIO_PROCESS, 0), callerNice);
}

TEST(MsgWait, ReportsEventIndexMessageOrTimeout) {
    EnsureMessageQueue();
    Message drain;
    while (PeekMessage(drain, true)) {
    }
    Event stop(true), tick(false);
    Event* events[] = {&stop, &tick};
    EXPECT_EQ(MsgWaitForMultipleObjects(events, 0), WAIT_TIMEOUT);
    EXPECT_EQ(MsgWaitForMultipleObjects(events, 20), WAIT_TIMEOUT);

    ASSERT_TRUE(PostThreadMessage(GetCurrentThreadId(), WM_USER + 4, 7, 9));
    EXPECT_EQ(MsgWaitForMultipleObjects(events, INFINITE), WAIT_OBJECT_0 + 2);
    Message m;
    ASSERT_TRUE(PeekMessage(m, false));
    ASSERT_TRUE(PeekMessage(m, true));
    EXPECT_EQ(m.message, WM_USER + 4);
    EXPECT_EQ(m.wParam, 7u);
    EXPECT_EQ(m.lParam, 9);
    EXPECT_FALSE(PeekMessage(m, true));

    tick.Set();
    EXPECT_EQ(MsgWaitForMultipleObjects(events, INFINITE), WAIT_OBJECT_0 + 1);
    EXPECT_EQ(MsgWaitForMultipleObjects(events, 0), WAIT_TIMEOUT) << "auto reset consumed";
}

TEST(MsgWait, WakesOnEventSetOrMessagePostedFromAnotherThread) {
    Event stop(true);
    std::atomic<uint32_t> first{0}, second{0};
    WorkerThread worker;
    Event ready(true);
    worker.Start([&] {
        Event* events[] = {&stop};
        ready.Set();
        first = MsgWaitForMultipleObjects(events, INFINITE);
        Message m;
        while (PeekMessage(m, true)) {
        }
        second = MsgWaitForMultipleObjects(events, INFINITE);
    });
    ready.Wait(INFINITE);
    worker.PostMessage(WM_USER);
    // The worker removes all messages and waits again; then the event wakes it.
    while (first.load() == 0) std::this_thread::yield();
    stop.Set();
    worker.Join();
    EXPECT_EQ(first, WAIT_OBJECT_0 + 1);
    EXPECT_EQ(second, WAIT_OBJECT_0);
}

TEST(ThreadId, IsStableAndDistinctPerThread) {
    const ThreadId mine = GetCurrentThreadId();
    EXPECT_NE(mine, 0u);
    EXPECT_EQ(mine, GetCurrentThreadId());
    std::atomic<ThreadId> theirs{0};
    std::thread t([&] { theirs = GetCurrentThreadId(); });
    t.join();
    EXPECT_NE(theirs, mine);
    EXPECT_NE(theirs, 0u);
}

namespace {

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
