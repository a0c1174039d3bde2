// The device manager over the real modules and definitions against the
// device emulator on loopback: probes through 127.255.255.255, and every
// command on a plain and an enciphered device.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "cm/VLModuleController.h"
#include "cm/VLProperty.h"
#include "cm/VLTargetList.h"
#include "ecm/VLECM.h"
#include "ecm/probe/VLECMProbeInstance.h"
#include "ecm/record/VLECMNIFInfo.h"
#include "ecm/probe/VLECMNIFInfoList.h"
#include "modules/VLModuleLibraries.h"
#include "modules/sock/VLSockShared.h"
#include "tests/support/ecm/ECMTestClient.h"
#include "tests/support/emulator/DeviceEmulator.h"
#include "tests/support/Watchdog.h"
#include "tests/support/cm/ModuleRegistration.h"

namespace {
const char kPlainMac[] = "0026AB003458";
const char kCipherMac[] = "0026AB003457";
// Number of the directed-broadcast children of the probe in the definitions.
const int kLocalNetworkChildren = 5;

EmuDevice Device(bool bEncrypted)
{
    EmuDevice d;
    d.bEncrypted = bEncrypted;
    d.mac[4] = 0x34;
    d.mac[5] = bEncrypted ? 0x57 : 0x58;
    d.strIP = bEncrypted ? "127.0.0.2" : "127.0.0.3";
    d.nNumber = 5;
    d.bWireless = bEncrypted;
    d.strPassword = "secret";
    d.nRestartMs = 0;
    return d;
}

// A plain device of MAC 00:26:AB:00:34:nMac at its own address.
EmuDevice PlainAt(uint8_t nMac, const char* szIP)
{
    EmuDevice d = Device(false);
    d.mac[5] = nMac;
    d.strIP = szIP;
    return d;
}

CVLECMPropertyMap Options(std::initializer_list<std::pair<const char*, const char*>> entries)
{
    CVLECMPropertyMap map;
    for (const auto& entry : entries)
        map[CVLString(entry.first, 72)] = CVLString(entry.second, 72);
    return map;
}

class ECMEmulator : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_Emu.AddDevice(Device(true));
        m_Emu.AddDevice(Device(false));
        std::string strError;
        ASSERT_TRUE(m_Emu.Start(&strError)) << strError;
        ASSERT_EQ(VLECM_RESULT_SUCCESS, m_ECM.Initialize(&m_Client, nullptr, nullptr, nullptr));
        CVLCMApi* pApi = m_ECM.GetApi();
        ASSERT_NE(nullptr, pApi->GetModuleController()->GetModule("VLMDProbe")) << "the probe module is not registered";
        // Loopback only: the emulator's port, its directed broadcast instead
        // of the limited one, and no interface networks.
        std::string strPort = std::to_string(m_Emu.Port());
        pApi->SetConst("toPort", strPort.c_str(), "VLMDSock", nullptr);
        pApi->SetConst("toAddress", "127.255.255.255", nullptr, "Probe.VLPC_Broadcast.UDP");
        for (int i = 1; i <= kLocalNetworkChildren; ++i) {
            std::string strName = "Probe.VLPC_LocalNetworkDBC_" + std::to_string(i);
            pApi->EnableInstance(strName.c_str(), false);
        }
    }
    void TearDown() override
    {
        m_ECM.Terminate();
        m_Emu.Stop();
    }
    // Probes as the application does and waits for both devices.
    void ProbeBoth()
    {
        CVLECMPropertyMap options = Options({{"Option.Probe.SkipGetSupportInformation", "true"},
                                             {"Option.CheckUnicast.NonUnicastDeviceFiltering", "true"}});
        ASSERT_EQ(VLECM_RESULT_SUCCESS, m_ECM.Probe(VLECM_PROBE_CONNECT_TYPE_ALL, &options));
        ASSERT_TRUE(m_Client.WaitFor("probe", 2));
    }
    // Plays the devices on an emulator of the test's own, points the device
    // manager at it and probes until each device is reported.
    void ProbeOwn(CDeviceEmulator& emu, std::initializer_list<EmuDevice> devices)
    {
        for (const EmuDevice& device : devices)
            emu.AddDevice(device);
        std::string strError;
        ASSERT_TRUE(emu.Start(&strError)) << strError;
        m_ECM.GetApi()->SetConst("toPort", std::to_string(emu.Port()).c_str(), "VLMDSock", nullptr);
        CVLECMPropertyMap options = Options({{"Option.Probe.SkipGetSupportInformation", "true"}});
        ASSERT_EQ(VLECM_RESULT_SUCCESS, m_ECM.Probe(VLECM_PROBE_CONNECT_TYPE_ALL, &options));
        ASSERT_TRUE(m_Client.WaitFor("probe", devices.size()));
        m_ECM.StopProbe();
    }

    CModuleRegistration m_Registration{VLRegisterModuleLibraries};
    CWatchdog m_Watchdog{200, "device manager against the emulator"};
    CDeviceEmulator m_Emu{0};
    CRecordingClient m_Client;
    CVLECM m_ECM;
};

