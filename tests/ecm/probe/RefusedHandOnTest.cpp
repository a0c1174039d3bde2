// Hand-ons and ends that cannot reach the dispatch thread at once: a device
// handed on off it whose post the queue refused is still listed and
// reported, every device a stop hands on is listed, the thread of a
// command whose end was refused is released, and a refusal is known
// through a client's override of PostCallbackUser. And what the stop
// judges of a command under way.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <type_traits>
#include <utility>

#include "cm/VLCMDefs.h"
#include "cm/VLCallbackInfo.h"
#include "cm/VLModuleController.h"
#include "ecm/VLECM.h"
#include "ecm/probe/VLECMMACTable.h"
#include "ecm/probe/VLECMProbeInstance.h"
#include "ecm/record/VLECMNIFInfo.h"
#include "tests/support/Eventually.h"
#include "tests/support/ecm/DispatchHold.h"
#include "tests/support/ecm/ECMProbeTest.h"
#include "tests/support/ecm/ECMTestClient.h"
#include "tests/support/ecm/FakeNetwork.h"
#include "tests/support/ecm/RefusingQueue.h"
#include "tests/support/Watchdog.h"

namespace {
CVLString Text(const std::string& str)
{
    return CVLString(str.c_str(), 72);
}

std::string Mac(int n)
{
    return CFakeNetwork::Mac("0026AB", n);
}

class ECMRefusedEnds : public CECMProbeTest
{
};

// Clients derive the device manager and override PostCallbackUser as
// declared; a member pointer of the declared type takes it too.
static_assert(std::is_same<decltype(&CVLECM::PostCallbackUser),
                           void (CVLECM::*)(CVLTarget*, VLCM_USER_CALLBACK, long, void*)>::value,
              "PostCallbackUser keeps its declared signature");

// Sees every post; passes it on, or drops it while m_bDrop is set.
class CPostWatchingECM : public CVLECM
{
public:
    void PostCallbackUser(CVLTarget* pTarget, VLCM_USER_CALLBACK pCallback, long lCallbackId,
                          void* pCallbackParam) override
    {
        {
            std::lock_guard<std::mutex> lock(m_Mutex);
            m_Posts.insert({pTarget, lCallbackId});
        }
        if (!m_bDrop)
            CVLECM::PostCallbackUser(pTarget, pCallback, lCallbackId, pCallbackParam);
    }
    bool Saw(CVLTarget* pTarget, long lCallbackId)
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        return m_Posts.count({pTarget, lCallbackId}) != 0;
    }
    std::atomic<bool> m_bDrop{false};

private:
    std::mutex m_Mutex;
    std::set<std::pair<CVLTarget*, long>> m_Posts;
};
}  // namespace

