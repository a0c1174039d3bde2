// The callback records and the controller's queue: delivery order, refusal
// and withdrawal, waits, ownership of records and exceptions, the bound.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "base/core/VLException.h"
#include "cm/VLCallbackInfo.h"
#include "cm/VLCallbackInfoList.h"
#include "cm/VLCMApi.h"
#include "cm/VLFunctionListener.h"
#include "cm/VLModuleController.h"
#include "cm/VLModuleInstance.h"
#include "cm/VLModuleParamCollection.h"
#include "cm/VLProgressListener.h"
#include "cm/VLTarget.h"
#include "tests/support/Watchdog.h"

namespace {

// An exception that counts the living ones, to see what is freed.
class ECountedException : public EVLException
{
public:
    ECountedException() : EVLException("Test", "CallbackQueueTest", 1) { ++s_nLive; }
    virtual ~ECountedException() { --s_nLive; }
    static int s_nLive;
};
int ECountedException::s_nLive = 0;

// A record that counts the living ones.
class CCountedInfo : public CVLCallbackInfo
{
public:
    CCountedInfo() { ++s_nLive; }
    virtual ~CCountedInfo() { --s_nLive; }
    static int s_nLive;
};
int CCountedInfo::s_nLive = 0;

// Logs each event as "<kind>:<id>", the id being the record's extra text or
// its callback id.
class CLogListener : public IVLFunctionListener, public IVLProgressListener
{
public:
    void OnProbe(CVLCMApi*, CVLModuleInstance*, CVLTarget*, CVLCallbackInfo* p) override { Log("probe", p); }
    void OnDone(CVLCMApi*, CVLModuleInstance*, CVLTarget*, CVLCallbackInfo* p) override { Log("done", p); }
    void OnStop(CVLCMApi*, CVLModuleInstance*, CVLTarget*, CVLCallbackInfo* p) override { Log("stop", p); }
    void OnTimeout(CVLCMApi*, CVLModuleInstance*, CVLTarget*, CVLCallbackInfo* p) override { Log("timeout", p); }
    void OnException(CVLCMApi*, CVLModuleInstance*, CVLTarget*, CVLCallbackInfo* p) override { Log("exception", p); }
    void OnProgress(CVLCMApi*, CVLModuleInstance*, CVLTarget*, CVLCallbackInfo* p) override { Log("progress", p); }
    void Log(const char* szKind, CVLCallbackInfo* p) { m_Events.push_back(std::string(szKind) + ":" + p->GetEventCode().GetString()); }
    std::vector<std::string> m_Events;
};

std::vector<long> g_UserIds;
void RecordUser(long lId, void*, CVLCallbackInfo*)
{
    g_UserIds.push_back(lId);
}

// A record for the listener carrying a tag in its event code.
CVLCallbackInfo* Tagged(int eType, IVLFunctionListener* pListener, const char* szTag, CVLTarget* pTarget = nullptr)
{
    CVLCallbackInfo* p = new CCountedInfo();
    p->SetType(eType);
    p->SetFunctionListener(pListener);
    p->SetEventCode(szTag);
    p->SetTarget(pTarget);
    return p;
}

class CallbackQueueTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        g_UserIds.clear();
        ECountedException::s_nLive = 0;
        CCountedInfo::s_nLive = 0;
    }
    void TearDown() override
    {
        // Drain, so every counted object has gone when the test ends.
        for (int i = 0; i < 100; ++i)
            Q()->DispatchCallback(0);
        EXPECT_EQ(0, CCountedInfo::s_nLive);
        EXPECT_EQ(0, ECountedException::s_nLive);
    }
    CVLModuleController* Q() { return m_Api.GetModuleController(); }
    void DispatchAll()
    {
        for (int i = 0; i < 100; ++i)
            Q()->DispatchCallback(0);
    }
    CVLCMApi m_Api;
    CLogListener m_Listener;
};

} // namespace

