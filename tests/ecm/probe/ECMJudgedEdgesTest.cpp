// What the device manager does at the edges of a MAC's judgement, with fake
// modules in place of the network: the marks of the record handed on, the
// record a client is given, a changed model, a change merged while its
// record waited, the address the user named while every check is taken,
// and the replies held when the probe instance stops.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "cm/VLCMApi.h"
#include "cm/VLCallbackInfo.h"
#include "cm/VLModuleController.h"
#include "cm/VLProperty.h"
#include "cm/VLTarget.h"
#include "ecm/VLECM.h"
#include "ecm/probe/VLECMHandOnQueue.h"
#include "ecm/probe/VLECMLocalNetworks.h"
#include "ecm/probe/VLECMMACTable.h"
#include "ecm/probe/VLECMProbeInstance.h"
#include "ecm/record/VLECMNIFInfo.h"
#include "tests/support/Eventually.h"
#include "tests/support/Watchdog.h"
#include "tests/support/ecm/DispatchHold.h"
#include "tests/support/ecm/ECMProbeTest.h"
#include "tests/support/ecm/ECMTestClient.h"
#include "tests/support/ecm/FakeNetwork.h"
#include "tests/support/ecm/LocalInterfaces.h"

namespace {
std::string Mac(int n)
{
    return CFakeNetwork::Mac("0026AD", n);
}

std::string Address(int n)
{
    return "10.9." + std::to_string(n / 250) + "." + std::to_string(1 + n % 250);
}

std::string PropertyOf(CVLECMNIFInfo* pNIFInfo, const char* szPath)
{
    CVLProperty* pProperty = pNIFInfo != nullptr ? pNIFInfo->GetProperties()->GetProperty(szPath, false) : nullptr;
    return pProperty != nullptr ? ECMText(pProperty->ToString("")) : "";
}

class ECMJudgedEdges : public CECMProbeTest
{
};
}  // namespace

// The device is handed on first; two claimants pass after it, one by one:
// the record handed on is marked in conflict with the first, and its list
// of the others that passed follows the second. A MAC handed on from its
// one address that did not answer unicast (the filter off) is marked when
// a second such address makes it a conflict.
TEST_F(ECMJudgedEdges, TheRecordHandedOnIsMarkedAsConflictsAriseAfterIt)
{
    CWatchdog watchdog(60, "ECMJudgedEdges");
    const std::string strMAC = Mac(1);
    const std::string strDevice = "10.8.1.1", strSecond = "10.8.1.2", strThird = "10.8.1.3";
    for (const std::string& strFrom : {strSecond, strThird})
        CFakeNetwork::SetAnswerAt(strMAC, strFrom, "CheckUnicast", EFakeAnswer::Block);
    for (const std::string& strFrom : {strDevice, strSecond, strThird})
        ASSERT_TRUE(CFakeNetwork::Reply(strMAC, "", strFrom));
    ASSERT_TRUE(m_Client.WaitFor("probe", 1));
    CVLECMNIFInfo* pDevice = m_ECM.FindNIFInfo(strMAC.c_str());
    ASSERT_NE(nullptr, pDevice);
    EXPECT_EQ(strDevice, PropertyOf(pDevice, "IPAddress"));
    EXPECT_EQ("", PropertyOf(pDevice, VLECM_CONFLICT_MARK_PATH));
    auto passed = [&](size_t nIndex) {
        SVLECMMACState state;
        return m_ECM.GetMACState(strMAC.c_str(), state) && state.addresses.size() == 3 &&
               state.addresses[nIndex].eState == VLECM_MAC_ADDRESS_PASSED;
    };
    CFakeNetwork::SetAnswerAt(strMAC, strSecond, "CheckUnicast", EFakeAnswer::Success);
    ASSERT_TRUE(Eventually([&]() { return passed(1); }));
    Drain(m_ECM);
    EXPECT_EQ("1", PropertyOf(pDevice, VLECM_CONFLICT_MARK_PATH));
    EXPECT_EQ(strSecond, PropertyOf(pDevice, VLECM_OTHER_PASSED_PATH));
    CFakeNetwork::SetAnswerAt(strMAC, strThird, "CheckUnicast", EFakeAnswer::Success);
    SVLECMMACState state;
    ASSERT_TRUE(WaitJudged(m_ECM, strMAC.c_str(), state));
    Drain(m_ECM);
    EXPECT_EQ(VLECM_MAC_CONFLICT, state.eVerdict);
    EXPECT_EQ("1", PropertyOf(pDevice, VLECM_CONFLICT_MARK_PATH));
    EXPECT_EQ(strSecond + " " + strThird, PropertyOf(pDevice, VLECM_OTHER_PASSED_PATH));
    EXPECT_EQ(1u, m_Client.Count("probe"));

    // Without unicast: handed on alone, marked once a second one comes.
    const std::string strQuiet = Mac(2);
    for (const char* szFrom : {"10.8.2.1", "10.8.2.2"})
        CFakeNetwork::SetAnswerAt(strQuiet, szFrom, "CheckUnicast", EFakeAnswer::DeviceError);
    ASSERT_TRUE(CFakeNetwork::Reply(strQuiet, "", "10.8.2.1"));
    ASSERT_TRUE(m_Client.WaitFor("probe", 2));
    CVLECMNIFInfo* pQuiet = m_ECM.FindNIFInfo(strQuiet.c_str());
    ASSERT_NE(nullptr, pQuiet);
    EXPECT_EQ("", PropertyOf(pQuiet, VLECM_CONFLICT_MARK_PATH));
    ASSERT_TRUE(CFakeNetwork::Reply(strQuiet, "", "10.8.2.2"));
    ASSERT_TRUE(Eventually([&]() {
        SVLECMMACSummary summary;
        return m_ECM.GetMACSummary(strQuiet.c_str(), summary) && summary.eVerdict == VLECM_MAC_CONFLICT;
    }));
    Drain(m_ECM);
    EXPECT_EQ("1", PropertyOf(pQuiet, VLECM_CONFLICT_MARK_PATH));
    EXPECT_EQ(2u, m_Client.Count("probe"));
}