// The check end of a MAC's second address is refused and judged lost on
// the check thread; the first address, which did not answer unicast, then
// stands for the device. Its hand-on, decided there, is refused too: the
// dispatch thread hands it on once it runs again, listed and reported once.
TEST_F(ECMRefusedEnds, AHandOnTheDispatchQueueRefusedIsListedAndReported)
{
    CWatchdog watchdog(60, "ECMRefusedEnds");
    const std::string strMAC = Mac(0xE000);
    const std::string strFirst = "10.8.6.1";
    const std::string strSecond = "10.8.6.2";
    CFakeNetwork::SetAnswerAt(strMAC, strFirst, "CheckUnicast", EFakeAnswer::DeviceError);
    CFakeNetwork::SetAnswerAt(strMAC, strSecond, "CheckUnicast", EFakeAnswer::Block);
    // The second first: pending before the first is judged.
    ASSERT_TRUE(CFakeNetwork::Reply(strMAC, "", strSecond));
    ASSERT_TRUE(CFakeNetwork::Reply(strMAC, "", strFirst));
    SVLECMMACState state;
    ASSERT_TRUE(Eventually([&]() {
        return m_ECM.GetMACState(strMAC.c_str(), state) && state.addresses.size() == 2 &&
               state.addresses[0].eState == VLECM_MAC_ADDRESS_CHECKING &&
               state.addresses[1].eState == VLECM_MAC_ADDRESS_FAILED;
    }));
    ASSERT_EQ(VLECM_MAC_FAILURE_NOT_UNICAST, state.addresses[1].eFailure);
    ASSERT_EQ(VLECM_MAC_PENDING, state.eVerdict);
    {
        CDispatchHold hold(m_ECM);
        CRefusingQueue full(m_ECM);
        CFakeNetwork::SetAnswerAt(strMAC, strSecond, "CheckUnicast", EFakeAnswer::DeviceError);
        ASSERT_TRUE(Eventually(
            [&]() { return m_ECM.GetMACState(strMAC.c_str(), state) && state.eVerdict != VLECM_MAC_PENDING; }));
        EXPECT_EQ(VLECM_MAC_FAILURE_LOST, state.addresses[0].eFailure);
        EXPECT_EQ(VLECM_MAC_ONE, state.eVerdict);
        // Not over while its device waits to be handed on: the refusal is
        // noted after the verdict, on the check thread, so it is waited for.
        int nChecking = 0;
        EXPECT_TRUE(Eventually([&]() { return m_ECM.GetUnfinishedChainCount(nChecking) == 1; }));
    }
    ASSERT_TRUE(m_Client.WaitFor("probe", 1));
    Drain(m_ECM);
    EXPECT_EQ(1u, m_Client.Count("probe"));
    CVLECMNIFInfo* pListed = m_ECM.FindNIFInfo(strMAC.c_str());
    ASSERT_NE(nullptr, pListed);
    CVLECMNIFInfo* pFirst = nullptr;
    ASSERT_TRUE(m_ECM.WithRecord(strMAC.c_str(), strFirst.c_str(), [&pFirst](CVLECMNIFInfo* p) { pFirst = p; }));
    EXPECT_EQ(pFirst, pListed);
    int nChecking = 0;
    EXPECT_EQ(0, m_ECM.GetUnfinishedChainCount(nChecking));
}

// A command whose end the dispatch queue refused is judged lost; its
// finished thread is released once the dispatch thread runs again, not kept
// until the record goes.
TEST_F(ECMRefusedEnds, TheThreadOfARefusedCommandEndIsReleased)
{
    CWatchdog watchdog(60, "ECMRefusedEnds");
    const std::string strMAC = Mac(0xE100);
    const std::string strAddress = "10.8.6.3";
    CFakeNetwork::SetAnswer(strMAC, "GetListInfo", EFakeAnswer::Hold);
    ASSERT_TRUE(CFakeNetwork::Reply(strMAC, "", strAddress));
    ASSERT_TRUE(Eventually([&]() { return CFakeNetwork::RequestCount(strMAC, "GetListInfo") == 1; }));
    CVLECMNIFInfo* pRecord = nullptr;
    ASSERT_TRUE(m_ECM.WithRecord(strMAC.c_str(), strAddress.c_str(), [&pRecord](CVLECMNIFInfo* p) { pRecord = p; }));
    ASSERT_NE(nullptr, pRecord);
    ASSERT_TRUE(pRecord->HoldsThread());
    SVLECMMACState state;
    {
        CDispatchHold hold(m_ECM);
        CRefusingQueue full(m_ECM);
        CFakeNetwork::SetAnswer(strMAC, "GetListInfo", EFakeAnswer::Success);
        ASSERT_TRUE(Eventually(
            [&]() { return m_ECM.GetMACState(strMAC.c_str(), state) && state.eVerdict != VLECM_MAC_PENDING; }));
        EXPECT_EQ(VLECM_MAC_FAILURE_LOST, state.addresses[0].eFailure);
    }
    Drain(m_ECM);
    // The record stays the probe's (its address judged); only its thread goes.
    EXPECT_TRUE(Eventually([&]() { return !pRecord->HoldsThread(); }));
    CVLECMNIFInfo* pNow = nullptr;
    ASSERT_TRUE(m_ECM.WithRecord(strMAC.c_str(), strAddress.c_str(), [&pNow](CVLECMNIFInfo* p) { pNow = p; }));
    EXPECT_EQ(pRecord, pNow);
    EXPECT_EQ(0u, m_Client.Count("probe"));
}

