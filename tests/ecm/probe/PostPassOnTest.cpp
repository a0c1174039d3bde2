// A client's override of PostCallbackUser may pass the device manager's
// posts on from another thread, at once or later, and post notes of its
// own: a post's answer is its own, so no device is lost but one whose post
// the queue refused. And what becomes of a simulated device's report that
// the queue refused, or of one whose MAC the client removed.
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "cm/VLCallbackInfo.h"
#include "cm/VLModuleController.h"
#include "ecm/VLECM.h"
#include "ecm/probe/VLECMNIFInfoList.h"
#include "ecm/probe/VLECMProbeInstance.h"
#include "ecm/record/VLECMNIFInfo.h"
#include "tests/support/Eventually.h"
#include "tests/support/Watchdog.h"
#include "tests/support/ecm/DispatchHold.h"
#include "tests/support/ecm/ECMProbeTest.h"
#include "tests/support/ecm/ECMTestClient.h"
#include "tests/support/ecm/FakeNetwork.h"
#include "tests/support/ecm/RefusingQueue.h"

namespace {
const int kDevices = 40;

std::string Mac(int n)
{
    return CFakeNetwork::Mac("0026B0", n);
}

CVLString Text(const std::string& str)
{
    return CVLString(str.c_str(), 72);
}

enum class EPassOn
{
    Helper,  // on a helper thread the override joins
    Later,   // from a worker, after the override returned
    Notes,   // at once, among notes of its own (one refused)
    Held     // when the test says so, on the test's thread
};

// Passes every post on as its mode says.
class CPassingECM : public CVLECM
{
public:
    explicit CPassingECM(EPassOn eMode) : m_eMode(eMode)
    {
        if (m_eMode == EPassOn::Later)
            m_Worker = std::thread([this]() { work(); });
    }
    ~CPassingECM() override { StopWorker(); }

    void PostCallbackUser(CVLTarget* pTarget, VLCM_USER_CALLBACK pCallback, long lCallbackId,
                          void* pCallbackParam) override
    {
        ++m_nPosts;
        auto pass = [=]() { CVLECM::PostCallbackUser(pTarget, pCallback, lCallbackId, pCallbackParam); };
        switch (m_eMode) {
        case EPassOn::Helper:
            std::thread(pass).join();
            break;
        case EPassOn::Later:
        case EPassOn::Held: {
            std::lock_guard<std::mutex> lock(m_Mutex);
            m_Waiting.push_back(pass);
            m_Cond.notify_all();
            break;
        }
        case EPassOn::Notes:
            note(&m_RefusedNote);
            note(nullptr);
            pass();
            note(&m_RefusedNote);
            std::thread([this]() { note(nullptr); }).join();
            break;
        }
    }
    // The queue refuses every post of that target from now on.
    void RefuseNotes() { GetApi()->GetModuleController()->RemoveCallbackInfo(nullptr, &m_RefusedNote, nullptr); }
    void StopWorker()
    {
        {
            std::lock_guard<std::mutex> lock(m_Mutex);
            m_bStop = true;
            m_Cond.notify_all();
        }
        if (m_Worker.joinable())
            m_Worker.join();
    }
    // Passes on what was held, holding the lock its PostCallbackUser takes:
    // nothing may post again meanwhile. How many.
    size_t PassHeld()
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        std::deque<std::function<void()>> passes;
        passes.swap(m_Waiting);
        for (auto& pass : passes)
            pass();
        return passes.size();
    }
    size_t GetHeld()
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        return m_Waiting.size();
    }
    size_t GetUnsettledPosts() { return m_PostAnswers.GetCount(); }
    std::atomic<int> m_nPosts{0};
    std::atomic<int> m_nNotes{0};

private:
    void note(CVLTarget* pTarget)
    {
        CVLECM::PostCallbackUser(
            pTarget, [](long, void* p, CVLCallbackInfo*) { ++*static_cast<std::atomic<int>*>(p); }, 0, &m_nNotes);
    }
    // Passes on what came meanwhile, a while after it came.
    void work()
    {
        std::unique_lock<std::mutex> lock(m_Mutex);
        for (;;) {
            m_Cond.wait(lock, [this]() { return m_bStop || !m_Waiting.empty(); });
            if (m_bStop)
                return;
            lock.unlock();
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            lock.lock();
            std::deque<std::function<void()>> passes;
            passes.swap(m_Waiting);
            lock.unlock();
            for (auto& pass : passes)
                pass();
            lock.lock();
        }
    }

    EPassOn m_eMode;
    CVLECMNIFInfo m_RefusedNote;
    std::mutex m_Mutex;
    std::condition_variable m_Cond;
    std::deque<std::function<void()>> m_Waiting;
    bool m_bStop = false;
    std::thread m_Worker;
};

std::string PassOnName(const ::testing::TestParamInfo<EPassOn>& info)
{
    const char* const szNames[] = {"Helper", "Later", "Notes", "Held"};
    return szNames[static_cast<int>(info.param)];
}

