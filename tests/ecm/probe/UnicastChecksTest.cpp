// The unicast-check thread's contracts: a cancel waits while the thread
// works on the record and leaves it untouched after; a socket that cannot
// share is looked at until its reply comes; one check's end does not end
// the others.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "cm/VLCMApi.h"
#include "ecm/VLECM.h"
#include "ecm/probe/VLECMUnicastChecks.h"
#include "ecm/record/VLECMNIFInfo.h"
#include "modules/VLModuleLibraries.h"
#include "modules/sock/VLSock.h"
#include "modules/sock/VLSockShared.h"
#include "tests/support/Watchdog.h"
#include "tests/support/cm/ModuleRegistration.h"
#include "tests/support/ecm/ECMTestClient.h"
#include "tests/support/ecm/FakeNetwork.h"
#include "tests/support/emulator/DeviceEmulator.h"

namespace {
// Long enough that a try never ends before its reply is looked at.
const char kLongTimeout[] = "3600000";
// How long a Cancel that does not wait is given to return while the thread
// is held: it would return at once.
const auto kCancelGrace = std::chrono::milliseconds(200);

// Holds the first thread that reads the record's options (the check thread,
// making the check's request) until released: the thread is then working on
// the record, without the checks' lock.
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

// Makes a shared socket of its own drop datagrams: its thread is held in
// the first arrival while a peer on loopback sends it far more than its
// buffer (2 MiB at most) holds. The drops count in the shared sockets'
// total (CVLSockShared::GetDropCount), as a check's socket's would.
class CSharedSocketFlood : public IVLSockArrivalListener
{
public:
    CSharedSocketFlood()
    {
        m_Sock.SetArrivalListener(this);
        m_pShared = CVLSockShared::Attach(&m_Sock, CVLString("127.0.0.1", 72));
        m_nPeer = socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in peer{};
        peer.sin_family = AF_INET;
        peer.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t nLength = sizeof(peer);
        bind(m_nPeer, reinterpret_cast<sockaddr*>(&peer), sizeof(peer));
        getsockname(m_nPeer, reinterpret_cast<sockaddr*>(&peer), &nLength);
        CVLSocketAddress peerAddress(VLMDSOCK_PROTOCOL_UDP, "127.0.0.1", ntohs(peer.sin_port));
        m_pShared->SetDestination(&m_Sock, peerAddress);
        // The peer learns the shared socket's port from a request.
        m_pShared->GetSocket()->SendTo("request", 7, peerAddress);
        char buffer[16];
        sockaddr_in shared{};
        nLength = sizeof(shared);
        recvfrom(m_nPeer, buffer, sizeof(buffer), 0, reinterpret_cast<sockaddr*>(&shared), &nLength);
        sendto(m_nPeer, "answer", 6, 0, reinterpret_cast<sockaddr*>(&shared), sizeof(shared));
        {
            std::unique_lock<std::mutex> lock(m_Mutex);
            m_Cond.wait(lock, [this]() { return m_bEntered; });
        }
        for (int i = 0; i < kFlood; ++i)
            sendto(m_nPeer, "", 0, 0, reinterpret_cast<sockaddr*>(&shared), sizeof(shared));
    }
    ~CSharedSocketFlood()
    {
        {
            std::lock_guard<std::mutex> lock(m_Mutex);
            m_bReleased = true;
            m_Cond.notify_all();
        }
        CVLSockShared::Detach(m_pShared, &m_Sock);
        close(m_nPeer);
    }
    void OnSockArrival(CVLSock*) override
    {
        std::unique_lock<std::mutex> lock(m_Mutex);
        m_bEntered = true;
        m_Cond.notify_all();
        m_Cond.wait(lock, [this]() { return m_bReleased; });
    }

private:
    static const int kFlood = 20000;
    CVLSock m_Sock;
    CVLSockShared* m_pShared = nullptr;
    int m_nPeer = -1;
    std::mutex m_Mutex;
    std::condition_variable m_Cond;
    bool m_bEntered = false;
    bool m_bReleased = false;
};

// Waits until the condition holds (the watchdog ends a test that waits in vain).
template <typename TCondition>
bool Eventually(TCondition condition)
{
    for (int i = 0; i < 4000 && !condition(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return condition();
}

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

// The device manager over the real modules, against the emulator on loopback.
class UnicastChecksOnEmulator : public ::testing::Test
{
protected:
    void SetUp() override
    {
        EmuDevice device;
        device.strIP = "127.0.0.3";
        m_Emu.AddDevice(device);
        std::string strError;
        ASSERT_TRUE(m_Emu.Start(&strError)) << strError;
        ASSERT_EQ(VLECM_RESULT_SUCCESS, m_ECM.Initialize(&m_Client, nullptr, nullptr, nullptr));
        CVLCMApi* pApi = m_ECM.GetApi();
        std::string strPort = std::to_string(m_Emu.Port());
        pApi->SetConst("toPort", strPort.c_str(), "VLMDSock", nullptr);
        pApi->SetConst("toAddress", "127.255.255.255", nullptr, "Probe.VLPC_Broadcast.UDP");
        for (int i = 1; i <= kLocalNetworkChildren; ++i)
            pApi->EnableInstance(("Probe.VLPC_LocalNetworkDBC_" + std::to_string(i)).c_str(), false);
    }
    void TearDown() override
    {
        m_ECM.Terminate();
        m_Emu.Stop();
    }

    // The directed-broadcast children of the probe in the definitions.
    static const int kLocalNetworkChildren = 5;
    CModuleRegistration m_Registration{VLRegisterModuleLibraries};
    CDeviceEmulator m_Emu{0};
    CRecordingClient m_Client;
    CVLECM m_ECM;
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

// A socket that the definitions keep from sharing tells the thread nothing
// of arrivals: the check looks at it in turn and ends with the device's
// reply, not at its time-out (after which a filtering probe would not list
// the device).
TEST_F(UnicastChecksOnEmulator, ACheckOnAnUnsharedSocketEndsWithTheReply)
{
    CWatchdog watchdog(120, "a check on an unshared socket");
    // Only a UDP unicast exchange shares: a broadcast one has its own socket.
    m_ECM.GetApi()->SetConst("castType", "broadcast", nullptr, "VLPC_Unicast.UDP");
    CVLECMPropertyMap options;
    options[CVLString("Option.Probe.SkipGetSupportInformation", 72)] = CVLString("true", 72);
    options[CVLString("Option.CheckUnicast.NonUnicastDeviceFiltering", 72)] = CVLString("true", 72);
    options[CVLString("Option.CheckUnicast.Timeout", 72)] = CVLString("20000", 72);
    options[CVLString("Option.CheckUnicast.Retry", 72)] = CVLString("1", 72);
    ASSERT_EQ(VLECM_RESULT_SUCCESS, m_ECM.Probe(VLECM_PROBE_CONNECT_TYPE_ALL, &options));
    ASSERT_TRUE(m_Client.WaitFor("probe", 1)) << "the check did not end with the device's reply";
    CVLECMNIFInfo* pRecord = m_ECM.FindNIFInfo("0026AB000001");
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
