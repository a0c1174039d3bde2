// How long a device takes to be handed on when hosts claiming its MAC pass
// their unicast check and then stall (never answer its list information):
// the device manager over the project's definitions and the fake network of
// modules (no network). Each iteration starts a probe, lets N claimants of
// the device's MAC pass and stall, then times the device's reply until its
// OnProbe. Unnamed, the device takes a place of its own beside them while
// its network's places (64) hold it with them; named, the place kept for
// the named address. Beyond them an unnamed device waits for a
// claimant's chain to end (the fake's stall never does: not measured).
#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "ecm/VLECM.h"
#include "ecm/probe/VLECMProbeInstance.h"
#include "ecm/record/VLECMNIFInfo.h"
#include "tests/support/ecm/FakeNetwork.h"

namespace {
class CCountingClient : public IVLECMCallbackIF
{
public:
    void OnProbe(CVLECMNIFInfo*, VLECM_CONNECT_TYPE, bool, bool) override { ++m_nReports; }
    std::atomic<int> m_nReports{0};
};

CVLString Text(const std::string& str)
{
    return CVLString(str.c_str(), 72);
}

bool WaitUntil(const std::function<bool()>& fnDone)
{
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!fnDone()) {
        if (std::chrono::steady_clock::now() > giveUp)
            return false;
        std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
    return true;
}
}  // namespace

static void BM_DeviceBehindStallingClaimants(benchmark::State& state)
{
    const int nStalling = static_cast<int>(state.range(0));
    const bool bNamed = state.range(1) != 0;
    CFakeNetwork network;
    CCountingClient client;
    CVLECM ecm;
    if (ecm.Initialize(&client, nullptr, nullptr, nullptr) != VLECM_RESULT_SUCCESS) {
        state.SkipWithError("the device manager did not start");
        return;
    }
    const std::string strDevice = "10.7.0.250";
    ecm.SetNamedAddress(bNamed ? strDevice.c_str() : "");
    CVLECMPropertyMap options;
    options[Text("Option.Probe.SkipGetSupportInformation")] = Text("true");
    int nRound = 0;
    for (auto _ : state) {
        if (ecm.Probe(VLECM_PROBE_CONNECT_TYPE_ALL, &options) != VLECM_RESULT_SUCCESS) {
            state.SkipWithError("the probe did not start");
            break;
        }
        char szMAC[16];
        snprintf(szMAC, sizeof(szMAC), "0026AB%06X", 0x100000 + nRound++);
        const int nReports = client.m_nReports;
        for (int i = 0; i < nStalling; ++i) {
            const std::string strFrom = "10.7.0." + std::to_string(10 + i);
            CFakeNetwork::SetAnswerAt(szMAC, strFrom, "GetListInfo", EFakeAnswer::Block);
            CFakeNetwork::Reply(szMAC, "", strFrom);
        }
        const int nStalled = std::min(nStalling, static_cast<int>(CVLECMProbeInstance::MAX_PLACES_PER_NETWORK));
        if (!WaitUntil([&]() { return CFakeNetwork::RequestCount(szMAC, "GetListInfo") == nStalled; })) {
            state.SkipWithError("the claimants did not stall");
            break;
        }
        const auto start = std::chrono::steady_clock::now();
        CFakeNetwork::Reply(szMAC, "", strDevice);
        if (!WaitUntil([&]() { return client.m_nReports > nReports; })) {
            state.SkipWithError("the device was not handed on");
            break;
        }
        state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    ecm.StopProbe();
    ecm.Terminate();
}
BENCHMARK(BM_DeviceBehindStallingClaimants)
    ->ArgsProduct({{0, 1, 4, 11}, {0}})
    ->Args({16, 1})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(20);

BENCHMARK_MAIN();
