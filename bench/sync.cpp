// The cost of the locking primitives: uncontended lock/unlock and a
// semaphore ping-pong between two threads.
#include <benchmark/benchmark.h>

#include <atomic>
#include <thread>

#include "base/thread/VLLockableObject.h"
#include "base/thread/VLSemaphore.h"
#include "base/core/VLThreadLock.h"
#include "base/core/VLThreadSync.h"

static void BM_ThreadSyncLockUnlock(benchmark::State& state)
{
    CVLThreadSync sync;
    for (auto _ : state) {
        sync.Lock();
        sync.Unlock();
    }
}
BENCHMARK(BM_ThreadSyncLockUnlock);

static void BM_ThreadLockGuard(benchmark::State& state)
{
    CVLThreadSync sync;
    for (auto _ : state) {
        CVLThreadLock guard(&sync);
        benchmark::DoNotOptimize(guard.Lock());
    }
}
BENCHMARK(BM_ThreadLockGuard);

static void BM_LockableObjectLockUnlock(benchmark::State& state)
{
    CVLLockableObject obj;
    for (auto _ : state) {
        obj.Lock();
        obj.Unlock();
    }
}
BENCHMARK(BM_LockableObjectLockUnlock);

static void BM_SemaphorePostWait(benchmark::State& state)
{
    CVLSemaphore sem(2147483647, 0);
    for (auto _ : state) {
        sem.Post();
        benchmark::DoNotOptimize(sem.Wait(-1));
    }
}
BENCHMARK(BM_SemaphorePostWait);

// One round trip: this thread posts to the partner and waits for its answer.
static void BM_SemaphorePingPong(benchmark::State& state)
{
    CVLSemaphore ping(1, 0), pong(1, 0);
    std::atomic<bool> bStop(false);
    std::thread partner([&] {
        for (;;) {
            ping.Wait(-1);
            if (bStop)
                break;
            pong.Post();
        }
    });
    for (auto _ : state) {
        ping.Post();
        pong.Wait(-1);
    }
    bStop = true;
    ping.Post();
    partner.join();
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_SemaphorePingPong)->UseRealTime();

BENCHMARK_MAIN();
