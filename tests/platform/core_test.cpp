// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Events and threads as the worker and the shutdown use them from two threads.
#include "platform/event.h"
#include "platform/global_memory.h"
#include "platform/thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <vector>

using namespace platform;

TEST(PlatformCore, EventsAndThreadsAcrossThreads)
{
    // Several waiters, one set: all wake, and see the data written before the set.
    EventHandle go = CreateEvent();
    int shared = 0;
    std::atomic<int> woke{0};
    std::vector<ThreadHandle> waiters;
    for (int i = 0; i < 4; ++i)
        waiters.push_back(
            Thread::Start([&, go] { woke += WaitForSingleObject(go, INFINITE) == WAIT_OBJECT_0 && shared == 42; }));
    shared = 42;
    SetEvent(go);
    for (auto &t : waiters)
        EXPECT_EQ(t->Wait(5000), WAIT_OBJECT_0);
    EXPECT_EQ(woke, 4);
    EXPECT_TRUE(IsEventSet(go));
    // A bounded wait on an unset event times out; a closed handle is a failed wait.
    EXPECT_EQ(WaitForSingleObject(CreateEvent(), 20), WAIT_TIMEOUT);
    EXPECT_EQ(WaitForSingleObject(EventHandle{}, 20), WAIT_FAILED);

    // A thread that outlives the wait for it, its handle dropped meanwhile, still finishes with its own copy of the
    // event and touches nothing freed.
    EventHandle release = CreateEvent(), finished = CreateEvent();
    ThreadHandle stubborn = Thread::Start([release, finished] {
        WaitForSingleObject(release, INFINITE);
        GlobalFree(GlobalAlloc(GPTR, 16));
        SetLastError(7);  // its own last-error code, not the main thread's
        SetEvent(finished);
    });
    ASSERT_TRUE(stubborn);
    EXPECT_EQ(stubborn->Wait(20), WAIT_TIMEOUT);
    EXPECT_FALSE(stubborn->Finished());
    stubborn.reset();
    SetLastError(0);
    SetEvent(release);
    EXPECT_EQ(WaitForSingleObject(finished, 5000), WAIT_OBJECT_0);
    EXPECT_EQ(GetLastError(), 0u);
}
