// Targets, target lists, merge conditions and the controller's management of
// them: factories, deletion with withdrawal from the queue, lock orders.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

#include "base/core/VLException.h"
#include "base/core/VLMemoryAllocException.h"
#include "cm/VLCMApi.h"
#include "cm/VLModInstanceIF.h"
#include "cm/VLModuleController.h"
#include "cm/VLModuleInstance.h"
#include "cm/VLProperty.h"
#include "cm/VLTarget.h"
#include "cm/VLTargetList.h"
#include "tests/support/cm/FakeFramework.h"
#include "tests/support/Watchdog.h"

namespace {

// A target that counts its deletions and can post from its pre-delete hook.
class CCountedTarget : public CVLTarget
{
public:
    explicit CCountedTarget(CVLCMApi* pApi) : CVLTarget(pApi) { ++s_nLive; }
    virtual ~CCountedTarget() { --s_nLive; }
    virtual void OnDelete() override
    {
        if (m_bPostOnDelete)
            GetModuleController()->PostCallbackUser(nullptr, this, Count, 0, nullptr, nullptr);
    }
    static void Count(long, void*, CVLCallbackInfo*) { ++s_nDelivered; }
    bool m_bPostOnDelete = false;
    static std::atomic<int> s_nLive;
    static std::atomic<int> s_nDelivered;
};
std::atomic<int> CCountedTarget::s_nLive{0};
std::atomic<int> CCountedTarget::s_nDelivered{0};

// An implementation that logs its stop with its name.
class CLogStopImpl : public IVLModInstanceIF
{
public:
    explicit CLogStopImpl(std::string* pLog, char c) : m_pLog(pLog), m_c(c) {}
    void DestroyInstance(CVLModuleInstance*, CVLModuleParamCollection*) override {}
    void CallMethod(CVLModuleInstance*, CVLModuleParamCollection*) override {}
    void Stop(CVLModuleInstance*, CVLModuleParamCollection*) override { *m_pLog += m_c; }
    std::string* m_pLog;
    char m_c;
};

void SetText(CVLTarget* pTarget, const char* szPath, const char* szValue)
{
    pTarget->GetProperties()->GetProperty(szPath, true)->SetString(szValue, VL_CHARSET_UTF8);
}

std::string GetText(CVLTarget* pTarget, const char* szPath)
{
    CVLProperty* p = pTarget->GetProperties()->GetProperty(szPath, false);
    return p == nullptr ? "<none>" : p->ToString("").GetString();
}

class TargetTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        CCountedTarget::s_nLive = 0;
        CCountedTarget::s_nDelivered = 0;
    }
    CVLModuleController* C() { return m_Api.GetModuleController(); }
    CVLTarget* NewCounted()
    {
        return new CCountedTarget(&m_Api);
    }
    void Drain()
    {
        for (int i = 0; i < 50; ++i)
            C()->DispatchCallback(0);
    }
    CVLCMApi m_Api;
};

}  // namespace

TEST_F(TargetTest, PropertiesAreMadeOnceAndCopiedOrMerged)
{
    CVLTarget* pA = C()->CreateTarget();
    CVLTarget* pB = C()->CreateTarget();
    ASSERT_NE(nullptr, pA);
    EXPECT_EQ(&m_Api, pA->GetApi());
    EXPECT_EQ(nullptr, pA->GetOwnerList());
    EXPECT_EQ(pA->GetProperties(), pA->GetProperties());

    // Merging from a target without a tree makes none.
    pB->Marge(pA);
    SetText(pA, "Dev.Name", "a");
    SetText(pA, "Dev.Only", "x");
    SetText(pB, "Dev.Name", "b");
    SetText(pB, "Dev.Mac", "m");
    pA->Marge(pB);
    EXPECT_EQ("b", GetText(pA, "Dev.Name"));
    EXPECT_EQ("x", GetText(pA, "Dev.Only"));
    EXPECT_EQ("m", GetText(pA, "Dev.Mac"));

    // A copy replaces the tree and the user value, and keeps the texts.
    pB->SetUserValue(7);
    pA->SetAuxText("aux");
    *pA = *pB;
    EXPECT_EQ("<none>", GetText(pA, "Dev.Only"));
    EXPECT_EQ("m", GetText(pA, "Dev.Mac"));
    EXPECT_EQ(7u, pA->GetUserValue());
    EXPECT_STREQ("aux", pA->GetAuxText().GetString());

    CVLTarget* pEmpty = C()->CreateTarget();
    pA->CopyFrom(pEmpty);
    EXPECT_EQ("<none>", GetText(pA, "Dev.Mac"));
    C()->DeleteTarget(pA, false);
    C()->DeleteTarget(pB, false);
    C()->DeleteTarget(pEmpty, false);
}

