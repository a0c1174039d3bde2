// Round trips of a unicast query (GetDetail) through the VLPC request engine
// and the socket module to the device emulator on loopback, with the word
// cipher off and on: the whole command as the device manager runs it
// (instance made, socket opened, request, reply expanded, all released), and
// the request alone on an instance that is kept. Time is wall time per round
// trip; CPU is the client thread's (the emulator runs on its own thread).
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <climits>
#include <fstream>
#include <sstream>
#include <string>

#include "base/core/VLException.h"
#include "cm/VLCMApi.h"
#include "cm/VLModuleController.h"
#include "cm/VLModuleInstance.h"
#include "cm/VLProperty.h"
#include "cm/VLTarget.h"
#include "modules/VLModuleLibraries.h"
#include "tests/support/cm/DefinitionFiles.h"
#include "tests/support/emulator/DeviceEmulator.h"
#include "tests/support/TestSupport.h"

namespace {

const char* const kMapping =
    "<ModuleMapping>"
    "<Module name=\"VLMDSock\"><Const name=\"protocol\" value=\"udp\"/><Const name=\"socketMode\" value=\"single\"/>"
    "</Module>"
    "<Instance name=\"VLPC_Unicast\" module=\"VLMDVLPC\" method=\"Request\">"
    "<Instance name=\"UDP\" module=\"VLMDSock\"><Const name=\"castType\" value=\"unicast\"/>"
    "<Const name=\"toAddressPath\" value=\"IPAddress\"/></Instance></Instance>"
    "</ModuleMapping>";

// The framework with the project's packet definitions, one emulated device
// and a target that has met it.
class CBenchSetup
{
public:
    explicit CBenchSetup(bool bEncrypted) : m_Emu(0)
    {
        m_Files.AddXml("VLPC.xml", TestShippedDefinition("VLPC.xml"));
        m_Files.AddXml("PropertyRoot.xml", TestShippedDefinition("PropertyRoot.xml"));
        m_Files.AddXml("ModuleMapping.xml", kMapping);
        CVLCMApi::SetModuleLibraries(VLRegisterModuleLibraries);
        CVLCMApiConfig config;
        m_Files.Configure(config);
        m_Api.Initialize(&config, nullptr);
        m_pController = m_Api.GetModuleController();
        EmuDevice device;
        device.bEncrypted = bEncrypted;
        device.mac[4] = 0x34, device.mac[5] = 0x57;
        m_Emu.AddDevice(device);
        m_Emu.Start();
        m_pTarget = m_pController->CreateTarget();
        Set("IPAddress", "127.0.0.2");
        Set("MACAddress", "0026AB003457");
        Set("VLPC.2B_5A01_01.VLPCVersion", "50");
        Set("VLPC.2B_5A01_01.DeviceNumber", "1");
        Set("VLPC.2B_5A01_01.EncryptionMode", bEncrypted ? "1" : "0");
        Set("VLPC.2B_5A01_01.EncryptionType", bEncrypted ? "1" : "0");
        m_Params.GetParam("toPort", true)->SetLong(m_Emu.Port());
        m_Params.GetParam("timeout", true)->SetLong(3000);
        m_Params.GetParam("retry", true)->SetLong(1);
    }
    ~CBenchSetup()
    {
        m_pTarget->Destroy(false);
        m_Emu.Stop();
        m_Api.Terminate();
    }
    void Set(const char* szPath, const char* szText)
    {
        m_pTarget->GetProperties()->GetProperty(szPath, true)->SetString(szText, VL_CHARSET_UTF8);
    }
    CVLModuleInstance* Create()
    {
        CVLModuleInstance* p = m_pController->CreateModuleInstance(m_pTarget, "VLPC_Unicast", &m_Params);
        p->GetParams()->GetParam("packetListName", true)->SetString("GetDetail", VL_CHARSET_UTF8);
        return p;
    }
    // One request; false when it failed.
    static bool Call(CVLModuleInstance* p)
    {
        try {
            p->CallMethod();
        } catch (EVLException* e) {
            e->Delete();
            return false;
        }
        return true;
    }

    CDefinitionFiles m_Files;
    CVLCMApi m_Api;
    CVLModuleController* m_pController = nullptr;
    CVLTarget* m_pTarget = nullptr;
    CDeviceEmulator m_Emu;
    CVLModuleParamCollection m_Params;
};

}  // namespace

static void BM_GetDetailCommand(benchmark::State& state)
{
    CBenchSetup setup(state.range(0) != 0);
    for (auto _ : state) {
        CVLModuleInstance* p = setup.Create();
        bool bOk = CBenchSetup::Call(p);
        setup.m_pController->DeleteModuleInstance(p);
        if (!bOk) {
            state.SkipWithError("GetDetail failed");
            break;
        }
    }
    state.counters["round_trips_per_s"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_GetDetailCommand)->Arg(0)->Arg(1)->ArgName("cipher")->UseRealTime();

static void BM_GetDetailKeptInstance(benchmark::State& state)
{
    CBenchSetup setup(state.range(0) != 0);
    CVLModuleInstance* p = setup.Create();
    for (auto _ : state) {
        if (!CBenchSetup::Call(p)) {
            state.SkipWithError("GetDetail failed");
            break;
        }
    }
    setup.m_pController->DeleteModuleInstance(p);
    state.counters["round_trips_per_s"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_GetDetailKeptInstance)->Arg(0)->Arg(1)->ArgName("cipher")->UseRealTime();

BENCHMARK_MAIN();
