// Several producers post while one thread dispatches; meanwhile module
// instances are deleted while their threads post (some holding their
// target's lock), and targets are deleted while their list is cleared. Run
// under the sanitizers (ThreadSanitizer in CI) with a watchdog: no deadlock,
// no use of a freed object, every accepted record delivered once and in
// each producer's order.
//
// As in the device manager, one dispatch lock is held around each dispatch
// and around each deletion, so no record is being delivered while its
// instance or target goes.
#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include "cm/VLCMApi.h"
#include "cm/VLModInstanceIF.h"
#include "cm/VLModuleController.h"
#include "cm/VLModuleInstance.h"
#include "cm/VLModuleParamCollection.h"
#include "cm/VLProgressListener.h"
#include "cm/VLTarget.h"
#include "cm/VLTargetList.h"
#include "cm/VLTargetLock.h"
#include "tests/support/Watchdog.h"

namespace {

const int kProducers = 4;
const int kPostsPerProducer = 5000;
const int kRounds = 100;
const int kInstancePosts = 100;
const int kWatchdogSeconds = 200;

// What the dispatcher saw; touched only by the thread that holds the dispatch lock.
struct CStressState {
    std::mutex m_DispatchLock;
    // Live instances with the progress value each expects next, live targets.
    std::map<CVLModuleInstance*, VL_SIZE_T> m_LiveInstances;
    std::set<CVLTarget*> m_LiveTargets;
    int m_nNext[kProducers] = {};
    std::atomic<int> m_nFailures{0};
    std::atomic<long> m_nDelivered{0};
};
CStressState* g_pState = nullptr;

void OnProducerRecord(long lSeq, void* pParam, CVLCallbackInfo*)
{
    int nProducer = *static_cast<int*>(pParam);
    if (lSeq != g_pState->m_nNext[nProducer]++)
        ++g_pState->m_nFailures;
    ++g_pState->m_nDelivered;
}

// Receives the instances' progress records: the instance and the target must
// be alive (and are touched, for the address sanitizer), and each
// instance's values arrive in order without gaps.
class CStressListener : public IVLProgressListener
{
public:
    void OnProgress(CVLCMApi*, CVLModuleInstance* pInstance, CVLTarget* pTarget, CVLCallbackInfo* pInfo) override
    {
        ++g_pState->m_nDelivered;
        auto it = g_pState->m_LiveInstances.find(pInstance);
        if (it == g_pState->m_LiveInstances.end() ||
            (pTarget != nullptr && g_pState->m_LiveTargets.count(pTarget) == 0)) {
            ++g_pState->m_nFailures;
            return;
        }
        (void)pInstance->IsStopped();
        if (pTarget != nullptr)
            (void)pTarget->GetUserValue();
        if (pInfo->GetProgressValue() != it->second++)
            ++g_pState->m_nFailures;
    }
};

// A module implementation whose thread posts progress records for its
// instance, holding the target's lock as module code does while it fills a
// target. Stop joins the thread.
class CPosterImpl : public IVLModInstanceIF
{
public:
    CPosterImpl(CVLModuleController* pController, CVLModuleInstance* pInstance, CVLTarget* pTarget,
                IVLProgressListener* pListener)
        : m_nPosted(0), m_bStop(false)
    {
        m_Params.SetController(pController);
        m_Params.SetInstance(pInstance);
        m_Params.SetProgressListener(pListener);
        m_Thread = std::thread([this, pController, pInstance, pTarget]() {
            // After its posts it keeps working on the target, as a receive
            // thread does, until it is stopped.
            for (VL_SIZE_T nSeq = 0; !m_bStop;) {
                {
                    CVLTargetLock lock(pTarget);
                    if (nSeq < kInstancePosts) {
                        pController->PostCallbackProgress(pInstance, &m_Params, pTarget, "step", nSeq++);
                        ++m_nPosted;
                    }
                }
                std::this_thread::yield();
            }
        });
    }
    ~CPosterImpl() override
    {
        Halt();
    }
    void DestroyInstance(CVLModuleInstance*, CVLModuleParamCollection*) override {}
    void CallMethod(CVLModuleInstance*, CVLModuleParamCollection*) override {}
    void Stop(CVLModuleInstance*, CVLModuleParamCollection*) override { Halt(); }
    void Halt()
    {
        m_bStop = true;
        if (m_Thread.joinable() && m_Thread.get_id() != std::this_thread::get_id())
            m_Thread.join();
    }
    void WaitForPosts(int nCount)
    {
        while (m_nPosted < nCount && !m_bStop)
            std::this_thread::yield();
    }

private:
    CVLModuleParamCollection m_Params;
    std::atomic<int> m_nPosted;
    std::atomic<bool> m_bStop;
    std::thread m_Thread;
};

} // namespace

