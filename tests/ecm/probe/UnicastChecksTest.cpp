// The unicast-check thread's contracts: a cancel waits while the thread
// works on the record and leaves it untouched after; a socket that cannot
// share is looked at until its reply comes; one check's end does not end
// the others. Over the real modules: an arrival costs one look; a flood
// keeps neither a check from its end nor its cancel waiting; a check the
// definitions pass over ends at once; a reply queued by the deadline is
// judged however late the thread comes; a send that meets "host
// unreachable" goes again as the definitions say, in each try; what came
// is told alike from the shared socket and the named address's own.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "base/core/VLCommunicationException.h"
#include "base/core/VLFileSystem.h"
#include "cm/VLCMApi.h"
#include "ecm/VLECM.h"
#include "ecm/probe/VLECMProbeInstance.h"
#include "ecm/probe/VLECMUnicastChecks.h"
#include "ecm/record/VLECMNIFInfo.h"
#include "modules/VLModuleLibraries.h"
#include "modules/sock/VLMDSock.h"
#include "modules/sock/VLSock.h"
#include "modules/sock/VLSockShared.h"
#include "tests/support/Eventually.h"
#include "tests/support/Watchdog.h"
#include "tests/support/cm/ModuleRegistration.h"
#include "tests/support/ecm/ECMTestClient.h"
#include "tests/support/ecm/FakeNetwork.h"
#include "tests/support/ecm/SharedSocketFlood.h"
#include "tests/support/emulator/DeviceEmulator.h"
#include "tests/support/TempFolder.h"

namespace {
// Long enough that a try never ends before its reply is looked at.
const char kLongTimeout[] = "3600000";
// How long a Cancel that does not wait is given to return while the thread
// is held: it would return at once.
const auto kCancelGrace = std::chrono::milliseconds(200);

// Holds the first thread that enters it until released: the check thread,
// as it reads a record's options or sends a request, is then working on the
// record, without the checks' lock.
struct SHold
{
    std::mutex mutex;
    std::condition_variable cond;
    bool bArmed = true;
    bool bHeld = false;
    bool bReleased = false;

    void Enter()
    {
        std::unique_lock<std::mutex> lock(mutex);
        if (!bArmed)
            return;
        bArmed = false;
        bHeld = true;
        cond.notify_all();
        cond.wait(lock, [this] { return bReleased; });
    }
    void WaitHeld()
    {
        std::unique_lock<std::mutex> lock(mutex);
        cond.wait(lock, [this] { return bHeld; });
    }
    void Release()
    {
        std::lock_guard<std::mutex> lock(mutex);
        bReleased = true;
        cond.notify_all();
    }
};

class CHeldRecord : public CVLECMNIFInfo
{
public:
    explicit CHeldRecord(SHold* pHold) : m_pHold(pHold) {}

protected:
    CVLString getOptionString(VL_CONST_STR szKey) override
    {
        if (m_pHold != nullptr)
            m_pHold->Enter();
        return CVLECMNIFInfo::getOptionString(szKey);
    }

private:
    SHold* m_pHold;
};

// Records checked on a thread of the test's own, against the fake modules.
class UnicastChecks : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_EQ(VLECM_RESULT_SUCCESS, m_ECM.Initialize(&m_Client, nullptr, nullptr, nullptr)); }
    void TearDown() override
    {
        m_Checks.Shutdown();
        m_ECM.Terminate();
    }
    // A record of the device whose check starts on m_Checks.
    std::unique_ptr<CHeldRecord> Check(const char* szMac, const char* szTimeout, SHold* pHold = nullptr,
                                       const char* szRetry = "1")
    {
        std::unique_ptr<CHeldRecord> pRecord(new CHeldRecord(pHold));
        pRecord->SetApi(m_ECM.GetApi());
        pRecord->SetOwnerVLECMInstance(&m_ECM);
        pRecord->SetCheckRunner(&m_Checks);
        pRecord->SetMACAddress(szMac);
        pRecord->SetPropertyString("MACAddress", szMac);
        CVLECMPropertyMap options;
        options[CVLString("Option.CheckUnicast.Timeout", 72)] = CVLString(szTimeout, 72);
        options[CVLString("Option.CheckUnicast.Retry", 72)] = CVLString(szRetry, 72);
        EXPECT_EQ(VLECM_RESULT_SUCCESS, pRecord->StartCommandAsync(VLECM_COMMAND_CHECK_UNICAST,
                                                                   VLECM_CONNECT_TYPE_NETWORK, &options, &m_Client));
        return pRecord;
    }

    CFakeNetwork m_Network;
    CRecordingClient m_Client;
    CVLECM m_ECM;
    CVLECMUnicastChecks m_Checks;
};

// What the tests see of the shared socket the checks send from (no other
// socket shares): its sends, each of which may be held or fail with "host
// unreachable" (by its number, from 1), its reads, which may be slowed (a
// loaded machine), and the datagrams queued on any socket.
struct SSharedSockWatch
{
    std::mutex mutex;
    std::condition_variable cond;
    int nWrites = 0;
    int nReads = 0;
    int nQueued = 0;
    int nReadPauseMs = 0;
    std::map<int, SHold*> holds;
    std::set<int> unreachable;
    // Sends that find the send buffer full: those by number, or from
    // nFullFrom on (0: none).
    std::set<int> full;
    int nFullFrom = 0;

