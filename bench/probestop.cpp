// Stopping a probe while its devices are in their follow-up commands: the
// device manager over the real modules and definitions finds N devices of
// the emulator on loopback that answer the probe but not unicast, so each
// waits in its CheckUnicast; then the time of RemoveAllNIFInfo (what a new
// probe, Terminate and vlnet's stop do first) is measured: the probe is
// stopped and every device's command is stopped and joined.
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

// Devices listed whose command runs.
int PendingCount(CVLECM& ecm)
{
    CVLECMNIFInfoList* pList = ecm.GetNIFInfoList();
    if (pList == nullptr)
        return 0;
    int nPending = 0;
    pList->Lock();
    for (CVLTargetIterator it = pList->Begin(); !it.IsEnd(); it.Next()) {
        CVLECMNIFInfo* pNIFInfo = dynamic_cast<CVLECMNIFInfo*>(it.Get());
        if (pNIFInfo != nullptr && pNIFInfo->IsCommandRunning())
            nPending++;
    }
    pList->Unlock();
    return nPending;
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
        auto waitStart = std::chrono::steady_clock::now();
        while (PendingCount(ecm) < nDevices) {
            if (std::chrono::steady_clock::now() - waitStart > std::chrono::seconds(60)) {
                state.SkipWithError("not every device came into its follow-up command");
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
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
