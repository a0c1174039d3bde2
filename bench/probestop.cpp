// Stopping a probe while its devices are in their unicast checks: the
// device manager over the real modules and definitions finds N devices of
// the emulator on loopback that answer the probe (within 0.1 s) but not
// unicast, so each device's chain starts its CheckUnicast on the check
// thread and waits there (the check's time-out is a minute); none is ever
// handed on. Once the MAC table holds N MACs still to be judged and the
// probe counts N chains, all in their checks, and this has held for a
// while, the time of RemoveAllNIFInfo (what a new probe, Terminate and
// vlnet's stop do first: StopProbe, then the records go) is measured,
// wall and the calling thread's CPU: the probe is stopped and every check
// is cancelled, which the benchmark checks after (no MAC left pending, no
// chain in its check). The counters give what the stop found: MACs
// pending, chains in their checks. 500 devices come near the bound of
// checks at once (512).
#include <benchmark/benchmark.h>

#include <chrono>
#include <string>
#include <thread>

#include "cm/VLCMApi.h"
#include "cm/VLModuleController.h"
#include "ecm/VLECM.h"
#include "modules/VLModuleLibraries.h"
#include "tests/support/emulator/DeviceEmulator.h"

namespace {
const int kLocalNetworkChildren = 5;
const int kReplySpreadMs = 100;

class CQuietClient : public IVLECMCallbackIF
{
};

CVLECMPropertyMap Options()
{
    CVLECMPropertyMap map;
    map[CVLString("Option.Probe.SkipGetSupportInformation", 72)] = CVLString("true", 72);
    // Long enough that every device is still waiting when the stop comes.
    map[CVLString("Option.CheckUnicast.Timeout", 72)] = CVLString("60000", 72);
    map[CVLString("Option.CheckUnicast.Retry", 72)] = CVLString("1", 72);
    return map;
}

// What the stop will find.
struct SState
{
    int nPending = 0;     // MACs still to be judged
    int nUnfinished = 0;  // chains not over
    int nChecking = 0;    // of them, in or waiting for their unicast check
    bool operator==(const SState& other) const
    {
        return nPending == other.nPending && nUnfinished == other.nUnfinished && nChecking == other.nChecking;
    }
};

SState Count(CVLECM& ecm)
{
    SState state;
    state.nPending = ecm.GetPendingMACCount();
    state.nUnfinished = ecm.GetUnfinishedChainCount(state.nChecking);
    return state;
}

// Waits until every device is in its check and that has held for a
// while. False after a minute, with what was last seen.
bool WaitForEveryDeviceInItsCheck(CVLECM& ecm, int nDevices, SState& state)
{
    const auto kSettled = std::chrono::milliseconds(500);
    SState wanted;
    wanted.nPending = wanted.nUnfinished = wanted.nChecking = nDevices;
    auto start = std::chrono::steady_clock::now();
    auto since = start;
    for (;;) {
        state = Count(ecm);
        auto now = std::chrono::steady_clock::now();
        if (!(state == wanted))
            since = now;
        else if (now - since >= kSettled)
            return true;
        if (now - start > std::chrono::seconds(60))
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}
}  // namespace

static void BM_StopDevicesInTheirChecks(benchmark::State& state)
{
    const int nDevices = static_cast<int>(state.range(0));
    CVLCMApi::SetModuleLibraries(VLRegisterModuleLibraries);
    CDeviceEmulator emu(0);
    for (int i = 0; i < nDevices; i++) {
        EmuDevice d;
        d.mac[4] = static_cast<uint8_t>(0x40 + i / 200);
        d.mac[5] = static_cast<uint8_t>(i % 200);
        d.strIP = "127.0." + std::to_string(1 + (i + 2) / 250) + "." + std::to_string((i + 2) % 250);
        d.bAnswersUnicast = false;
        // Spread as a network's devices answer: all at once, the last few
        // replies of each burst can find the receive buffer full on a busy
        // machine and their devices never be listed.
        d.nDelayMs = i % kReplySpreadMs;
        emu.AddDevice(d);
    }
    std::string strError;
    if (!emu.Start(&strError)) {
        state.SkipWithError(strError.c_str());
        return;
    }
    CQuietClient client;
    CVLECM ecm;
    const VLECM_RESULT eInit = ecm.Initialize(&client, nullptr, nullptr, nullptr);
    if (eInit != VLECM_RESULT_SUCCESS) {
        // Most often the definitions beside bin/ (share/vlnet) are missing.
        std::string strWhy = "the device manager did not initialize: result " + std::to_string(eInit);
        state.SkipWithError(strWhy.c_str());
        return;
    }
    if (ecm.GetApi()->GetModuleController()->GetModule("VLMDProbe") == nullptr) {
        state.SkipWithError("the probe module is not registered");
        return;
    }
    CVLCMApi* pApi = ecm.GetApi();
    pApi->SetConst("toPort", std::to_string(emu.Port()).c_str(), "VLMDSock", nullptr);
    pApi->SetConst("toAddress", "127.255.255.255", nullptr, "Probe.VLPC_Broadcast.UDP");
    for (int i = 1; i <= kLocalNetworkChildren; ++i)
        pApi->EnableInstance(("Probe.VLPC_LocalNetworkDBC_" + std::to_string(i)).c_str(), false);
    CVLECMPropertyMap options = Options();

    for (auto _ : state) {
        // Only the stop is timed, its CPU time too (the calling thread's).
        state.PauseTiming();
        if (ecm.Probe(VLECM_PROBE_CONNECT_TYPE_ALL, &options) != VLECM_RESULT_SUCCESS) {
            state.SkipWithError("the probe did not start");
            break;
        }
        SState found;
        if (!WaitForEveryDeviceInItsCheck(ecm, nDevices, found)) {
            std::string strWhy = "the devices did not all come into their checks: " +
                                 std::to_string(found.nPending) + " MACs pending, " +
                                 std::to_string(found.nUnfinished) + " chains, " + std::to_string(found.nChecking) +
                                 " checking";
            state.SkipWithError(strWhy.c_str());
            break;
        }
        state.counters["pending"] = found.nPending;
        state.counters["checking"] = found.nChecking;
        state.ResumeTiming();
        auto start = std::chrono::steady_clock::now();
        ecm.RemoveAllNIFInfo();
        state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        const SState after = Count(ecm);
        if (after.nChecking != 0 || after.nPending != 0) {
            state.SkipWithError("the stop left checks under way or MACs pending");
            break;
        }
    }
    ecm.Terminate();
    emu.Stop();
    CVLCMApi::SetModuleLibraries(nullptr);
}
BENCHMARK(BM_StopDevicesInTheirChecks)
    ->Arg(20)
    ->Arg(100)
    ->Arg(500)
    ->Iterations(3)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