    void Reset()
    {
        std::lock_guard<std::mutex> lock(mutex);
        nWrites = nReads = nQueued = nReadPauseMs = nFullFrom = 0;
        holds.clear();
        unreachable.clear();
        full.clear();
    }
    int Reads()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return nReads;
    }
    int Writes()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return nWrites;
    }
    void WaitQueued(int nCount)
    {
        std::unique_lock<std::mutex> lock(mutex);
        cond.wait(lock, [&] { return nQueued >= nCount; });
    }
};
SSharedSockWatch g_Sock;

// The result of the error replies the tests' devices send.
const long kErrorReply = 0xF001;
// Datagrams queued when a flood is surely under way.
const int kFloodQueued = 200;
// EHOSTUNREACH as the definitions' retry script knows it.
const long kHostUnreachable = 65;

// The socket instance, as g_Sock has it watched.
class CWatchedSock : public CVLSock
{
public:
    void Write(const VL_BYTE* pBuffer, VL_SIZE_T nSize) override
    {
        m_bFull = false;
        if (IsShared()) {
            SHold* pHold = nullptr;
            bool bUnreachable = false;
            {
                std::lock_guard<std::mutex> lock(g_Sock.mutex);
                int n = ++g_Sock.nWrites;
                auto it = g_Sock.holds.find(n);
                pHold = it != g_Sock.holds.end() ? it->second : nullptr;
                bUnreachable = g_Sock.unreachable.count(n) > 0;
                m_bFull = g_Sock.full.count(n) > 0 || (g_Sock.nFullFrom > 0 && n >= g_Sock.nFullFrom);
            }
            if (pHold != nullptr)
                pHold->Enter();
            if (bUnreachable)
                throw new EVLCommunicationException("WatchedSock", "UnicastChecksTest", __LINE__, kHostUnreachable, "",
                                                    false);
            if (m_bFull)
                throw new EVLCommunicationException("WatchedSock", "UnicastChecksTest", __LINE__, 0, "", false);
        }
        CVLSock::Write(pBuffer, nSize);
    }
    bool WasSendBufferFull() const override { return m_bFull || CVLSock::WasSendBufferFull(); }
    VL_SIZE_T Read(VL_BYTE* pBuffer, VL_SIZE_T nSize) override
    {
        if (IsShared()) {
            int nPauseMs = 0;
            {
                std::lock_guard<std::mutex> lock(g_Sock.mutex);
                ++g_Sock.nReads;
                nPauseMs = g_Sock.nReadPauseMs;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(nPauseMs));
        }
        return CVLSock::Read(pBuffer, nSize);
    }
    void pushRecvData(const VLMDSOCK_RECV_DATA& data) override
    {
        CVLSock::pushRecvData(data);
        std::lock_guard<std::mutex> lock(g_Sock.mutex);
        ++g_Sock.nQueued;
        g_Sock.cond.notify_all();
    }

private:
    // The last send found the shared send buffer full (the check thread's).
    std::atomic<bool> m_bFull{false};
};

class CWatchedSockModule : public CVLMDSock
{
protected:
    IVLModInstanceIF* onNew() override { return new CWatchedSock(); }
};

void RegisterWatchedModules(CVLCMApi& api)
{
    VLRegisterModuleLibraries(api);
    api.AddModuleStaticLibrary("VLMDSock", new CWatchedSockModule());
}

// The project's definitions copied to a folder of their own, one text in
// them replaced, without their compiled form (which would be read instead).
class CDefinitionsCopy
{
public:
    CDefinitionsCopy(const std::string& strFrom, const std::string& strTo)
    {
        CTempPath szFolder("vlchecks_XXXXXX");
        if (mkdtemp(szFolder) == nullptr)
            return;
        m_strFolder = szFolder;
        // The resources folder of the build, as the device manager finds it.
        std::string strBin = ECMText(VLGetExecutablePath());
        std::filesystem::copy(strBin.substr(0, strBin.rfind('/')) + "/share/vlnet/Settings", m_strFolder,
                              std::filesystem::copy_options::recursive);
        std::filesystem::remove(m_strFolder + "/Default/vlres200.dat");
        std::string strPath = m_strFolder + "/Default/VLPC.xml";
        std::stringstream text;
        text << std::ifstream(strPath).rdbuf();
        std::string strText = text.str();
        size_t nAt = strText.find(strFrom);
        if (nAt == std::string::npos)
            return;
        strText.replace(nAt, strFrom.size(), strTo);
        std::ofstream(strPath, std::ios::trunc) << strText;
        m_bReplaced = true;
    }
    ~CDefinitionsCopy()
    {
        if (!m_strFolder.empty())
            std::filesystem::remove_all(m_strFolder);
    }
    const std::string& Folder() const { return m_strFolder; }
    bool IsReplaced() const { return m_bReplaced; }

private:
    std::string m_strFolder;
    bool m_bReplaced = false;
};

// A device on loopback at 127.0.0.<nHost>, with a MAC address of its own.
EmuDevice Device(int nHost, bool bAnswersUnicast = true)
{
    EmuDevice device;
    device.mac[5] = static_cast<uint8_t>(nHost);
    device.strIP = "127.0.0." + std::to_string(nHost);
    device.bAnswersUnicast = bAnswersUnicast;
    return device;
}

std::string MacOf(const EmuDevice& device)
{
    std::string strMac = EmuMacText(device.mac);
    strMac.erase(std::remove(strMac.begin(), strMac.end(), ':'), strMac.end());
    return strMac;
}

