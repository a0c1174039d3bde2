// The communication manager: the options of a probe, which devices it
// accepts, and its start with and without the project's definitions.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "base/core/VLFileSystem.h"
#include "cm/VLCMApi.h"
#include "modules/VLModuleLibraries.h"
#include "pfw/PFWCommunicationManager.h"
#include "pfw/VLPFWCallbackIF.h"
#include "pfw/VLPFWNIFInfo.h"
#include "pfw/VLPFWNIFInfoFactory.h"
#include "tests/support/cm/ModuleRegistration.h"
#include "tests/support/ecm/FakeNetwork.h"
#include "tests/support/Watchdog.h"

namespace {
std::string Text(const CVLString& str)
{
    const char* sz = str.GetBuffer();
    return sz != nullptr ? sz : "";
}

CVLString Key(const char* sz)
{
    return CVLString(sz, 72);
}

class CReceiver : public IVLPFWCallbackIF
{
public:
    void OnProbe(VL_CONST_STR szMACAddress, CVLPFWNIFInfo* pNIFInfo) override
    {
        m_MACs.push_back(szMACAddress);
        m_Records.push_back(pNIFInfo);
    }
    std::vector<std::string> m_MACs;
    std::vector<CVLPFWNIFInfo*> m_Records;
};

// Reports without a running probe: the probing flag set by hand.
class CTestCommunicationManager : public CPFWCommunicationManager
{
public:
    void SetProbing(bool bProbing) { m_bProbing = bProbing; }
};

std::string ResourcesFolder()
{
    std::string exe = Text(VLGetExecutablePath());
    return exe.substr(0, exe.rfind('/')) + "/share/vlnet";
}
}  // namespace

TEST(PFWCommunicationManager, LocalDBCOptionsForFiveNetworks)
{
    CVLECMPropertyMap map;
    map[Key("Option.LocalDBCInfo.2.NIFInfoToAddressPath")] = Key("old");
    CPFWCommunicationManager::setupLocalDBCOptions(5, map, false);
    EXPECT_EQ("true", Text(map[Key("Option.LocalDBCInfo.EnableMultiAddressDetection")]));
    EXPECT_EQ("VLPC_LocalNetworkDBC_1.UDP", Text(map[Key("Option.LocalDBCInfo.1.VLMDSockModulePath")]));
    EXPECT_EQ("VLPC_LocalNetworkDBC_5.UDP", Text(map[Key("Option.LocalDBCInfo.5.VLMDSockModulePath")]));
    EXPECT_EQ("true", Text(map[Key("Option.LocalDBCInfo.3.Enable")]));
    EXPECT_EQ(0u, map.count(Key("Option.LocalDBCInfo.2.NIFInfoToAddressPath")));
    EXPECT_EQ(0u, map.count(Key("Option.LocalDBCInfo.6.VLMDSockModulePath")));
    EXPECT_EQ(11u, map.size());

    CPFWCommunicationManager::setupLocalDBCOptions(2, map, true);
    EXPECT_EQ("LDBCAddress_2", Text(map[Key("Option.LocalDBCInfo.2.NIFInfoToAddressPath")]));
}

TEST(PFWCommunicationManager, AcceptsUnicastDevicesMatchingTheFilter)
{
    CTestCommunicationManager manager;
    CReceiver receiver;
    ASSERT_TRUE(manager.AddCallbackIF(&receiver));
    EXPECT_FALSE(manager.AddCallbackIF(&receiver));
    CVLPFWNIFInfo device;
    device.SetMACAddress("0026AB000001");

    // Not probing: nothing passes (the record is no member of the device
    // list, so the device manager leaves it alone).
    manager.OnProbe(&device, VLECM_CONNECT_TYPE_NETWORK, true, false);
    EXPECT_TRUE(receiver.m_MACs.empty());

    manager.SetProbing(true);
    manager.OnProbe(&device, VLECM_CONNECT_TYPE_NETWORK, false, false);
    manager.OnProbe(nullptr, VLECM_CONNECT_TYPE_NETWORK, true, false);
    EXPECT_TRUE(receiver.m_MACs.empty());
    manager.OnProbe(&device, VLECM_CONNECT_TYPE_NETWORK, true, false);
    ASSERT_EQ(1u, receiver.m_MACs.size());
    EXPECT_EQ("0026AB000001", receiver.m_MACs[0]);
    EXPECT_EQ(&device, receiver.m_Records[0]);
    EXPECT_EQ(1, manager.GetAcceptedCount());

    // The filter in any form the device manager reads.
    EXPECT_FALSE(manager.SetFilterMACAddress("00:26:AB:00:00"));
    ASSERT_TRUE(manager.SetFilterMACAddress("00-26-ab-00-00-02"));
    manager.OnProbe(&device, VLECM_CONNECT_TYPE_NETWORK, true, false);
    EXPECT_EQ(1u, receiver.m_MACs.size());
    ASSERT_TRUE(manager.SetFilterMACAddress("00:26:ab:00:00:01"));
    manager.OnProbe(&device, VLECM_CONNECT_TYPE_NETWORK, true, true);
    EXPECT_EQ(2u, receiver.m_MACs.size());

    manager.RemoveCallbackIF(&receiver);
    manager.OnProbe(&device, VLECM_CONNECT_TYPE_NETWORK, true, false);
    EXPECT_EQ(2u, receiver.m_MACs.size());
}