// Through an override that passes every post on, a device's command ends
// reach the chain; an end the queue refused is judged lost rather than
// waited for. One the override dropped is not lost: the stop judges it.
TEST(ECMPostOverride, TheOverrideSeesEveryPostAndARefusalIsStillKnown)
{
    CWatchdog watchdog(60, "ECMPostOverride");
    CFakeNetwork network;
    CRecordingClient client;
    CPostWatchingECM ecm;
    ASSERT_EQ(VLECM_RESULT_SUCCESS, ecm.Initialize(&client, nullptr, nullptr, nullptr));
    CVLECMPropertyMap options;
    options[Text("Option.Probe.SkipGetSupportInformation")] = Text("true");
    ASSERT_EQ(VLECM_RESULT_SUCCESS, ecm.Probe(VLECM_PROBE_CONNECT_TYPE_ALL, &options));
    const std::string strPassed = Mac(0xE300);
    ASSERT_TRUE(CFakeNetwork::Reply(strPassed, "", "10.8.8.1"));
    ASSERT_TRUE(client.WaitFor("probe", 1));
    CVLECMNIFInfo* pPassed = ecm.FindNIFInfo(strPassed.c_str());
    ASSERT_NE(nullptr, pPassed);
    EXPECT_TRUE(ecm.Saw(pPassed, VLECM_COMMAND_CHECK_UNICAST));
    EXPECT_TRUE(ecm.Saw(pPassed, VLECM_COMMAND_GET_LIST_INFO));

    const std::string strRefused = Mac(0xE301);
    const std::string strDropped = Mac(0xE302);
    for (const std::string& strMAC : {strRefused, strDropped})
        CFakeNetwork::SetAnswer(strMAC, "GetListInfo", EFakeAnswer::Hold);
    ASSERT_TRUE(CFakeNetwork::Reply(strRefused, "", "10.8.8.2"));
    ASSERT_TRUE(CFakeNetwork::Reply(strDropped, "", "10.8.8.3"));
    ASSERT_TRUE(Eventually([&]() {
        return CFakeNetwork::RequestCount(strRefused, "GetListInfo") == 1 &&
               CFakeNetwork::RequestCount(strDropped, "GetListInfo") == 1;
    }));
    SVLECMMACState state;
    {
        CDispatchHold hold(ecm);
        CRefusingQueue full(ecm);
        CFakeNetwork::SetAnswer(strRefused, "GetListInfo", EFakeAnswer::Success);
        ASSERT_TRUE(Eventually(
            [&]() { return ecm.GetMACState(strRefused.c_str(), state) && state.eVerdict != VLECM_MAC_PENDING; }));
        EXPECT_EQ(VLECM_MAC_FAILURE_LOST, state.addresses[0].eFailure);
    }
    ecm.m_bDrop = true;
    CVLECMNIFInfo* pDropped = nullptr;
    ASSERT_TRUE(ecm.WithRecord(strDropped.c_str(), "10.8.8.3", [&pDropped](CVLECMNIFInfo* p) { pDropped = p; }));
    CFakeNetwork::SetAnswer(strDropped, "GetListInfo", EFakeAnswer::Success);
    ASSERT_TRUE(Eventually([&]() { return ecm.Saw(pDropped, VLECM_COMMAND_GET_LIST_INFO); }));
    ecm.StopProbe();
    ASSERT_TRUE(ecm.GetMACState(strDropped.c_str(), state));
    EXPECT_EQ(VLECM_MAC_NONE, state.eVerdict);
    EXPECT_EQ(VLECM_MAC_FAILURE_STOPPED, state.addresses[0].eFailure);
    EXPECT_EQ(0, ecm.GetPendingMACCount());
    ecm.m_bDrop = false;
    ecm.Terminate();
}