CVLECMPropertyMap Options(std::initializer_list<std::pair<const char*, std::string>> entries)
{
    CVLECMPropertyMap map;
    for (const auto& entry : entries)
        map[CVLString(entry.first, 72)] = CVLString(entry.second.c_str(), 72);
    return map;
}

// Error replies flood the check's port from its device's address faster
// than the check reads them (on a loaded machine), so that every look
// leaves some queued.
void Flood(EmuDevice& device)
{
    device.bAnswersUnicast = false;
    device.eHostile = EmuHostile::CheckErrors;
    device.nRate = 1000;
    device.nResult = kErrorReply;
    std::lock_guard<std::mutex> lock(g_Sock.mutex);
    g_Sock.nReadPauseMs = 2;
}

// The device manager over the real modules (the shared socket watched),
// against the emulator on loopback.
class UnicastChecksOnEmulator : public ::testing::Test
{
protected:
    void SetUp() override { g_Sock.Reset(); }
    void TearDown() override
    {
        m_ECM.Terminate();
        m_Emu.Stop();
        g_Sock.Reset();
    }
    // Plays the devices and starts the device manager on them, with the
    // definitions in the folder given (empty: the project's).
    void Start(const std::vector<EmuDevice>& devices, const std::string& strRootDir = "")
    {
        for (const EmuDevice& device : devices)
            m_Emu.AddDevice(device);
        std::string strError;
        ASSERT_TRUE(m_Emu.Start(&strError)) << strError;
        CVLECMPropertyMap map = Options({{"Initialize.RootDir", strRootDir}});
        ASSERT_EQ(VLECM_RESULT_SUCCESS,
                  m_ECM.Initialize(&m_Client, nullptr, nullptr, strRootDir.empty() ? nullptr : &map));
        CVLCMApi* pApi = m_ECM.GetApi();
        std::string strPort = std::to_string(m_Emu.Port());
        pApi->SetConst("toPort", strPort.c_str(), "VLMDSock", nullptr);
        pApi->SetConst("toAddress", "127.255.255.255", nullptr, "Probe.VLPC_Broadcast.UDP");
        for (int i = 1; i <= kLocalNetworkChildren; ++i)
            pApi->EnableInstance(("Probe.VLPC_LocalNetworkDBC_" + std::to_string(i)).c_str(), false);
    }
    // Probes, each found device's check with the time-out and tries given,
    // until nDevices are reported (each after its check); their records.
    std::vector<CVLECMNIFInfo*> ProbeFor(size_t nDevices, long nTimeout, int nTries = 1)
    {
        CVLECMPropertyMap options = Options({{"Option.Probe.SkipGetSupportInformation", "true"},
                                             {"Option.CheckUnicast.Timeout", std::to_string(nTimeout)},
                                             {"Option.CheckUnicast.Retry", std::to_string(nTries)}});
        std::vector<CVLECMNIFInfo*> records;
        EXPECT_EQ(VLECM_RESULT_SUCCESS, m_ECM.Probe(VLECM_PROBE_CONNECT_TYPE_ALL, &options));
        if (!m_Client.WaitFor("probe", nDevices))
            return records;
        m_ECM.StopProbe();
        Drain(m_ECM);
        for (const CRecordingClient::Event& event : m_Client.Events())
            records.push_back(event.pNIFInfo);
        return records;
    }

    // The directed-broadcast children of the probe in the definitions.
    static const int kLocalNetworkChildren = 5;
    // Each test takes a few seconds at most: a hang fails well before the test's time limit.
    CWatchdog m_Watchdog{30, "unicast checks against the emulator"};
    CModuleRegistration m_Registration{RegisterWatchedModules};
    CDeviceEmulator m_Emu{0};
    CRecordingClient m_Client;
    CVLECM m_ECM;
};

// The sends of a check that meet "host unreachable", and how it ends.
struct SUnreachableRow
{
    const char* szName;         // the row's name in the test's
    std::set<int> unreachable;  // the sends that meet it, from 1
    VLECM_RESULT eResult;
    int nSends;
};

class UnicastChecksUnreachable : public UnicastChecksOnEmulator, public ::testing::WithParamInterface<SUnreachableRow>
{
};

// The devices a probe finds, the first of them the one whose check is
// judged, and what ends that check: the device's own result (0: its reply)
// after the sends counted (of all the checks).
struct SAnswerRow
{
    const char* szCase;
    std::vector<EmuDevice> devices;
    long nDeviceResult;
    int nSends;
};

class UnicastChecksAnswers : public UnicastChecksOnEmulator, public ::testing::WithParamInterface<SAnswerRow>
{
};

// The device at 127.0.0.<nHost>, answering 100 ms late.
EmuDevice Late(int nHost)
{
    EmuDevice device = Device(nHost);
    device.nDelayMs = 100;
    return device;
}

// Another device at the same address, answering a check at once: the
// device's check with F004 (the request names the device), or every check
// with nResult and two bytes of data that name no device.
EmuDevice Beside(int nHost, uint16_t nResult = 0)
{
    EmuDevice device = Device(nHost);
    device.mac[4] = 0x7F;
    if (nResult != 0) {
        device.nDataErrorFunction = 0x5A02;
        device.nResult = nResult;
    }
    return device;
}

// A device that answers its check with another MAC address, or not at
// all, checked from the shared socket or, named, from one of its own.
struct SHeardRow
{
    const char* szCase;
    bool bNamed;
    bool bOtherMAC;
};

class UnicastChecksHeard : public UnicastChecksOnEmulator, public ::testing::WithParamInterface<SHeardRow>
{
};

}  // namespace