TEST(CallbackInfoTest, InvokeReachesOnlyTheListenerOfItsType)
{
    CLogListener listener;
    const int kTypes[] = {0, 1, 2, 3, 4, 5, 6, 7, -1};
    for (int eType : kTypes) {
        CVLCallbackInfo info;
        info.SetType(eType);
        info.SetFunctionListener(&listener);
        info.SetEventCode("x");
        info.Invoke();
    }
    // Progress goes to the progress listener only, 6 has no user function,
    // 7 and -1 reach nothing.
    EXPECT_EQ((std::vector<std::string>{"probe:x", "done:x", "stop:x", "timeout:x", "exception:x"}),
              listener.m_Events);

    CLogListener progress;
    CVLCallbackInfo info;
    info.SetType(VLCM_CALLBACK_PROGRESS);
    info.SetProgressListener(&progress);
    info.Invoke();
    info.SetType(VLCM_CALLBACK_DONE);
    info.Invoke();
    EXPECT_EQ(std::vector<std::string>{"progress:"}, progress.m_Events);

    g_UserIds.clear();
    CVLCallbackInfo user;
    EXPECT_EQ(VLCM_CALLBACK_USER, user.GetType());
    user.Invoke();
    user.SetUserCallback(RecordUser, 42, &user);
    user.Invoke();
    EXPECT_EQ(std::vector<long>{42}, g_UserIds);
}

TEST(CallbackInfoTest, OwnsItsExceptionAlone)
{
    ECountedException::s_nLive = 0;
    {
        CVLCallbackInfo info;
        info.SetException(new ECountedException());
        info.SetException(new ECountedException()); // the first is freed
        EXPECT_EQ(1, ECountedException::s_nLive);
        info.SetException(info.GetException()); // the same one again stays
        EXPECT_EQ(1, ECountedException::s_nLive);
    }
    EXPECT_EQ(0, ECountedException::s_nLive);
    static_assert(!std::is_copy_constructible<CVLCallbackInfo>::value, "records own their exception");
    static_assert(!std::is_copy_assignable<CVLCallbackInfo>::value, "records own their exception");
}

TEST(CallbackInfoTest, ListPopsInOrderAndRemovesByAnyKey)
{
    CVLTarget* pA = reinterpret_cast<CVLTarget*>(0x10);
    CVLTarget* pB = reinterpret_cast<CVLTarget*>(0x20);
    int nParam = 0;
    CVLCallbackInfoList list;
    EXPECT_EQ(nullptr, list.Pop());
    for (int i = 0; i < 6; ++i) {
        CVLCallbackInfo* p = list.AddNew();
        p->SetTarget(i % 2 == 0 ? pA : pB);
        p->SetUserCallback(nullptr, i, i == 3 ? &nParam : nullptr);
    }
    list.Remove(nullptr, nullptr, nullptr);
    EXPECT_EQ(6, list.GetCount());
    // Records 0, 2, 4 by target, 3 by parameter.
    list.Remove(nullptr, pA, &nParam);
    ASSERT_EQ(2, list.GetCount());
    CVLCallbackInfo* p = list.Pop();
    EXPECT_EQ(pB, p->GetTarget());
    delete p;
    p = list.Pop();
    EXPECT_EQ(pB, p->GetTarget());
    delete p;
    EXPECT_EQ(nullptr, list.Pop());
}

TEST_F(CallbackQueueTest, DeliversInPostingOrderOnePerCall)
{
    Q()->PostCallbackUser(Tagged(VLCM_CALLBACK_PROBE, &m_Listener, "1"));
    Q()->PostCallbackUser(Tagged(VLCM_CALLBACK_DONE, &m_Listener, "2"));
    Q()->PostCallbackUser(Tagged(VLCM_CALLBACK_EXCEPTION, &m_Listener, "3"));
    Q()->DispatchCallback(0);
    EXPECT_EQ(std::vector<std::string>{"probe:1"}, m_Listener.m_Events);
    Q()->DispatchCallback(0);
    Q()->DispatchCallback(0);
    Q()->DispatchCallback(0);
    EXPECT_EQ((std::vector<std::string>{"probe:1", "done:2", "exception:3"}), m_Listener.m_Events);
    EXPECT_EQ(0, CCountedInfo::s_nLive);
}