// A stop judges the addresses whose reply was still on its way; of two MACs
// whose other address, which did not answer unicast, then stands for the
// device, both are handed on: one in the stop's answer, the other waiting
// for the dispatch thread, counted as unfinished until then.
TEST(MACTableStop, EveryMACAStopHandsOnIsHandedOn)
{
    CVLECMMACTable table;
    CVLECMNIFInfo records[2];
    std::set<const CVLECMNIFInfo*> silent;
    for (int i = 0; i < 2; ++i) {
        SVLECMReplyKey onItsWay{Text(Mac(0xE200 + i)), Text("10.8.7." + std::to_string(10 + i))};
        SVLECMReplyKey key{onItsWay.strMAC, Text("10.8.7." + std::to_string(20 + i))};
        ASSERT_TRUE(table.Keep(onItsWay));
        ASSERT_TRUE(table.Keep(key));
        ASSERT_TRUE(table.Attach(key, &records[i], Text("")));
        CVLECMMACTable::SNext next = table.BeginChain(&records[i], Text(""));
        ASSERT_EQ(1u, next.starts.size());
        next = table.CheckEnded(&records[i], false, VLECM_MAC_FAILURE_NOT_UNICAST, VLECM_RESULT_SUCCESS, 0, false);
        ASSERT_EQ(nullptr, next.pReport);
        silent.insert(&records[i]);
    }
    std::set<const CVLECMNIFInfo*> handedOn;
    CVLECMMACTable::SNext stop = table.Stop();
    ASSERT_NE(nullptr, stop.pReport);
    EXPECT_TRUE(stop.bListOnly);
    handedOn.insert(stop.pReport);
    int nChecking = 0;
    EXPECT_EQ(1, table.GetUnfinishedChainCount(nChecking));
    for (const CVLECMMACTable::SNext& next : table.TakeWaitingHandOns()) {
        EXPECT_TRUE(next.bListOnly);
        EXPECT_TRUE(handedOn.insert(next.pReport).second);
    }
    EXPECT_EQ(silent, handedOn);
    EXPECT_EQ(0, table.GetUnfinishedChainCount(nChecking));
    EXPECT_TRUE(table.TakeWaitingHandOns().empty());
}

// After the stop, a command under way is judged by its own answer: a first
// command that succeeds passes its address (nothing more starts; its MAC is
// listed, not reported), and a command that ends stopped, or a start that
// could not be made because of the stop, is judged stopped, not failed.
TEST(MACTableStop, ACommandUnderWayIsJudgedByItsOwnAnswer)
{
    CVLECMMACTable table;
    CVLECMNIFInfo records[3];
    for (int i = 0; i < 3; ++i) {
        SVLECMReplyKey key{Text(Mac(0xE400 + i)), Text("10.8.7." + std::to_string(30 + i))};
        ASSERT_TRUE(table.Keep(key));
        ASSERT_TRUE(table.Attach(key, &records[i], Text("")));
        ASSERT_EQ(1u, table.BeginChain(&records[i], Text("")).starts.size());
        CVLECMMACTable::SNext next =
            table.CheckEnded(&records[i], true, VLECM_MAC_FAILURE_NONE, VLECM_RESULT_SUCCESS, 0, false);
        ASSERT_EQ(1u, next.starts.size());
        ASSERT_EQ(VLECM_COMMAND_GET_SUPPORT_INFORMATION, next.starts[0].eCommand);
    }
    table.Stop();
    CVLECMMACTable::SNext passed =
        table.CommandEnded(&records[0], VLECM_COMMAND_GET_SUPPORT_INFORMATION, VLECM_RESULT_SUCCESS, 0);
    EXPECT_TRUE(passed.starts.empty());
    EXPECT_EQ(&records[0], passed.pReport);
    EXPECT_TRUE(passed.bListOnly);
    table.CommandEnded(&records[1], VLECM_COMMAND_GET_SUPPORT_INFORMATION, VLECM_RESULT_STOPPED, 0);
    table.StartFailed(&records[2], VLECM_COMMAND_GET_SUPPORT_INFORMATION, VLECM_RESULT_STOPPED);
    const VLECM_MAC_ADDRESS_STATE eStates[] = {VLECM_MAC_ADDRESS_PASSED, VLECM_MAC_ADDRESS_FAILED,
                                               VLECM_MAC_ADDRESS_FAILED};
    const VLECM_MAC_FAILURE eFailures[] = {VLECM_MAC_FAILURE_NONE, VLECM_MAC_FAILURE_STOPPED,
                                           VLECM_MAC_FAILURE_STOPPED};
    for (int i = 0; i < 3; ++i) {
        SVLECMMACState state;
        ASSERT_TRUE(table.GetState(Text(Mac(0xE400 + i)), state));
        ASSERT_EQ(1u, state.addresses.size());
        EXPECT_EQ(eStates[i], state.addresses[0].eState) << i;
        EXPECT_EQ(eFailures[i], state.addresses[0].eFailure) << i;
    }
    EXPECT_EQ(0, table.GetPendingCount());
}