// Cancel waits while the thread works on the record: the thread's step
// (its request) is done when Cancel returns, and the record, destroyed
// right then, is never touched again (ASan and TSan see to that).
TEST_F(UnicastChecks, CancelWaitsForTheThreadToLetGoOfTheRecord)
{
    CWatchdog watchdog(120, "a check cancelled while the thread works on it");
    const char kMac[] = "0026AB000011";
    // No reply: the check is still there for Cancel to end.
    CFakeNetwork::SetAnswer(kMac, "CheckUnicast", EFakeAnswer::Block);
    SHold hold;
    CHeldRecord* pRecord = Check(kMac, kLongTimeout, &hold).release();
    hold.WaitHeld();

    std::mutex mutex;
    std::condition_variable cond;
    bool bReturned = false;
    bool bWasHere = false;
    int nSentWhenCancelled = -1;
    std::thread canceller([&] {
        bool bHere = m_Checks.Cancel(pRecord);
        int nSent = CFakeNetwork::RequestCount(kMac, "CheckUnicast");
        delete pRecord;
        std::lock_guard<std::mutex> lock(mutex);
        bWasHere = bHere;
        nSentWhenCancelled = nSent;
        bReturned = true;
        cond.notify_all();
    });
    {
        std::unique_lock<std::mutex> lock(mutex);
        cond.wait_for(lock, kCancelGrace, [&] { return bReturned; });
        EXPECT_FALSE(bReturned) << "Cancel returned while the thread worked on the record";
    }
    hold.Release();
    canceller.join();
    EXPECT_TRUE(bWasHere);
    EXPECT_EQ(1, nSentWhenCancelled);
    EXPECT_EQ(0, m_Checks.GetCount());
    // A cancelled check is stopped, which reports nothing.
    Drain(m_ECM);
    EXPECT_EQ(0u, m_Client.Count("CheckUnicast"));
}

// A stop on a quiet network cancels the check the thread works on: the
// checks parked beside it still end at their deadlines, not when some
// datagram happens to come (here none comes at all).
TEST_F(UnicastChecks, TheParkedChecksEndAtTheirDeadlinesWhenTheBusyOneIsCancelled)
{
    CWatchdog watchdog(120, "checks parked beside a cancelled one");
    const char* const kParked[] = {"0026AB000051", "0026AB000052", "0026AB000053"};
    const char kBusy[] = "0026AB000054";
    const auto kDeadline = std::chrono::milliseconds(1000);
    std::vector<std::unique_ptr<CHeldRecord>> parked;
    for (const char* szMac : kParked) {
        CFakeNetwork::SetAnswer(szMac, "CheckUnicast", EFakeAnswer::Block);
        parked.push_back(Check(szMac, std::to_string(kDeadline.count()).c_str()));
    }
    const auto sent = std::chrono::steady_clock::now();
    ASSERT_TRUE(Eventually([&] {
        return std::all_of(std::begin(kParked), std::end(kParked),
                           [](const char* szMac) { return CFakeNetwork::RequestCount(szMac, "CheckUnicast") == 1; });
    }));
    CFakeNetwork::SetAnswer(kBusy, "CheckUnicast", EFakeAnswer::Block);
    SHold hold;
    std::unique_ptr<CHeldRecord> pBusy = Check(kBusy, kLongTimeout, &hold);
    hold.WaitHeld();
    std::thread canceller([&] { EXPECT_TRUE(m_Checks.Cancel(pBusy.get())); });
    // Long enough for Cancel to wait for the thread, which it then lets go.
    std::this_thread::sleep_for(kCancelGrace);
    hold.Release();
    canceller.join();

    // Generous beside the deadline, so that only a check left waiting fails.
    const auto bound = sent + kDeadline + std::chrono::seconds(20);
    while (m_Checks.GetCount() > 0 && std::chrono::steady_clock::now() < bound)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_EQ(0, m_Checks.GetCount()) << "the parked checks waited past their deadlines";
    Drain(m_ECM);
    for (auto& pRecord : parked)
        EXPECT_EQ(VLECM_RESULT_TIMEOUT, pRecord->GetUnicastCheckResult());
}

// Several checks under way at once: the first reply ends its own check
// only, and each of the others still ends with its own result.
TEST_F(UnicastChecks, TheThreadGoesOnWithTheOtherChecksAfterAReply)
{
    CWatchdog watchdog(120, "checks after a reply");
    const char* const kAnswering[] = {"0026AB000021", "0026AB000022", "0026AB000023"};
    const char kDeaf[] = "0026AB000024";
    CFakeNetwork::SetAnswer(kDeaf, "CheckUnicast", EFakeAnswer::Block);
    // The thread is held on the first check until the others are there.
    SHold hold;
    std::vector<std::unique_ptr<CHeldRecord>> answering;
    answering.push_back(Check(kAnswering[0], kLongTimeout, &hold));
    hold.WaitHeld();
    answering.push_back(Check(kAnswering[1], kLongTimeout));
    answering.push_back(Check(kAnswering[2], kLongTimeout));
    std::unique_ptr<CHeldRecord> pDeaf = Check(kDeaf, "30", nullptr, "2");
    EXPECT_EQ(4, m_Checks.GetCount());
    hold.Release();

    ASSERT_TRUE(m_Client.WaitFor("CheckUnicast", 4));
    Drain(m_ECM);
    for (auto& pRecord : answering)
        EXPECT_EQ(VLECM_RESULT_SUCCESS, pRecord->GetUnicastCheckResult());
    EXPECT_EQ(VLECM_RESULT_TIMEOUT, pDeaf->GetUnicastCheckResult());
    EXPECT_EQ(2, CFakeNetwork::RequestCount(kDeaf, "CheckUnicast"));
    EXPECT_EQ(0, m_Checks.GetCount());
}