std::string PropertyText(CVLECMNIFInfo* pNIFInfo, const char* szPath)
{
    CVLProperty* p = pNIFInfo->GetProperties()->GetProperty(szPath, false);
    return p == nullptr ? "<none>" : ECMText(p->ToString(""));
}
}  // namespace

TEST_F(ECMEmulator, ProbeFindsTheDevicesAndChainsTheirCommands)
{
    ProbeBoth();
    m_ECM.StopProbe();
    Drain(m_ECM);
    EXPECT_EQ(2u, m_Client.Count("probe"));
    for (const char* szMac : {kPlainMac, kCipherMac}) {
        SCOPED_TRACE(szMac);
        CVLECMNIFInfo* pNIFInfo = m_ECM.FindNIFInfo(szMac);
        ASSERT_NE(nullptr, pNIFInfo);
        EXPECT_TRUE(pNIFInfo->IsUnicast(VLECM_CONNECT_TYPE_NETWORK));
        EXPECT_EQ("Model A", PropertyText(pNIFInfo, "VLPC.2B_5A01_01.ModelName"));
        EXPECT_EQ("SN0000000001", PropertyText(pNIFInfo, "VLPC.2B_5A04_01.SerialNumber"));
        // The table carries the model its reply named.
        SVLECMMACState state;
        ASSERT_TRUE(m_ECM.GetMACState(szMac, state));
        ASSERT_EQ(1u, state.addresses.size());
        EXPECT_EQ("Model A", ECMText(state.addresses[0].strModel));
    }
    for (const auto& event : m_Client.Events()) {
        if (event.strWhat == "probe") {
            EXPECT_TRUE(event.bUnicast);
            EXPECT_FALSE(event.bUpdate);
        }
    }
    // Three probe sends reach each device, but each is one record.
    EXPECT_EQ(2, m_ECM.GetNIFInfoList()->GetCount());
}