// Starts the device manager and a probe of checks alone.
bool StartProbe(CVLECM& ecm, CRecordingClient& client)
{
    CVLECMPropertyMap options;
    options[Text("Option.Probe.SkipGetSupportInformation")] = Text("true");
    return ecm.Initialize(&client, nullptr, nullptr, nullptr) == VLECM_RESULT_SUCCESS &&
           ecm.Probe(VLECM_PROBE_CONNECT_TYPE_ALL, &options) == VLECM_RESULT_SUCCESS;
}

class ECMPostPassOn : public ::testing::TestWithParam<EPassOn>
{
};

class ECMSimulatedReports : public CECMProbeTest
{
};
}  // namespace

// Every device's check and command ends and its hand-on reach the dispatch
// thread however the override passes them on: all are reported, none is
// judged lost, and no answer is left waiting.
TEST_P(ECMPostPassOn, EveryDeviceIsHandedOnAndNoneLost)
{
    CWatchdog watchdog(120, "ECMPostPassOn");
    CFakeNetwork network;
    CRecordingClient client;
    CPassingECM ecm(GetParam());
    ASSERT_TRUE(StartProbe(ecm, client));
    ecm.RefuseNotes();
    for (int i = 0; i < kDevices; ++i)
        ASSERT_TRUE(CFakeNetwork::Reply(Mac(i), "", "10.8.9." + std::to_string(i + 1)));
    for (int i = 0; i < kDevices; ++i) {
        SVLECMMACState state;
        ASSERT_TRUE(WaitJudged(ecm, Mac(i).c_str(), state)) << i;
        EXPECT_EQ(VLECM_MAC_ONE, state.eVerdict) << i;
        EXPECT_EQ(VLECM_MAC_FAILURE_NONE, state.addresses[0].eFailure) << i;
    }
    ASSERT_TRUE(client.WaitFor("probe", kDevices));
    EXPECT_EQ(kDevices, ecm.GetNIFInfoList()->GetCount());
    if (GetParam() == EPassOn::Notes) {
        Drain(ecm);
        // Two of each post's four notes; the others were refused.
        EXPECT_LE(2 * kDevices, ecm.m_nPosts.load());
        EXPECT_EQ(2 * ecm.m_nPosts.load(), ecm.m_nNotes.load());
    }
    EXPECT_TRUE(Eventually([&]() { return ecm.GetUnsettledPosts() == 0; }));
    ecm.StopWorker();
    ecm.Terminate();
}

INSTANTIATE_TEST_SUITE_P(Overrides, ECMPostPassOn, ::testing::Values(EPassOn::Helper, EPassOn::Later, EPassOn::Notes),
                         PassOnName);

// A command end passed on after its poster returned, on another thread, is
// judged lost there when the queue refuses it; one passed on after its
// device was removed is dropped, not queued with a record that is gone.
TEST(ECMPostHeld, ALatePassOnIsJudgedByItsOwnAnswer)
{
    CWatchdog watchdog(60, "ECMPostHeld");
    CFakeNetwork network;
    CRecordingClient client;
    CPassingECM ecm(EPassOn::Held);
    ASSERT_TRUE(StartProbe(ecm, client));
    const std::string strRemoved = Mac(0x200);
    const std::string strRefused = Mac(0x201);
    CVLModuleController* pController = ecm.GetApi()->GetModuleController();
    ASSERT_TRUE(CFakeNetwork::Reply(strRemoved, "", "10.8.9.201"));
    // Its check ended; the end waits in the override.
    ASSERT_TRUE(Eventually([&]() { return ecm.GetUnsettledPosts() == 1; }));
    CVLECMNIFInfo* pRemoved = nullptr;
    ASSERT_TRUE(ecm.WithRecord(strRemoved.c_str(), "10.8.9.201", [&pRemoved](CVLECMNIFInfo* p) { pRemoved = p; }));
    ecm.RemoveNIFInfo(pRemoved);
    {
        CDispatchHold hold(ecm);
        const size_t nQueued = pController->GetQueuedCallbackBytes();
        EXPECT_EQ(1u, ecm.PassHeld());
        EXPECT_EQ(nQueued, pController->GetQueuedCallbackBytes());
    }
    ASSERT_TRUE(CFakeNetwork::Reply(strRefused, "", "10.8.9.202"));
    ASSERT_TRUE(Eventually([&]() { return ecm.GetUnsettledPosts() == 1; }));
    SVLECMMACState state;
    ASSERT_TRUE(ecm.GetMACState(strRefused.c_str(), state));
    EXPECT_EQ(VLECM_MAC_PENDING, state.eVerdict);
    {
        CDispatchHold hold(ecm);
        CRefusingQueue full(ecm);
        EXPECT_EQ(1u, ecm.PassHeld());
        // Judged on the dispatch thread's pass, not inside the pass-on.
        ASSERT_TRUE(ecm.GetMACState(strRefused.c_str(), state));
        EXPECT_EQ(VLECM_MAC_PENDING, state.eVerdict);
    }
    Drain(ecm);
    ASSERT_TRUE(ecm.GetMACState(strRefused.c_str(), state));
    EXPECT_EQ(VLECM_MAC_NONE, state.eVerdict);
    EXPECT_EQ(VLECM_MAC_FAILURE_LOST, state.addresses[0].eFailure);
    EXPECT_EQ(0u, client.Count("probe"));
    EXPECT_EQ(0u, ecm.GetUnsettledPosts());
    EXPECT_EQ(0, ecm.GetPendingMACCount());
    ecm.Terminate();
}

