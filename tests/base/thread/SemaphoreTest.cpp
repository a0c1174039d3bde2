#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

#include "base/thread/VLSemaphore.h"

namespace {

using Clock = std::chrono::steady_clock;

long long MsSince(Clock::time_point t0)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t0).count();
}

// Waits (generously) until nWaiters threads are queued on the semaphore.
bool WaitForWaiters(CVLSemaphore& sem, int nWaiters)
{
    auto t0 = Clock::now();
    while (sem.GetWaiterCount() != nWaiters) {
        if (MsSince(t0) > 10000)
            return false;
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return true;
}

}  // namespace

TEST(Semaphore, BadArgumentsLeaveItNotCreated)
{
    CVLSemaphore a;
    EXPECT_FALSE(a.IsInitialized());
    EXPECT_FALSE(a.Initialize(0, 0));
    EXPECT_FALSE(a.Initialize(5, -1));
    EXPECT_FALSE(a.IsInitialized());
    EXPECT_EQ(a.Post(), -1);
    EXPECT_EQ(a.Wait(0), -1);
    EXPECT_EQ(a.Wait(-1), -1);

    CVLSemaphore b(-3, 0);
    EXPECT_FALSE(b.IsInitialized());
    EXPECT_EQ(b.Wait(10), -1);
}

TEST(Semaphore, CountsAndBounds)
{
    CVLSemaphore s(3, 1);
    ASSERT_TRUE(s.IsInitialized());
    EXPECT_FALSE(s.Initialize(10, 5));  // a second Initialize changes nothing
    EXPECT_EQ(s.GetCount(), 1);
    EXPECT_EQ(s.Post(), 0);
    EXPECT_EQ(s.Post(), 0);
    EXPECT_EQ(s.Post(), -1);  // the maximum is still 3
    EXPECT_EQ(s.GetCount(), 3);
    EXPECT_EQ(s.Wait(0), 0);
    EXPECT_EQ(s.Wait(-1), 0);
    EXPECT_EQ(s.Wait(100), 0);
    EXPECT_EQ(s.Wait(0), 1);
    EXPECT_EQ(s.GetCount(), 0);

    // An initial count above the maximum is kept; Post fails until it drops below.
    CVLSemaphore t;
    EXPECT_TRUE(t.Initialize(1, 3));
    EXPECT_EQ(t.Post(), -1);
    EXPECT_EQ(t.Wait(0), 0);
    EXPECT_EQ(t.Post(), -1);
    EXPECT_EQ(t.Wait(0), 0);
    EXPECT_EQ(t.Post(), -1);
    EXPECT_EQ(t.Wait(0), 0);
    EXPECT_EQ(t.GetCount(), 0);
    EXPECT_EQ(t.Post(), 0);
    EXPECT_EQ(t.GetCount(), 1);
}

TEST(Semaphore, TimeOuts)
{
    CVLSemaphore s(1, 0);
    EXPECT_EQ(s.Wait(-2), -1);
    EXPECT_EQ(s.Wait(-1000), -1);
    auto t0 = Clock::now();
    EXPECT_EQ(s.Wait(0), 1);
    EXPECT_LT(MsSince(t0), 1000);

    t0 = Clock::now();
    EXPECT_EQ(s.Wait(300), 1);
    long long ms = MsSince(t0);
    EXPECT_GE(ms, 290);
    EXPECT_LT(ms, 5000);
    EXPECT_EQ(s.GetWaiterCount(), 0);
    EXPECT_EQ(s.GetCount(), 0);

    // A post during a timed wait ends it with a token.
    std::thread poster([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        s.Post();
    });
    t0 = Clock::now();
    EXPECT_EQ(s.Wait(20000), 0);
    EXPECT_LT(MsSince(t0), 10000);
    poster.join();
    EXPECT_EQ(s.GetCount(), 0);
}

