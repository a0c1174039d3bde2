// Stopping a probe while its devices are in their follow-up commands: the
// device manager over the real modules and definitions finds N devices of
// the emulator on loopback that answer the probe but not unicast, so each
// chain that runs waits in its CheckUnicast; once every device is listed and
// as many chains run as the device manager's bound allows (their number has
// stopped changing), the time of RemoveAllNIFInfo (what a new probe,
// Terminate and vlnet's stop do first) is measured: the probe is stopped and
// every device's command is stopped and joined. The counters give the
// devices listed and the commands running when the stop came.
#include <benchmark/benchmark.h>

#include <chrono>
#include <string>
#include <thread>

#include "cm/VLCMApi.h"
#include "cm/VLModuleController.h"
#include "cm/VLTargetList.h"
#include "ecm/VLECM.h"
#include "ecm/VLECMNIFInfo.h"
#include "ecm/VLECMNIFInfoList.h"
#include "modules/VLModuleLibraries.h"
#include "tests/support/emulator/DeviceEmulator.h"

namespace {
const int kLocalNetworkChildren = 5;

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

// Devices listed, and those whose command runs.
void Count(CVLECM& ecm, int& nListed, int& nRunning)
{
    nListed = 0;
    nRunning = 0;
    CVLECMNIFInfoList* pList = ecm.GetNIFInfoList();
    if (pList == nullptr)
        return;
    pList->Lock();
    for (CVLTargetIterator it = pList->Begin(); !it.IsEnd(); it.Next()) {
        nListed++;
        CVLECMNIFInfo* pNIFInfo = dynamic_cast<CVLECMNIFInfo*>(it.Get());
        if (pNIFInfo != nullptr && pNIFInfo->IsCommandRunning())
            nRunning++;
    }
    pList->Unlock();
}

// Waits until every device is listed and the number of running commands
// has not changed for a while: no further chain can start before one ends,
// and none ends within the commands' time-out. False after a minute.
bool WaitForTheChainsTheBoundAllows(CVLECM& ecm, int nDevices, int& nRunning)
{
    const auto kSettled = std::chrono::milliseconds(500);
    auto start = std::chrono::steady_clock::now();
    auto lastChange = start;
    int nLastRunning = -1;
    for (;;) {
        int nListed = 0;
        Count(ecm, nListed, nRunning);
        auto now = std::chrono::steady_clock::now();
        if (nListed < nDevices || nRunning != nLastRunning) {
            nLastRunning = nRunning;
            lastChange = now;
        } else if (now - lastChange >= kSettled) {
            return true;
        }
        if (now - start > std::chrono::seconds(60))
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}
}  // namespace

static void BM_StopPendingDevices(benchmark::State& state)
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
        emu.AddDevice(d);
    }
    std::string strError;
    if (!emu.Start(&strError)) {
        state.SkipWithError(strError.c_str());
        return;
    }
    CQuietClient client;
    CVLECM ecm;
    if (ecm.Initialize(&client, nullptr, nullptr, nullptr) != VLECM_RESULT_SUCCESS ||
        ecm.GetApi()->GetModuleController()->GetModule("VLMDProbe") == nullptr) {
        state.SkipWithError("the device manager or the probe module is not available");
        return;
    }
    CVLCMApi* pApi = ecm.GetApi();
    pApi->SetConst("toPort", std::to_string(emu.Port()).c_str(), "VLMDSock", nullptr);
    pApi->SetConst("toAddress", "127.255.255.255", nullptr, "Probe.VLPC_Broadcast.UDP");
    for (int i = 1; i <= kLocalNetworkChildren; ++i)
        pApi->EnableInstance(("Probe.VLPC_LocalNetworkDBC_" + std::to_string(i)).c_str(), false);
    CVLECMPropertyMap options = Options();

    for (auto _ : state) {
        if (ecm.Probe(VLECM_PROBE_CONNECT_TYPE_ALL, &options) != VLECM_RESULT_SUCCESS) {
            state.SkipWithError("the probe did not start");
            break;
        }
        int nRunning = 0;
        if (!WaitForTheChainsTheBoundAllows(ecm, nDevices, nRunning)) {
            state.SkipWithError("the devices were not all listed, or their chains did not settle");
            break;
        }
        state.counters["running"] = nRunning;
        state.counters["listed"] = nDevices;
        auto start = std::chrono::steady_clock::now();
        ecm.RemoveAllNIFInfo();
        state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    ecm.Terminate();
    emu.Stop();
    CVLCMApi::SetModuleLibraries(nullptr);
}
BENCHMARK(BM_StopPendingDevices)->Arg(20)->Arg(100)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
