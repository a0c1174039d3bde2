// Listener defaults, the callback adapter and the scoped target lock.
#include <gtest/gtest.h>

#include <future>
#include <thread>

#include "cm/VLCMApi.h"
#include "cm/VLCMCallbackAdapter.h"
#include "cm/VLTarget.h"
#include "cm/VLTargetLock.h"

namespace {

struct SRecorded
{
    std::vector<int> kinds;
    void* pUser = nullptr;
};

void Record(int32_t nKind, CVLCMApi*, CVLModuleInstance*, CVLTarget*, CVLCallbackInfo*, void* pUserData)
{
    SRecorded* p = static_cast<SRecorded*>(pUserData);
    p->kinds.push_back(nKind);
}

class CProbeOnly : public IVLFunctionListener
{
public:
    void OnProbe(CVLCMApi*, CVLModuleInstance*, CVLTarget*, CVLCallbackInfo*) override { ++m_nProbes; }
    int m_nProbes = 0;
};

// True when another thread can take and release the target's lock.
bool FreeForOtherThreads(CVLTarget& target)
{
    auto result = std::async(std::launch::async, [&target] {
        target.Lock();
        target.Unlock();
        return true;
    });
    return result.wait_for(std::chrono::seconds(30)) == std::future_status::ready && result.get();
}

}  // namespace

TEST(ListenerTest, DefaultsIgnoreEvents)
{
    CProbeOnly listener;
    IVLFunctionListener* p = &listener;
    p->OnDone(nullptr, nullptr, nullptr, nullptr);
    p->OnStop(nullptr, nullptr, nullptr, nullptr);
    p->OnTimeout(nullptr, nullptr, nullptr, nullptr);
    p->OnException(nullptr, nullptr, nullptr, nullptr);
    p->OnProbe(nullptr, nullptr, nullptr, nullptr);
    EXPECT_EQ(1, listener.m_nProbes);
    IVLProgressListener progress;
    progress.OnProgress(nullptr, nullptr, nullptr, nullptr);
}

TEST(ListenerTest, AdapterReportsEveryKindThroughOneFunction)
{
    CVLCMCallbackAdapter adapter;
    IVLFunctionListener* pFunction = &adapter;
    IVLProgressListener* pProgress = &adapter;
    // Without a function every event is dropped.
    pFunction->OnProbe(nullptr, nullptr, nullptr, nullptr);
    pProgress->OnProgress(nullptr, nullptr, nullptr, nullptr);

    SRecorded recorded;
    adapter.SetCallback(Record);
    adapter.SetUserData(&recorded);
    pFunction->OnProbe(nullptr, nullptr, nullptr, nullptr);
    pFunction->OnDone(nullptr, nullptr, nullptr, nullptr);
    pFunction->OnStop(nullptr, nullptr, nullptr, nullptr);
    pFunction->OnTimeout(nullptr, nullptr, nullptr, nullptr);
    pProgress->OnProgress(nullptr, nullptr, nullptr, nullptr);
    pFunction->OnException(nullptr, nullptr, nullptr, nullptr);
    EXPECT_EQ((std::vector<int>{0, 1, 2, 3, 4, 5}), recorded.kinds);
}

TEST(TargetLockTest, NestedGuardsReleaseEveryLevel)
{
    CVLCMApi api;
    CVLTarget target(&api);
    {
        CVLTargetLock outer(&target);
        {
            CVLTargetLock inner(&target);
            EXPECT_TRUE(inner.IsHeld());
        }
        EXPECT_TRUE(outer.IsHeld());
    }
    EXPECT_TRUE(FreeForOtherThreads(target));
}

TEST(TargetLockTest, ExplicitUnlockIsNotRepeatedByTheDestructor)
{
    CVLCMApi api;
    CVLTarget target(&api);
    target.Lock();
    {
        CVLTargetLock guard(&target);
        guard.Unlock();
        guard.Unlock();
        EXPECT_FALSE(guard.IsHeld());
        guard.Lock();
        guard.Lock();  // held once, not twice
        EXPECT_TRUE(guard.IsHeld());
    }
    // The level taken outside the guard is still ours to release.
    EXPECT_NO_THROW(target.Unlock());
    EXPECT_TRUE(FreeForOtherThreads(target));

    CVLTargetLock none(nullptr);
    none.Lock();
    none.Unlock();
    EXPECT_FALSE(none.IsHeld());
}