TEST_F(CallbackQueueTest, PostFromAListenerWaitsForTheNextDispatch)
{
    struct CRepost : public IVLFunctionListener {
        CVLModuleController* m_pQ;
        int m_nCalls = 0;
        void OnDone(CVLCMApi*, CVLModuleInstance*, CVLTarget*, CVLCallbackInfo*) override
        {
            if (++m_nCalls == 1)
                m_pQ->PostCallbackUser(Tagged(VLCM_CALLBACK_DONE, this, "again"));
        }
    } repost;
    repost.m_pQ = Q();
    Q()->PostCallbackUser(Tagged(VLCM_CALLBACK_DONE, &repost, "first"));
    Q()->DispatchCallback(0);
    EXPECT_EQ(1, repost.m_nCalls);
    Q()->DispatchCallback(0);
    EXPECT_EQ(2, repost.m_nCalls);
}

TEST_F(CallbackQueueTest, RefusesLockedInstancesTargetsAndParametersAndFreesWhatTheyCarry)
{
    CVLModuleInstance instance(&m_Api);
    CVLModuleInstance other(&m_Api);
    CVLTarget target(&m_Api);
    int nParam = 0;

    Q()->RemoveCallbackInfo(&instance, &target, &nParam);
    Q()->PostCallbackException(&instance, nullptr, nullptr, new ECountedException());
    Q()->PostCallbackException(&other, nullptr, &target, new ECountedException());
    Q()->PostCallbackUser(nullptr, nullptr, RecordUser, 1, &nParam, new ECountedException());
    Q()->PostCallbackUser(nullptr, &target, RecordUser, 2, nullptr, nullptr);
    CVLCallbackInfo* pLocked = Tagged(VLCM_CALLBACK_USER, nullptr, "");
    pLocked->SetUserCallback(RecordUser, 3, &nParam);
    pLocked->SetException(new ECountedException());
    Q()->PostCallbackUser(pLocked);
    EXPECT_EQ(0, ECountedException::s_nLive);
    EXPECT_EQ(0, CCountedInfo::s_nLive);

    // The instance named by the parameters is refused as well: records take
    // their instance from there.
    CVLModuleParamCollection params;
    params.SetInstance(&instance);
    Q()->PostCallbackException(&other, &params, nullptr, new ECountedException());
    EXPECT_EQ(0, ECountedException::s_nLive);

    // Another instance and no target: accepted.
    Q()->PostCallbackUser(&other, nullptr, RecordUser, 4, nullptr, nullptr);
    Q()->UnlockCallbackInfo(&instance, &target, &nParam);
    Q()->UnlockCallbackInfo(&instance, &target, &nParam); // a second unlock changes nothing
    Q()->PostCallbackUser(&instance, &target, RecordUser, 5, &nParam, nullptr);
    DispatchAll();
    EXPECT_EQ((std::vector<long>{4, 5}), g_UserIds);
}

TEST_F(CallbackQueueTest, RemovalWithdrawsQueuedRecordsOfEachKey)
{
    CVLModuleInstance instance(&m_Api);
    CVLTarget target(&m_Api);
    int nParam = 0;
    Q()->PostCallbackUser(&instance, nullptr, RecordUser, 1, nullptr, new ECountedException());
    Q()->PostCallbackUser(nullptr, &target, RecordUser, 2, nullptr, nullptr);
    Q()->PostCallbackUser(nullptr, nullptr, RecordUser, 3, &nParam, nullptr);
    Q()->PostCallbackUser(nullptr, nullptr, RecordUser, 4, nullptr, nullptr);
    Q()->RemoveCallbackInfo(nullptr, nullptr, nullptr);
    Q()->RemoveCallbackInfo(&instance, nullptr, nullptr);
    EXPECT_EQ(0, ECountedException::s_nLive);
    Q()->RemoveCallbackInfo(nullptr, &target, &nParam);
    DispatchAll();
    EXPECT_EQ(std::vector<long>{4}, g_UserIds);
    Q()->UnlockCallbackInfo(&instance, &target, &nParam);
}