// The address the user named, or the MAC, is checked ahead of every check
// waiting: its steps come first, though the others began before it. The
// thread is held in the first check, then in the first waiting one it
// comes to: the named one ends in between.
TEST_F(UnicastChecks, TheNamedAddressIsCheckedAheadOfTheWaitingChecks)
{
    CWatchdog watchdog(120, "the named address's check");
    for (bool bByMAC : {false, true}) {
        SCOPED_TRACE(bByMAC ? "by MAC" : "by address");
        m_Checks.SetNamedAddress(CVLString(bByMAC ? "" : "10.9.0.7", 72));
        m_Checks.SetNamedMAC(CVLString(bByMAC ? "0026AB000039" : "", 72));
        const size_t nEventsBefore = m_Client.Events().size();
        SHold first, waiting;
        std::unique_ptr<CHeldRecord> pFirst = Check("0026AB000031", kLongTimeout, &first);
        first.WaitHeld();
        std::vector<std::unique_ptr<CHeldRecord>> others;
        others.push_back(Check("0026AB000032", kLongTimeout, &waiting));
        for (int i = 3; i < 9; ++i)
            others.push_back(Check(("0026AB00003" + std::to_string(i)).c_str(), kLongTimeout));
        std::unique_ptr<CHeldRecord> pNamed(new CHeldRecord(nullptr));
        // Let go however the test ends, before the records go (each waits for
        // the thread to let go of it).
        struct SLetGo
        {
            SHold& hold;
            ~SLetGo() { hold.Release(); }
        } letGo{waiting};
        {
            // Started as Check starts a record, with its address known.
            pNamed->SetApi(m_ECM.GetApi());
            pNamed->SetPropertyString("IPAddress", "10.9.0.7");
            pNamed->SetOwnerVLECMInstance(&m_ECM);
            pNamed->SetCheckRunner(&m_Checks);
            pNamed->SetMACAddress("0026AB000039");
            pNamed->SetPropertyString("MACAddress", "0026AB000039");
            CVLECMPropertyMap options;
            options[CVLString("Option.CheckUnicast.Timeout", 72)] = CVLString(kLongTimeout, 72);
            options[CVLString("Option.CheckUnicast.Retry", 72)] = CVLString("1", 72);
            ASSERT_EQ(VLECM_RESULT_SUCCESS, pNamed->StartCommandAsync(VLECM_COMMAND_CHECK_UNICAST,
                                                                      VLECM_CONNECT_TYPE_NETWORK, &options, &m_Client));
        }
        first.Release();
        // The first check may end (it was under way); the named one ends
        // before any that waited.
        auto ended = [&](const CVLECMNIFInfo* pRecord) {
            const std::vector<CRecordingClient::Event> events = m_Client.Events();
            for (size_t i = nEventsBefore; i < events.size(); ++i) {
                if (events[i].strWhat == "CheckUnicast" && events[i].pNIFInfo == pRecord)
                    return true;
            }
            return false;
        };
        ASSERT_TRUE(Eventually([&]() { return ended(pNamed.get()); }));
        EXPECT_EQ(VLECM_RESULT_SUCCESS, pNamed->GetUnicastCheckResult());
        for (const auto& pOther : others)
            EXPECT_FALSE(ended(pOther.get()));
        waiting.Release();
        ASSERT_TRUE(m_Client.WaitFor("CheckUnicast", nEventsBefore + 9));
        Drain(m_ECM);
    }
}

// A socket that the definitions keep from sharing tells the thread nothing
// of arrivals: the check looks at it in turn and ends with the device's
// reply, not at its time-out (after which a filtering probe would not list
// the device).
TEST_F(UnicastChecksOnEmulator, ACheckOnAnUnsharedSocketEndsWithTheReply)
{
    EmuDevice device = Device(3);
    Start({device});
    // Only a UDP unicast exchange shares: a broadcast one has its own socket.
    m_ECM.GetApi()->SetConst("castType", "broadcast", nullptr, "VLPC_Unicast.UDP");
    CVLECMPropertyMap options;
    options[CVLString("Option.Probe.SkipGetSupportInformation", 72)] = CVLString("true", 72);
    options[CVLString("Option.CheckUnicast.NonUnicastDeviceFiltering", 72)] = CVLString("true", 72);
    options[CVLString("Option.CheckUnicast.Timeout", 72)] = CVLString("20000", 72);
    options[CVLString("Option.CheckUnicast.Retry", 72)] = CVLString("1", 72);
    ASSERT_EQ(VLECM_RESULT_SUCCESS, m_ECM.Probe(VLECM_PROBE_CONNECT_TYPE_ALL, &options));
    ASSERT_TRUE(m_Client.WaitFor("probe", 1)) << "the check did not end with the device's reply";
    CVLECMNIFInfo* pRecord = m_ECM.FindNIFInfo(MacOf(device).c_str());
    ASSERT_NE(nullptr, pRecord);
    EXPECT_EQ(VLECM_RESULT_SUCCESS, pRecord->GetUnicastCheckResult());
    EXPECT_TRUE(pRecord->IsUnicast(VLECM_CONNECT_TYPE_NETWORK));
}