TEST(CallbackStressTest, ProducersDeletionsAndOneDispatcher)
{
    CWatchdog watchdog(kWatchdogSeconds, "CallbackStressTest");
    CStressState state;
    g_pState = &state;
    CVLCMApi api;
    CVLModuleController* pController = api.GetModuleController();
    CStressListener listener;
    CVLTargetList* pList = pController->CreateTargetList();
    std::atomic<int> nBusy{0};

    std::vector<std::thread> threads;
    static int s_Ids[kProducers];
    for (int k = 0; k < kProducers; ++k) {
        s_Ids[k] = k;
        ++nBusy;
        threads.emplace_back([&, k]() {
            for (int i = 0; i < kPostsPerProducer; ++i)
                pController->PostCallbackUser(nullptr, nullptr, OnProducerRecord, i, &s_Ids[k], nullptr);
            --nBusy;
        });
    }

    // Instances without a target, deleted while their threads post.
    ++nBusy;
    threads.emplace_back([&]() {
        for (int r = 0; r < kRounds; ++r) {
            CVLModuleInstance* pInstance = new CVLModuleInstance(&api);
            {
                std::lock_guard<std::mutex> lock(state.m_DispatchLock);
                state.m_LiveInstances[pInstance] = 0;
            }
            CPosterImpl* pImpl = new CPosterImpl(pController, pInstance, nullptr, &listener);
            pInstance->SetImplementation(pImpl);
            pImpl->WaitForPosts(kInstancePosts / 2);
            {
                std::lock_guard<std::mutex> lock(state.m_DispatchLock);
                state.m_LiveInstances.erase(pInstance);
                pController->DeleteModuleInstance(pInstance);
            }
            delete pImpl;
        }
        --nBusy;
    });

    // Targets of the list with an instance posting for each; a target is
    // deleted on its own unless the list was cleared first.
    ++nBusy;
    threads.emplace_back([&]() {
        for (int r = 0; r < kRounds; ++r) {
            CVLTarget* pTarget = pController->CreateTarget();
            CVLModuleInstance* pInstance = new CVLModuleInstance(&api);
            {
                std::lock_guard<std::mutex> lock(state.m_DispatchLock);
                state.m_LiveTargets.insert(pTarget);
                state.m_LiveInstances[pInstance] = 0;
            }
            CPosterImpl* pImpl = new CPosterImpl(pController, pInstance, pTarget, &listener);
            pInstance->SetImplementation(pImpl);
            pInstance->SetTarget(pTarget);
            pTarget->AddInstance(pInstance);
            pList->Add(pTarget);
            pImpl->WaitForPosts(kInstancePosts / 2);
            {
                std::lock_guard<std::mutex> lock(state.m_DispatchLock);
                pList->Lock();
                bool bListed = false;
                for (CVLTargetIterator it = pList->Begin(); !it.IsEnd(); it.Next())
                    bListed = bListed || it.Get() == pTarget;
                if (bListed) {
                    state.m_LiveTargets.erase(pTarget);
                    pTarget->Destroy(false);
                }
                pList->Unlock();
            }
            {
                std::lock_guard<std::mutex> lock(state.m_DispatchLock);
                state.m_LiveInstances.erase(pInstance);
                pController->DeleteModuleInstance(pInstance);
            }
            delete pImpl;
        }
        --nBusy;
    });

    // Clears the list now and then.
    std::atomic<bool> bStopClearing{false};
    std::thread clearer([&]() {
        while (!bStopClearing) {
            {
                std::lock_guard<std::mutex> lock(state.m_DispatchLock);
                pList->Lock();
                for (CVLTargetIterator it = pList->Begin(); !it.IsEnd(); it.Next())
                    state.m_LiveTargets.erase(it.Get());
                pList->RemoveAll();
                pList->Unlock();
            }
            std::this_thread::yield();
        }
    });

    // The one dispatcher, until everyone is done and the queue is empty.
    for (;;) {
        bool bDone = nBusy == 0;
        long nBefore = state.m_nDelivered;
        {
            std::lock_guard<std::mutex> lock(state.m_DispatchLock);
            pController->DispatchCallback(0);
        }
        if (bDone && state.m_nDelivered == nBefore)
            break;
    }
    bStopClearing = true;
    clearer.join();
    for (std::thread& t : threads)
        t.join();

    EXPECT_EQ(0, state.m_nFailures);
    for (int k = 0; k < kProducers; ++k)
        EXPECT_EQ(kPostsPerProducer, state.m_nNext[k]) << "producer " << k;
    EXPECT_EQ(0u, pController->GetDroppedCallbackCount());
    pList->Destroy();
    g_pState = nullptr;
}
