// The probe module with the project's definitions over the real VLPC and
// socket modules, against the device emulator on loopback: one probe finds
// every device once, and hostile devices do not keep the others from it.
#include <gtest/gtest.h>

#include <cctype>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "cm/VLCMApi.h"
#include "cm/VLCallbackInfo.h"
#include "cm/VLFunctionListener.h"
#include "cm/VLMargeConditionList.h"
#include "cm/VLModuleController.h"
#include "cm/VLModuleInstance.h"
#include "cm/VLProperty.h"
#include "cm/VLTarget.h"
#include "cm/VLTargetList.h"
#include "modules/VLModuleLibraries.h"
#include "tests/support/cm/DefinitionFiles.h"
#include "tests/support/emulator/DeviceEmulator.h"
#include "tests/support/TestSupport.h"
#include "tests/support/Watchdog.h"
#include "tests/support/cm/ModuleRegistration.h"

namespace {

// Sends of one probe in the project's definitions ("Probe_RetryCount" 2).
const size_t kProbeSends = 3;
// Directed-broadcast children of the probe, unused on loopback.
const int kLocalNetworkChildren = 5;
const int kDevices = 50;

EmuDevice Device(int n, EmuHostile eHostile = EmuHostile::None)
{
    EmuDevice d;
    d.mac[4] = static_cast<uint8_t>(n >> 8);
    d.mac[5] = static_cast<uint8_t>(n);
    d.strIP = "127.0.0." + std::to_string(n + 1);
    d.eHostile = eHostile;
    return d;
}

// A MAC address as twelve upper-case hexadecimal digits, whatever its form.
std::string MacKey(const std::string& strText)
{
    std::string s;
    for (char c : strText)
        if (std::isxdigit(static_cast<unsigned char>(c)))
            s += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

class CListener : public IVLFunctionListener
{
public:
    void OnProbe(CVLCMApi*, CVLModuleInstance*, CVLTarget* pTarget, CVLCallbackInfo* pInfo) override
    {
        CVLProperty* p = pTarget->GetProperties()->GetProperty("MACAddress", false);
        std::string strMac = p == nullptr ? "" : Bytes(p->ToString(""));
        ++m_nProbes;
        if (!pInfo->IsMarge())
            m_New.push_back(MacKey(strMac));
    }
    void OnException(CVLCMApi*, CVLModuleInstance*, CVLTarget*, CVLCallbackInfo*) override { ++m_nExceptions; }
    size_t m_nProbes = 0;
    std::vector<std::string> m_New;  // MACs of the targets added to the list
    int m_nExceptions = 0;
};

class ProbeEmulatorTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        std::string strMapping = TestShippedDefinition("ModuleMapping.xml");
        ASSERT_NE("", strMapping) << "the shipped definitions cannot be read";
        m_Files.AddXml("VLPC.xml", TestShippedDefinition("VLPC.xml"));
        m_Files.AddXml("PropertyRoot.xml", TestShippedDefinition("PropertyRoot.xml"));
        m_Files.AddXml("ModuleMapping.xml", strMapping);
        m_Files.AddScript("NetRetry.vls", TestShippedDefinition("NetRetry.vls"));
        CVLCMApiConfig config;
        m_Files.Configure(config);
        m_Api.Initialize(&config, nullptr);
        m_Api.GetModuleController()->GetMargeConditionList()->Add()->GetPath() = "MACAddress";
        m_pList = m_Api.CreateTargetList();
    }
    void TearDown() override
    {
        if (m_pList != nullptr)
            m_pList->Destroy();
        m_Api.Terminate();
        m_Emu.Stop();
    }
    // Probes the emulator's devices 1 to nDevices through loopback's
    // directed broadcast until every one has heard every send and nGood are
    // listed (or 20 s passed), then stops the probe.
    void Probe(size_t nGood, int nDevices)
    {
        std::string strError;
        ASSERT_TRUE(m_Emu.Start(&strError)) << strError;
        std::string strPort = std::to_string(m_Emu.Port());
        m_Api.SetConst("toPort", strPort.c_str(), "VLMDSock", nullptr);
        m_Api.SetConst("toAddress", "127.255.255.255", nullptr, "Probe.VLPC_Broadcast.UDP");
        for (int i = 1; i <= kLocalNetworkChildren; ++i) {
            std::string strName = "Probe.VLPC_LocalNetworkDBC_" + std::to_string(i);
            m_Api.EnableInstance(strName.c_str(), false);
        }
        CVLModuleInstance* p = m_Api.Probe(&m_Listener, m_pList, "Probe", "Probe", nullptr);
        ASSERT_NE(nullptr, p);
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        auto heardAll = [&] {
            for (int n = 1; n <= nDevices; ++n)
                if (m_Emu.RequestCount(EmuMacText(Device(n).mac)) < static_cast<int>(kProbeSends))
                    return false;
            return true;
        };
        while ((m_Listener.m_New.size() < nGood || !heardAll()) && std::chrono::steady_clock::now() < deadline)
            m_Api.DispatchCallback(10);
        // Time for a reply to a last send to come in and be reported.
        for (int i = 0; i < 20; ++i)
            m_Api.DispatchCallback(10);
        m_Api.GetModuleController()->DeleteModuleInstance(p);
    }