TEST_F(ECMEmulator, EveryCommandPlainAndEnciphered)
{
    ProbeBoth();
    m_ECM.StopProbe();
    CVLECMPropertyMap options = Options({{"Option.RebootPolling.FirstWait", "0"},
                                         {"Option.RebootPolling.SecondRetryWait", "100"},
                                         {"Option.RebootPolling.MaxTimeout", "10000"}});
    for (const char* szMac : {kPlainMac, kCipherMac}) {
        SCOPED_TRACE(szMac);
        bool bWireless = std::string(szMac) == kCipherMac;
        CVLECMNIFInfo* pNIFInfo = m_ECM.FindNIFInfo(szMac);
        ASSERT_NE(nullptr, pNIFInfo);
        pNIFInfo->SetCurrentPassword("secret");
        struct Step
        {
            VLECM_COMMAND eCommand;
            const char* szReport;
            int nResult;
        };
        const Step steps[] = {
            {VLECM_COMMAND_CHECK_UNICAST, "CheckUnicast", VLECM_RESULT_SUCCESS},
            {VLECM_COMMAND_GET_SUPPORT_INFORMATION, "GetSupportInformation", VLECM_RESULT_SUCCESS},
            {VLECM_COMMAND_GET_LIST_INFO, "GetListInfo", VLECM_RESULT_SUCCESS},
            {VLECM_COMMAND_GET_DETAIL, "GetDetail", VLECM_RESULT_SUCCESS},
            // A wired device does not know the wireless function.
            {VLECM_COMMAND_GET_WIRELESS_LAN_INFO, "GetWirelessLANInfo",
             bWireless ? VLECM_RESULT_SUCCESS : VLECM_RESULT_DEVICE_ERROR},
            {VLECM_COMMAND_CHECK_PASSWORD, "CheckPassword", VLECM_RESULT_SUCCESS},
            {VLECM_COMMAND_SET_DETAIL, "SetDetail", VLECM_RESULT_SUCCESS},
            {VLECM_COMMAND_FACT_RESET, "FactReset", VLECM_RESULT_SUCCESS},
            {VLECM_COMMAND_REBOOT_POLLING, "RebootPolling", VLECM_RESULT_SUCCESS},
            {VLECM_COMMAND_GET_NETWORK_DIAGNOSIS, "GetNetworkDiagnosis", VLECM_RESULT_NOT_SUPPORTED},
            {VLECM_COMMAND_SETUP_WEB_SERVICE, "SetupWebService", VLECM_RESULT_NOT_SUPPORTED},
            {VLECM_COMMAND_DELETE_WEB_SERVICE, "DeleteWebService", VLECM_RESULT_NOT_SUPPORTED},
        };
        for (const Step& step : steps) {
            SCOPED_TRACE(step.szReport);
            size_t nBefore = m_Client.Count(step.szReport);
            ASSERT_EQ(VLECM_RESULT_SUCCESS,
                      pNIFInfo->StartCommand(step.eCommand, VLECM_CONNECT_TYPE_NETWORK, &options));
            ASSERT_TRUE(m_Client.WaitFor(step.szReport, nBefore + 1));
            EXPECT_EQ(step.nResult, m_Client.LastResult(step.szReport));
            while (pNIFInfo->IsCommandRunning())
                CVLThread::Sleep(1);
        }
        EXPECT_EQ("node", PropertyText(pNIFInfo, "VLPC.2B_5A10_01.NodeName"));
        // A wrong password is refused.
        pNIFInfo->SetCurrentPassword("wrong");
        size_t nBefore = m_Client.Count("CheckPassword");
        ASSERT_EQ(VLECM_RESULT_SUCCESS, pNIFInfo->CheckPassword(VLECM_CONNECT_TYPE_NETWORK, nullptr));
        ASSERT_TRUE(m_Client.WaitFor("CheckPassword", nBefore + 1));
        EXPECT_EQ(VLECM_RESULT_UNLOCK_REFUSED, m_Client.LastResult("CheckPassword"));
        while (pNIFInfo->IsCommandRunning())
            CVLThread::Sleep(1);
    }
}

TEST_F(ECMEmulator, ADeviceThatStopsAnsweringTimesOut)
{
    ProbeBoth();
    m_ECM.StopProbe();
    CVLECMNIFInfo* pNIFInfo = m_ECM.FindNIFInfo(kPlainMac);
    ASSERT_NE(nullptr, pNIFInfo);
    m_Emu.Stop();
    CVLECMPropertyMap options = Options({{"Option.GetDetail.Timeout", "300"}, {"Option.GetDetail.Retry", "1"}});
    ASSERT_EQ(VLECM_RESULT_SUCCESS, pNIFInfo->GetDetail(VLECM_CONNECT_TYPE_NETWORK, &options));
    ASSERT_TRUE(m_Client.WaitFor("GetDetail", 1));
    EXPECT_EQ(VLECM_RESULT_TIMEOUT, m_Client.LastResult("GetDetail"));
    // A second device's long command is stopped by its removal.
    CVLECMNIFInfo* pOther = m_ECM.FindNIFInfo(kCipherMac);
    ASSERT_NE(nullptr, pOther);
    ASSERT_EQ(VLECM_RESULT_SUCCESS, pOther->GetListInfo(VLECM_CONNECT_TYPE_NETWORK, nullptr));
    m_ECM.RemoveNIFInfo(pOther);
    EXPECT_EQ(nullptr, m_ECM.FindNIFInfo(kCipherMac));
}