TEST_F(TargetTest, PropertiesTextHasItsHeaderLine)
{
    CVLTarget* p = C()->CreateTarget();
    EXPECT_STREQ("", p->GetPropertiesText(nullptr).GetString());
    EXPECT_STREQ("", p->GetPropertiesText("").GetString());
    SetText(p, "A", "1");
    std::string strText = p->GetPropertiesText("H").GetString();
    EXPECT_EQ(0u, strText.find("H\nProperties")) << strText;
    p->Destroy(false);
}

TEST_F(TargetTest, StopDetachesAndStopsInstancesInOrder)
{
    std::string strLog;
    CLogStopImpl a(&strLog, 'a'), b(&strLog, 'b'), c(&strLog, 'c');
    CVLModuleInstance ia(&m_Api), ib(&m_Api), ic(&m_Api);
    ia.SetImplementation(&a), ib.SetImplementation(&b), ic.SetImplementation(&c);
    CVLTarget* p = C()->CreateTarget();
    for (CVLModuleInstance* pInstance : {&ia, &ib, &ic}) {
        pInstance->SetTarget(p);
        p->AddInstance(pInstance);
    }
    p->AddInstance(&ib);
    p->RemoveInstance(&ib); // both entries
    EXPECT_EQ(2, p->GetInstanceCount());
    p->AddInstance(&ib);
    p->Stop();
    EXPECT_EQ("acb", strLog);
    EXPECT_EQ(0, p->GetInstanceCount());
    EXPECT_EQ(nullptr, ia.GetTarget());
    EXPECT_EQ(nullptr, ib.GetTarget());
    p->Destroy(false);
}

TEST_F(TargetTest, ListAddsRemovesAndDestroysEachTargetOnce)
{
    CVLTargetList* pList = C()->CreateTargetList();
    ASSERT_NE(nullptr, pList);
    EXPECT_EQ(0, pList->GetCount());
    EXPECT_EQ(nullptr, pList->Add(nullptr));
    CVLTarget* pA = pList->Add(NewCounted());
    CVLTarget* pB = pList->Add(NewCounted());
    pList->Add(pA); // listed twice
    EXPECT_EQ(pList, pA->GetOwnerList());
    EXPECT_EQ(3, pList->GetCount());
    pList->RemoveAt(pA, false); // the first entry only
    EXPECT_EQ(2, pList->GetCount());
    EXPECT_EQ(pB, pList->Begin().Get());

    CVLTarget* pLoose = NewCounted();
    pList->RemoveAt(pLoose, true); // not listed: left alive
    EXPECT_EQ(3, CCountedTarget::s_nLive);
    pLoose->Destroy(false);

    pList->Destroy(); // pA listed once more and pB: each deleted once
    EXPECT_EQ(0, CCountedTarget::s_nLive);
}

TEST_F(TargetTest, DeletingATargetUnlinksItUnlessTheListAsks)
{
    CVLTargetList* pList = C()->CreateTargetList();
    CVLTarget* pA = pList->Add(NewCounted());
    CVLTarget* pB = pList->Add(NewCounted());
    CVLTarget* pC = pList->Add(NewCounted());
    pB->Destroy(false);
    EXPECT_EQ(2, pList->GetCount());
    EXPECT_EQ(pA, pList->Begin().Get());
    pList->RemoveAt(pC, true);
    EXPECT_EQ(1, pList->GetCount());
    EXPECT_EQ(1, CCountedTarget::s_nLive);
    pList->Destroy();
    EXPECT_EQ(0, CCountedTarget::s_nLive);
}

TEST_F(TargetTest, DeletionWithdrawsAndRefusesTheTargetsRecords)
{
    CCountedTarget* p = static_cast<CCountedTarget*>(NewCounted());
    C()->PostCallbackUser(nullptr, p, CCountedTarget::Count, 0, nullptr, nullptr);
    p->m_bPostOnDelete = true; // posted while it is being deleted: refused
    p->Destroy(false);
    Drain();
    EXPECT_EQ(0, CCountedTarget::s_nDelivered);
    // The mark is gone once deletion is over.
    CVLTarget* pSame = reinterpret_cast<CVLTarget*>(p);
    C()->PostCallbackUser(nullptr, pSame, CCountedTarget::Count, 0, nullptr, nullptr);
    Drain();
    EXPECT_EQ(1, CCountedTarget::s_nDelivered);
}