// A client's own command end that its override passes on after the device
// was removed, alone or with every other, is dropped: never queued with the
// record that is gone.
TEST(ECMPostHeld, AClientsCommandEndPassedOnAfterItsDeviceWentIsDropped)
{
    CWatchdog watchdog(60, "ECMPostHeld");
    CFakeNetwork network;
    for (bool bAll : {false, true}) {
        SCOPED_TRACE(bAll ? "RemoveAllNIFInfo" : "RemoveNIFInfo");
        CRecordingClient client;
        CPassingECM ecm(EPassOn::Held);
        ASSERT_TRUE(StartProbe(ecm, client));
        const std::string strMAC = Mac(bAll ? 0x211 : 0x210);
        ASSERT_TRUE(CFakeNetwork::Reply(strMAC, "", bAll ? "10.8.9.211" : "10.8.9.210"));
        // Its chain's posts passed on as they come, until it is reported.
        ASSERT_TRUE(Eventually([&]() {
            ecm.PassHeld();
            return client.Count("probe") == 1;
        }));
        ecm.StopProbe();
        CVLECMNIFInfo* pNIFInfo = ecm.FindNIFInfo(strMAC.c_str());
        ASSERT_NE(nullptr, pNIFInfo);
        ASSERT_EQ(VLECM_RESULT_SUCCESS, pNIFInfo->GetDetail(VLECM_CONNECT_TYPE_NETWORK, nullptr));
        ASSERT_TRUE(Eventually([&]() { return ecm.GetHeld() == 1; }));
        if (bAll)
            ecm.RemoveAllNIFInfo();
        else
            ecm.RemoveNIFInfo(pNIFInfo);
        {
            CDispatchHold hold(ecm);
            CVLModuleController* pController = ecm.GetApi()->GetModuleController();
            const size_t nQueued = pController->GetQueuedCallbackBytes();
            EXPECT_EQ(1u, ecm.PassHeld());
            EXPECT_EQ(nQueued, pController->GetQueuedCallbackBytes());
        }
        Drain(ecm);
        EXPECT_EQ(0u, client.Count("GetDetail"));
        EXPECT_EQ(0u, ecm.GetUnsettledPosts());
        ecm.Terminate();
    }
}

// A simulated device whose MAC the client removed is not handed on again:
// neither listed nor reported.
TEST_F(ECMSimulatedReports, ASimulatedDeviceOfARemovedMACIsNotHandedOn)
{
    CWatchdog watchdog(60, "ECMSimulatedReports");
    const std::string strMAC = Mac(0x100);
    ASSERT_TRUE(CFakeNetwork::Reply(strMAC, "", "10.8.9.101"));
    ASSERT_TRUE(m_Client.WaitFor("probe", 1));
    m_ECM.RemoveNIFInfo(m_ECM.FindNIFInfo(strMAC.c_str()));
    CVLECMNIFInfo simulated;
    simulated.SetMACAddress(strMAC.c_str());
    simulated.SetDummy(true);
    m_ECM.GetProbeInstance().OnDummyProbe(nullptr, simulated, VLECM_CONNECT_TYPE_NETWORK);
    Drain(m_ECM);
    EXPECT_EQ(nullptr, m_ECM.FindNIFInfo(strMAC.c_str()));
    EXPECT_EQ(0, m_ECM.GetNIFInfoList()->GetCount());
    EXPECT_EQ(1u, m_Client.Count("probe"));
}

// A simulated device's report that the queue refused waits for the next
// dispatch pass; removed before it, the device is not reported.
TEST_F(ECMSimulatedReports, ARefusedReportOfADeviceRemovedMeanwhileIsNotMade)
{
    CWatchdog watchdog(60, "ECMSimulatedReports");
    const std::string strMAC = Mac(0x101);
    CVLECMNIFInfo simulated;
    simulated.SetMACAddress(strMAC.c_str());
    simulated.SetDummy(true);
    {
        // Before the pass that would report it, on the dispatch thread.
        CDispatchHold hold(m_ECM, [&]() { m_ECM.RemoveNIFInfo(m_ECM.FindNIFInfo(strMAC.c_str())); });
        CRefusingQueue full(m_ECM);
        m_ECM.GetProbeInstance().OnDummyProbe(nullptr, simulated, VLECM_CONNECT_TYPE_NETWORK);
        ASSERT_NE(nullptr, m_ECM.FindNIFInfo(strMAC.c_str()));
    }
    Drain(m_ECM);
    EXPECT_EQ(nullptr, m_ECM.FindNIFInfo(strMAC.c_str()));
    EXPECT_EQ(0u, m_Client.Count("probe"));
}