// A device that answers the probe but never unicast: with filtering off (the
// default) it is reported, marked as not answering unicast, once its
// CheckUnicast has timed out, and no unicast command follows; with filtering
// on it is never reported.
TEST_F(ECMEmulator, AUnicastDeafDeviceIsReportedOnlyWithoutFiltering)
{
    CDeviceEmulator deaf(0);
    EmuDevice device = PlainAt(0x59, "127.0.0.4");
    device.bAnswersUnicast = false;
    deaf.AddDevice(device);
    std::string strError;
    ASSERT_TRUE(deaf.Start(&strError)) << strError;
    m_ECM.GetApi()->SetConst("toPort", std::to_string(deaf.Port()).c_str(), "VLMDSock", nullptr);
    const char* const kDeafMac = "0026AB003459";

    CVLECMPropertyMap options = Options({{"Option.CheckUnicast.Timeout", "300"}, {"Option.CheckUnicast.Retry", "1"}});
    ASSERT_EQ(VLECM_RESULT_SUCCESS, m_ECM.Probe(VLECM_PROBE_CONNECT_TYPE_ALL, &options));
    ASSERT_TRUE(m_Client.WaitFor("probe", 1));
    m_ECM.StopProbe();
    const auto events = m_Client.Events();
    ASSERT_EQ(1u, m_Client.Count("probe"));
    for (const auto& event : events) {
        if (event.strWhat == "probe") {
            EXPECT_EQ(kDeafMac, event.strMac);
            EXPECT_FALSE(event.bUnicast);
        }
    }
    CVLECMNIFInfo* pNIFInfo = m_ECM.FindNIFInfo(kDeafMac);
    ASSERT_NE(nullptr, pNIFInfo);
    EXPECT_FALSE(pNIFInfo->IsUnicast(VLECM_CONNECT_TYPE_NETWORK));
    EXPECT_FALSE(pNIFInfo->IsCommandRunning()) << "a unicast command followed";

    options[CVLString("Option.CheckUnicast.NonUnicastDeviceFiltering", 72)] = CVLString("true", 72);
    ASSERT_EQ(VLECM_RESULT_SUCCESS, m_ECM.Probe(VLECM_PROBE_CONNECT_TYPE_ALL, &options));
    // Judged: its one address failed, so it is handed to nobody.
    SVLECMMACState state;
    ASSERT_TRUE(WaitJudged(m_ECM, kDeafMac, state));
    EXPECT_EQ(VLECM_MAC_NONE, state.eVerdict);
    m_ECM.StopProbe();
    Drain(m_ECM);
    ASSERT_EQ(1u, state.addresses.size());
    EXPECT_EQ(VLECM_MAC_ADDRESS_FAILED, state.addresses[0].eState);
    EXPECT_EQ(VLECM_MAC_FAILURE_NO_ANSWER, state.addresses[0].eFailure);
    EXPECT_EQ(nullptr, m_ECM.FindNIFInfo(kDeafMac));
    EXPECT_EQ(1u, m_Client.Count("probe"));
    deaf.Stop();
}

