// How long a session's probe waits, and what it counts, with fake modules in
// place of the network (the replies are played into the running probe): a
// time-out shorter than the send schedule, a probe for one MAC, the quiet
// second, a device judged but not handed on, and the MACs that answered at
// an address.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "app/VLNetSession.h"
#include "ecm/VLECM.h"
#include "pfw/VLPFWNIFInfo.h"
#include "tests/support/Eventually.h"
#include "tests/support/Watchdog.h"
#include "tests/support/ecm/FakeNetwork.h"

namespace {
using Clock = std::chrono::steady_clock;

// The send schedule of the project's definitions: two re-sends 700 ms
// apart, each after the receive's 100 ms pause, and 300 ms for the last
// replies.
const long kScheduleMilliseconds = 2 * (700 + 100) + 300;

long MillisecondsSince(Clock::time_point start)
{
    return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
}

// Runs fnPlay on a thread of its own once the session's probe runs, while
// the probe runs on the caller's thread.
class CPlayer
{
public:
    explicit CPlayer(std::function<void()> fnPlay)
        : m_Thread([this, fnPlay]() {
              m_bStarted = Eventually([]() { return CFakeNetwork::IsProbeRunning(); });
              if (m_bStarted)
                  fnPlay();
          })
    {
    }
    ~CPlayer() { Join(); }
    // True when the probe ran for the player.
    bool Join()
    {
        if (m_Thread.joinable())
            m_Thread.join();
        return m_bStarted;
    }

private:
    std::atomic<bool> m_bStarted{false};
    std::thread m_Thread;
};

class VLNetWaits : public ::testing::Test
{
protected:
    void SetUp() override { Initialize(m_Session); }
    void TearDown() override { m_Session.Terminate(); }

    static void Initialize(CVLNetSession& session)
    {
        const char* szBin = getenv("VL_TEST_BIN_DIR");
        ASSERT_NE(nullptr, szBin) << "VL_TEST_BIN_DIR names the build's bin folder";
        std::string strError;
        ASSERT_EQ(VLPFW_RESULT_SUCCESS, session.Initialize(std::string(szBin) + "/../share/vlnet", strError))
            << strError;
        // A check that gets no answer waits as long as a test needs.
        ASSERT_TRUE(session.GetVLECM().SetProperty("Option.CheckUnicast.Timeout", "3600000"));
        ASSERT_TRUE(session.GetVLECM().SetProperty("Option.CheckUnicast.Retry", "0"));
    }

    CFakeNetwork m_Network;
    CVLNetSession m_Session;
};

const char kDevice[] = "00:26:AB:0E:00:01";
const char kOther[] = "00:26:AB:0E:00:02";
}  // namespace

// A device looked for by its MAC answers at once; the time-out (1 s) is
// shorter than the send schedule: the search still waits for the schedule
// (another address may answer for the MAC) and finds it, not cut.
TEST_F(VLNetWaits, ATimeoutShorterThanTheSendScheduleStillWaitsForIt)
{
    CWatchdog watchdog(60, "VLNetWaits");
    CPlayer player([]() { CFakeNetwork::Reply(kDevice, "", "10.8.10.1"); });
    const Clock::time_point start = Clock::now();
    ASSERT_EQ(VLPFW_RESULT_SUCCESS, m_Session.Probe(1, false, "", kDevice, "", nullptr));
    const long nTook = MillisecondsSince(start);
    ASSERT_TRUE(player.Join());
    EXPECT_FALSE(m_Session.IsTimedOut());
    ASSERT_NE(nullptr, m_Session.GetFoundNIFInfo());
    EXPECT_GE(nTook, kScheduleMilliseconds);
}

