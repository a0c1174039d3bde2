// A probe that reaches the networks behind the computer's interfaces by
// their directed broadcasts alone, against the device emulator in network
// namespaces that the test builds.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "cm/VLCMApi.h"
#include "cm/VLModuleController.h"
#include "cm/VLProperty.h"
#include "ecm/VLECM.h"
#include "ecm/VLECMNIFInfo.h"
#include "modules/VLModuleLibraries.h"
#include "tests/support/ecm/ECMTestClient.h"
#include "tests/support/TestNetwork.h"
#include "tests/support/Watchdog.h"
#include "tests/support/cm/ModuleRegistration.h"

namespace {

const int kNetworks = 3;
const int kLocalNetworkEntries = 5;
const char* const kPort = "48817";

// In the computer's namespace: probes with the five entries the application
// framework sets and the limited broadcast switched off, and lists the
// devices reported (each report once).
std::string ProbeLocalNetworks()
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
    client.WaitFor("probe", kNetworks);
    ecm.StopProbe();
    Drain(ecm);
    std::vector<std::string> macs;
    for (const auto& event : client.Events()) {
        if (event.strWhat == "probe")
            macs.push_back(event.strMac);
    }
    ecm.Terminate();
    std::sort(macs.begin(), macs.end());
    std::string s;
    for (const std::string& strMac : macs)
        s += strMac + " ";
    return s;
}

// In the computer's namespace: probes by the limited broadcast and the local
// directed broadcasts, and gives each device's directed-broadcast address
// ("MAC=ADDRESS ", in MAC order).
std::string ProbeBothWays()
{
    CWatchdog watchdog(120, "probe by both broadcasts");
    CModuleRegistration registration(VLRegisterModuleLibraries);
    CRecordingClient client;
    CVLECM ecm;
    if (ecm.Initialize(&client, nullptr, nullptr, nullptr) != VLECM_RESULT_SUCCESS)
        return "FAIL:initialize";
    ecm.GetApi()->SetConst("toPort", kPort, "VLMDSock", nullptr);
    CVLECMPropertyMap options;
    auto set = [&](const std::string& k, const char* v) { options[CVLString(k.c_str(), 72)] = CVLString(v, 72); };
    set("Option.Probe.SkipGetSupportInformation", "true");
    set("Option.Probe.EnableLocalDBCInfo", "true");
    for (int i = 1; i <= kLocalNetworkEntries; ++i) {
        std::string strEntry = "Option.LocalDBCInfo." + std::to_string(i);
        set(strEntry + ".VLMDSockModulePath", ("VLPC_LocalNetworkDBC_" + std::to_string(i) + ".UDP").c_str());
    }
    if (ecm.Probe(VLECM_PROBE_CONNECT_TYPE_ALL, &options) != VLECM_RESULT_SUCCESS)
        return "FAIL:probe";
    client.WaitFor("probe", 2);
    ecm.StopProbe();
    Drain(ecm);
    std::string s;
    for (const char* szMac : {"0026AB0C0001", "0026AB0C0002"}) {
        CVLECMNIFInfo* pNIFInfo = ecm.FindNIFInfo(szMac);
        CVLProperty* pAddress =
            pNIFInfo != nullptr ? pNIFInfo->GetProperties()->GetProperty("LDBCAddress", false) : nullptr;
        s += std::string(szMac) + "=" + (pAddress != nullptr ? pAddress->ToString("").GetBuffer() : "none") + " ";
    }
    ecm.Terminate();
    return s;
}

}  // namespace

TEST(LocalNetworkProbe, ADeviceGetsItsDirectedBroadcastWhicheverOfItsRepliesCameFirst)
{
    std::string strWhy = CTestNetwork::Unavailable();
    if (!strWhy.empty())
        GTEST_SKIP() << "network namespace tests skipped: " << strWhy;
    CTestNetwork net;
    std::string e;
    ASSERT_TRUE(net.AddHost("pc", &e)) << e;
    // The first device's reply to the limited broadcast comes first, the
    // second's to the directed broadcast.
    const char* const kDelays[] = {"directeddelay=300", "limiteddelay=300"};
    for (int i = 1; i <= 2; ++i) {
        std::string strHost = "n" + std::to_string(i);
        std::string strNet = "10.212." + std::to_string(i);
        ASSERT_TRUE(net.AddHost(strHost, &e)) << e;
        ASSERT_TRUE(
            net.Link("pc", "vl" + std::to_string(i), {strNet + ".1/24"}, strHost, "eth0", {strNet + ".10/24"}, &e))
            << e;
        ASSERT_TRUE(net.StartEmulator(strHost,
                                      "mac=00:26:AB:0C:00:0" + std::to_string(i) + " ip=" + strNet +
                                          ".10 mask=255.255.255.0 " + kDelays[i - 1] + "\n",
                                      std::stoi(kPort), TestEmulatorProgram(), &e))
            << e;
    }
    EXPECT_EQ("0026AB0C0001=10.212.1.255 0026AB0C0002=10.212.2.255 ", net.RunIn("pc", ProbeBothWays));
}

TEST(LocalNetworkProbe, FindsTheDevicesOfEveryLocalNetworkOnce)
{
    std::string strWhy = CTestNetwork::Unavailable();
    if (!strWhy.empty())
        GTEST_SKIP() << "network namespace tests skipped: " << strWhy;
    CTestNetwork net;
    std::string e;
    ASSERT_TRUE(net.AddHost("pc", &e)) << e;
    for (int i = 1; i <= kNetworks; ++i) {
        std::string strHost = "n" + std::to_string(i);
        std::string strNet = "10.211." + std::to_string(i);
        ASSERT_TRUE(net.AddHost(strHost, &e)) << e;
        ASSERT_TRUE(
            net.Link("pc", "vl" + std::to_string(i), {strNet + ".1/24"}, strHost, "eth0", {strNet + ".10/24"}, &e))
            << e;
        ASSERT_TRUE(net.StartEmulator(
            strHost, "mac=00:26:AB:0B:00:0" + std::to_string(i) + " ip=" + strNet + ".10 mask=255.255.255.0\n",
            std::stoi(kPort), TestEmulatorProgram(), &e))
            << e;
    }
    std::string strResult = net.RunIn("pc", ProbeLocalNetworks);
    EXPECT_EQ("0026AB0B0001 0026AB0B0002 0026AB0B0003 ", strResult);
}