// A claimant answers first and keeps its record (its commands fail); the
// device passes after it. Asked for the MAC alone, WithRecord gives the
// record handed on; asked for the claimant's address, the claimant's.
TEST_F(ECMJudgedEdges, WithRecordOfAMACGivesTheRecordHandedOnNotAClaimants)
{
    CWatchdog watchdog(60, "ECMJudgedEdges");
    const std::string strMAC = Mac(3), strClaimant = "10.8.3.1", strDevice = "10.8.3.2";
    CFakeNetwork::SetAnswerAt(strMAC, strClaimant, "GetListInfo", EFakeAnswer::DeviceError);
    ASSERT_TRUE(CFakeNetwork::Reply(strMAC, "", strClaimant));
    ASSERT_TRUE(CFakeNetwork::Reply(strMAC, "", strDevice));
    SVLECMMACState state;
    ASSERT_TRUE(WaitJudged(m_ECM, strMAC.c_str(), state));
    Drain(m_ECM);
    ASSERT_EQ(VLECM_MAC_ONE, state.eVerdict);
    std::string strGiven = "none", strNull = "none", strAtClaimant = "none";
    auto address = [](std::string& strTo) {
        return [&strTo](CVLECMNIFInfo* pNIFInfo) { strTo = PropertyOf(pNIFInfo, "IPAddress"); };
    };
    EXPECT_TRUE(m_ECM.WithRecord(strMAC.c_str(), "", address(strGiven)));
    EXPECT_TRUE(m_ECM.WithRecord(strMAC.c_str(), nullptr, address(strNull)));
    EXPECT_TRUE(m_ECM.WithRecord(strMAC.c_str(), strClaimant.c_str(), address(strAtClaimant)));
    EXPECT_EQ(strDevice, strGiven);
    EXPECT_EQ(strDevice, strNull);
    EXPECT_EQ(strClaimant, strAtClaimant);
}

namespace {
// Delivers a reply of the MAC from that address that names the model, as
// the dispatch thread delivers the probe's replies.
void DeliverModel(CVLECM& ecm, const std::string& strMAC, const std::string& strFrom, const std::string& strModel)
{
    CVLTarget* pReply = ecm.GetApi()->GetModuleController()->CreateTarget();
    pReply->GetProperties()->GetProperty("MACAddress", true)->SetString(strMAC.c_str(), 72);
    pReply->GetProperties()->GetProperty("IPAddress", true)->SetString(strFrom.c_str(), 72);
    pReply->GetProperties()->GetProperty(VLECM_MODEL_NAME_PATH, true)->SetString(strModel.c_str(), 72);
    struct SCall
    {
        CVLECM* pECM;
        CVLTarget* pReply;
    } call = {&ecm, pReply};
    ecm.GetApi()->PostCallbackUser(
        nullptr, nullptr,
        [](long, void* p, CVLCallbackInfo*) {
            SCall* pCall = static_cast<SCall*>(p);
            pCall->pECM->GetProbeInstance().OnProbe(nullptr, nullptr, pCall->pReply, nullptr);
        },
        0, &call, nullptr);
    Drain(ecm);
    pReply->Destroy(false);
}
}  // namespace