TEST_F(TargetTest, MergeOrAddWithoutConditionsAddsCopies)
{
    CVLTargetList* pList = C()->CreateTargetList();
    CVLTarget* pSrc = C()->CreateTarget();
    SetText(pSrc, "MACAddress", "00:11");
    bool bMarge = true;
    EXPECT_EQ(nullptr, pList->MargeOrAddTarget(nullptr, bMarge));
    EXPECT_TRUE(bMarge); // untouched
    CVLTarget* p1 = pList->MargeOrAddTarget(pSrc, bMarge);
    EXPECT_FALSE(bMarge);
    CVLTarget* p2 = pList->MargeOrAddTarget(pSrc, bMarge);
    EXPECT_FALSE(bMarge);
    EXPECT_NE(p1, p2);
    EXPECT_NE(pSrc, p1);
    EXPECT_EQ(pList, p2->GetOwnerList());
    EXPECT_EQ("00:11", GetText(p2, "MACAddress"));
    EXPECT_EQ(2, pList->GetCount());
    pSrc->Destroy(false);
    pList->Destroy();
}

TEST_F(TargetTest, MergeOrAddMergesIntoTheFirstMatch)
{
    C()->GetMargeConditionList()->Add()->GetPath() = "MACAddress";
    CVLTargetList* pList = C()->CreateTargetList();
    CVLTarget* pSrc = C()->CreateTarget();
    bool bMarge = false;
    SetText(pSrc, "MACAddress", "00:11");
    SetText(pSrc, "Model", "first");
    CVLTarget* pFirst = pList->MargeOrAddTarget(pSrc, bMarge);
    SetText(pSrc, "Model", "second");
    pList->Add(C()->CreateTarget()); // no MAC at all: never matches
    CVLTarget* pSecond = C()->CreateTarget();
    *pSecond = *pSrc;
    pList->Add(pSecond); // matches too, but later in the list
    SetText(pFirst, "Extra", "kept");

    SetText(pSrc, "Model", "merged");
    EXPECT_EQ(pFirst, pList->MargeOrAddTarget(pSrc, bMarge));
    EXPECT_TRUE(bMarge);
    EXPECT_EQ(3, pList->GetCount());
    EXPECT_EQ("merged", GetText(pFirst, "Model"));
    EXPECT_EQ("kept", GetText(pFirst, "Extra"));
    EXPECT_EQ("second", GetText(pSecond, "Model"));

    // A listed source is not matched against itself.
    SetText(pSecond, "MACAddress", "00:22");
    EXPECT_NE(pSecond, pList->MargeOrAddTarget(pSecond, bMarge));
    EXPECT_FALSE(bMarge);

    // With two conditions both must hold.
    C()->GetMargeConditionList()->Add()->GetPath() = "Model";
    SetText(pSrc, "Model", "other");
    pList->MargeOrAddTarget(pSrc, bMarge);
    EXPECT_FALSE(bMarge);
    EXPECT_EQ(5, pList->GetCount());
    C()->GetMargeConditionList()->DeleteAll();
    pSrc->Destroy(false);
    pList->Destroy();
}

namespace {
CVLTarget* NoTarget(CVLCMApi*)
{
    return nullptr;
}
void KeepTarget(CVLCMApi*, CVLTarget*)
{
}
}  // namespace

TEST(TargetHooksTest, AFactoryThatYieldsNothingFailsTheMergeOrAdd)
{
    CDefinitionFiles files;
    files.AddXml("mapping.xml", "<ModuleMapping/>");
    CVLCMApiConfig config;
    files.Configure(config);
    config.SetTargetFunc(NoTarget, KeepTarget);
    CVLCMApi api;
    api.Initialize(&config, nullptr);
    CVLModuleController* pController = api.GetModuleController();
    CVLTargetList* pList = pController->CreateTargetList();
    CVLTarget src(&api);
    bool bMarge = false;
    try {
        pList->MargeOrAddTarget(&src, bMarge);
        ADD_FAILURE() << "no target was made";
    } catch (EVLMemoryAllocException* e) {
        e->Delete();
    }
    EXPECT_EQ(0, pList->GetCount());
    pList->Destroy();
    api.Terminate();
}

// A target deleted on its own while another thread removes one of the same
// list's targets: the list's removal holds the list lock and wants the
// controller lock, so deletion must not hold the controller lock while it
// unlinks the target.
TEST_F(TargetTest, DeletionAndListRemovalDoNotDeadlock)
{
    CWatchdog watchdog(60, "DeletionAndListRemovalDoNotDeadlock");
    for (int nRound = 0; nRound < 100; ++nRound) {
        CVLTargetList* pList = C()->CreateTargetList();
        CVLTarget* pA = pList->Add(NewCounted());
        CVLTarget* pB = pList->Add(NewCounted());
        std::thread remover([pList, pB]() { pList->RemoveAt(pB, true); });
        pA->Destroy(false);
        remover.join();
        EXPECT_EQ(0, pList->GetCount());
        pList->Destroy();
    }
    EXPECT_EQ(0, CCountedTarget::s_nLive);
}