// What a probe says of the checks' losses is about that probe: datagrams
// dropped while one of its checks waited in vain count, and the next probe
// in the same process, quiet, counts none of them again, whether or not a
// check of its own goes unanswered.
TEST_F(UnicastChecks, TheLossesOfChecksAreCountedPerProbe)
{
    CWatchdog watchdog(120, "the checks' losses per probe");
    CVLECMPropertyMap options;
    options[CVLString("Option.Probe.SkipGetSupportInformation", 72)] = CVLString("true", 72);
    options[CVLString("Option.CheckUnicast.Timeout", 72)] = CVLString(kLongTimeout, 72);
    options[CVLString("Option.CheckUnicast.Retry", 72)] = CVLString("1", 72);
    CVLECMUnicastChecks& checks = m_ECM.GetProbeInstance().GetUnicastChecks();
    // A device whose check fails once the test lets it, with nothing heard.
    auto checkInVain = [&](const char* szMac, const char* szFrom, bool bFlood) {
        CFakeNetwork::SetAnswer(szMac, "CheckUnicast", EFakeAnswer::Block);
        ASSERT_EQ(VLECM_RESULT_SUCCESS, m_ECM.Probe(VLECM_PROBE_CONNECT_TYPE_ALL, &options));
        ASSERT_TRUE(CFakeNetwork::Reply(szMac, "", szFrom));
        ASSERT_TRUE(Eventually([&]() { return CFakeNetwork::RequestCount(szMac, "CheckUnicast") == 1; }));
        if (bFlood)
            CSharedSocketFlood flood;
        CFakeNetwork::SetAnswer(szMac, "CheckUnicast", EFakeAnswer::Unreachable);
        ASSERT_TRUE(Eventually([&]() { return checks.GetCount() == 0; }));
    };
    checkInVain("0026AB000031", "10.0.0.31", true);
    EXPECT_GT(m_ECM.GetUnicastCheckLostCount(), 0u);
    checkInVain("0026AB000032", "10.0.0.32", false);
    EXPECT_EQ(0u, m_ECM.GetUnicastCheckLostCount());
}

// An arrival costs the check one look: a check that went on looking after
// it would read every millisecond until its deadline.
TEST_F(UnicastChecksOnEmulator, AnArrivalCostsOneLook)
{
    // Deaf to the request, but an error reply comes from its address twice a second.
    EmuDevice device = Device(4, false);
    device.eHostile = EmuHostile::CheckErrors;
    device.nRate = 2;
    device.nResult = kErrorReply;
    Start({device});
    const long kTimeout = 2000;
    std::vector<CVLECMNIFInfo*> records = ProbeFor(1, kTimeout);
    ASSERT_EQ(1u, records.size());
    // The error reply came: it is the answer at the try's end.
    EXPECT_EQ(kErrorReply, records[0]->GetUnicastCheckDeviceResult());
    EXPECT_LT(g_Sock.Reads(), kTimeout / 4);
}

// A flooded check still ends, with the error heard, instead of looking as
// long as the flood lasts.
TEST_F(UnicastChecksOnEmulator, AFloodDoesNotKeepACheckFromItsEnd)
{
    EmuDevice device = Device(5);
    Flood(device);
    Start({device});
    std::vector<CVLECMNIFInfo*> records = ProbeFor(1, 500);
    ASSERT_EQ(1u, records.size()) << "the check did not end";
    EXPECT_EQ(kErrorReply, records[0]->GetUnicastCheckDeviceResult());
}

// Stopping the probe cancels a flooded check between two of its looks,
// not at the check's end.
TEST_F(UnicastChecksOnEmulator, AFloodedCheckIsCancelledBetweenItsLooks)
{
    EmuDevice device = Device(5);
    Flood(device);
    Start({device});
    CVLECMPropertyMap options =
        Options({{"Option.Probe.SkipGetSupportInformation", "true"}, {"Option.CheckUnicast.Timeout", kLongTimeout}});
    ASSERT_EQ(VLECM_RESULT_SUCCESS, m_ECM.Probe(VLECM_PROBE_CONNECT_TYPE_ALL, &options));
    // The flood is under way.
    g_Sock.WaitQueued(kFloodQueued);
    m_ECM.StopProbe();
    m_ECM.RemoveAllNIFInfo();
    EXPECT_EQ(0u, m_Client.Count("probe"));
}

// A device below the version of the check's packet format is not asked:
// the check passes at once, with nothing sent, instead of waiting out its
// time-out.
TEST_F(UnicastChecksOnEmulator, ACheckTheDefinitionsPassOverEndsAtOnce)
{
    CDefinitionsCopy definitions("<PacketFormat deviceType=\"2B\" function=\"5A02\">",
                                 "<PacketFormat deviceType=\"2B\" function=\"5A02\" version=\"3\">");
    ASSERT_TRUE(definitions.IsReplaced());
    EmuDevice device = Device(6);
    device.cVersion = '2';
    Start({device}, definitions.Folder());
    std::vector<CVLECMNIFInfo*> records = ProbeFor(1, std::stol(kLongTimeout));
    ASSERT_EQ(1u, records.size()) << "the check waited for its time-out";
    EXPECT_EQ(VLECM_RESULT_SUCCESS, records[0]->GetUnicastCheckResult());
    EXPECT_EQ(0, g_Sock.Writes());
}