// A device answers again with another model: its address in the table
// takes it, and the MAC counts as changed.
TEST_F(ECMJudgedEdges, AReplyWhoseModelChangedChangesItsAddress)
{
    CWatchdog watchdog(60, "ECMJudgedEdges");
    const std::string strMAC = Mac(4), strFrom = "10.8.4.1";
    ASSERT_TRUE(CFakeNetwork::Reply(strMAC, "", strFrom));
    SVLECMMACState state;
    ASSERT_TRUE(WaitJudged(m_ECM, strMAC.c_str(), state));
    Drain(m_ECM);
    DeliverModel(m_ECM, strMAC, strFrom, "Model A");
    ASSERT_TRUE(m_ECM.GetMACState(strMAC.c_str(), state));
    ASSERT_EQ("Model A", ECMText(state.addresses[0].strModel));
    const unsigned long nSeen = m_ECM.GetMACChangeCount();
    DeliverModel(m_ECM, strMAC, strFrom, "Model B");
    ASSERT_TRUE(m_ECM.GetMACState(strMAC.c_str(), state));
    EXPECT_EQ("Model B", ECMText(state.addresses[0].strModel));
    EXPECT_EQ("Model B", PropertyOf(m_ECM.FindNIFInfo(strMAC.c_str()), VLECM_MODEL_NAME_PATH));
    const std::vector<CVLString> changed = m_ECM.GetMACsChangedSince(nSeen);
    ASSERT_EQ(1u, changed.size());
    EXPECT_EQ(strMAC, ECMText(changed[0]));
}

// A change that came while its record waited was merged into it: once the
// record is delivered, the same reply again is no news, however often it
// repeats; another change is.
TEST_F(ECMJudgedEdges, AChangeMergedWhileItsRecordWaitedIsNotHandledAgain)
{
    CWatchdog watchdog(60, "ECMJudgedEdges");
    const std::string strMAC = Mac(5), strFrom = "10.8.5.1";
    // Its commands wait: the record stays the probe's, not listed.
    CFakeNetwork::SetAnswerAt(strMAC, strFrom, "GetListInfo", EFakeAnswer::Block);
    CVLModuleController* pController = m_ECM.GetApi()->GetModuleController();
    {
        CDispatchHold hold(m_ECM);
        ASSERT_TRUE(CFakeNetwork::Reply(strMAC, "Model A", strFrom));
        ASSERT_TRUE(CFakeNetwork::Reply(strMAC, "Model B", strFrom));
    }
    Drain(m_ECM);
    EXPECT_EQ("Model B", PropertyOf(ProbeRecord(m_ECM, strMAC, strFrom), "ModelName"));
    ASSERT_TRUE(Eventually([&]() { return CFakeNetwork::RequestCountAt(strMAC, strFrom, "GetListInfo") == 1; }));
    {
        CDispatchHold hold(m_ECM);
        const size_t nBytes = pController->GetQueuedCallbackBytes();
        for (int i = 0; i < 3; ++i)
            ASSERT_TRUE(CFakeNetwork::Reply(strMAC, "Model B", strFrom));
        EXPECT_EQ(nBytes, pController->GetQueuedCallbackBytes());
        EXPECT_EQ(0, m_ECM.GetWaitingReplyCount());
        ASSERT_TRUE(CFakeNetwork::Reply(strMAC, "Model C", strFrom));
        EXPECT_LT(nBytes, pController->GetQueuedCallbackBytes());
    }
    Drain(m_ECM);
    EXPECT_EQ("Model C", PropertyOf(ProbeRecord(m_ECM, strMAC, strFrom), "ModelName"));
    EXPECT_EQ(1, CFakeNetwork::RequestCountAt(strMAC, strFrom, "CheckUnicast"));
    EXPECT_EQ(nullptr, m_ECM.FindNIFInfo(strMAC.c_str()));
}

