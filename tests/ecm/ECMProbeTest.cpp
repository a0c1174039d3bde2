// Probing, the follow-up chain, the device list, the report gates and the
// device commands, with fake modules in place of the network.
#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/resource.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "base/core/VLStartThreadException.h"
#include "base/core/VLThreadLock.h"
#include "cm/VLTargetList.h"
#include "ecm/VLECM.h"
#include "ecm/probe/VLECMProbeInstance.h"
#include "ecm/record/VLECMNIFInfo.h"
#include "ecm/VLECMNIFInfoFactoryIF.h"
#include "ecm/probe/VLECMNIFInfoList.h"
#include "tests/support/Eventually.h"
#include "tests/support/ecm/FakeNetwork.h"
#include "tests/support/ecm/ECMTestClient.h"
#include "tests/support/Eventually.h"
#include "tests/support/TestSupport.h"
#include "tests/support/ThreadStartFault.h"
#include "tests/support/Watchdog.h"

namespace {
const char kMac1[] = "0026AB000001";
const char kMac2[] = "0026AB000002";

class ECMProbe : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_EQ(VLECM_RESULT_SUCCESS, m_ECM.Initialize(&m_Client, nullptr, nullptr, nullptr)); }
    void TearDown() override
    {
        m_ECM.Terminate();
        EXPECT_EQ("", CFakeNetwork::ListsThatMaySendTheReset());
    }
    VLECM_RESULT Probe(bool bSkipSupport = true)
    {
        CVLECMPropertyMap options;
        options[CVLString("Option.Probe.SkipGetSupportInformation", 72)] =
            CVLString(bSkipSupport ? "true" : "false", 72);
        return m_ECM.Probe(VLECM_PROBE_CONNECT_TYPE_ALL, &options);
    }

    CFakeNetwork m_Network;
    CRecordingClient m_Client;
    CVLECM m_ECM;
};
}  // namespace

TEST_F(ECMProbe, FindsDevicesChainsTheirCommandsAndReportsEachOnce)
{
    ASSERT_EQ(VLECM_RESULT_SUCCESS, Probe(false));
    ASSERT_TRUE(CFakeNetwork::IsProbeRunning());
    // The same device in the codec's form and in two others, and a second device.
    ASSERT_TRUE(CFakeNetwork::Reply(kMac1));
    ASSERT_TRUE(CFakeNetwork::Reply("00:26:ab:00:00:01"));
    ASSERT_TRUE(CFakeNetwork::Reply(kMac2));
    ASSERT_TRUE(CFakeNetwork::Reply("00-26-AB-00-00-01"));
    ASSERT_TRUE(m_Client.WaitFor("probe", 2));
    Drain(m_ECM);
    EXPECT_EQ(2u, m_Client.Count("probe"));
    for (const auto& event : m_Client.Events()) {
        EXPECT_TRUE(event.bUnicast);
        EXPECT_FALSE(event.bUpdate);
    }
    for (const char* szMac : {kMac1, kMac2}) {
        EXPECT_EQ(1, CFakeNetwork::RequestCount(szMac, "CheckUnicast"));
        EXPECT_EQ(1, CFakeNetwork::RequestCount(szMac, "GetSupportInformation"));
        EXPECT_EQ(1, CFakeNetwork::RequestCount(szMac, "GetListInfo"));
    }
    EXPECT_EQ(2, CFakeNetwork::LastRetry("CheckUnicast"));
    EXPECT_EQ(7, CFakeNetwork::LastRetry("GetListInfo"));
    // One record per device, whatever form its MAC address came in.
    CVLECMNIFInfo* pNIFInfo = m_ECM.FindNIFInfo("00:26:ab:00:00:01");
    ASSERT_NE(nullptr, pNIFInfo);
    EXPECT_EQ(pNIFInfo, m_ECM.FindNIFInfo(kMac1));
    EXPECT_EQ(2, m_ECM.GetNIFInfoList()->GetCount());
}

// With tracing on, a found device's properties are traced after its reply
// is merged and after its list information came back.
// A device stays listed for the whole probe, a flood's forged devices too:
// once its commands are over it keeps neither their thread (with its stack)
// nor their options.
TEST_F(ECMProbe, DeviceWhoseCommandsAreOverKeepsNoThreadNorOptions)
{
    class CRecord : public CVLECMNIFInfo
    {
    public:
        bool HoldsOptions()
        {
            CVLThreadLock lock(&m_CommandSync);
            lock.Lock();
            return m_pCommandOptions != nullptr;
        }
    };
    class CFactory : public IVLECMNIFInfoFactoryIF
    {
    public:
        CVLTarget* CreateNIFInfo(CVLECM*, CVLCMApi*) override { return new CRecord; }
        void DestroyNIFInfo(CVLECM*, CVLCMApi*, CVLTarget* pTarget) override { delete pTarget; }
    } factory;
    ASSERT_EQ(VLECM_RESULT_SUCCESS, m_ECM.Initialize(&m_Client, &factory, nullptr, nullptr));
    ASSERT_EQ(VLECM_RESULT_SUCCESS, Probe());
    ASSERT_TRUE(CFakeNetwork::Reply(kMac1));
    ASSERT_TRUE(m_Client.WaitFor("probe", 1));
    CRecord* pRecord = dynamic_cast<CRecord*>(m_ECM.FindNIFInfo(kMac1));
    ASSERT_NE(nullptr, pRecord);
    EXPECT_FALSE(pRecord->HoldsThread());
    EXPECT_FALSE(pRecord->HoldsOptions());
    m_ECM.Terminate();
}

TEST_F(ECMProbe, ReportsTraceTheDeviceProperties)
{
    CTraceCapture capture;
    ASSERT_EQ(VLECM_RESULT_SUCCESS, Probe());
    ASSERT_TRUE(CFakeNetwork::Reply(kMac1, "Model-7"));
    ASSERT_TRUE(m_Client.WaitFor("probe", 1));
    m_ECM.Terminate();  // every thread that traces has ended
    int nHooks = 0;
    int nModelLines = 0;
    for (const std::string& strLine : capture.m_Lines) {
        if (strLine.find("CVLXMLUtility::DebugHook(): FileName=Probe(Dummy)[0026AB000001].txt, Label=Properties, "
                         "Value=1") != std::string::npos)
            ++nHooks;
        if (strLine.find("ModelName=") != std::string::npos && strLine.find("Model-7") != std::string::npos)
            ++nModelLines;
    }
    EXPECT_EQ(2, nHooks);
    EXPECT_EQ(2, nModelLines);
}