// probe --mac: another MAC whose check never ends does not hold the probe;
// it ends once the MAC asked for is judged, well before the time-out.
TEST_F(VLNetWaits, AProbeForOneMACWaitsForNoOtherMAC)
{
    CWatchdog watchdog(90, "VLNetWaits");
    CFakeNetwork::SetAnswer(kOther, "CheckUnicast", EFakeAnswer::Block);
    CPlayer player([]() {
        CFakeNetwork::Reply(kOther, "", "10.8.11.2");
        CFakeNetwork::Reply(kDevice, "", "10.8.11.1");
    });
    ASSERT_EQ(VLPFW_RESULT_SUCCESS, m_Session.Probe(30, false, kDevice, "", "", nullptr));
    ASSERT_TRUE(player.Join());
    EXPECT_FALSE(m_Session.IsTimedOut());
    EXPECT_EQ(std::vector<std::string>{kDevice}, m_Session.GetListedMACs());
}

// A probe that ends by itself waits a quiet second after its last change:
// a device whose check ends after the send schedule is listed, and the
// probe ends no sooner than a second after that.
TEST_F(VLNetWaits, AProbeEndsAQuietSecondAfterItsLastChange)
{
    CWatchdog watchdog(60, "VLNetWaits");
    CFakeNetwork::SetAnswer(kDevice, "CheckUnicast", EFakeAnswer::Block);
    Clock::time_point released;
    const Clock::time_point start = Clock::now();
    CPlayer player([&released, start]() {
        CFakeNetwork::Reply(kDevice, "", "10.8.12.1");
        while (MillisecondsSince(start) < kScheduleMilliseconds + 500)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        released = Clock::now();
        CFakeNetwork::SetAnswer(kDevice, "CheckUnicast", EFakeAnswer::Success);
    });
    ASSERT_EQ(VLPFW_RESULT_SUCCESS, m_Session.Probe(30, false, "", "", "", nullptr));
    const Clock::time_point ended = Clock::now();
    ASSERT_TRUE(player.Join());
    EXPECT_FALSE(m_Session.IsTimedOut());
    EXPECT_EQ(std::vector<std::string>{kDevice}, m_Session.GetListedMACs());
    // The device's report came after the release: the probe's last change.
    EXPECT_GE(std::chrono::duration_cast<std::chrono::milliseconds>(ended - released).count(), 900);
}

// The device looked for is judged at once, but its hand-on never reaches
// the session (the device manager's reports are switched off): the search
// is not over at the verdict, the device not being handed on; it runs to
// its time-out.
TEST_F(VLNetWaits, ASearchIsOverAtTheHandOnNotAtTheVerdict)
{
    CWatchdog watchdog(60, "VLNetWaits");
    CVLECM& ecm = m_Session.GetVLECM();
    CPlayer player([&ecm]() {
        ecm.SetCallbackNotification(false);
        CFakeNetwork::Reply(kDevice, "", "10.8.13.1");
    });
    const int kTimeoutSeconds = 4;
    ASSERT_GT(kTimeoutSeconds * 1000, kScheduleMilliseconds);
    ASSERT_EQ(VLPFW_RESULT_SUCCESS, m_Session.Probe(kTimeoutSeconds, false, "", kDevice, "", nullptr));
    ASSERT_TRUE(player.Join());
    EXPECT_EQ(CVLNetSession::VERDICT_ONE, m_Session.GetVerdict(kDevice));
    EXPECT_TRUE(m_Session.IsTimedOut());
    EXPECT_EQ(nullptr, m_Session.GetFoundNIFInfo());
}

// Two MACs answered the probe from one address; only one answered its
// unicast check there: it alone answers at that address, and the address
// is shared by none.
TEST_F(VLNetWaits, AMACAnswersAtAnAddressOnlyWhereItAnsweredUnicast)
{
    CWatchdog watchdog(60, "VLNetWaits");
    const char kShared[] = "10.8.14.1";
    CFakeNetwork::SetAnswerAt(kOther, kShared, "CheckUnicast", EFakeAnswer::DeviceError);
    CPlayer player([&kShared]() {
        CFakeNetwork::Reply(kDevice, "", kShared);
        CFakeNetwork::Reply(kOther, "", kShared);
    });
    ASSERT_EQ(VLPFW_RESULT_SUCCESS, m_Session.Probe(30, false, "", "", "", nullptr));
    ASSERT_TRUE(player.Join());
    EXPECT_EQ(CVLNetSession::VERDICT_NONE, m_Session.GetVerdict(kOther));
    EXPECT_EQ(std::vector<std::string>{kDevice}, m_Session.GetMACsAnsweringAt(kShared));
    EXPECT_TRUE(m_Session.GetSharedAddresses().empty());
}