// Devices that never answer unicast wait for their checks side by side, on
// the check thread and one shared socket, while the devices that answer are
// reported; removing them ends their checks and closes the socket.
TEST_F(ECMEmulator, DeafDevicesWaitSideBySideOnOneSocket)
{
    const int kDeaf = 5;
    for (int i = 0; i < kDeaf; ++i) {
        EmuDevice device = Device(false);
        device.mac[4] = 0x40;
        device.mac[5] = static_cast<uint8_t>(i);
        device.strIP = "127.0.0." + std::to_string(10 + i);
        device.bAnswersUnicast = false;
        m_Emu.AddDevice(device);
    }
    CVLECMPropertyMap options = Options({{"Option.Probe.SkipGetSupportInformation", "true"},
                                         {"Option.CheckUnicast.NonUnicastDeviceFiltering", "true"},
                                         {"Option.CheckUnicast.Timeout", "3600000"}});
    ASSERT_EQ(VLECM_RESULT_SUCCESS, m_ECM.Probe(VLECM_PROBE_CONNECT_TYPE_ALL, &options));
    ASSERT_TRUE(m_Client.WaitFor("probe", 2));
    CVLECMProbeInstance& probe = m_ECM.GetProbeInstance();
    while (probe.GetUnicastChecks().GetCount() < kDeaf)
        CVLThread::Sleep(10);
    EXPECT_EQ(kDeaf, probe.GetCheckingChainCount());
    EXPECT_EQ(1, CVLSockShared::GetOpenCount());
    m_ECM.StopProbe();
    m_ECM.RemoveAllNIFInfo();
    EXPECT_EQ(0, probe.GetUnicastChecks().GetCount());
    EXPECT_EQ(0, CVLSockShared::GetOpenCount());
    EXPECT_EQ(2u, m_Client.Count("probe"));
}

// A new round of the probe's sends finds a device that was still starting
// while the first round went out. What the first round found stays: the
// devices it reported are neither reported nor chained again, and the one
// still in its unicast check keeps its record and its check.
TEST_F(ECMEmulator, ProbeAgainFindsAStartingDeviceAndKeepsWhatWasFound)
{
    EmuDevice deaf = Device(false);
    deaf.mac[5] = 0x60;
    deaf.strIP = "127.0.0.20";
    deaf.bAnswersUnicast = false;
    EmuDevice starting = Device(false);
    starting.mac[5] = 0x61;
    starting.strIP = "127.0.0.21";
    // Silent through the first round's sends (0 to 1.6 s).
    starting.nBootMs = 2500;
    m_Emu.AddDevice(deaf);
    m_Emu.AddDevice(starting);
    const char kDeafMac[] = "0026AB003460";
    const char kStartingMac[] = "0026AB003461";
    CVLECMPropertyMap options = Options({{"Option.Probe.SkipGetSupportInformation", "true"},
                                         {"Option.CheckUnicast.NonUnicastDeviceFiltering", "true"},
                                         {"Option.CheckUnicast.Timeout", "3600000"}});
    ASSERT_EQ(VLECM_RESULT_SUCCESS, m_ECM.Probe(VLECM_PROBE_CONNECT_TYPE_ALL, &options));
    ASSERT_TRUE(m_Client.WaitFor("probe", 2));
    auto deafChecking = [&]() {
        SVLECMMACState state;
        return m_ECM.GetMACState(kDeafMac, state) && state.addresses.size() == 1 &&
               state.addresses[0].eState == VLECM_MAC_ADDRESS_CHECKING;
    };
    while (!deafChecking())
        CVLThread::Sleep(10);
    CVLECMNIFInfo* pDeaf = m_ECM.FindNIFInfo(kDeafMac);
    CVLECMNIFInfo* pPlain = m_ECM.FindNIFInfo(kPlainMac);

    ASSERT_TRUE(m_ECM.ProbeAgain());
    ASSERT_TRUE(m_Client.WaitFor("probe", 3)) << "the device that was starting was not found";
    m_ECM.StopProbe();
    Drain(m_ECM);
    std::vector<std::string> reported;
    for (const auto& event : m_Client.Events()) {
        if (event.strWhat == "probe")
            reported.push_back(event.strMac);
    }
    std::sort(reported.begin(), reported.end());
    EXPECT_EQ(std::vector<std::string>({kCipherMac, kPlainMac, kStartingMac}), reported);
    EXPECT_EQ(4, m_ECM.GetRecordCount());
    EXPECT_EQ(pPlain, m_ECM.FindNIFInfo(kPlainMac));
    EXPECT_EQ(pDeaf, m_ECM.FindNIFInfo(kDeafMac));
    // Its check (an hour's time-out), under way at the stop, goes on to be
    // judged by its own answer: the only MAC pending.
    SVLECMMACState state;
    ASSERT_TRUE(m_ECM.GetMACState(kDeafMac, state));
    ASSERT_EQ(1u, state.addresses.size());
    EXPECT_EQ(VLECM_MAC_ADDRESS_CHECKING, state.addresses[0].eState);
    EXPECT_EQ(1, m_ECM.GetPendingMACCount());
}