// The thread comes to a check after its try's deadline (held by another
// check's send) while the device's reply waits in the queue: the reply is
// judged before the try is over, and the check passes.
TEST_F(UnicastChecksOnEmulator, AReplyQueuedByTheDeadlineCountsWhenTheThreadComesLate)
{
    EmuDevice answering = Device(3);
    EmuDevice first = Device(4, false);
    EmuDevice late = Device(5, false);
    Start({answering, first, late});
    std::vector<CVLECMNIFInfo*> records = ProbeFor(3, 200);
    ASSERT_EQ(3u, records.size());
    CVLECMNIFInfo* pAnswering = m_ECM.FindNIFInfo(MacOf(answering).c_str());
    CVLECMNIFInfo* pFirst = m_ECM.FindNIFInfo(MacOf(first).c_str());
    CVLECMNIFInfo* pLate = m_ECM.FindNIFInfo(MacOf(late).c_str());
    ASSERT_TRUE(pAnswering != nullptr && pFirst != nullptr && pLate != nullptr);

    // The first check's send holds the thread until the others are there;
    // then the answering device's request goes, and the late check's send
    // holds the thread again.
    g_Sock.Reset();
    SHold holdFirst;
    SHold holdLate;
    {
        std::lock_guard<std::mutex> lock(g_Sock.mutex);
        g_Sock.holds[1] = &holdFirst;
        g_Sock.holds[3] = &holdLate;
    }
    const long kTimeout = 100;
    CVLECMPropertyMap longCheck = Options({{"Option.CheckUnicast.Timeout", kLongTimeout}});
    CVLECMPropertyMap shortCheck =
        Options({{"Option.CheckUnicast.Timeout", std::to_string(kTimeout)}, {"Option.CheckUnicast.Retry", "1"}});
    ASSERT_EQ(VLECM_RESULT_SUCCESS, pFirst->CheckUnicast(VLECM_CONNECT_TYPE_NETWORK, &longCheck));
    holdFirst.WaitHeld();
    ASSERT_EQ(VLECM_RESULT_SUCCESS, pAnswering->CheckUnicast(VLECM_CONNECT_TYPE_NETWORK, &shortCheck));
    ASSERT_EQ(VLECM_RESULT_SUCCESS, pLate->CheckUnicast(VLECM_CONNECT_TYPE_NETWORK, &longCheck));
    holdFirst.Release();
    holdLate.WaitHeld();
    // The reply is queued, and the try's deadline, set before the hold, has passed.
    g_Sock.WaitQueued(1);
    std::this_thread::sleep_for(std::chrono::milliseconds(kTimeout));
    holdLate.Release();

    // Its end, the first (the others wait for an hour).
    ASSERT_TRUE(m_Client.WaitFor("CheckUnicast", 1));
    EXPECT_EQ(VLECM_RESULT_SUCCESS, pAnswering->GetUnicastCheckResult());
}

// A send that finds the shared send buffer full (requests to absent
// addresses fill it) goes again in turn until there is room: the check
// then ends with the device's reply. One that finds it full for longer
// than its check's whole time fails.
TEST_F(UnicastChecksOnEmulator, ASendThatFindsTheBufferFullGoesAgainInTurn)
{
    Start({Device(5)});
    {
        std::lock_guard<std::mutex> lock(g_Sock.mutex);
        g_Sock.full = {1, 2, 3};
    }
    std::vector<CVLECMNIFInfo*> records = ProbeFor(1, 3000);
    ASSERT_EQ(1u, records.size());
    EXPECT_EQ(VLECM_RESULT_SUCCESS, records[0]->GetUnicastCheckResult());
    EXPECT_EQ(4, g_Sock.Writes());
}

TEST_F(UnicastChecksOnEmulator, ASendThatFindsTheBufferFullForTheChecksWholeTimeFails)
{
    Start({Device(6)});
    {
        std::lock_guard<std::mutex> lock(g_Sock.mutex);
        g_Sock.nFullFrom = 1;
    }
    std::vector<CVLECMNIFInfo*> records = ProbeFor(1, 100, 2);
    ASSERT_EQ(1u, records.size());
    EXPECT_EQ(VLECM_RESULT_COMMUNICATION_ERROR, records[0]->GetUnicastCheckResult());
    EXPECT_GT(g_Sock.Writes(), 1);
}

// The wait for room counts against the check's whole time once: a later
// try's send that finds the buffer full after that time fails at once
// instead of waiting anew (each send waiting its own whole time, a check
// lasted several times its own).
TEST_F(UnicastChecksOnEmulator, TheWaitForRoomIsBoundedOncePerCheck)
{
    Start({Device(7, false)});
    const long kTimeout = 100;
    const int kTries = 3;
    SHold held;
    {
        std::lock_guard<std::mutex> lock(g_Sock.mutex);
        g_Sock.full = {1};
        g_Sock.holds[2] = &held;
        g_Sock.nFullFrom = 3;
    }
    // The check's whole time passes while the send that found room is held.
    std::thread releaser([&]() {
        held.WaitHeld();
        std::this_thread::sleep_for(std::chrono::milliseconds(kTimeout * kTries));
        held.Release();
    });
    std::vector<CVLECMNIFInfo*> records = ProbeFor(1, kTimeout, kTries);
    releaser.join();
    ASSERT_EQ(1u, records.size());
    EXPECT_EQ(VLECM_RESULT_COMMUNICATION_ERROR, records[0]->GetUnicastCheckResult());
    EXPECT_EQ(3, g_Sock.Writes());
}