// A device looked for by its MAC answers its unicast check with an error
// alone, from an address on none of this computer's networks, or not at
// all: a new address of the MAC may answer in a later round, so the search
// says what it heard at once (GetSearch) and goes on until its time-out,
// which then names the probe's reason, as probe --mac told to listen does;
// another MAC's device, which the search removes, still counts as answered. By its address alike: a MAC
// there failed its check; a bound refused one, filled by MACs forged from
// the address, its ask unanswered; two hosts answered the ask.
TEST_F(VLNetWaits, ASearchLooksOnPastWhatCannotPassIt)
{
    CWatchdog watchdog(120, "VLNetWaits");
    const struct
    {
        EFakeAnswer eCheck;
        const char* szAddress;
        const char* szReason;
    } cases[] = {
        {EFakeAnswer::DeviceError, "192.0.2.15", "unicast check failed"},
        // A check the send guard stopped names the list and the request.
        {EFakeAnswer::Refused, "192.0.2.17",
         "unicast check failed: the packet list \"CheckUnicast\" sends the request 2B 5A22 \"I\", which this call "
         "may not send: refused before it was sent"},
        {EFakeAnswer::Timeout, "10.8.15.1", "its address 10.8.15.1 is on none of this computer's networks"},
        {EFakeAnswer::Timeout, "192.0.2.16", ""},
    };
    // A check that gets no answer ends soon.
    ASSERT_TRUE(m_Session.GetVLECM().SetProperty("Option.CheckUnicast.Timeout", "300"));
    const int kTimeoutSeconds = 4;
    for (const auto& entry : cases) {
        SCOPED_TRACE(entry.szAddress);
        CFakeNetwork::SetAnswer(kDevice, "CheckUnicast", entry.eCheck);
        CPlayer player([&entry]() {
            CFakeNetwork::Reply(kOther, "", "192.0.2.14");
            CFakeNetwork::Reply(kDevice, "", entry.szAddress);
        });
        ASSERT_EQ(VLPFW_RESULT_SUCCESS, m_Session.Probe(kTimeoutSeconds, false, kDevice, kDevice, "", nullptr));
        ASSERT_TRUE(player.Join());
        EXPECT_EQ(2, m_Session.GetAnsweredCount());
        EXPECT_TRUE(m_Session.IsTimedOut());
        EXPECT_EQ(CVLNetSession::SEARCH_UNUSABLE, m_Session.GetSearch());
        EXPECT_EQ(nullptr, m_Session.GetFoundNIFInfo());
        EXPECT_TRUE(m_Session.IsFoundNotUnicast());
        EXPECT_EQ(0u, m_Session.GetNotUnicastReason().find(entry.szReason)) << m_Session.GetNotUnicastReason();
        // probe --mac told to listen looks on as long.
        CPlayer listened([&entry]() { CFakeNetwork::Reply(kDevice, "", entry.szAddress); });
        ASSERT_EQ(VLPFW_RESULT_SUCCESS, m_Session.Probe(kTimeoutSeconds, true, kDevice, "", "", nullptr));
        ASSERT_TRUE(listened.Join());
        EXPECT_TRUE(m_Session.IsTimedOut());
    }
    const std::string strIP = "192.0.2.17";
    auto forged = [](int n) { return "00:26:AB:0E:01:0" + std::to_string(n); };
    // One more than the device manager keeps from one source (4).
    const int nForged = 5;
    for (int nCase = 0; nCase < 3; ++nCase) {
        SCOPED_TRACE(nCase);
        for (int i = 0; i <= nForged; ++i)
            CFakeNetwork::SetAnswer(forged(i), "CheckUnicast", EFakeAnswer::DeviceError);
        if (nCase == 2)
            CFakeNetwork::SetAnswerMAC(strIP, forged(0) + "," + forged(nForged));
        CPlayer player([&]() {
            for (int i = 0; i < (nCase == 0 ? 1 : nForged); ++i)
                CFakeNetwork::Reply(forged(i), "", strIP);
        });
        ASSERT_EQ(VLPFW_RESULT_SUCCESS, m_Session.Probe(kTimeoutSeconds, false, "", "", strIP, nullptr));
        ASSERT_TRUE(player.Join());
        EXPECT_TRUE(m_Session.IsTimedOut());
        EXPECT_EQ(nullptr, m_Session.GetFoundNIFInfo());
        EXPECT_EQ(nCase == 1, !m_Session.GetRefusal().empty()) << m_Session.GetRefusal();
        EXPECT_EQ(nCase == 2 ? forged(0) + " and " + forged(nForged) : "", m_Session.GetTwoHosts());
    }
}