namespace {
// A command to a device that answers in its own way, and what decides it.
struct SAnswerRow
{
    const char* szCase;
    int nMoveEarly;               // the device's moveearly
    uint16_t nDataErrorFunction;  // answered with 1234 and two bytes of data
    VLECM_COMMAND eCommand;
    const char* szReport;
    int nResult;
    long nDeviceResult;
    uint16_t nForgedError;  // a host at the address SetDetail gives sends it first, naming the device
};

class ECMEmulatorAnswers : public ECMEmulator, public ::testing::WithParamInterface<SAnswerRow>
{
};
}  // namespace

// The device's own answer decides its command, after one request: a device
// that takes the address SetDetail gives it before it answers, and answers
// from there (leaving its old address, or keeping it too, where the request
// would be heard again); an error whose data does not name the device; an
// error from the address SetDetail gives, which may confirm, never refuse.
TEST_P(ECMEmulatorAnswers, TheDevicesOwnAnswerDecidesItsCommandAfterOneRequest)
{
    const SAnswerRow& row = GetParam();
    CDeviceEmulator emu(0);
    EmuDevice device = PlainAt(0x59, "127.0.0.4");
    device.nMoveEarly = row.nMoveEarly;
    device.nDataErrorFunction = row.nDataErrorFunction;
    device.nResult = 0x1234;
    device.nDelayMs = row.nForgedError != 0 ? 50 : 0;
    ASSERT_NO_FATAL_FAILURE(ProbeOwn(emu, {device}));
    CVLECMNIFInfo* pNIFInfo = m_ECM.FindNIFInfo("0026AB003459");
    ASSERT_NE(nullptr, pNIFInfo);
    pNIFInfo->SetCurrentPassword("secret");
    auto run = [&](VLECM_COMMAND eCommand, const char* szReport) {
        CVLECMPropertyMap tries = Options({{"Option.GetDetail.Timeout", "300"},
                                           {"Option.GetDetail.Retry", "3"},
                                           {"Option.SetDetail.Timeout", "300"},
                                           {"Option.SetDetail.Retry", "3"}});
        while (pNIFInfo->IsCommandRunning())
            CVLThread::Sleep(1);
        size_t nBefore = m_Client.Count(szReport);
        ASSERT_EQ(VLECM_RESULT_SUCCESS, pNIFInfo->StartCommand(eCommand, VLECM_CONNECT_TYPE_NETWORK, &tries));
        ASSERT_TRUE(m_Client.WaitFor(szReport, nBefore + 1));
    };
    if (row.eCommand == VLECM_COMMAND_SET_DETAIL) {
        // SetDetail writes back what GetDetail read, the address changed.
        run(VLECM_COMMAND_GET_DETAIL, "GetDetail");
        ASSERT_TRUE(pNIFInfo->SetPropertyString("VLPC.2B_5A10_01.IPAddress", "127.0.0.9"));
    }
    if (row.nForgedError != 0) {
        // It hears the request (the emulator's way to learn it), and sends
        // from the new address, before the device answers.
        EmuDevice forger = PlainAt(0x5A, "127.0.0.4");
        forger.strReplyFrom = "127.0.0.9";
        forger.nDataErrorFunction = 0x5A21;
        forger.nResult = row.nForgedError;
        std::memcpy(forger.victim, device.mac, sizeof(forger.victim));
        emu.AddDevice(forger);
    }
    const int nBefore = emu.RequestCount(EmuMacText(device.mac));
    run(row.eCommand, row.szReport);
    EXPECT_EQ(row.nResult, m_Client.LastResult(row.szReport));
    EXPECT_EQ(row.nDeviceResult, pNIFInfo->GetCommandDeviceResult());
    EXPECT_EQ(1, emu.RequestCount(EmuMacText(device.mac)) - nBefore);
    emu.Stop();
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ECMEmulatorAnswers,
    ::testing::Values(SAnswerRow{"MovesBeforeItAnswers", 1, 0, VLECM_COMMAND_SET_DETAIL, "SetDetail",
                                 VLECM_RESULT_SUCCESS, 0, 0},
                      SAnswerRow{"MovesAndKeepsItsOldAddress", 2, 0, VLECM_COMMAND_SET_DETAIL, "SetDetail",
                                 VLECM_RESULT_SUCCESS, 0, 0},
                      SAnswerRow{"AnErrorWithDataThatNamesNoDevice", 0, 0x5A10, VLECM_COMMAND_GET_DETAIL, "GetDetail",
                                 VLECM_RESULT_DEVICE_ERROR, 0x1234, 0},
                      SAnswerRow{"AnErrorFromTheNewAddress", 0, 0, VLECM_COMMAND_SET_DETAIL, "SetDetail",
                                 VLECM_RESULT_SUCCESS, 0, 0x1001}),
    [](const ::testing::TestParamInfo<SAnswerRow>& info) { return std::string(info.param.szCase); });

