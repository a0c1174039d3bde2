// What a probe says its unicast checks may have lost: datagrams the shared
// sockets dropped while one of its checks waited in vain, not those dropped
// before (late replies to an earlier probe's checks among them).
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>

#include "ecm/VLECM.h"
#include "modules/sock/VLMDSock.h"
#include "modules/sock/VLSock.h"
#include "modules/sock/VLSockShared.h"
#include "tests/support/Watchdog.h"
#include "tests/support/ecm/ECMTestClient.h"
#include "tests/support/ecm/FakeNetwork.h"
#include "tests/support/ecm/SharedSocketFlood.h"

namespace {
// Datagrams dropped on a shared socket now; false when none were.
bool DropSharedDatagrams()
{
    const unsigned long nBefore = CVLSockShared::GetDropCount();
    {
        CSharedSocketFlood drops;
    }
    return CVLSockShared::GetDropCount() > nBefore;
}

class UnicastCheckLosses : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_EQ(VLECM_RESULT_SUCCESS, m_ECM.Initialize(&m_Client, nullptr, nullptr, nullptr)); }
    void TearDown() override { m_ECM.Terminate(); }

    // A probe whose one device's check waits for a reply that never comes
    // and then fails, nothing heard: fnBeforeHeard runs once the probe has
    // begun, fnWhileWaiting while the check waits.
    void ProbeWithACheckInVain(const char* szMac, const char* szFrom, const std::function<void()>& fnBeforeHeard,
                               const std::function<void()>& fnWhileWaiting)
    {
        CVLECMPropertyMap options;
        options[CVLString("Option.Probe.SkipGetSupportInformation", 72)] = CVLString("true", 72);
        options[CVLString("Option.CheckUnicast.Timeout", 72)] = CVLString("3600000", 72);
        options[CVLString("Option.CheckUnicast.Retry", 72)] = CVLString("1", 72);
        CFakeNetwork::SetAnswer(szMac, "CheckUnicast", EFakeAnswer::Block);
        ASSERT_EQ(VLECM_RESULT_SUCCESS, m_ECM.Probe(VLECM_PROBE_CONNECT_TYPE_ALL, &options));
        fnBeforeHeard();
        ASSERT_TRUE(CFakeNetwork::Reply(szMac, "", szFrom));
        while (CFakeNetwork::RequestCount(szMac, "CheckUnicast") == 0)
            CVLThread::Sleep(5);
        fnWhileWaiting();
        CFakeNetwork::SetAnswer(szMac, "CheckUnicast", EFakeAnswer::Unreachable);
        SVLECMMACState state;
        // Judged once its check has ended, its losses counted.
        ASSERT_TRUE(WaitJudged(m_ECM, szMac, state));
    }

    CFakeNetwork m_Network;
    CRecordingClient m_Client;
    CVLECM m_ECM;
};
}  // namespace

// The first probe's check loses what was dropped while it waited. The
// second probe's check, which fails as well, is blamed for nothing: neither
// for what the first probe's check lost, nor for what was dropped after the
// second probe began but before its check did (late replies to the first
// probe's checks, say).
TEST_F(UnicastCheckLosses, DropsBeforeAProbesCheckBeganAreNotItsLosses)
{
    CWatchdog watchdog(120, "the losses of unicast checks");
    auto nothing = []() {};
    auto drop = []() { ASSERT_TRUE(DropSharedDatagrams()) << "the flood dropped nothing"; };
    ProbeWithACheckInVain("0026AB000091", "10.0.0.91", nothing, drop);
    EXPECT_GT(m_ECM.GetUnicastCheckLostCount(), 0u);
    ProbeWithACheckInVain("0026AB000092", "10.0.0.92", drop, nothing);
    EXPECT_EQ(0u, m_ECM.GetUnicastCheckLostCount());
}