// Every check the probe runs at once is taken by hosts that never answer
// (eight MACs at 64 addresses each, on two networks): a device at an address the user did
// not name waits for a check, the one at the named address is checked at
// once and handed on.
TEST_F(ECMJudgedEdges, TheNamedAddressIsCheckedWhileEveryCheckIsTaken)
{
    CWatchdog watchdog(120, "ECMJudgedEdges");
    const std::string strNamed = "10.8.6.1";
    m_ECM.SetNamedAddress(strNamed.c_str());
    const int kPerMAC = CVLECMMACTable::MAX_ADDRESSES_PER_MAC;
    const int kMACs = CVLECMProbeInstance::MAX_CHECKING_CHAINS / kPerMAC;
    ASSERT_EQ(CVLECMProbeInstance::MAX_CHECKING_CHAINS, kMACs * kPerMAC);
    // Each address costs a device of its network's bound: half of them on
    // each of two networks.
    m_ECM.GetProbeInstance().SetLocalNetworks(
        std::make_shared<const CVLECMLocalNetworks>(LocalInterfaces(2, 2), std::map<CVLString, CVLString>()));
    for (int m = 0; m < kMACs; ++m) {
        CFakeNetwork::SetAnswer(Mac(0x100 + m), "CheckUnicast", EFakeAnswer::Block);
        for (int i = 0; i < kPerMAC; ++i) {
            const std::string strFrom =
                "10." + std::to_string(1 + 2 * m / kMACs) + "." + std::to_string(m) + "." + std::to_string(1 + i);
            ASSERT_TRUE(CFakeNetwork::Reply(Mac(0x100 + m), "", strFrom));
        }
    }
    Drain(m_ECM);
    ASSERT_TRUE(Eventually([&]() {
        return m_ECM.GetProbeInstance().GetCheckingChainCount() == CVLECMProbeInstance::MAX_CHECKING_CHAINS;
    }));
    const std::string strWaiting = Mac(0x200), strNamedMAC = Mac(0x201);
    ASSERT_TRUE(CFakeNetwork::Reply(strWaiting, "", "10.8.6.2"));
    ASSERT_TRUE(CFakeNetwork::Reply(strNamedMAC, "", strNamed));
    ASSERT_TRUE(m_Client.WaitFor("probe", 1));
    EXPECT_NE(nullptr, m_ECM.FindNIFInfo(strNamedMAC.c_str()));
    EXPECT_EQ(1, CFakeNetwork::RequestCountAt(strNamedMAC, strNamed, "CheckUnicast"));
    Drain(m_ECM);
    EXPECT_EQ(0, CFakeNetwork::RequestCount(strWaiting, "CheckUnicast"));
    EXPECT_EQ(nullptr, m_ECM.FindNIFInfo(strWaiting.c_str()));
}

// The probe instance stops while more replies wait than the dispatch queue
// takes at once: those held for their turn are judged lost (none is
// checked) and no MAC stays pending; those already queued go on.
TEST_F(ECMJudgedEdges, RepliesHeldWhenTheProbeInstanceStopsAreJudgedLost)
{
    CWatchdog watchdog(60, "ECMJudgedEdges");
    const int kHeld = 8, kReplies = CVLECMHandOnQueue::MAX_HANDED_ON + kHeld;
    {
        CDispatchHold hold(m_ECM);
        for (int i = 0; i < kReplies; ++i)
            ASSERT_TRUE(CFakeNetwork::Reply(Mac(0x300 + i), "", Address(3000 + i)));
        int nHeld = 0, nHandedOn = 0;
        m_ECM.GetProbeInstance().GetHandOnQueue().GetCounts(nHeld, nHandedOn);
        ASSERT_EQ(kHeld, nHeld);
        EXPECT_FALSE(m_ECM.StopProbeInstance());
    }
    Drain(m_ECM);
    ASSERT_TRUE(Eventually([&]() { return m_ECM.GetPendingMACCount() == 0; })) << m_ECM.GetPendingMACCount();
    int nLost = 0;
    for (int i = 0; i < kReplies; ++i) {
        SVLECMMACState state;
        ASSERT_TRUE(m_ECM.GetMACState(Mac(0x300 + i).c_str(), state));
        ASSERT_EQ(1u, state.addresses.size());
        if (state.addresses[0].eFailure == VLECM_MAC_FAILURE_LOST) {
            ++nLost;
            EXPECT_EQ(0, CFakeNetwork::RequestCount(Mac(0x300 + i), "CheckUnicast")) << i;
        } else {
            EXPECT_EQ(VLECM_MAC_ADDRESS_PASSED, state.addresses[0].eState) << i;
        }
    }
    EXPECT_GE(nLost, kHeld);
}