// Two commands in one process, sharing one socket (the mode the definitions
// may give the commands): device A is given the address of device B, whose
// own SetDetail is refused (F003, with a wrong password) while A's waits
// for its silent device. B's error answers B's command; to A's it comes
// from the address A's request gives, and refuses nothing: A times out.
TEST_F(ECMEmulator, AnErrorFromTheNewAddressAnswersTheCommandOfTheDeviceThere)
{
    CDeviceEmulator emu(0);
    EmuDevice a = PlainAt(0x59, "127.0.0.4");
    a.bAnswersSetDetail = false;
    EmuDevice b = PlainAt(0x5A, "127.0.0.9");
    m_ECM.GetApi()->SetConst("socketMode", "shared", nullptr, "VLPC_Unicast.UDP");
    ASSERT_NO_FATAL_FAILURE(ProbeOwn(emu, {a, b}));
    CVLECMNIFInfo* pA = m_ECM.FindNIFInfo("0026AB003459");
    CVLECMNIFInfo* pB = m_ECM.FindNIFInfo("0026AB00345A");
    ASSERT_TRUE(pA != nullptr && pB != nullptr);
    CVLECMPropertyMap tries = Options({{"Option.GetDetail.Timeout", "300"},
                                       {"Option.GetDetail.Retry", "1"},
                                       {"Option.SetDetail.Timeout", "1000"},
                                       {"Option.SetDetail.Retry", "1"}});
    for (CVLECMNIFInfo* p : {pA, pB}) {
        size_t nBefore = m_Client.Count("GetDetail");
        ASSERT_EQ(VLECM_RESULT_SUCCESS, p->GetDetail(VLECM_CONNECT_TYPE_NETWORK, &tries));
        ASSERT_TRUE(m_Client.WaitFor("GetDetail", nBefore + 1));
        while (p->IsCommandRunning())
            CVLThread::Sleep(1);
    }
    pA->SetCurrentPassword("secret");
    pB->SetCurrentPassword("wrong");
    ASSERT_TRUE(pA->SetPropertyString("VLPC.2B_5A10_01.IPAddress", "127.0.0.9"));
    ASSERT_TRUE(pB->SetPropertyString("VLPC.2B_5A10_01.NodeName", "renamed"));
    size_t nBefore = m_Client.Count("SetDetail");
    const int nHeard = emu.RequestCount(EmuMacText(a.mac));
    ASSERT_EQ(VLECM_RESULT_SUCCESS, pA->SetDetail(VLECM_CONNECT_TYPE_NETWORK, &tries));
    // A's request is out (its replies are awaited) before B's goes.
    while (emu.RequestCount(EmuMacText(a.mac)) == nHeard)
        CVLThread::Sleep(1);
    ASSERT_EQ(VLECM_RESULT_SUCCESS, pB->SetDetail(VLECM_CONNECT_TYPE_NETWORK, &tries));
    ASSERT_TRUE(m_Client.WaitFor("SetDetail", nBefore + 2));
    while (pA->IsCommandRunning() || pB->IsCommandRunning())
        CVLThread::Sleep(1);
    EXPECT_EQ(VLECM_RESULT_TIMEOUT, pA->GetCommandResult());
    EXPECT_EQ(VLECM_RESULT_DEVICE_ERROR, pB->GetCommandResult());
    EXPECT_EQ(0xF003, pB->GetCommandDeviceResult());
    emu.Stop();
}
// A command that finds no descriptor free for its socket fails, and its
// record says why: the request never left, which is no answer of the device
// (nor counted as sent).
TEST_F(ECMEmulator, ACommandWithoutAFreeDescriptorSaysSo)
{
#if defined(__has_feature)
#if __has_feature(address_sanitizer)
    // The address sanitizer's build checks pointers' types with UBSan,
    // which opens a pipe to read a type it has not met yet: with no
    // descriptor free it takes the failed open for a bad pointer.
    GTEST_SKIP() << "UBSan's type check needs descriptors of its own";
#endif
#endif
    ProbeBoth();
    m_ECM.StopProbe();
    CVLECMNIFInfo* pNIFInfo = m_ECM.FindNIFInfo(kPlainMac);
    ASSERT_NE(nullptr, pNIFInfo);
    rlimit saved = {};
    ASSERT_EQ(0, getrlimit(RLIMIT_NOFILE, &saved));
    const unsigned long nSent = pNIFInfo->GetRequestsSent();
    {
        // The lowest descriptor free is beyond the limit: no socket opens.
        const int nFree = fcntl(0, F_DUPFD_CLOEXEC, 0);
        ASSERT_GE(nFree, 0);
        close(nFree);
        rlimit low = saved;
        low.rlim_cur = static_cast<rlim_t>(nFree);
        ASSERT_EQ(0, setrlimit(RLIMIT_NOFILE, &low));
        const VLECM_RESULT eStarted = pNIFInfo->GetListInfo(VLECM_CONNECT_TYPE_NETWORK, nullptr);
        const bool bEnded = eStarted == VLECM_RESULT_SUCCESS && m_Client.WaitFor("GetListInfo", 1);
        ASSERT_EQ(0, setrlimit(RLIMIT_NOFILE, &saved));
        ASSERT_TRUE(bEnded);
    }
    while (pNIFInfo->IsCommandRunning())
        CVLThread::Sleep(1);
    EXPECT_NE(VLECM_RESULT_SUCCESS, m_Client.LastResult("GetListInfo"));
    EXPECT_TRUE(pNIFInfo->IsCommandShortOfDescriptors());
    EXPECT_EQ(nSent, pNIFInfo->GetRequestsSent());
    // With descriptors again it reaches the device.
    ASSERT_EQ(VLECM_RESULT_SUCCESS, pNIFInfo->GetListInfo(VLECM_CONNECT_TYPE_NETWORK, nullptr));
    ASSERT_TRUE(m_Client.WaitFor("GetListInfo", 2));
    EXPECT_EQ(VLECM_RESULT_SUCCESS, m_Client.LastResult("GetListInfo"));
    while (pNIFInfo->IsCommandRunning())
        CVLThread::Sleep(1);
    EXPECT_FALSE(pNIFInfo->IsCommandShortOfDescriptors());
    // Its request left, which tells that it held its socket.
    EXPECT_LT(nSent, pNIFInfo->GetRequestsSent());
}