// The status line's counts while the probe waits: one address in its
// unicast check, another past it and waiting for its commands, each
// counted once and where it stands.
TEST_F(VLNetWaits, TheWaitCountsSayWhereEachAddressStands)
{
    CWatchdog watchdog(60, "VLNetWaits");
    CFakeNetwork::SetAnswer(kDevice, "CheckUnicast", EFakeAnswer::Block);
    CFakeNetwork::SetAnswer(kOther, "GetListInfo", EFakeAnswer::Block);
    std::atomic<bool> bCounted{false};
    CPlayer player([this, &bCounted]() {
        CFakeNetwork::Reply(kDevice, "", "10.8.16.1");
        CFakeNetwork::Reply(kOther, "", "10.8.16.2");
        // Both stand where they stay: the check sent, the commands begun.
        bCounted = Eventually([]() {
                       return CFakeNetwork::RequestCount(kDevice, "CheckUnicast") > 0 &&
                              CFakeNetwork::RequestCount(kOther, "GetListInfo") > 0;
                   }) &&
                   Eventually([this]() {
                       int nChecking = 0, nCommands = 0;
                       m_Session.GetWaitCounts(nChecking, nCommands);
                       return nChecking == 1 && nCommands == 1;
                   });
    });
    // Neither ends: the time-out ends the probe.
    const int kTimeoutSeconds = 5;
    ASSERT_EQ(VLPFW_RESULT_SUCCESS, m_Session.Probe(kTimeoutSeconds, false, "", "", "", nullptr));
    ASSERT_TRUE(player.Join());
    EXPECT_TRUE(bCounted);
}

// Commands that cannot start for want of descriptors wait to the time-out,
// and the probe's end says what the computer lacked and the limit to raise,
// for the count and for the device.
TEST_F(VLNetWaits, ATimeOutSaysWhatTheComputerLacked)
{
    CWatchdog watchdog(60, "VLNetWaits");
    CFakeNetwork::SetAnswer(kDevice, "GetListInfo", EFakeAnswer::NoDescriptor);
    CPlayer player([]() { CFakeNetwork::Reply(kDevice, "", "10.8.17.1"); });
    ASSERT_EQ(VLPFW_RESULT_SUCCESS, m_Session.Probe(3, false, "", "", "", nullptr));
    ASSERT_TRUE(player.Join());
    EXPECT_TRUE(m_Session.IsTimedOut());
    const std::string strLack = "no descriptor was free for a socket (raise the limit on open files: ulimit -n)";
    const std::vector<std::string> reasons = m_Session.GetIncompleteReasons();
    EXPECT_NE(reasons.end(), std::find(reasons.begin(), reasons.end(), "1 of them was waiting because " + strLack));
    const std::vector<CVLNetSession::SUnlisted> unlisted = m_Session.GetUnlisted();
    ASSERT_EQ(1u, unlisted.size());
    EXPECT_EQ("still waiting for its commands at the time-out: " + strLack, unlisted[0].strReason);
    // Looked for by its address, it was not used, and why.
    CPlayer again([]() { CFakeNetwork::Reply(kDevice, "", "10.8.17.1"); });
    ASSERT_EQ(VLPFW_RESULT_SUCCESS, m_Session.Probe(3, false, "", "", "10.8.17.1", nullptr));
    ASSERT_TRUE(again.Join());
    EXPECT_EQ("waiting for its commands at the time-out: " + strLack, m_Session.GetNotUnicastReason());
}