TEST_F(ECMProbe, SkippedSupportInformationAndFailedChains)
{
    CFakeNetwork::SetAnswer(kMac2, "GetListInfo", EFakeAnswer::Timeout);
    ASSERT_EQ(VLECM_RESULT_SUCCESS, Probe(true));
    ASSERT_TRUE(CFakeNetwork::Reply(kMac1));
    ASSERT_TRUE(CFakeNetwork::Reply(kMac2));
    ASSERT_TRUE(m_Client.WaitFor("probe", 1));
    // The failed chain ends without a report once its last command has come back.
    for (int i = 0; i < 2000 && CFakeNetwork::RequestCount(kMac2, "GetListInfo") == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    Drain(m_ECM);
    Drain(m_ECM);
    EXPECT_EQ(1u, m_Client.Count("probe"));
    EXPECT_EQ(0, CFakeNetwork::RequestCount(kMac1, "GetSupportInformation"));
    // Its one address failed: no device, and said why.
    EXPECT_EQ(nullptr, m_ECM.FindNIFInfo(kMac2));
    SVLECMMACState state;
    ASSERT_TRUE(m_ECM.GetMACState(kMac2, state));
    EXPECT_EQ(VLECM_MAC_NONE, state.eVerdict);
    ASSERT_EQ(1u, state.addresses.size());
    EXPECT_EQ(VLECM_MAC_FAILURE_COMMAND, state.addresses[0].eFailure);
    EXPECT_EQ(VLECM_COMMAND_GET_LIST_INFO, state.addresses[0].eCommand);
    EXPECT_EQ(VLECM_RESULT_TIMEOUT, state.addresses[0].eResult);
}

// A follow-up command whose thread cannot start is the computer's want, not
// the device's answer: the chain waits for a place again, unjudged (a
// front end names it among those still waiting), and the device is listed
// once threads start again. A thread refused for another reason judges
// the address at once. A command started alone that cannot start ends
// there as failed, so that no one waits for it.
TEST_F(ECMProbe, ACommandWhoseThreadCannotStartWaitsAndGoesOnLater)
{
    static std::atomic<bool> s_bRefuse;
    static std::atomic<int> s_nRefused;
    static std::atomic<int> s_nError;
    s_bRefuse = true;
    s_nRefused = 0;
    s_nError = EAGAIN;
    class CRecord : public CVLECMNIFInfo
    {
    public:
        using CVLECMNIFInfo::Start;
        void Start(void* pData) override
        {
            if (s_bRefuse) {
                ++s_nRefused;
                throw new EVLStartThreadException("test", "ECMProbeTest", __LINE__, s_nError);
            }
            CVLECMNIFInfo::Start(pData);
        }
    };
    class CFactory : public IVLECMNIFInfoFactoryIF
    {
    public:
        CVLTarget* CreateNIFInfo(CVLECM*, CVLCMApi*) override { return new CRecord; }
        void DestroyNIFInfo(CVLECM*, CVLCMApi*, CVLTarget* pTarget) override { delete pTarget; }
    } factory;
    // Its records go before the factory does, whatever fails below.
    struct STerminate
    {
        CVLECM& ecm;
        ~STerminate() { ecm.Terminate(); }
    } terminate{m_ECM};
    CWatchdog watchdog(60, "commands that cannot start");
    ASSERT_EQ(VLECM_RESULT_SUCCESS, m_ECM.Initialize(&m_Client, &factory, nullptr, nullptr));
    ASSERT_EQ(VLECM_RESULT_SUCCESS, Probe());
    ASSERT_TRUE(CFakeNetwork::Reply(kMac1));
    // The check runs on the check thread; the next command needs a thread,
    // and is tried again.
    CVLECMProbeInstance& probe = m_ECM.GetProbeInstance();
    ASSERT_TRUE(Eventually([] { return s_nRefused >= 2; }));
    // Between its tries it waits, holding no place.
    EXPECT_TRUE(Eventually([&probe] {
        int nRunning = 1, nWaiting = 0;
        probe.GetChainCounts(nRunning, nWaiting);
        return nRunning == 0 && nWaiting == 1;
    }));
    SVLECMMACState state;
    ASSERT_TRUE(m_ECM.GetMACState(kMac1, state));
    EXPECT_EQ(VLECM_MAC_PENDING, state.eVerdict);
    ASSERT_EQ(1u, state.addresses.size());
    EXPECT_TRUE(state.addresses[0].bUnicast);
    EXPECT_EQ(VLECM_MAC_ADDRESS_ANSWERED, state.addresses[0].eState);
    EXPECT_EQ(VLECM_LACK_THREADS, state.addresses[0].eLack);
    EXPECT_EQ(0, CFakeNetwork::RequestCount(kMac1, "GetListInfo"));
    EXPECT_EQ(0u, m_Client.Count("probe"));
    s_bRefuse = false;
    ASSERT_TRUE(m_Client.WaitFor("probe", 1));
    EXPECT_NE(nullptr, m_ECM.FindNIFInfo(kMac1));
    EXPECT_EQ(1, CFakeNetwork::RequestCount(kMac1, "GetListInfo"));
    ASSERT_TRUE(m_ECM.GetMACState(kMac1, state));
    EXPECT_EQ(VLECM_LACK_NONE, state.addresses[0].eLack);

    s_nError = EPERM;
    s_bRefuse = true;
    ASSERT_TRUE(CFakeNetwork::Reply(kMac2));
    ASSERT_TRUE(WaitJudged(m_ECM, kMac2, state));
    EXPECT_EQ(VLECM_MAC_FAILURE_COMMAND, state.addresses[0].eFailure);
    EXPECT_EQ(VLECM_RESULT_INTERNAL_ERROR, state.addresses[0].eResult);

    s_bRefuse = true;
    CRecord lone;
    lone.SetOwnerVLECMInstance(&m_ECM);
    EXPECT_EQ(VLECM_RESULT_INTERNAL_ERROR,
              lone.StartCommandAsync(VLECM_COMMAND_CHECK_UNICAST, VLECM_CONNECT_TYPE_NETWORK, nullptr, nullptr));
    EXPECT_FALSE(lone.IsCommandRunning());
    EXPECT_EQ(VLECM_RESULT_INTERNAL_ERROR, lone.GetCommandResult());
    EXPECT_EQ(VLECM_RESULT_INTERNAL_ERROR, lone.GetUnicastCheckResult());
}

// A command that found no descriptor free never reached the device: its
// chain waits, unjudged, and the device is listed once descriptors come
// back, though the trial that found them has its command held (a host
// that stalls); a stop judges a chain still waiting so stopped.
TEST_F(ECMProbe, ACommandWithoutADescriptorWaitsAndTheDeviceIsListedLater)
{
    CWatchdog watchdog(60, "commands without descriptors");
    CFakeNetwork::SetAnswer(kMac1, "GetListInfo", EFakeAnswer::NoDescriptor);
    // The system's descriptors, as a socket's failure carries it.
    CFakeNetwork::SetAnswer(kMac2, "GetListInfo", EFakeAnswer::NoSystemDescriptor);
    ASSERT_EQ(VLECM_RESULT_SUCCESS, Probe());
    ASSERT_TRUE(CFakeNetwork::Reply(kMac1));
    ASSERT_TRUE(CFakeNetwork::Reply(kMac2));
    // Tried again and again, never judged.
    ASSERT_TRUE(Eventually([] {
        return CFakeNetwork::RequestCount(kMac1, "GetListInfo") >= 2 &&
               CFakeNetwork::RequestCount(kMac2, "GetListInfo") >= 2;
    }));
    SVLECMMACState state;
    ASSERT_TRUE(m_ECM.GetMACState(kMac1, state));
    EXPECT_EQ(VLECM_MAC_PENDING, state.eVerdict);
    // Every request counted from here is held.
    CFakeNetwork::SetAnswer(kMac2, "GetListInfo", EFakeAnswer::Hold);
    const int nBefore = CFakeNetwork::RequestCount(kMac2, "GetListInfo");
    ASSERT_TRUE(Eventually([nBefore] { return CFakeNetwork::RequestCount(kMac2, "GetListInfo") > nBefore; }));
    CFakeNetwork::SetAnswer(kMac1, "GetListInfo", EFakeAnswer::Success);
    ASSERT_TRUE(m_Client.WaitFor("probe", 1));
    EXPECT_NE(nullptr, m_ECM.FindNIFInfo(kMac1));
    // The held one ends short of descriptors after all and waits again;
    // the stop judges it.
    CFakeNetwork::SetAnswer(kMac2, "GetListInfo", EFakeAnswer::NoDescriptor);
    ASSERT_TRUE(Eventually([this] {
        int nRunning = 0, nWaiting = 0;
        m_ECM.GetProbeInstance().GetChainCounts(nRunning, nWaiting);
        return nRunning == 0 && nWaiting == 1;
    }));
    ASSERT_TRUE(m_ECM.GetMACState(kMac2, state));
    EXPECT_EQ(VLECM_MAC_PENDING, state.eVerdict);
    m_ECM.StopProbe();
    ASSERT_TRUE(WaitJudged(m_ECM, kMac2, state));
    ASSERT_EQ(1u, state.addresses.size());
    EXPECT_EQ(VLECM_MAC_FAILURE_STOPPED, state.addresses[0].eFailure);
    EXPECT_EQ(nullptr, m_ECM.FindNIFInfo(kMac2));
    int nChecking = 0;
    EXPECT_EQ(0, m_ECM.GetProbeInstance().GetUnfinishedChainCount(nChecking));
}

// A command that runs short of descriptors gives its place to the chain
// waiting for it at once; the address tells what the computer lacks.
TEST_F(ECMProbe, AChainShortOfDescriptorsGivesItsPlaceToTheNext)
{
    CWatchdog watchdog(60, "a place freed by a deferral");
    CFakeNetwork::SetAnswer(kMac1, "GetListInfo", EFakeAnswer::Hold);
    ASSERT_EQ(VLECM_RESULT_SUCCESS, Probe());
    CVLECMProbeInstance& probe = m_ECM.GetProbeInstance();
    probe.GetMACTable().SetPlacesPerNetwork(1);
    ASSERT_TRUE(CFakeNetwork::Reply(kMac1, "", "10.0.5.1"));
    ASSERT_TRUE(Eventually([] { return CFakeNetwork::RequestCount(kMac1, "GetListInfo") == 1; }));
    ASSERT_TRUE(CFakeNetwork::Reply(kMac2, "", "10.0.5.2"));
    ASSERT_TRUE(Eventually([&probe] {
        int nRunning = 0, nWaiting = 0;
        probe.GetChainCounts(nRunning, nWaiting);
        return nRunning == 1 && nWaiting == 1;
    }));
    CFakeNetwork::SetAnswer(kMac1, "GetListInfo", EFakeAnswer::NoDescriptor);
    ASSERT_TRUE(m_Client.WaitFor("probe", 1));
    EXPECT_NE(nullptr, m_ECM.FindNIFInfo(kMac2));
    EXPECT_EQ(nullptr, m_ECM.FindNIFInfo(kMac1));
    SVLECMMACState state;
    ASSERT_TRUE(m_ECM.GetMACState(kMac1, state));
    EXPECT_EQ(VLECM_MAC_PENDING, state.eVerdict);
    EXPECT_EQ(VLECM_LACK_DESCRIPTORS, state.addresses[0].eLack);
    m_ECM.StopProbe();
}

// A unicast check whose thread cannot start, or whose request (the named
// address's, from a socket of its own) finds no descriptor free, never
// reached its device: it waits for its check again, unjudged, and its
// device is listed, unicast, once the computer has what it lacked.
TEST_F(ECMProbe, AChecksLackOfThreadsOrDescriptorsIsNoAnswer)
{
    CWatchdog watchdog(90, "checks short of threads or descriptors");
    const char* const kNamed = "10.0.6.2";
    m_ECM.SetNamedAddress(kNamed);
    CFakeNetwork::SetAnswer(kMac2, "CheckUnicast", EFakeAnswer::NoDescriptor);
    ASSERT_EQ(VLECM_RESULT_SUCCESS, Probe());
    auto waitsFor = [this](const char* szMAC, VLECM_LACK eLack) {
        return Eventually([this, szMAC, eLack] {
            SVLECMMACState state;
            return m_ECM.GetMACState(szMAC, state) && state.addresses.size() == 1 &&
                   state.addresses[0].eState == VLECM_MAC_ADDRESS_WAITING && state.addresses[0].eLack == eLack;
        });
    };
    {
        TThreadStartFault<CVLThread> noThreads(EAGAIN);
        ASSERT_TRUE(CFakeNetwork::Reply(kMac1, "", "10.0.6.1"));
        EXPECT_TRUE(waitsFor(kMac1, VLECM_LACK_THREADS));
    }
    ASSERT_TRUE(CFakeNetwork::Reply(kMac2, "", kNamed));
    EXPECT_TRUE(waitsFor(kMac2, VLECM_LACK_DESCRIPTORS));
    ASSERT_TRUE(m_Client.WaitFor("probe", 1));
    EXPECT_NE(nullptr, m_ECM.FindNIFInfo(kMac1));
    // Tried again, it still finds none; then it does.
    ASSERT_TRUE(Eventually([] { return CFakeNetwork::RequestCount(kMac2, "CheckUnicast") >= 2; }));
    EXPECT_EQ(nullptr, m_ECM.FindNIFInfo(kMac2));
    CFakeNetwork::SetAnswer(kMac2, "CheckUnicast", EFakeAnswer::Success);
    ASSERT_TRUE(m_Client.WaitFor("probe", 2));
    SVLECMMACState state;
    ASSERT_TRUE(m_ECM.GetMACState(kMac2, state));
    EXPECT_EQ(VLECM_MAC_ADDRESS_PASSED, state.addresses[0].eState);
    // Likewise a check whose instance, and with it its socket, cannot be
    // made at its step for want of the system's descriptors.
    const char* const kMac3 = "0026AB000003";
    CFakeNetwork::SetAnswer(kMac3, "Create", EFakeAnswer::NoSystemDescriptor);
    ASSERT_TRUE(CFakeNetwork::Reply(kMac3, "", "10.0.6.3"));
    EXPECT_TRUE(waitsFor(kMac3, VLECM_LACK_DESCRIPTORS));
    CFakeNetwork::SetAnswer(kMac3, "Create", EFakeAnswer::Success);
    ASSERT_TRUE(m_Client.WaitFor("probe", 3));
    for (const CRecordingClient::Event& event : m_Client.Events())
        EXPECT_TRUE(event.bUnicast) << event.strMac;
}

// A stop that hands on several devices (each with an address deaf to
// unicast, which stands for it once the other, still waiting for its
// check, is judged) lists them all before it returns: a client stopping in
// OnProbe finds them without another dispatch pass.
TEST_F(ECMProbe, TheStopsDevicesAreListedWithoutAnotherPass)
{
    CWatchdog watchdog(60, "devices a stop lists");
    const char* const kMac3 = "0026AB000003";
    for (const char* szAddress : {"10.0.7.1", "10.0.7.3"}) {
        CFakeNetwork::SetAnswerAt(kMac1, szAddress, "CheckUnicast", EFakeAnswer::DeviceError);
        CFakeNetwork::SetAnswerAt(kMac2, szAddress, "CheckUnicast", EFakeAnswer::DeviceError);
    }
    for (const char* szAddress : {"10.0.7.2", "10.0.7.4"}) {
        CFakeNetwork::SetAnswerAt(kMac1, szAddress, "CheckUnicast", EFakeAnswer::NoDescriptor);
        CFakeNetwork::SetAnswerAt(kMac2, szAddress, "CheckUnicast", EFakeAnswer::NoDescriptor);
    }
    ASSERT_EQ(VLECM_RESULT_SUCCESS, Probe());
    std::atomic<int> nListed{-1};
    m_Client.m_OnProbe = [this, &nListed](CVLECMNIFInfo*) {
        m_ECM.StopProbe();
        nListed = (m_ECM.FindNIFInfo(kMac1) != nullptr) + (m_ECM.FindNIFInfo(kMac2) != nullptr);
    };
    for (const char* szAddress : {"10.0.7.1", "10.0.7.2"})
        ASSERT_TRUE(CFakeNetwork::Reply(kMac1, "", szAddress));
    for (const char* szAddress : {"10.0.7.3", "10.0.7.4"})
        ASSERT_TRUE(CFakeNetwork::Reply(kMac2, "", szAddress));
    ASSERT_TRUE(Eventually([this] {
        SVLECMMACSummary one, two;
        return m_ECM.GetMACSummary(kMac1, one) && m_ECM.GetMACSummary(kMac2, two) && one.nNotUnicast == 1 &&
               two.nNotUnicast == 1 && one.nPending == 1 && two.nPending == 1;
    }));
    EXPECT_EQ(0u, m_Client.Count("probe"));
    ASSERT_TRUE(CFakeNetwork::Reply(kMac3, "", "10.0.7.5"));
    // The report is recorded before the client's own step runs.
    ASSERT_TRUE(Eventually([&nListed] { return nListed >= 0; }));
    m_Client.m_OnProbe = nullptr;
    EXPECT_EQ(2, nListed);
}

// Places are descriptors: a probe raises the soft limit as far as every
// network's places need (never beyond the hard limit, which a test cannot
// raise again: how few are shared out is the descriptor limit's test), and
// gives it back as the device manager ends.
TEST_F(ECMProbe, PlacesUnderALowDescriptorLimit)
{
    rlimit saved = {};
    ASSERT_EQ(0, getrlimit(RLIMIT_NOFILE, &saved));
    if (saved.rlim_max != RLIM_INFINITY && saved.rlim_max < 4096)
        GTEST_SKIP() << "the hard limit on descriptors is low already";
    struct SRestore
    {
        rlimit limit;
        ~SRestore() { setrlimit(RLIMIT_NOFILE, &limit); }
    } restore{saved};
    long nOpen = 0;
    if (DIR* pDir = opendir("/proc/self/fd")) {
        while (readdir(pDir) != nullptr)
            ++nOpen;
        closedir(pDir);
    }
    ASSERT_GT(nOpen, 0);
    CVLECMMACTable& table = m_ECM.GetProbeInstance().GetMACTable();
    rlimit low = saved;
    low.rlim_cur = static_cast<rlim_t>(nOpen + 30);
    ASSERT_EQ(0, setrlimit(RLIMIT_NOFILE, &low));
    ASSERT_EQ(VLECM_RESULT_SUCCESS, Probe());
    EXPECT_EQ(CVLECMMACTable::MAX_PLACES_PER_NETWORK, table.GetPlacesPerNetwork());
    EXPECT_EQ(0, table.GetSharedPlaces());
    rlimit raised = {};
    ASSERT_EQ(0, getrlimit(RLIMIT_NOFILE, &raised));
    EXPECT_GT(raised.rlim_cur, low.rlim_cur);
    EXPECT_EQ(saved.rlim_max, raised.rlim_max);
    // Kept while the device manager lives, given back as it ends.
    m_ECM.StopProbe();
    ASSERT_EQ(0, getrlimit(RLIMIT_NOFILE, &raised));
    EXPECT_GT(raised.rlim_cur, low.rlim_cur);
    m_ECM.Terminate();
    ASSERT_EQ(0, getrlimit(RLIMIT_NOFILE, &raised));
    EXPECT_EQ(low.rlim_cur, raised.rlim_cur);
}

// A device that answers the probe but not its unicast check, whether the
// check went unanswered or failed (another host holding its address answers
// in its place), is reported without unicast unless filtering is on; either
// way its record tells why.
TEST_F(ECMProbe, FailedUnicastChecksAreReportedUnlessFilteredAndSayWhy)
{
    CFakeNetwork::SetAnswer(kMac1, "CheckUnicast", EFakeAnswer::Timeout);
    CFakeNetwork::SetAnswer(kMac2, "CheckUnicast", EFakeAnswer::DeviceError);
    for (int nRound : {1, 2}) {
        bool bFilter = nRound == 2;
        SCOPED_TRACE(bFilter);
        CVLECMPropertyMap options;
        options[CVLString("Option.Probe.SkipGetSupportInformation", 72)] = CVLString("true", 72);
        options[CVLString("Option.CheckUnicast.NonUnicastDeviceFiltering", 72)] =
            CVLString(bFilter ? "true" : "false", 72);
        // The unanswered check's time-out passes soon.
        options[CVLString("Option.CheckUnicast.Timeout", 72)] = CVLString("30", 72);
        ASSERT_EQ(VLECM_RESULT_SUCCESS, m_ECM.Probe(VLECM_PROBE_CONNECT_TYPE_ALL, &options));
        ASSERT_TRUE(CFakeNetwork::Reply(kMac1));
        ASSERT_TRUE(CFakeNetwork::Reply(kMac2));
        if (!bFilter) {
            ASSERT_TRUE(m_Client.WaitFor("probe", 2));
        }
        // Each is judged once its check has ended, and says how.
        SVLECMMACState deaf, heldTwice;
        ASSERT_TRUE(WaitJudged(m_ECM, kMac1, deaf));
        ASSERT_TRUE(WaitJudged(m_ECM, kMac2, heldTwice));
        EXPECT_EQ(bFilter ? VLECM_MAC_NONE : VLECM_MAC_ONE, deaf.eVerdict);
        EXPECT_EQ(bFilter ? VLECM_MAC_NONE : VLECM_MAC_ONE, heldTwice.eVerdict);
        ASSERT_EQ(1u, deaf.addresses.size());
        ASSERT_EQ(1u, heldTwice.addresses.size());
        EXPECT_EQ(bFilter ? VLECM_MAC_FAILURE_NO_ANSWER : VLECM_MAC_FAILURE_NOT_UNICAST, deaf.addresses[0].eFailure);
        EXPECT_EQ(VLECM_RESULT_TIMEOUT, deaf.addresses[0].eResult);
        EXPECT_EQ(0, deaf.addresses[0].nDeviceResult);
        EXPECT_EQ(bFilter ? VLECM_MAC_FAILURE_CHECK : VLECM_MAC_FAILURE_NOT_UNICAST, heldTwice.addresses[0].eFailure);
        EXPECT_EQ(VLECM_RESULT_DEVICE_ERROR, heldTwice.addresses[0].eResult);
        EXPECT_EQ(0xF003, heldTwice.addresses[0].nDeviceResult);
        // Only a device handed on is found.
        EXPECT_EQ(!bFilter, m_ECM.FindNIFInfo(kMac1) != nullptr);
        EXPECT_EQ(!bFilter, m_ECM.FindNIFInfo(kMac2) != nullptr);
        EXPECT_EQ(0, CFakeNetwork::RequestCount(kMac2, "GetListInfo"));
        Drain(m_ECM);
        // Reported once each, without unicast, in the unfiltered probe only.
        EXPECT_EQ(2u, m_Client.Count("probe"));
        for (const auto& event : m_Client.Events())
            EXPECT_FALSE(event.bUnicast) << event.strMac;
    }
}

// A check that gets no reply asks again once its time-out has passed, as
// many times as its tries, and the device is then reported as one that does
// not answer unicast. A check still waiting when its device goes is stopped
// without a report.
TEST_F(ECMProbe, AnUnansweredCheckKeepsItsTriesAndStopsWithItsDevice)
{
    CWatchdog watchdog(60, "unanswered checks");
    CFakeNetwork::SetAnswer(kMac1, "CheckUnicast", EFakeAnswer::Block);
    CVLECMPropertyMap options;
    options[CVLString("Option.Probe.SkipGetSupportInformation", 72)] = CVLString("true", 72);
    options[CVLString("Option.CheckUnicast.Timeout", 72)] = CVLString("30", 72);
    options[CVLString("Option.CheckUnicast.Retry", 72)] = CVLString("3", 72);
    ASSERT_EQ(VLECM_RESULT_SUCCESS, m_ECM.Probe(VLECM_PROBE_CONNECT_TYPE_ALL, &options));
    ASSERT_TRUE(CFakeNetwork::Reply(kMac1));
    ASSERT_TRUE(CFakeNetwork::Reply(kMac2));
    ASSERT_TRUE(m_Client.WaitFor("probe", 2));
    for (const auto& event : m_Client.Events())
        EXPECT_EQ(event.strMac == kMac2, event.bUnicast) << event.strMac;
    EXPECT_EQ(3, CFakeNetwork::RequestCount(kMac1, "CheckUnicast"));
    EXPECT_EQ(0, CFakeNetwork::RequestCount(kMac1, "GetListInfo"));

    options[CVLString("Option.CheckUnicast.Timeout", 72)] = CVLString("3600000", 72);
    CFakeNetwork::SetAnswer(kMac2, "CheckUnicast", EFakeAnswer::Block);
    ASSERT_EQ(VLECM_RESULT_SUCCESS, m_ECM.Probe(VLECM_PROBE_CONNECT_TYPE_ALL, &options));
    ASSERT_TRUE(CFakeNetwork::Reply(kMac2));
    Drain(m_ECM);
    CVLECMNIFInfo* pNIFInfo = ProbeRecord(m_ECM, kMac2);
    ASSERT_NE(nullptr, pNIFInfo);
    EXPECT_TRUE(pNIFInfo->IsCommandRunning());
    EXPECT_EQ(1, m_ECM.GetProbeInstance().GetUnicastChecks().GetCount());
    m_ECM.RemoveNIFInfo(pNIFInfo);
    Drain(m_ECM);
    EXPECT_EQ(0, m_ECM.GetProbeInstance().GetUnicastChecks().GetCount());
    EXPECT_EQ(2u, m_Client.Count("probe"));
}

TEST_F(ECMProbe, RepliesWithoutAMACAddressAreDroppedAndReleased)
{
    ASSERT_EQ(VLECM_RESULT_SUCCESS, Probe());
    for (int i = 0; i < 20; ++i)
        ASSERT_TRUE(CFakeNetwork::Reply(""));
    ASSERT_TRUE(CFakeNetwork::Reply(kMac1));
    ASSERT_TRUE(m_Client.WaitFor("probe", 1));
    Drain(m_ECM);
    EXPECT_EQ(1u, m_Client.Count("probe"));
    EXPECT_EQ(1, m_ECM.GetNIFInfoList()->GetCount());
}

TEST_F(ECMProbe, OmitGetMoreInfoReportsAtOnceAndUpdatesAfterwards)
{
    CVLECMPropertyMap options;
    options[CVLString("Option.Probe.OmitGetMoreInfo", 72)] = CVLString("true", 72);
    ASSERT_EQ(VLECM_RESULT_SUCCESS, m_ECM.Probe(VLECM_PROBE_CONNECT_TYPE_NETWORK, &options));
    ASSERT_TRUE(CFakeNetwork::Reply(kMac1));
    ASSERT_TRUE(m_Client.WaitFor("probe", 1));
    // A reply whose data changed is an update; one that repeats the last
    // is dropped before it is copied or queued.
    ASSERT_TRUE(CFakeNetwork::Reply(kMac1, "changed"));
    ASSERT_TRUE(m_Client.WaitFor("probe", 2));
    ASSERT_TRUE(CFakeNetwork::Reply(kMac1, "changed"));
    Drain(m_ECM);
    auto events = m_Client.Events();
    ASSERT_EQ(2u, m_Client.Count("probe"));
    EXPECT_FALSE(events[0].bUpdate);
    EXPECT_TRUE(events[1].bUpdate);
    EXPECT_EQ(0, CFakeNetwork::RequestCount(kMac1, "CheckUnicast"));
}

TEST_F(ECMProbe, GatesDropReportsWhileClosed)
{
    m_ECM.SetCallbackNotification(false);
    ASSERT_EQ(VLECM_RESULT_SUCCESS, Probe());
    ASSERT_TRUE(CFakeNetwork::Reply(kMac1));
    for (int i = 0; i < 2000 && CFakeNetwork::RequestCount(kMac1, "GetListInfo") == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    Drain(m_ECM);
    Drain(m_ECM);
    EXPECT_EQ(0u, m_Client.Count("probe"));
    CVLECMNIFInfo* pNIFInfo = m_ECM.FindNIFInfo(kMac1);
    ASSERT_NE(nullptr, pNIFInfo);
    // Command ends pass while notification is on, probing or not.
    m_ECM.SetCallbackNotification(true);
    m_ECM.StopProbe();
    ASSERT_EQ(VLECM_RESULT_SUCCESS, pNIFInfo->GetDetail(VLECM_CONNECT_TYPE_NETWORK, nullptr));
    ASSERT_TRUE(m_Client.WaitFor("GetDetail", 1));
    // No callback: nothing is forwarded and nothing fails.
    ASSERT_TRUE(m_ECM.SetCallbackIF(nullptr));
    for (int i = 0; i < 200 && pNIFInfo->IsCommandRunning(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_EQ(VLECM_RESULT_SUCCESS, pNIFInfo->GetDetail(VLECM_CONNECT_TYPE_NETWORK, nullptr));
    for (int i = 0; i < 2000 && pNIFInfo->IsCommandRunning(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    Drain(m_ECM);
    EXPECT_EQ(1u, m_Client.Count("GetDetail"));
    ASSERT_TRUE(m_ECM.SetCallbackIF(&m_Client));
}

// A report that reaches the relay after StopProbe (queued before it) is not
// passed on: the client has been told the probe is over.
TEST_F(ECMProbe, ReportsRelayedAfterStopProbeAreDropped)
{
    ASSERT_EQ(VLECM_RESULT_SUCCESS, Probe());
    ASSERT_TRUE(CFakeNetwork::Reply(kMac1));
    ASSERT_TRUE(m_Client.WaitFor("probe", 1));
    CVLECMNIFInfo* pNIFInfo = m_ECM.FindNIFInfo(kMac1);
    ASSERT_NE(nullptr, pNIFInfo);
    m_ECM.OnProbe(pNIFInfo, VLECM_CONNECT_TYPE_NETWORK, true, true);
    EXPECT_EQ(2u, m_Client.Count("probe"));  // still probing: relayed
    m_ECM.StopProbe();
    m_ECM.OnProbe(pNIFInfo, VLECM_CONNECT_TYPE_NETWORK, true, true);
    Drain(m_ECM);
    EXPECT_EQ(2u, m_Client.Count("probe"));
}

// StopProbeInstance ends the probe alone: the devices already found go on
// with their commands, one waiting for a place among them, and are reported.
TEST_F(ECMProbe, StopProbeInstanceLetsTheChainsUnderWayFinish)
{
    CWatchdog watchdog(60, "chains after StopProbeInstance");
    const int kPlaces = CVLECMProbeInstance::MAX_PLACES_PER_NETWORK;
    ASSERT_EQ(VLECM_RESULT_SUCCESS, Probe());
    std::vector<std::string> macs;
    for (int i = 0; i <= kPlaces; ++i) {
        char szMac[16];
        snprintf(szMac, sizeof(szMac), "0026AB0002%02X", i);
        macs.push_back(szMac);
        if (i < kPlaces)
            CFakeNetwork::SetAnswer(szMac, "GetListInfo", EFakeAnswer::Block);
        ASSERT_TRUE(CFakeNetwork::Reply(szMac, "", "10.0.2." + std::to_string(i + 1)));
    }
    int nRunning = 0, nWaiting = 0;
    for (int i = 0; i < 4000 && nWaiting == 0; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        m_ECM.GetProbeInstance().GetChainCounts(nRunning, nWaiting);
    }
    ASSERT_EQ(1, nWaiting);
    EXPECT_FALSE(m_ECM.StopProbeInstance());
    EXPECT_FALSE(CFakeNetwork::IsProbeRunning());
    m_ECM.GetProbeInstance().GetChainCounts(nRunning, nWaiting);
    EXPECT_EQ(kPlaces, nRunning);
    ASSERT_EQ(1, nWaiting);
    // A place frees up: the waiting device takes it and is reported.
    m_ECM.RemoveNIFInfo(ProbeRecord(m_ECM, macs[0], "10.0.2.1"));
    ASSERT_TRUE(m_Client.WaitFor("probe", 1));
    EXPECT_EQ(macs[kPlaces], m_Client.Events()[0].strMac);
}

// A command the client starts from OnProbe is not the chain's: the chain
// is over once its device is reported, and its place goes to the next
// device. Seventeen such devices, more than there are places, are all
// reported.
TEST_F(ECMProbe, ACommandStartedInOnProbeLeavesTheChainsPlace)
{
    CWatchdog watchdog(60, "commands started in OnProbe");
    const int kDevices = CVLECMProbeInstance::MAX_PLACES_PER_NETWORK + 1;
    m_Client.m_OnProbe = [&](CVLECMNIFInfo* pNIFInfo) {
        EXPECT_EQ(VLECM_RESULT_SUCCESS, pNIFInfo->GetDetail(VLECM_CONNECT_TYPE_NETWORK, nullptr));
    };
    ASSERT_EQ(VLECM_RESULT_SUCCESS, Probe());
    for (int i = 0; i < kDevices; ++i) {
        char szMac[16];
        snprintf(szMac, sizeof(szMac), "0026AB0003%02X", i);
        // Still running when the chain's step ends.
        CFakeNetwork::SetAnswer(szMac, "GetDetail", EFakeAnswer::Block);
        ASSERT_TRUE(CFakeNetwork::Reply(szMac, "", "10.0.3." + std::to_string(i + 1)));
    }
    ASSERT_TRUE(m_Client.WaitFor("probe", kDevices));
    Drain(m_ECM);
    int nRunning = 0, nWaiting = 0;
    m_ECM.GetProbeInstance().GetChainCounts(nRunning, nWaiting);
    EXPECT_EQ(0, nRunning);
    EXPECT_EQ(0, nWaiting);
}

// A chain command that is stopped ends its chain, unreported: the place it
// held goes to a device waiting for one, and a stopped check frees its
// check.
TEST_F(ECMProbe, AStoppedChainCommandEndsItsChain)
{
    CWatchdog watchdog(60, "stopped chain commands");
    const int kPlaces = CVLECMProbeInstance::MAX_PLACES_PER_NETWORK;
    CVLECMPropertyMap options;
    options[CVLString("Option.Probe.SkipGetSupportInformation", 72)] = CVLString("true", 72);
    options[CVLString("Option.CheckUnicast.Timeout", 72)] = CVLString("3600000", 72);
    ASSERT_EQ(VLECM_RESULT_SUCCESS, m_ECM.Probe(VLECM_PROBE_CONNECT_TYPE_ALL, &options));
    std::vector<std::string> macs;
    for (int i = 0; i <= kPlaces + 1; ++i) {
        char szMac[16];
        snprintf(szMac, sizeof(szMac), "0026AB0004%02X", i);
        macs.push_back(szMac);
        if (i < kPlaces)
            CFakeNetwork::SetAnswer(szMac, "GetListInfo", EFakeAnswer::Block);
        else if (i == kPlaces + 1)
            CFakeNetwork::SetAnswer(szMac, "CheckUnicast", EFakeAnswer::Block);
    }
    auto reply = [&](int nFirst, int nEnd) {
        for (int i = nFirst; i < nEnd; ++i)
            ASSERT_TRUE(CFakeNetwork::Reply(macs[i], "", "10.0.4." + std::to_string(i + 1)));
    };
    CVLECMProbeInstance& probe = m_ECM.GetProbeInstance();
    int nRunning = 0, nWaiting = 0;
    // The places are taken before the last two devices answer.
    reply(0, kPlaces);
    for (int i = 0; i < 4000 && nRunning != kPlaces; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        probe.GetChainCounts(nRunning, nWaiting);
    }
    ASSERT_EQ(kPlaces, nRunning);
    reply(kPlaces, kPlaces + 2);
    for (int i = 0; i < 4000 && (nWaiting != 1 || probe.GetCheckingChainCount() != 1); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        probe.GetChainCounts(nRunning, nWaiting);
    }
    ASSERT_EQ(1, nWaiting);
    ASSERT_EQ(1, probe.GetCheckingChainCount());
    ProbeRecord(m_ECM, macs[0], "10.0.4.1")->StopCommand();
    ASSERT_TRUE(m_Client.WaitFor("probe", 1));
    EXPECT_EQ(macs[kPlaces], m_Client.Events()[0].strMac);
    ProbeRecord(m_ECM, macs[kPlaces + 1], "10.0.4." + std::to_string(kPlaces + 2))->StopCommand();
    Drain(m_ECM);
    EXPECT_EQ(0, probe.GetCheckingChainCount());
    probe.GetChainCounts(nRunning, nWaiting);
    EXPECT_EQ(kPlaces - 1, nRunning);
    EXPECT_EQ(1u, m_Client.Count("probe"));
}

TEST_F(ECMProbe, CommandResults)
{
    ASSERT_EQ(VLECM_RESULT_SUCCESS, Probe());
    ASSERT_TRUE(CFakeNetwork::Reply(kMac1));
    ASSERT_TRUE(m_Client.WaitFor("probe", 1));
    CVLECMNIFInfo* pNIFInfo = m_ECM.FindNIFInfo(kMac1);
    ASSERT_NE(nullptr, pNIFInfo);
    auto run = [&](const char* szWhat, std::function<VLECM_RESULT()> start, size_t nNth) {
        for (int i = 0; i < 2000 && pNIFInfo->IsCommandRunning(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        EXPECT_EQ(VLECM_RESULT_SUCCESS, start());
        EXPECT_TRUE(m_Client.WaitFor(szWhat, nNth));
        return m_Client.Events().back().nResult;
    };
    auto detail = [&]() { return pNIFInfo->GetDetail(VLECM_CONNECT_TYPE_NETWORK, nullptr); };
    EXPECT_EQ(VLECM_RESULT_SUCCESS, run("GetDetail", detail, 1));
    CFakeNetwork::SetAnswer(kMac1, "GetDetail", EFakeAnswer::Timeout);
    EXPECT_EQ(VLECM_RESULT_TIMEOUT, run("GetDetail", detail, 2));
    CFakeNetwork::SetAnswer(kMac1, "GetDetail", EFakeAnswer::DeviceError);
    EXPECT_EQ(VLECM_RESULT_DEVICE_ERROR, run("GetDetail", detail, 3));
    EXPECT_EQ(VLECM_RESULT_NOT_SUPPORTED,
              run(
                  "GetNetworkDiagnosis",
                  [&]() { return pNIFInfo->GetNetworkDiagnosis(VLECM_CONNECT_TYPE_NETWORK, nullptr); }, 1));
    EXPECT_EQ(
        VLECM_RESULT_NOT_SUPPORTED,
        run(
            "SetupWebService", [&]() { return pNIFInfo->SetupWebService(VLECM_CONNECT_TYPE_NETWORK, nullptr); }, 1));
    EXPECT_EQ(VLECM_RESULT_PARAMETER_ERROR,
              pNIFInfo->StartCommand(static_cast<VLECM_COMMAND>(12), VLECM_CONNECT_TYPE_NETWORK, nullptr));
    // One command at a time: a second start while one runs is refused.
    CFakeNetwork::SetAnswer(kMac1, "CheckPassword", EFakeAnswer::Block);
    ASSERT_EQ(VLECM_RESULT_SUCCESS, pNIFInfo->CheckPassword(VLECM_CONNECT_TYPE_NETWORK, nullptr));
    EXPECT_EQ(VLECM_RESULT_FAILED, pNIFInfo->GetDetail(VLECM_CONNECT_TYPE_NETWORK, nullptr));
    // Removing a device whose command hangs stops it; nothing is reported.
    CWatchdog watchdog(60, "RemoveNIFInfo of a device with a running command");
    m_ECM.RemoveNIFInfo(pNIFInfo);
    Drain(m_ECM);
    EXPECT_EQ(0u, m_Client.Count("CheckPassword"));
    EXPECT_EQ(nullptr, m_ECM.FindNIFInfo(kMac1));
}

// Removing every device stops all their commands before it waits for any:
// sixteen commands whose stop lasts until all sixteen are stopping at once
// get there together (one after the other, each would wait alone).
TEST_F(ECMProbe, RemovingAllDevicesStopsTheirCommandsSideBySide)
{
    CWatchdog watchdog(120, "RemoveAllNIFInfo of devices with slow stops");
    const int kDevices = 16;
    ASSERT_EQ(VLECM_RESULT_SUCCESS, Probe());
    std::vector<std::string> macs;
    for (int i = 0; i < kDevices; ++i) {
        char szMac[16];
        snprintf(szMac, sizeof(szMac), "0026AB0001%02X", i);
        macs.push_back(szMac);
        ASSERT_TRUE(CFakeNetwork::Reply(szMac, "", "10.0.1." + std::to_string(i + 1)));
    }
    ASSERT_TRUE(m_Client.WaitFor("probe", kDevices));
    CFakeNetwork::SetStopsTogether(kDevices);
    for (const std::string& strMac : macs) {
        CFakeNetwork::SetAnswer(strMac, "GetDetail", EFakeAnswer::SlowStop);
        CVLECMNIFInfo* pNIFInfo = m_ECM.FindNIFInfo(strMac.c_str());
        ASSERT_NE(nullptr, pNIFInfo);
        for (int i = 0; i < 2000 && pNIFInfo->IsCommandRunning(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        ASSERT_EQ(VLECM_RESULT_SUCCESS, pNIFInfo->GetDetail(VLECM_CONNECT_TYPE_NETWORK, nullptr));
    }
    for (const std::string& strMac : macs) {
        for (int i = 0; i < 2000 && CFakeNetwork::RequestCount(strMac, "GetDetail") == 0; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    m_ECM.RemoveAllNIFInfo();
    EXPECT_EQ(kDevices, CFakeNetwork::PeakStopsTogether());
    EXPECT_EQ(0, m_ECM.GetNIFInfoList()->GetCount());
}

// A removed device's place goes to the next chain only once its command
// has ended: never more commands under way than places. Its stop lingers,
// so that a command started early would be seen beside it.
TEST_F(ECMProbe, ARemovedDevicesPlaceIsGivenOnOnceItsCommandEnded)
{
    CWatchdog watchdog(60, "a removed device's place");
    ASSERT_EQ(VLECM_RESULT_SUCCESS, Probe());
    m_ECM.GetProbeInstance().GetMACTable().SetPlacesPerNetwork(1);
    const std::string strRemoved = "0026AB000301";
    const std::string strWaiting = "0026AB000302";
    CFakeNetwork::SetStopsTogether(2);
    CFakeNetwork::SetAnswer(strRemoved, "GetListInfo", EFakeAnswer::SlowStop);
    ASSERT_TRUE(CFakeNetwork::Reply(strRemoved, "", "10.0.3.1"));
    ASSERT_TRUE(Eventually([&]() { return CFakeNetwork::RequestCount(strRemoved, "GetListInfo") == 1; }));
    ASSERT_TRUE(CFakeNetwork::Reply(strWaiting, "", "10.0.3.2"));
    ASSERT_TRUE(Eventually([&]() {
        int nRunning = 0, nWaiting = 0;
        m_ECM.GetProbeInstance().GetChainCounts(nRunning, nWaiting);
        return nWaiting == 1;
    }));
    CVLECMNIFInfo* pRemoved = nullptr;
    ASSERT_TRUE(m_ECM.WithRecord(strRemoved.c_str(), "10.0.3.1", [&pRemoved](CVLECMNIFInfo* p) { pRemoved = p; }));
    m_ECM.RemoveNIFInfo(pRemoved);
    ASSERT_TRUE(m_Client.WaitFor("probe", 1));
    EXPECT_NE(nullptr, m_ECM.FindNIFInfo(strWaiting.c_str()));
    EXPECT_EQ(1, CFakeNetwork::PeakUnderWay("GetListInfo"));
}

TEST_F(ECMProbe, RemoveInsideOnProbePurgesTheDevicesQueuedResults)
{
    CWatchdog watchdog(60, "RemoveNIFInfo inside OnProbe");
    m_Client.m_OnProbe = [&](CVLECMNIFInfo* pNIFInfo) {
        // A result queued behind this report must never arrive.
        ASSERT_EQ(VLECM_RESULT_SUCCESS, pNIFInfo->GetDetail(VLECM_CONNECT_TYPE_NETWORK, nullptr));
        for (int i = 0; i < 2000 && pNIFInfo->IsCommandRunning(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        m_ECM.RemoveNIFInfo(pNIFInfo);
    };
    ASSERT_EQ(VLECM_RESULT_SUCCESS, Probe());
    ASSERT_TRUE(CFakeNetwork::Reply(kMac1));
    ASSERT_TRUE(m_Client.WaitFor("probe", 1));
    Drain(m_ECM);
    Drain(m_ECM);
    EXPECT_EQ(0u, m_Client.Count("GetDetail"));
    EXPECT_EQ(nullptr, m_ECM.FindNIFInfo(kMac1));
    EXPECT_EQ(0, m_ECM.GetNIFInfoList()->GetCount());
}

TEST_F(ECMProbe, ProbeAndStopProbeInsideOnProbe)
{
    CWatchdog watchdog(60, "Probe and StopProbe inside OnProbe");
    int nCalls = 0;
    m_Client.m_OnProbe = [&](CVLECMNIFInfo*) {
        if (++nCalls == 1)
            m_ECM.StopProbe();
        else
            EXPECT_EQ(VLECM_RESULT_SUCCESS, Probe());
    };
    ASSERT_EQ(VLECM_RESULT_SUCCESS, Probe());
    ASSERT_TRUE(CFakeNetwork::Reply(kMac1));
    ASSERT_TRUE(m_Client.WaitFor("probe", 1));
    Drain(m_ECM);
    EXPECT_FALSE(CFakeNetwork::IsProbeRunning());
    EXPECT_NE(nullptr, m_ECM.FindNIFInfo(kMac1));
    ASSERT_EQ(VLECM_RESULT_SUCCESS, Probe());
    ASSERT_TRUE(CFakeNetwork::Reply(kMac2));
    ASSERT_TRUE(m_Client.WaitFor("probe", 2));
    Drain(m_ECM);
    // The probe restarted from the callback removed the devices of the run before.
    EXPECT_TRUE(CFakeNetwork::IsProbeRunning());
    EXPECT_EQ(nullptr, m_ECM.FindNIFInfo(kMac2));
    EXPECT_EQ(0, m_ECM.GetNIFInfoList()->GetCount());
}

TEST_F(ECMProbe, ProbeRefusals)
{
    EXPECT_EQ(VLECM_RESULT_INTERNAL_ERROR, m_ECM.Probe(static_cast<VLECM_PROBE_CONNECT_TYPE>(2), nullptr));
    CVLECM idle;
    EXPECT_EQ(VLECM_RESULT_INTERNAL_ERROR, idle.Probe(VLECM_PROBE_CONNECT_TYPE_ALL, nullptr));
    EXPECT_EQ(nullptr, idle.GetNIFInfoList());
    // A pointer the list does not hold is not destroyed.
    CVLECMNIFInfo stranger;
    m_ECM.RemoveNIFInfo(&stranger);
    m_ECM.RemoveNIFInfo(nullptr);
    stranger.SetDummy(true);
    EXPECT_TRUE(stranger.IsDummy());
}

namespace {
// A device manager whose local networks cannot be set up.
class CNoLocalNetworkECM : public CVLECM
{
public:
    bool SetupLocalDBCInfo(CVLECMPropertyMap*, VL_CONST_STR, const CVLECMPropertyMap*, CVLECMNIFInfo*) override
    {
        return false;
    }
};
}  // namespace

TEST(ECMProbeSetup, FailedLocalNetworkSetUpIsAFailedProbe)
{
    CFakeNetwork network;
    CRecordingClient client;
    CNoLocalNetworkECM ecm;
    ASSERT_EQ(VLECM_RESULT_SUCCESS, ecm.Initialize(&client, nullptr, nullptr, nullptr));
    CVLECMPropertyMap options;
    options[CVLString("Option.Probe.EnableLocalDBCInfo", 72)] = CVLString("true", 72);
    EXPECT_EQ(VLECM_RESULT_INTERNAL_ERROR, ecm.Probe(VLECM_PROBE_CONNECT_TYPE_ALL, &options));
    EXPECT_EQ(0, CFakeNetwork::ProbeStarts());
    EXPECT_EQ(VLECM_RESULT_SUCCESS, ecm.Probe(VLECM_PROBE_CONNECT_TYPE_ALL, nullptr));
    EXPECT_EQ(1, CFakeNetwork::ProbeStarts());
    ecm.Terminate();
}

// A merge ORs the flags into the record, the simulated-device mark included:
// a plain record merged into a simulated one leaves it simulated.
TEST(ECMNIFInfo, AMergeORsTheFlagsAndTheSimulatedMark)
{
    CVLECMNIFInfo simulated, plain;
    simulated.SetDummy(true);
    simulated.SetUnicast(VLECM_CONNECT_TYPE_NETWORK, true);
    plain.SetConnect(VLECM_CONNECT_TYPE_USB, true);
    simulated.MargeNIFInfo(plain);
    EXPECT_TRUE(simulated.IsDummy());
    EXPECT_TRUE(simulated.IsUnicast(VLECM_CONNECT_TYPE_NETWORK));
    EXPECT_TRUE(simulated.IsConnect(VLECM_CONNECT_TYPE_USB));
    plain.MargeNIFInfo(simulated);
    EXPECT_TRUE(plain.IsDummy());
    EXPECT_TRUE(plain.IsUnicast(VLECM_CONNECT_TYPE_NETWORK));
}
