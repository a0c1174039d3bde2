// The device list a client reads: one device per MAC, however many
// addresses claimed it, and a device removed leaves every way of reaching
// it. With fake modules in place of the network.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cm/VLTargetList.h"
#include "ecm/VLECM.h"
#include "ecm/probe/VLECMNIFInfoList.h"
#include "ecm/record/VLECMNIFInfo.h"
#include "tests/support/Watchdog.h"
#include "tests/support/ecm/ECMTestClient.h"
#include "tests/support/ecm/FakeNetwork.h"

namespace {
const char kClaimedMac[] = "0026AB000071";
const char kOtherMac[] = "0026AB000072";
// The claimed MAC answers unicast at its first address only.
const char kDeviceAddress[] = "10.0.0.71";
const char kDeafAddress[] = "10.0.0.73";
const char kOtherAddress[] = "10.0.0.72";

CVLString Text(const char* sz)
{
    return CVLString(sz, 72);
}

// The records the device list holds, in its order.
std::vector<CVLECMNIFInfo*> Members(CVLECMNIFInfoList* pList)
{
    std::vector<CVLECMNIFInfo*> members;
    pList->Lock();
    for (CVLTargetIterator it = pList->Begin(); !it.IsEnd(); it.Next())
        members.push_back(dynamic_cast<CVLECMNIFInfo*>(it.Get()));
    pList->Unlock();
    return members;
}

class ECMDeviceList : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_EQ(VLECM_RESULT_SUCCESS, m_ECM.Initialize(&m_Client, nullptr, nullptr, nullptr)); }
    void TearDown() override { m_ECM.Terminate(); }

    CFakeNetwork m_Network;
    CRecordingClient m_Client;
    CVLECM m_ECM;
};
}  // namespace

// A MAC heard from two addresses, one of which never answers unicast, is
// one device beside another device: three records, two devices. Removing
// the first takes it out of the count, FindNIFInfo, the list's members and
// its look-up set, and leaves the other as it was.
TEST_F(ECMDeviceList, DevicesAreCountedOncePerMACAndARemovedOneLeavesTheList)
{
    CWatchdog watchdog(120, "the device list's count and removal");
    CVLECMPropertyMap options;
    options[Text("Option.Probe.SkipGetSupportInformation")] = Text("true");
    options[Text("Option.CheckUnicast.NonUnicastDeviceFiltering")] = Text("true");
    options[Text("Option.CheckUnicast.Timeout")] = Text("100");
    options[Text("Option.CheckUnicast.Retry")] = Text("0");
    CFakeNetwork::SetAnswerAt(kClaimedMac, kDeafAddress, "CheckUnicast", EFakeAnswer::Timeout);
    ASSERT_EQ(VLECM_RESULT_SUCCESS, m_ECM.Probe(VLECM_PROBE_CONNECT_TYPE_ALL, &options));
    ASSERT_TRUE(CFakeNetwork::Reply(kClaimedMac, "", kDeviceAddress));
    ASSERT_TRUE(CFakeNetwork::Reply(kClaimedMac, "", kDeafAddress));
    ASSERT_TRUE(CFakeNetwork::Reply(kOtherMac, "", kOtherAddress));
    for (const char* szMac : {kClaimedMac, kOtherMac}) {
        SVLECMMACState state;
        ASSERT_TRUE(WaitJudged(m_ECM, szMac, state)) << szMac;
        ASSERT_EQ(VLECM_MAC_ONE, state.eVerdict) << szMac;
    }
    ASSERT_TRUE(m_Client.WaitFor("probe", 2));
    m_ECM.StopProbe();
    Drain(m_ECM);

    EXPECT_EQ(3, m_ECM.GetRecordCount());
    EXPECT_EQ(2, m_ECM.GetDeviceCount());
    CVLECMNIFInfo* pClaimed = m_ECM.FindNIFInfo(kClaimedMac);
    CVLECMNIFInfo* pOther = m_ECM.FindNIFInfo(kOtherMac);
    ASSERT_TRUE(pClaimed != nullptr && pOther != nullptr);
    CVLECMNIFInfoList* pList = m_ECM.GetNIFInfoList();
    ASSERT_EQ(2u, Members(pList).size());
    EXPECT_TRUE(pList->Contains(pClaimed));

    m_ECM.RemoveNIFInfo(pClaimed);
    // The pointer is only compared from here on.
    EXPECT_EQ(nullptr, m_ECM.FindNIFInfo(kClaimedMac));
    EXPECT_FALSE(pList->Contains(pClaimed));
    EXPECT_EQ(std::vector<CVLECMNIFInfo*>({pOther}), Members(pList));
    EXPECT_EQ(1, pList->GetCount());
    EXPECT_EQ(1, m_ECM.GetDeviceCount());
    EXPECT_EQ(1, m_ECM.GetRecordCount());
    EXPECT_EQ(pOther, m_ECM.FindNIFInfo(kOtherMac));
    EXPECT_TRUE(pList->Contains(pOther));
}
