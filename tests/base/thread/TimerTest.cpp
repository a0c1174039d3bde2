#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "tests/support/TestSupport.h"
#include "base/core/VLInvalidParamException.h"
#include "base/core/VLNullObjectException.h"
#include "base/thread/VLTimer.h"

namespace {

struct Counter
{
    std::atomic<int> nCalls{0};
    std::atomic<long long> nAtMs{0};
    std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
};

void Count(void* pArg)
{
    Counter* p = static_cast<Counter*>(pArg);
    p->nAtMs = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - p->start)
                   .count();
    ++p->nCalls;
}

bool WaitFor(const std::atomic<int>& n, int nValue, int nMs)
{
    for (int i = 0; i < nMs / 5; ++i) {
        if (n.load() >= nValue)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return n.load() >= nValue;
}

struct StopInside
{
    CVLTimer* pTimer;
    std::atomic<int> nCalls{0};
};

void StopFromCallback(void* pArg)
{
    StopInside* p = static_cast<StopInside*>(pArg);
    p->pTimer->Stop();  // runs on the timer thread: must not wait for itself
    ++p->nCalls;
}

}  // namespace

TEST(Timer, FiresOnceAfterTheTimeout)
{
    Counter counter;
    CVLTimer timer;
    EXPECT_FALSE(timer.IsStopped());
    timer.Set(Count, &counter, 100, 5);
    ASSERT_TRUE(WaitFor(counter.nCalls, 1, 10000));
    EXPECT_GE(counter.nAtMs.load(), 95);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(counter.nCalls.load(), 1);
    timer.End();
    EXPECT_TRUE(timer.IsStopped());
}

TEST(Timer, StopBeforeTheTimeout)
{
    Counter counter;
    CVLTimer timer;
    timer.Set(Count, &counter, 60000, 5);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    timer.Stop();
    EXPECT_TRUE(timer.IsStopped());
    EXPECT_FALSE(timer.IsStarted());
    EXPECT_EQ(counter.nCalls.load(), 0);

    // Set on a running timer restarts it with the new values.
    timer.Set(Count, &counter, 60000, 5);
    timer.Set(Count, &counter, 20, 5);
    ASSERT_TRUE(WaitFor(counter.nCalls, 1, 10000));
    timer.Stop();
    EXPECT_EQ(counter.nCalls.load(), 1);
}

TEST(Timer, BadArguments)
{
    Counter counter;
    CVLTimer timer;
    try {
        timer.Set(Count, &counter, 100, 0);
        FAIL() << "no exception";
    } catch (EVLInvalidParamException* e) {
        EXPECT_EQ(e->GetLine(), 102);
        EXPECT_EQ(Bytes(e->GetFileName()), "VLTimer");
        e->Delete();
    }
    try {
        timer.Set(Count, &counter, -1, 10);
        FAIL() << "no exception";
    } catch (EVLInvalidParamException* e) {
        e->Delete();
    }
    try {
        timer.Set(nullptr, &counter, 100, 10);
        FAIL() << "no exception";
    } catch (EVLNullObjectException* e) {
        EXPECT_EQ(e->GetLine(), 97);
        e->Delete();
    }
    EXPECT_FALSE(timer.IsStarted());
}

TEST(Timer, StopInsideTheCallbackAndDestroyWhileRunning)
{
    CVLTimer timer;
    StopInside inside;
    inside.pTimer = &timer;
    timer.Set(StopFromCallback, &inside, 10, 2);
    ASSERT_TRUE(WaitFor(inside.nCalls, 1, 10000));
    timer.End();
    EXPECT_TRUE(timer.IsStopped());

    // A running timer that goes out of scope stops its thread first.
    Counter counter;
    {
        CVLTimer scoped;
        scoped.Set(Count, &counter, 60000, 5);
    }
    EXPECT_EQ(counter.nCalls.load(), 0);
}
