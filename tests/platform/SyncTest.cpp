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
