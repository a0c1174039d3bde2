// The callback queue under load: four threads post while one thread
// dispatches with the time-out 0 the device manager uses (records per
// second, and the latency from post to delivery), and merge-or-add of a
// found device into a list of 250 targets with a MAC-address merge condition.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

#include "cm/VLCMApi.h"
#include "cm/VLMargeConditionList.h"
#include "cm/VLModuleController.h"
#include "cm/VLProperty.h"
#include "cm/VLTarget.h"
#include "cm/VLTargetList.h"

namespace {

const int kProducers = 4;
// Below the queue's bound in total, so nothing is dropped.
const int kPostsPerProducer = 20000;
const int kTargets = 250;

typedef std::chrono::steady_clock Clock;

long NowNs()
{
    return static_cast<long>(
        std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch()).count());
}

std::vector<long>* g_pLatencies = nullptr;

// The record's id carries its posting time.
void OnRecord(long lPostedNs, void*, CVLCallbackInfo*)
{
    g_pLatencies->push_back(NowNs() - lPostedNs);
}

} // namespace

// Each producer posts its records at nIntervalNs apart (0: as fast as it
// can, so the latency is mostly the wait behind the burst).
static void PostFromFourThreads(benchmark::State& state, long nIntervalNs)
{
    CVLCMApi api;
    CVLModuleController* pController = api.GetModuleController();
    std::vector<long> latencies;
    latencies.reserve(kProducers * kPostsPerProducer);
    g_pLatencies = &latencies;
    for (auto _ : state) {
        latencies.clear();
        std::atomic<int> nStarted{0};
        std::vector<std::thread> producers;
        for (int k = 0; k < kProducers; ++k) {
            producers.emplace_back([&]() {
                ++nStarted;
                while (nStarted < kProducers)
                    std::this_thread::yield();
                long nNext = NowNs();
                for (int i = 0; i < kPostsPerProducer; ++i) {
                    while (nIntervalNs != 0 && NowNs() < nNext)
                        ;
                    nNext += nIntervalNs;
                    pController->PostCallbackUser(nullptr, nullptr, OnRecord, NowNs(), nullptr, nullptr);
                }
            });
        }
        const size_t nTotal = static_cast<size_t>(kProducers) * kPostsPerProducer;
        const unsigned long nDropped = pController->GetDroppedCallbackCount();
        while (latencies.size() + (pController->GetDroppedCallbackCount() - nDropped) < nTotal)
            pController->DispatchCallback(0);
        for (std::thread& t : producers)
            t.join();
    }
    if (pController->GetDroppedCallbackCount() != 0)
        state.SkipWithError("records were dropped");
    std::sort(latencies.begin(), latencies.end());
    state.SetItemsProcessed(state.iterations() * kProducers * kPostsPerProducer);
    state.counters["p50_us"] = latencies[latencies.size() / 2] / 1000.0;
    state.counters["p99_us"] = latencies[latencies.size() * 99 / 100] / 1000.0;
    g_pLatencies = nullptr;
}
static void BM_PostFromFourThreadsBurst(benchmark::State& state)
{
    PostFromFourThreads(state, 0);
}
BENCHMARK(BM_PostFromFourThreadsBurst)->Unit(benchmark::kMillisecond)->UseRealTime();

// 4 x 50,000 records a second: a thousand times the device manager's rate.
static void BM_PostFromFourThreadsPaced(benchmark::State& state)
{
    PostFromFourThreads(state, 20000);
}
BENCHMARK(BM_PostFromFourThreadsPaced)->Unit(benchmark::kMillisecond)->UseRealTime();

// The same posts, delivered in the device manager's rhythm would take 5 ms
// each; this measures only the queue's own cost of one post and one
// dispatch on one thread.
static void BM_PostThenDispatchOneThread(benchmark::State& state)
{
    CVLCMApi api;
    CVLModuleController* pController = api.GetModuleController();
    std::vector<long> latencies;
    latencies.reserve(1 << 20);
    g_pLatencies = &latencies;
    for (auto _ : state) {
        pController->PostCallbackUser(nullptr, nullptr, OnRecord, NowNs(), nullptr, nullptr);
        pController->DispatchCallback(0);
        if (latencies.size() >= (1 << 20))
            latencies.clear();
    }
    state.SetItemsProcessed(state.iterations());
    g_pLatencies = nullptr;
}
BENCHMARK(BM_PostThenDispatchOneThread);

static void BM_MargeOrAddInto250Targets(benchmark::State& state)
{
    CVLCMApi api;
    CVLModuleController* pController = api.GetModuleController();
    pController->GetMargeConditionList()->Add()->GetPath() = "MACAddress";
    CVLTargetList* pList = pController->CreateTargetList();
    std::vector<CVLTarget*> found;
    for (int i = 0; i < kTargets; ++i) {
        char szMac[32];
        std::snprintf(szMac, sizeof(szMac), "00:80:92:00:%02X:%02X", i / 256, i % 256);
        CVLTarget* pSrc = pController->CreateTarget();
        pSrc->GetProperties()->GetProperty("MACAddress", true)->SetString(szMac, VL_CHARSET_UTF8);
        pSrc->GetProperties()->GetProperty("VLPC.03_0000_01.ModelName", true)->SetString("Model", VL_CHARSET_UTF8);
        pSrc->GetProperties()->GetProperty("IPAddress", true)->SetString("10.0.0.1", VL_CHARSET_UTF8);
        bool bMarge = false;
        pList->MargeOrAddTarget(pSrc, bMarge);
        found.push_back(pSrc);
    }
    int i = 0;
    bool bMarge = false;
    for (auto _ : state) {
        // Every device once in turn: on average half the list is compared.
        benchmark::DoNotOptimize(pList->MargeOrAddTarget(found[i], bMarge));
        i = (i + 1) % kTargets;
    }
    if (!bMarge || pList->GetCount() != kTargets)
        state.SkipWithError("a found device was added instead of merged");
    for (CVLTarget* p : found)
        p->Destroy(false);
    pList->Destroy();
}
BENCHMARK(BM_MargeOrAddInto250Targets);

BENCHMARK_MAIN();