    CWatchdog m_Watchdog{120, "probe against the emulator"};
    CDeviceEmulator m_Emu{0};
    CModuleRegistration m_Registration{VLRegisterModuleLibraries};
    CDefinitionFiles m_Files;
    CVLCMApi m_Api;
    CVLTargetList* m_pList = nullptr;
    CListener m_Listener;
};

}  // namespace

TEST_F(ProbeEmulatorTest, OneProbeFindsFiftyDevicesEachOnce)
{
    for (int n = 1; n <= kDevices; ++n)
        m_Emu.AddDevice(Device(n));
    Probe(kDevices, kDevices);
    std::set<std::string> found(m_Listener.m_New.begin(), m_Listener.m_New.end());
    EXPECT_EQ(static_cast<size_t>(kDevices), m_Listener.m_New.size());
    EXPECT_EQ(static_cast<size_t>(kDevices), found.size());
    EXPECT_EQ(kDevices, m_pList->GetCount());
    EXPECT_EQ(0, m_Listener.m_nExceptions);
    EXPECT_EQ(1u, found.count(MacKey(EmuMacText(Device(kDevices).mac))));
    // The schedule: every send of the probe reached every device, no more;
    // each device's replies to one send are reported once at most.
    EXPECT_GE(m_Listener.m_nProbes, static_cast<size_t>(kDevices));
    EXPECT_LE(m_Listener.m_nProbes, static_cast<size_t>(kDevices * kProbeSends));
    for (int n = 1; n <= kDevices; ++n)
        EXPECT_EQ(static_cast<int>(kProbeSends), m_Emu.RequestCount(EmuMacText(Device(n).mac))) << n;
}

TEST_F(ProbeEmulatorTest, HostileDevicesDoNotStopTheOthersBeingFound)
{
    const int kGood = 20;
    int n = 1;
    for (EmuHostile e : {EmuHostile::Truncated, EmuHostile::Empty, EmuHostile::Oversized, EmuHostile::BadMagic}) {
        // Hostile devices first and between the good ones.
        m_Emu.AddDevice(Device(n++, e));
        for (int i = 0; i < kGood / 4; ++i)
            m_Emu.AddDevice(Device(n++));
    }
    Probe(kGood, n - 1);
    std::set<std::string> found(m_Listener.m_New.begin(), m_Listener.m_New.end());
    EXPECT_EQ(static_cast<size_t>(kGood), m_Listener.m_New.size());
    EXPECT_EQ(static_cast<size_t>(kGood), found.size());
    for (int i = 1; i < n; ++i) {
        std::string strMac = MacKey(EmuMacText(Device(i).mac));
        bool bHostile = (i - 1) % (kGood / 4 + 1) == 0;
        EXPECT_EQ(bHostile ? 0u : 1u, found.count(strMac)) << strMac;
    }
}
