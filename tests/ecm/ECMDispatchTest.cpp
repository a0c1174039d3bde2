// The dispatch thread: queue order, callbacks that throw, and the calls it
// must refuse because they would wait for itself.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <vector>

#include "base/core/VLInvalidParamException.h"
#include "ecm/VLECM.h"
#include "tests/support/ecm/FakeNetwork.h"
#include "tests/support/Watchdog.h"

namespace {
class CNullCallback : public IVLECMCallbackIF
{
};

struct Shared
{
    std::mutex mutex;
    std::condition_variable cond;
    std::vector<long> order;
    CVLECM* pECM = nullptr;
    VLECM_RESULT eNestedInitialize = VLECM_RESULT_SUCCESS;
};

void Record(long lId, void* p, CVLCallbackInfo*)
{
    Shared* pShared = static_cast<Shared*>(p);
    {
        std::lock_guard<std::mutex> lock(pShared->mutex);
        pShared->order.push_back(lId);
    }
    pShared->cond.notify_all();
    // Every third one fails, in both ways a callback can.
    if (lId % 6 == 2)
        throw new EVLInvalidParamException("Test", "ECMDispatchTest", __LINE__);
    if (lId % 6 == 5)
        throw 42;
}

void Nested(long, void* p, CVLCallbackInfo*)
{
    Shared* pShared = static_cast<Shared*>(p);
    pShared->pECM->Terminate();
    VLECM_RESULT eResult = pShared->pECM->Initialize(nullptr, nullptr, nullptr, nullptr);
    {
        std::lock_guard<std::mutex> lock(pShared->mutex);
        pShared->eNestedInitialize = eResult;
        pShared->order.push_back(-1);
    }
    pShared->cond.notify_all();
}
}  // namespace

TEST(ECMDispatch, DeliversInQueueOrderAndSurvivesThrowingCallbacks)
{
    CWatchdog watchdog(60, "dispatch order");
    CNullCallback callback;
    CFakeNetwork network;
    CVLECM ecm;
    ASSERT_EQ(VLECM_RESULT_SUCCESS, ecm.Initialize(&callback, nullptr, nullptr, nullptr));
    Shared shared;
    const long kCount = 30;
    for (long i = 0; i < kCount; ++i)
        ecm.GetApi()->PostCallbackUser(nullptr, nullptr, Record, i, &shared, nullptr);
    {
        std::unique_lock<std::mutex> lock(shared.mutex);
        ASSERT_TRUE(shared.cond.wait_for(lock, std::chrono::seconds(20),
                                         [&]() { return shared.order.size() == static_cast<size_t>(kCount); }));
        for (long i = 0; i < kCount; ++i)
            EXPECT_EQ(i, shared.order[i]);
    }
    ecm.Terminate();
}

TEST(ECMDispatch, InitializeAndTerminateAreRefusedOnTheDispatchThread)
{
    CWatchdog watchdog(60, "Initialize and Terminate on the dispatch thread");
    CNullCallback callback;
    CFakeNetwork network;
    CVLECM ecm;
    ASSERT_EQ(VLECM_RESULT_SUCCESS, ecm.Initialize(&callback, nullptr, nullptr, nullptr));
    Shared shared;
    shared.pECM = &ecm;
    ecm.GetApi()->PostCallbackUser(nullptr, nullptr, Nested, 0, &shared, nullptr);
    ecm.GetApi()->PostCallbackUser(nullptr, nullptr, Record, 1, &shared, nullptr);
    {
        std::unique_lock<std::mutex> lock(shared.mutex);
        ASSERT_TRUE(shared.cond.wait_for(lock, std::chrono::seconds(20), [&]() { return shared.order.size() == 2; }));
        EXPECT_EQ(VLECM_RESULT_FAILED, shared.eNestedInitialize);
    }
    // Still initialized and dispatching.
    EXPECT_NE(nullptr, ecm.GetNIFInfoList());
    ecm.Terminate();
    EXPECT_EQ(nullptr, ecm.GetNIFInfoList());
}