// The same meeting made certain: the list is held while the deletion runs.
// Deletion withdraws the target (controller lock) and then waits for the
// list; meanwhile the controller lock must be free for everyone else.
TEST_F(TargetTest, DeletionWaitingForTheListHoldsNoControllerLock)
{
    CWatchdog watchdog(60, "DeletionWaitingForTheListHoldsNoControllerLock");
    CVLTargetList* pList = C()->CreateTargetList();
    CVLTarget* pA = pList->Add(NewCounted());
    pList->Lock();
    std::thread deleter([pA]() { pA->Destroy(false); });
    // Wait until the deletion has withdrawn the target: posts for it are refused.
    int nProbe = 0;
    for (;;) {
        C()->PostCallbackUser(nullptr, pA, CCountedTarget::Count, 0, &nProbe, nullptr);
        Drain();
        if (CCountedTarget::s_nDelivered == 0)
            break;
        CCountedTarget::s_nDelivered = 0;
        std::this_thread::yield();
    }
    // The deleter now waits for the list; the controller is free.
    C()->PostCallbackUser(nullptr, nullptr, CCountedTarget::Count, 0, &nProbe, nullptr);
    Drain();
    EXPECT_EQ(1, CCountedTarget::s_nDelivered);
    pList->Unlock();
    deleter.join();
    EXPECT_EQ(0, pList->GetCount());
    EXPECT_EQ(0, CCountedTarget::s_nLive);
    pList->Destroy();
}

namespace {
// An implementation whose stop waits until it is let go.
class CGateStopImpl : public IVLModInstanceIF
{
public:
    void DestroyInstance(CVLModuleInstance*, CVLModuleParamCollection*) override {}
    void CallMethod(CVLModuleInstance*, CVLModuleParamCollection*) override {}
    void Stop(CVLModuleInstance*, CVLModuleParamCollection*) override
    {
        std::unique_lock<std::mutex> lock(m_Mutex);
        m_bStopping = true;
        m_Cond.notify_all();
        m_Cond.wait(lock, [this]() { return m_bOpen; });
    }
    std::mutex m_Mutex;
    std::condition_variable m_Cond;
    bool m_bStopping = false;
    bool m_bOpen = false;
};
}  // namespace

// A target stops its instances one by one without its lock; an instance
// deleted meanwhile must wait until the stop is done with it, or the stop
// calls into freed memory.
TEST_F(TargetTest, DeletionWaitsWhileTheTargetsStopHoldsTheInstance)
{
    CWatchdog watchdog(60, "DeletionWaitsWhileTheTargetsStopHoldsTheInstance");
    CGateStopImpl slow;
    std::string strLog;
    CLogStopImpl quick(&strLog, 'b');
    CVLModuleInstance first(&m_Api);
    first.SetImplementation(&slow);
    CVLModuleInstance* pSecond = new CVLModuleInstance(&m_Api);
    pSecond->SetImplementation(&quick);
    CVLTarget* p = C()->CreateTarget();
    for (CVLModuleInstance* pInstance : {&first, pSecond}) {
        pInstance->SetTarget(p);
        p->AddInstance(pInstance);
    }
    std::thread stopper([p]() { p->Stop(); });
    {
        std::unique_lock<std::mutex> lock(slow.m_Mutex);
        slow.m_Cond.wait(lock, [&slow]() { return slow.m_bStopping; });
    }
    std::atomic<bool> bDeleted{false};
    std::atomic<bool> bDeletedBeforeStopEnded{false};
    std::thread deleter([&]() {
        C()->DeleteModuleInstance(pSecond);
        std::lock_guard<std::mutex> lock(slow.m_Mutex);
        bDeletedBeforeStopEnded = !slow.m_bOpen;
        bDeleted = true;
    });
    // Let the deletion run ahead if it does not wait; it must not finish
    // while the first stop still holds the target's stop.
    for (int i = 0; i < 200 && !bDeleted; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    {
        std::lock_guard<std::mutex> lock(slow.m_Mutex);
        slow.m_bOpen = true;
    }
    slow.m_Cond.notify_all();
    stopper.join();
    deleter.join();
    EXPECT_FALSE(bDeletedBeforeStopEnded);
    EXPECT_EQ("b", strLog);
    EXPECT_EQ(0, p->GetInstanceCount());
    p->Destroy(false);
}