TEST(Semaphore, WaitersServedInArrivalOrder)
{
    CVLSemaphore s(100, 0);
    std::mutex m;
    std::vector<int> served;
    std::vector<std::thread> threads;
    const int kWaiters = 4;
    for (int i = 0; i < kWaiters; ++i) {
        threads.emplace_back([&, i] {
            int r = s.Wait(i % 2 == 0 ? -1 : 30000);
            std::lock_guard<std::mutex> g(m);
            served.push_back(r == 0 ? i : -100 - r);
        });
        ASSERT_TRUE(WaitForWaiters(s, i + 1));  // queue them one after the other
    }
    for (int i = 0; i < kWaiters; ++i) {
        ASSERT_EQ(s.Post(), 0);
        auto t0 = Clock::now();
        for (;;) {
            {
                std::lock_guard<std::mutex> g(m);
                if (static_cast<int>(served.size()) == i + 1)
                    break;
            }
            ASSERT_LT(MsSince(t0), 10000) << "no waiter took the token";
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        EXPECT_EQ(s.GetCount(), 0);
        EXPECT_EQ(s.GetWaiterCount(), kWaiters - i - 1);
    }
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(served, (std::vector<int>{0, 1, 2, 3}));
    EXPECT_EQ(s.GetCount(), 0);
}

// Several waiters and a burst of posts: every waiter gets a token, none
// sleeps on while a token is available.
TEST(Semaphore, QuickPostsReachEveryWaiter)
{
    for (int round = 0; round < 100; ++round) {
        CVLSemaphore s(1000, 0);
        const int kWaiters = 2 + round % 4;
        std::atomic<int> nServed(0), nFailed(0);
        std::vector<std::thread> threads;
        for (int i = 0; i < kWaiters; ++i) {
            threads.emplace_back([&] {
                if (s.Wait(10000) == 0)
                    ++nServed;
                else
                    ++nFailed;
            });
        }
        ASSERT_TRUE(WaitForWaiters(s, kWaiters));
        for (int i = 0; i < kWaiters; ++i)
            ASSERT_EQ(s.Post(), 0);
        for (auto& t : threads)
            t.join();
        ASSERT_EQ(nServed.load(), kWaiters) << "round " << round;
        ASSERT_EQ(nFailed.load(), 0);
        ASSERT_EQ(s.GetCount(), 0);
        ASSERT_EQ(s.GetWaiterCount(), 0);
    }
}

// The first waiter's time runs out about when a token is posted. Whether it
// takes the token or leaves, the waiter behind it must not be left asleep
// while a token is available.
TEST(Semaphore, WaiterTimingOutWithTokenPending)
{
    for (int round = 0; round < 60; ++round) {
        CVLSemaphore s(10, 0);
        std::atomic<int> nFirst(-5), nSecond(-5);
        std::thread first([&] { nFirst = s.Wait(2 + round % 3); });
        auto t0 = Clock::now();
        while (nFirst == -5 && s.GetWaiterCount() == 0 && MsSince(t0) < 10000)
            std::this_thread::yield();
        std::thread second([&] { nSecond = s.Wait(10000); });
        // The first may have timed out already; wait for the second to queue.
        t0 = Clock::now();
        for (;;) {
            bool bFirstDone = nFirst != -5;
            int nQueued = s.GetWaiterCount();
            if (nQueued == 2 || (bFirstDone && nQueued == 1))
                break;
            ASSERT_LT(MsSince(t0), 10000);
            std::this_thread::yield();
        }
        std::this_thread::sleep_for(std::chrono::microseconds(500 * (round % 5)));
        ASSERT_EQ(s.Post(), 0);
        first.join();
        ASSERT_TRUE(nFirst == 0 || nFirst == 1);
        if (nFirst == 0) {
            ASSERT_EQ(s.Post(), 0);  // the second needs a token of its own
        }
        second.join();
        ASSERT_EQ(nSecond.load(), 0) << "round " << round;
        ASSERT_EQ(s.GetCount(), 0);
        ASSERT_EQ(s.GetWaiterCount(), 0);
    }
}

// A producer/consumer run: nothing is lost or made up under load.
TEST(Semaphore, ManyProducersAndConsumers)
{
    CVLSemaphore s(2147483647, 0);
    const int kPerProducer = 2000, kProducers = 3, kConsumers = 3;
    std::atomic<int> nTaken(0), nTimeouts(0);
    std::atomic<bool> bDone(false);
    std::vector<std::thread> threads;
    for (int c = 0; c < kConsumers; ++c) {
        threads.emplace_back([&, c] {
            while (!bDone || s.GetCount() > 0) {
                int r = s.Wait(c == 0 ? 1 : 20);
                if (r == 0)
                    ++nTaken;
                else if (r == 1)
                    ++nTimeouts;
                else
                    ADD_FAILURE() << "Wait failed";
            }
        });
    }
    std::vector<std::thread> producers;
    for (int p = 0; p < kProducers; ++p) {
        producers.emplace_back([&] {
            for (int i = 0; i < kPerProducer; ++i)
                ASSERT_EQ(s.Post(), 0);
        });
    }
    for (auto& t : producers)
        t.join();
    bDone = true;
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(nTaken.load(), kPerProducer * kProducers);
    EXPECT_EQ(s.GetCount(), 0);
    EXPECT_EQ(s.GetWaiterCount(), 0);
}
