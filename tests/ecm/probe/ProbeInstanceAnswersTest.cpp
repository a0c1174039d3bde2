// The probe instance carries out every answer of the MAC table: what a
// start that failed freed, the hand-on of the stop's own answer (listed,
// never relayed to OnProbe), and what a destroyed record held.
#include <gtest/gtest.h>

#include <cerrno>
#include <mutex>
#include <set>
#include <string>

#include "ecm/VLECM.h"
#include "ecm/probe/VLECMMACTable.h"
#include "ecm/probe/VLECMProbeInstance.h"
#include "ecm/record/VLECMNIFInfo.h"
#include "tests/support/Eventually.h"
#include "tests/support/ThreadStartFault.h"
#include "tests/support/Watchdog.h"
#include "tests/support/ecm/DispatchHold.h"
#include "tests/support/ecm/ECMTestClient.h"
#include "tests/support/ecm/FakeNetwork.h"

namespace {
std::string Mac(int n)
{
    return CFakeNetwork::Mac("0026AE", n);
}

CVLString Text(const std::string& str)
{
    return CVLString(str.c_str(), VL_CHARSET_UTF8);
}

// Sees every device relayed to the client, whatever the relay's gates.
class CRelayWatchingECM : public CVLECM
{
public:
    void OnProbe(CVLECMNIFInfo* pNIFInfo, VLECM_CONNECT_TYPE eConnectType, bool bUnicast, bool bUpdateNIFInfo) override
    {
        {
            std::lock_guard<std::mutex> lock(m_Mutex);
            m_Relayed.insert(pNIFInfo);
        }
        CVLECM::OnProbe(pNIFInfo, eConnectType, bUnicast, bUpdateNIFInfo);
    }
    bool WasRelayed(CVLECMNIFInfo* pNIFInfo)
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        return m_Relayed.count(pNIFInfo) != 0;
    }

private:
    std::mutex m_Mutex;
    std::set<CVLECMNIFInfo*> m_Relayed;
};

// A probe whose chains get one place per network; the check of a device
// that does not answer waits as long as a test needs.
class ECMProbeAnswers : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_EQ(VLECM_RESULT_SUCCESS, m_ECM.Initialize(&m_Client, nullptr, nullptr, nullptr));
        CVLECMPropertyMap options;
        options[Text("Option.Probe.SkipGetSupportInformation")] = Text("true");
        options[Text("Option.CheckUnicast.Timeout")] = Text("3600000");
        ASSERT_EQ(VLECM_RESULT_SUCCESS, m_ECM.Probe(VLECM_PROBE_CONNECT_TYPE_ALL, &options));
        m_ECM.GetProbeInstance().GetMACTable().SetPlacesPerNetwork(1);
    }
    void TearDown() override { m_ECM.Terminate(); }
    // The device's chain holds the one place, in its first command.
    void HoldThePlace(const std::string& strMAC, const std::string& strAddress)
    {
        CFakeNetwork::SetAnswer(strMAC, "GetListInfo", EFakeAnswer::Hold);
        ASSERT_TRUE(CFakeNetwork::Reply(strMAC, "", strAddress));
        ASSERT_TRUE(Eventually([&]() { return CFakeNetwork::RequestCount(strMAC, "GetListInfo") == 1; }));
    }
    // The device answered its check and waits for a place, as nWaiting do.
    void WaitForAPlace(const std::string& strMAC, const std::string& strAddress, int nWaiting)
    {
        ASSERT_TRUE(CFakeNetwork::Reply(strMAC, "", strAddress));
        ASSERT_TRUE(Eventually([&]() {
            int nRunning = 0, nNow = 0;
            m_ECM.GetProbeInstance().GetChainCounts(nRunning, nNow);
            return nNow == nWaiting;
        }));
    }

    CFakeNetwork m_Network;
    CRecordingClient m_Client;
    CRelayWatchingECM m_ECM;
};
}  // namespace

// The first waiting chain's command cannot start (no thread): the place it
// was given goes to the next one.
TEST_F(ECMProbeAnswers, APlaceWhoseStartFailedGoesToTheNextChain)
{
    CWatchdog watchdog(60, "ECMProbeAnswers");
    const std::string strHolder = Mac(1), strFailing = Mac(2), strNext = Mac(3);
    HoldThePlace(strHolder, "10.8.9.1");
    WaitForAPlace(strFailing, "10.8.9.2", 1);
    WaitForAPlace(strNext, "10.8.9.3", 2);
    {
        TThreadStartFault<CVLECMNIFInfo> fault(EAGAIN, 1);
        CFakeNetwork::SetAnswer(strHolder, "GetListInfo", EFakeAnswer::Success);
        ASSERT_TRUE(Eventually([&]() { return CFakeNetwork::RequestCount(strNext, "GetListInfo") == 1; }));
    }
    EXPECT_EQ(0, CFakeNetwork::RequestCount(strFailing, "GetListInfo"));
}

// A record destroyed while its command holds the place gives the place on.
TEST_F(ECMProbeAnswers, ADestroyedRecordsPlaceGoesToTheNextChain)
{
    CWatchdog watchdog(60, "ECMProbeAnswers");
    const std::string strHolder = Mac(4), strNext = Mac(5);
    HoldThePlace(strHolder, "10.8.9.4");
    WaitForAPlace(strNext, "10.8.9.5", 1);
    CVLECMNIFInfo* pHolder = nullptr;
    ASSERT_TRUE(m_ECM.WithRecord(strHolder.c_str(), "10.8.9.4", [&pHolder](CVLECMNIFInfo* p) { pHolder = p; }));
    // Records go on the dispatch thread, under its lock.
    CDispatchHold(m_ECM, [&]() { m_ECM.GetProbeInstance().DestroyNIFInfo(pHolder); });
    EXPECT_TRUE(Eventually([&]() { return CFakeNetwork::RequestCount(strNext, "GetListInfo") == 1; }));
}

// The stop judges an address whose reply was on its way; the MAC's other
// address, which did not answer unicast, then stands for the device: the
// stop's own answer hands it on, listed and not relayed.
TEST_F(ECMProbeAnswers, TheDeviceTheStopHandsOnIsListedNotRelayed)
{
    CWatchdog watchdog(60, "ECMProbeAnswers");
    CVLECMMACTable& table = m_ECM.GetProbeInstance().GetMACTable();
    CVLECMNIFInfo record;
    const SVLECMReplyKey onItsWay{Text(Mac(6)), Text("10.8.9.6")};
    const SVLECMReplyKey key{onItsWay.strMAC, Text("10.8.9.7")};
    ASSERT_TRUE(table.Keep(onItsWay));
    ASSERT_TRUE(table.Keep(key));
    ASSERT_TRUE(table.Attach(key, &record, Text("")));
    ASSERT_EQ(1u, table.BeginChain(&record, Text("")).starts.size());
    ASSERT_EQ(nullptr,
              table.CheckEnded(&record, false, VLECM_MAC_FAILURE_NOT_UNICAST, VLECM_RESULT_SUCCESS, 0, false).pReport);
    m_ECM.StopProbe();
    Drain(m_ECM);
    EXPECT_EQ(&record, m_ECM.FindNIFInfo(Mac(6).c_str()));
    EXPECT_FALSE(m_ECM.WasRelayed(&record));
    // The record is the test's: it goes before the probe's are destroyed.
    m_ECM.Terminate();
}
