#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "base/core/VLLockException.h"
#include "base/thread/VLLockableObject.h"
#include "base/core/VLThreadLock.h"
#include "base/core/VLThreadSync.h"
#include "base/core/VLUnlockException.h"

namespace {

// Starts a thread that locks pSync and records that it got the lock; it
// unlocks again when told to.
class CContender
{
public:
    explicit CContender(CVLThreadSync* pSync)
        : m_Thread([this, pSync] {
              if (pSync->Lock()) {
                  m_bLocked = true;
                  while (!m_bRelease)
                      std::this_thread::sleep_for(std::chrono::milliseconds(1));
                  pSync->Unlock();
              }
          })
    {
    }
    ~CContender()
    {
        m_bRelease = true;
        m_Thread.join();
    }
    bool GotLockWithin(int nMilliseconds)
    {
        auto t0 = std::chrono::steady_clock::now();
        while (!m_bLocked && std::chrono::steady_clock::now() - t0 < std::chrono::milliseconds(nMilliseconds))
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return m_bLocked;
    }

private:
    std::atomic<bool> m_bLocked{false};
    std::atomic<bool> m_bRelease{false};
    std::thread m_Thread;
};

class CLockable : public CVLLockableObject
{
public:
    CVLThreadSync* Sync() { return &m_ThreadSync; }
};

}  // namespace

TEST(ThreadSync, RecursiveHoldNeedsEveryUnlock)
{
    CVLThreadSync sync;
    ASSERT_TRUE(sync.Lock());
    ASSERT_TRUE(sync.Lock());
    CContender other(&sync);
    ASSERT_TRUE(sync.Unlock());
    EXPECT_FALSE(other.GotLockWithin(50));
    ASSERT_TRUE(sync.Unlock());
    EXPECT_TRUE(other.GotLockWithin(10000));
}

TEST(ThreadSync, UnlockWithoutHoldFails)
{
    CVLThreadSync sync;
    EXPECT_FALSE(sync.Unlock());
    ASSERT_TRUE(sync.Lock());
    bool bOtherUnlock = true;
    std::thread([&] { bOtherUnlock = sync.Unlock(); }).join();
    EXPECT_FALSE(bOtherUnlock);
    EXPECT_TRUE(sync.Unlock());
}

TEST(ThreadLock, GuardRules)
{
    CVLThreadLock nullGuard(nullptr);
    EXPECT_FALSE(nullGuard.Lock());
    EXPECT_FALSE(nullGuard.Unlock());

    CVLThreadSync sync;
    {
        CVLThreadLock outer(&sync);
        ASSERT_TRUE(outer.Lock());
        {
            CVLThreadLock inner(&sync);
            ASSERT_TRUE(inner.Lock());
        }
        // The inner guard released only its own level.
        CContender other(&sync);
        EXPECT_FALSE(other.GotLockWithin(50));
        // An explicit Unlock is not repeated by the destructor.
        EXPECT_TRUE(outer.Unlock());
        EXPECT_FALSE(outer.Unlock());
        EXPECT_TRUE(other.GotLockWithin(10000));
    }
    // A guard that never locked releases nothing (the unlock would fail here
    // anyway, but must not disturb a hold of this thread).
    ASSERT_TRUE(sync.Lock());
    {
        CVLThreadLock idle(&sync);
    }
    EXPECT_TRUE(sync.Unlock());
    EXPECT_FALSE(sync.Unlock());
}

TEST(ThreadLock, ReleasesOnException)
{
    CVLThreadSync sync;
    try {
        CVLThreadLock guard(&sync);
        ASSERT_TRUE(guard.Lock());
        throw 1;
    } catch (int) {
    }
    CContender other(&sync);
    EXPECT_TRUE(other.GotLockWithin(10000));
}

TEST(LockableObject, LockAndUnlock)
{
    CLockable obj;
    EXPECT_TRUE(obj.Lock());
    {
        // The object's own guard nests inside an outside Lock().
        CVLThreadLock guard(obj.Sync());
        EXPECT_TRUE(guard.Lock());
    }
    {
        CContender other(obj.Sync());
        EXPECT_FALSE(other.GotLockWithin(50));
        EXPECT_TRUE(obj.Unlock());
        EXPECT_TRUE(other.GotLockWithin(10000));
    }
}

TEST(LockableObject, UnlockWithoutHoldThrows)
{
    CVLLockableObject obj;
    try {
        obj.Unlock();
        FAIL() << "no exception";
    } catch (EVLUnlockException* e) {
        EXPECT_EQ(std::string(e->GetModuleName().GetString()), "VLStd");
        EXPECT_EQ(std::string(e->GetFileName().GetString()), "VLLockableObject");
        EXPECT_EQ(e->GetLine(), 52);
        e->Delete();
    }
    // Unlocking from a thread that does not hold it throws as well.
    ASSERT_TRUE(obj.Lock());
    bool bThrown = false;
    std::thread([&] {
        try {
            obj.Unlock();
        } catch (EVLException* e) {
            bThrown = dynamic_cast<EVLUnlockException*>(e) != nullptr;
            e->Delete();
        }
    }).join();
    EXPECT_TRUE(bThrown);
    EXPECT_TRUE(obj.Unlock());
}