TEST_F(CallbackQueueTest, RecordsTakeTheCallContextFromTheParameters)
{
    CVLModuleInstance instance(&m_Api);
    CVLTarget target(&m_Api);
    CVLModuleParamCollection params;
    params.SetController(Q());
    params.SetInstance(&instance);
    params.SetFunctionName("Probe");
    params.SetPacketListName("List");
    params.SetListener(&m_Listener);
    struct CCheck : public IVLFunctionListener {
        CVLCMApi* m_pApi = nullptr;
        CVLModuleInstance* m_pInstance = nullptr;
        CVLTarget* m_pTarget = nullptr;
        std::string m_strNames;
        bool m_bMarge = false;
        void OnProbe(CVLCMApi* pApi, CVLModuleInstance* pInstance, CVLTarget* pTarget, CVLCallbackInfo* p) override
        {
            m_pApi = pApi, m_pInstance = pInstance, m_pTarget = pTarget, m_bMarge = p->IsMarge();
            m_strNames = std::string(p->GetFunctionName().GetString()) + "/" + p->GetPacketListName().GetString();
        }
    } check;
    params.SetListener(&check);
    Q()->PostCallbackProbe(nullptr, &params, &target, true);
    params.SetFunctionName("Changed"); // the record copied the text
    Q()->DispatchCallback(0);
    EXPECT_EQ(&m_Api, check.m_pApi);
    EXPECT_EQ(&instance, check.m_pInstance);
    EXPECT_EQ(&target, check.m_pTarget);
    EXPECT_EQ("Probe/List", check.m_strNames);
    EXPECT_TRUE(check.m_bMarge);
}

// Parameters without a controller (a module's own copy) leave the record
// with the API of the queue that took it.
TEST_F(CallbackQueueTest, ADoneRecordKeepsItsAPIWhenTheParametersHaveNoController)
{
    CVLModuleParamCollection params;
    struct CDone : public IVLFunctionListener
    {
        CVLCMApi* m_pApi = nullptr;
        int m_nDone = 0;
        void OnDone(CVLCMApi* pApi, CVLModuleInstance*, CVLTarget*, CVLCallbackInfo*) override
        {
            m_pApi = pApi;
            ++m_nDone;
        }
    } done;
    params.SetListener(&done);
    Q()->PostCallbackDone(nullptr, &params, nullptr);
    Q()->DispatchCallback(0);
    EXPECT_EQ(1, done.m_nDone);
    EXPECT_EQ(&m_Api, done.m_pApi);
}

TEST_F(CallbackQueueTest, ARecordIsFreedWhenItsDeliveryThrows)
{
    struct CThrow : public IVLFunctionListener {
        void OnDone(CVLCMApi*, CVLModuleInstance*, CVLTarget*, CVLCallbackInfo*) override
        {
            throw new ECountedException();
        }
    } thrower;
    Q()->PostCallbackUser(Tagged(VLCM_CALLBACK_DONE, &thrower, ""));
    EXPECT_EQ(1, CCountedInfo::s_nLive);
    try {
        Q()->DispatchCallback(0);
        ADD_FAILURE() << "the listener's exception passes";
    } catch (EVLException* e) {
        e->Delete();
    }
    EXPECT_EQ(0, CCountedInfo::s_nLive);
}

TEST_F(CallbackQueueTest, AWaitingDispatchWakesOnAPost)
{
    CWatchdog watchdog(60, "AWaitingDispatchWakesOnAPost");
    Q()->DispatchCallback(1); // an empty queue: returns after its time-out
    EXPECT_TRUE(m_Listener.m_Events.empty());
    std::thread consumer([this]() { Q()->DispatchCallback(-1); });
    Q()->PostCallbackUser(Tagged(VLCM_CALLBACK_DONE, &m_Listener, "woken"));
    consumer.join();
    EXPECT_EQ(std::vector<std::string>{"done:woken"}, m_Listener.m_Events);
}

