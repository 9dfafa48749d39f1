// Events, waits for events or messages, the recursive mutex, and worker threads with their
// message queues.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

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
