// A probe that reaches the networks behind the computer's interfaces by
// their directed broadcasts alone, against the device emulator in network
// namespaces that the test builds.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "cm/VLCMApi.h"
#include "cm/VLModuleController.h"
#include "cm/VLProperty.h"
#include "ecm/VLECM.h"
#include "ecm/record/VLECMNIFInfo.h"
#include "modules/VLModuleLibraries.h"
#include "tests/support/NeedsNamespaces.h"
#include "tests/support/ecm/ECMTestClient.h"
#include "tests/support/TestNetwork.h"
#include "tests/support/Watchdog.h"
#include "tests/support/cm/ModuleRegistration.h"

namespace {

const int kNetworks = 3;
const int kLocalNetworkEntries = 5;
const char* const kPort = "48817";

// In the computer's namespace: probes with the five local-network entries
// the application framework sets (the limited broadcast switched off unless
// bLimited) until nReports devices were reported, and describes the result.
std::string ProbeAndDescribe(bool bLimited, size_t nReports,
                             const std::function<std::string(CVLECM&, CRecordingClient&)>& describe)
{
    CWatchdog watchdog(120, "probe through the local directed broadcasts");
    CModuleRegistration registration(VLRegisterModuleLibraries);
    CRecordingClient client;
    CVLECM ecm;
    if (ecm.Initialize(&client, nullptr, nullptr, nullptr) != VLECM_RESULT_SUCCESS)
        return "FAIL:initialize";
    CVLCMApi* pApi = ecm.GetApi();
    if (pApi->GetModuleController()->GetModule("VLMDProbe") == nullptr)
        return "FAIL:the probe module is not registered";
    pApi->SetConst("toPort", kPort, "VLMDSock", nullptr);
    if (!bLimited)
        pApi->EnableInstance("Probe.VLPC_Broadcast", false);

    CVLECMPropertyMap options;
    auto set = [&](const std::string& k, const char* v) { options[CVLString(k.c_str(), 72)] = CVLString(v, 72); };
    set("Option.Probe.SkipGetSupportInformation", "true");
    set("Option.Probe.EnableLocalDBCInfo", "true");
    set("Option.LocalDBCInfo.EnableMultiAddressDetection", "true");
    for (int i = 1; i <= kLocalNetworkEntries; ++i) {
        std::string strEntry = "Option.LocalDBCInfo." + std::to_string(i);
        set(strEntry + ".VLMDSockModulePath", ("VLPC_LocalNetworkDBC_" + std::to_string(i) + ".UDP").c_str());
        set(strEntry + ".Enable", "true");
    }
    if (ecm.Probe(VLECM_PROBE_CONNECT_TYPE_ALL, &options) != VLECM_RESULT_SUCCESS)
        return "FAIL:probe";
    client.WaitFor("probe", nReports);
    ecm.StopProbe();
    Drain(ecm);
    std::string s = describe(ecm, client);
    ecm.Terminate();
    return s;
}

// The devices reported (each report once).
std::string ProbeLocalNetworks()
{
    return ProbeAndDescribe(false, kNetworks, [](CVLECM&, CRecordingClient& client) {
        std::vector<std::string> macs;
        for (const auto& event : client.Events()) {
            if (event.strWhat == "probe")
                macs.push_back(event.strMac);
        }
        std::sort(macs.begin(), macs.end());
        std::string s;
        for (const std::string& strMac : macs)
            s += strMac + " ";
        return s;
    });
}

// With the limited broadcast too: each device's directed-broadcast address
// ("MAC=ADDRESS ", in MAC order).
std::string ProbeBothWays()
{
    return ProbeAndDescribe(true, 2, [](CVLECM& ecm, CRecordingClient&) {
        std::string s;
        for (const char* szMac : {"0026AB0C0001", "0026AB0C0002"}) {
            CVLECMNIFInfo* pNIFInfo = ecm.FindNIFInfo(szMac);
            CVLProperty* pAddress =
                pNIFInfo != nullptr ? pNIFInfo->GetProperties()->GetProperty("LDBCAddress", false) : nullptr;
            s += std::string(szMac) + "=" + (pAddress != nullptr ? pAddress->ToString("").GetBuffer() : "none") + " ";
        }
        return s;
    });
}

// The computer "pc" and nNetworks networks 10.X.N.0/24 behind it, each with
// one device at .10 (MAC 00:26:AB:Y:00:0N) and the emulator's further keys
// of that network's device; false with the reason in strError.
bool BuildNetworks(CTestNetwork& net, int nX, int nY, const std::vector<std::string>& keys, std::string& strError)
{
    if (!net.AddHost("pc", &strError))
        return false;
    for (size_t n = 1; n <= keys.size(); ++n) {
        std::string strNumber = std::to_string(n);
        std::string strHost = "n" + strNumber;
        std::string strNet = "10." + std::to_string(nX) + "." + strNumber;
        char szMac[32];
        snprintf(szMac, sizeof(szMac), "00:26:AB:%02X:00:%02X", nY, static_cast<unsigned>(n));
        if (!net.AddHost(strHost, &strError) ||
            !net.Link("pc", "vl" + strNumber, {strNet + ".1/24"}, strHost, "eth0", {strNet + ".10/24"}, &strError) ||
            !net.StartEmulator(
                strHost, std::string("mac=") + szMac + " ip=" + strNet + ".10 mask=255.255.255.0 " + keys[n - 1] + "\n",
                std::stoi(kPort), TestEmulatorProgram(), &strError))
            return false;
    }
    return true;
}

}  // namespace

TEST(LocalNetworkProbe, ADeviceGetsItsDirectedBroadcastWhicheverOfItsRepliesCameFirst)
{
    VL_NEEDS_NAMESPACES();
    CTestNetwork net;
    std::string e;
    // The first device's reply to the limited broadcast comes first, the
    // second's to the directed broadcast.
    ASSERT_TRUE(BuildNetworks(net, 212, 0x0C, {"directeddelay=300", "limiteddelay=300"}, e)) << e;
    EXPECT_EQ("0026AB0C0001=10.212.1.255 0026AB0C0002=10.212.2.255 ", net.RunIn("pc", ProbeBothWays));
}

TEST(LocalNetworkProbe, FindsTheDevicesOfEveryLocalNetworkOnce)
{
    VL_NEEDS_NAMESPACES();
    CTestNetwork net;
    std::string e;
    ASSERT_TRUE(BuildNetworks(net, 211, 0x0B, std::vector<std::string>(kNetworks, ""), e)) << e;
    std::string strResult = net.RunIn("pc", ProbeLocalNetworks);
    EXPECT_EQ("0026AB0B0001 0026AB0B0002 0026AB0B0003 ", strResult);
}