// The address the user names is checked from a socket of its own: the
// shared send buffer being full holds its check up not at all.
TEST_F(UnicastChecksOnEmulator, TheNamedAddressIsCheckedFromItsOwnSocketWhileTheSharedBufferIsFull)
{
    const EmuDevice named = Device(8);
    Start({named});
    m_ECM.SetNamedAddress(named.strIP.c_str());
    {
        std::lock_guard<std::mutex> lock(g_Sock.mutex);
        g_Sock.nFullFrom = 1;
    }
    std::vector<CVLECMNIFInfo*> records = ProbeFor(1, 100);
    ASSERT_EQ(1u, records.size());
    EXPECT_EQ(VLECM_RESULT_SUCCESS, records[0]->GetUnicastCheckResult());
    EXPECT_EQ(0, g_Sock.Writes());
}

// A send that meets "host unreachable" goes again after a pause, as often
// as the definitions allow for each send (here two sends in all): by their
// count from the first send on, and anew in each try.
TEST_P(UnicastChecksUnreachable, EachSendGetsTheDefinedSends)
{
    const SUnreachableRow& row = GetParam();
    Start({Device(4, false)});
    CVLCMApi* pApi = m_ECM.GetApi();
    pApi->SetConst("Error_65_RetryCount", "2", "VLMDSock", nullptr);
    pApi->SetConst("Error_65_RetryInterval", "1", "VLMDSock", nullptr);
    {
        std::lock_guard<std::mutex> lock(g_Sock.mutex);
        g_Sock.unreachable = row.unreachable;
    }
    std::vector<CVLECMNIFInfo*> records = ProbeFor(1, 200, 2);
    ASSERT_EQ(1u, records.size());
    EXPECT_EQ(row.eResult, records[0]->GetUnicastCheckResult());
    EXPECT_EQ(row.nSends, g_Sock.Writes());
}

INSTANTIATE_TEST_SUITE_P(Rows, UnicastChecksUnreachable,
                         ::testing::Values(
                             // Both sends of the first try: the check fails.
                             SUnreachableRow{"BothSendsOfTheFirstTry", {1, 2}, VLECM_RESULT_COMMUNICATION_ERROR, 2},
                             // The first send of each try: each try sends again, and times out.
                             SUnreachableRow{"TheFirstSendOfEachTry", {1, 3}, VLECM_RESULT_TIMEOUT, 4}),
                         [](const ::testing::TestParamInfo<SUnreachableRow>& info) { return info.param.szName; });

// An error heard in a try does not end a check at once: the device's own
// reply after it wins; the error ends the check when no such reply came by
// the try's end, with no further try.
TEST_P(UnicastChecksAnswers, AnErrorCountsOnlyWhenTheTryEndsWithoutTheDevicesReply)
{
    const SAnswerRow& row = GetParam();
    Start(row.devices);
    ASSERT_EQ(row.devices.size(), ProbeFor(row.devices.size(), 2000, 2).size());
    CVLECMNIFInfo* pRecord = m_ECM.FindNIFInfo(MacOf(row.devices[0]).c_str());
    ASSERT_NE(nullptr, pRecord);
    EXPECT_EQ(row.nDeviceResult == 0 ? VLECM_RESULT_SUCCESS : VLECM_RESULT_DEVICE_ERROR,
              pRecord->GetUnicastCheckResult());
    EXPECT_EQ(row.nDeviceResult, pRecord->GetUnicastCheckDeviceResult());
    EXPECT_EQ(row.nSends, g_Sock.Writes());
}

INSTANTIATE_TEST_SUITE_P(
    Rows, UnicastChecksAnswers,
    ::testing::Values(SAnswerRow{"AnErrorThenTheReply", {Late(3), Beside(3)}, 0, 2},
                      SAnswerRow{"AnErrorWithDataThenTheReply", {Late(3), Beside(3, 0x1234)}, 0, 2},
                      SAnswerRow{"AnErrorAlone", {Beside(4, 0xF001)}, 0xF001, 1}),
    [](const ::testing::TestParamInfo<SAnswerRow>& info) { return std::string(info.param.szCase); });

// What came from a device's address is told the same whichever socket its
// check read from: a reply with another MAC address is an answer, though
// not the device's (the check times out), and silence is none.
TEST_P(UnicastChecksHeard, WhatCameIsToldAlikeFromEitherSocket)
{
    const SHeardRow& row = GetParam();
    EmuDevice device = Device(9, row.bOtherMAC);
    if (row.bOtherMAC)
        device.eHostile = EmuHostile::SpoofMac;
    Start({device});
    if (row.bNamed)
        m_ECM.SetNamedAddress(device.strIP.c_str());
    std::vector<CVLECMNIFInfo*> records = ProbeFor(1, 1000);
    ASSERT_EQ(1u, records.size());
    EXPECT_EQ(VLECM_RESULT_TIMEOUT, records[0]->GetUnicastCheckResult());
    EXPECT_EQ(row.bOtherMAC, records[0]->IsUnicastCheckAnsweredOtherwise());
    // The socket it read from: the named address's sends none on the shared one.
    EXPECT_EQ(row.bNamed ? 0 : 1, g_Sock.Writes());
}

INSTANTIATE_TEST_SUITE_P(Rows, UnicastChecksHeard,
                         ::testing::Values(SHeardRow{"AnotherMACOnTheSharedSocket", false, true},
                                           SHeardRow{"AnotherMACOnTheNamedSocket", true, true},
                                           SHeardRow{"SilenceOnTheSharedSocket", false, false},
                                           SHeardRow{"SilenceOnTheNamedSocket", true, false}),
                         [](const ::testing::TestParamInfo<SHeardRow>& info) { return std::string(info.param.szCase); });
