// Worker threads, their message queues and the wait for events or messages.
#include <gtest/gtest.h>

#include <atomic>
#include <vector>

#include "platform/Thread.h"

using namespace win;

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