TEST_F(CallbackQueueTest, AFloodIsBoundedButEndingRecordsStillPass)
{
    CVLTarget target(&m_Api);
    unsigned long nBefore = Q()->GetDroppedCallbackCount();
    int nPosted = 0;
    // Probe records until some are dropped.
    while (Q()->GetDroppedCallbackCount() == nBefore && nPosted < 1000000) {
        Q()->PostCallbackProbe(nullptr, nullptr, &target, false);
        ++nPosted;
    }
    ASSERT_LT(nPosted, 1000000) << "the queue has no bound";
    Q()->PostCallbackProbe(nullptr, nullptr, &target, false);
    EXPECT_EQ(nBefore + 2, Q()->GetDroppedCallbackCount());
    // A record that ends a function still finds room.
    Q()->PostCallbackUser(Tagged(VLCM_CALLBACK_DONE, &m_Listener, "end"));
    EXPECT_EQ(nBefore + 2, Q()->GetDroppedCallbackCount());
    Q()->RemoveCallbackInfo(nullptr, &target, nullptr);
    Q()->UnlockCallbackInfo(nullptr, &target, nullptr);
    Q()->DispatchCallback(0);
    EXPECT_EQ(std::vector<std::string>{"done:end"}, m_Listener.m_Events);
}

TEST_F(CallbackQueueTest, AFloodOfLongRecordsIsBoundedInBytes)
{
    unsigned long nBefore = Q()->GetDroppedCallbackCount();
    const std::string strLong(64 * 1024, 'x');
    int nPosted = 0;
    while (Q()->GetDroppedCallbackCount() == nBefore && nPosted < 1000) {
        CVLCallbackInfo* p = new CVLCallbackInfo();
        p->SetType(VLCM_CALLBACK_PROBE);
        p->SetExtraText(strLong.c_str());
        Q()->PostCallbackUser(p);
        ++nPosted;
    }
    // Far fewer records than the count bound: their bytes bound them.
    ASSERT_LT(nPosted, 1000) << "the queue has no bound in bytes";
    EXPECT_LT(Q()->GetQueuedCallbackBytes(), static_cast<size_t>(nPosted) * (strLong.size() + 1024));
    for (int i = 0; i < nPosted; ++i)
        Q()->DispatchCallback(0);
    EXPECT_EQ(0u, Q()->GetQueuedCallbackBytes());
}

TEST_F(CallbackQueueTest, TheByteTotalFollowsEachRecordInAndOut)
{
    CVLTarget first(&m_Api), second(&m_Api);
    // A target's copy of a reply is counted with its records.
    second.SetFootprint(10000);
    Q()->PostCallbackProbe(nullptr, nullptr, &first, false);
    size_t nFirst = Q()->GetQueuedCallbackBytes();
    Q()->PostCallbackProbe(nullptr, nullptr, &second, false);
    size_t nSecond = Q()->GetQueuedCallbackBytes() - nFirst;
    EXPECT_EQ(nFirst + 10000, nSecond);
    Q()->PostCallbackProbe(nullptr, nullptr, &first, false);
    // Each record leaves with what it brought, delivered or removed.
    Q()->DispatchCallback(0);
    EXPECT_EQ(nSecond + nFirst, Q()->GetQueuedCallbackBytes());
    Q()->RemoveCallbackInfo(nullptr, &second, nullptr);
    EXPECT_EQ(nFirst, Q()->GetQueuedCallbackBytes());
    Q()->UnlockCallbackInfo(nullptr, &second, nullptr);
    Q()->DispatchCallback(0);
    EXPECT_EQ(0u, Q()->GetQueuedCallbackBytes());
}