TEST(PFWCommunicationManager, StartsOnTheProjectDefinitionsAndReportsARefusal)
{
    CModuleRegistration registration(VLRegisterModuleLibraries);
    {
        CPFWCommunicationManager manager;
        EXPECT_EQ(VLPFW_RESULT_NOT_INITIALIZED, manager.Probe());
        CVLECMPropertyMap map;
        map[Key("Initialize.RootDir")] = Key("/nonexistent/vlpfw/Settings");
        EXPECT_EQ(VLPFW_RESULT_VLECM_ERROR, manager.Initialize(&map));
        EXPECT_EQ(VLECM_RESULT_PATH_ERROR, manager.GetVLECMResult());
        EXPECT_FALSE(manager.IsInitialized());

        map[Key("Initialize.RootDir")] = CVLString((ResourcesFolder() + "/Settings").c_str(), 72);
        ASSERT_EQ(VLPFW_RESULT_SUCCESS, manager.Initialize(&map));
        EXPECT_TRUE(manager.IsInitialized());
        EXPECT_EQ("true", Text(manager.GetVLECM().GetProperty("Initialize.USBDriverWrapper.Disable")));
        manager.Terminate();
        EXPECT_FALSE(manager.IsInitialized());
    }
}

TEST(PFWNIFInfo, WebPageURLFromTheTemplate)
{
    EXPECT_EQ("http://10.0.0.5/", Text(CVLPFWNIFInfo::MakeWebConfigURL("", "10.0.0.5")));
    EXPECT_EQ("http://10.0.0.5/", Text(CVLPFWNIFInfo::MakeWebConfigURL(nullptr, "10.0.0.5")));
    EXPECT_EQ("https://10.0.0.5:8443/a?h=10.0.0.5",
              Text(CVLPFWNIFInfo::MakeWebConfigURL("https://$IP$:8443/a?h=$IP$", "10.0.0.5")));
    EXPECT_EQ("http://fixed/", Text(CVLPFWNIFInfo::MakeWebConfigURL("http://fixed/", "10.0.0.5")));

    // A record without a property tree shows nothing rather than failing.
    CVLPFWNIFInfo device;
    EXPECT_EQ("", Text(device.GetDisplayName()));
    EXPECT_EQ("http:///", Text(device.GetWebConfigURL("")));
    EXPECT_TRUE(device.IsSupportedNIF());
}

TEST(PFWNIFInfo, FactoryMakesApplicationRecords)
{
    CVLPFWNIFInfoFactory factory;
    CVLTarget* pTarget = factory.CreateNIFInfo(nullptr, nullptr);
    EXPECT_NE(nullptr, dynamic_cast<CVLPFWNIFInfo*>(pTarget));
    factory.DestroyNIFInfo(nullptr, nullptr, pTarget);
    factory.DestroyNIFInfo(nullptr, nullptr, nullptr);
}

// A device and a host claiming its MAC both pass: the application is
// handed the MAC once, and the record it holds carries the conflict mark
// the device manager set, naming the other address.
TEST(PFWCommunicationManager, TheRecordHandedOnCarriesTheConflictMark)
{
    CWatchdog watchdog(60, "PFWCommunicationManager");
    CFakeNetwork network;
    CPFWCommunicationManager manager;
    CReceiver receiver;
    CVLECMPropertyMap map;
    map[Key("Initialize.RootDir")] = CVLString((ResourcesFolder() + "/Settings").c_str(), 72);
    ASSERT_EQ(VLPFW_RESULT_SUCCESS, manager.Initialize(&map));
    ASSERT_TRUE(manager.AddCallbackIF(&receiver));
    ASSERT_EQ(VLPFW_RESULT_SUCCESS, manager.Probe());
    const std::string strMAC = "0026AB00C0DE";
    ASSERT_TRUE(CFakeNetwork::Reply(strMAC, "", "10.0.7.1"));
    auto judged = [&]() {
        SVLECMMACSummary summary;
        return manager.GetVLECM().GetMACSummary(strMAC.c_str(), summary) && summary.nPassed == 1;
    };
    for (int i = 0; i < 2000 && !judged(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_TRUE(judged());
    ASSERT_TRUE(CFakeNetwork::Reply(strMAC, "", "10.0.7.2"));
    SVLECMMACState state;
    for (int i = 0; i < 2000; ++i) {
        if (manager.GetVLECM().GetMACState(strMAC.c_str(), state) && state.eVerdict == VLECM_MAC_CONFLICT)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ASSERT_EQ(VLECM_MAC_CONFLICT, state.eVerdict);
    manager.StopProbe();
    ASSERT_EQ(1u, receiver.m_Records.size());
    CVLPFWNIFInfo* pRecord = receiver.m_Records[0];
    EXPECT_EQ(pRecord, manager.GetVLECM().FindNIFInfo(strMAC.c_str()));
    EXPECT_EQ("10.0.7.1", Text(pRecord->GetIPAddress()));
    EXPECT_TRUE(pRecord->IsConflictMarked());
    EXPECT_EQ("10.0.7.2", Text(pRecord->GetOtherPassedAddresses()));
    manager.Terminate();
}
