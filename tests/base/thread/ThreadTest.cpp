#include <gtest/gtest.h>

#include <pthread.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>

#include "tests/support/TestSupport.h"
#include "tests/support/ThreadStartFault.h"
#include "base/core/VLStartThreadException.h"
#include "base/thread/VLThread.h"
#include "base/thread/VLThreadController.h"
#include "base/core/VLTrace.h"

namespace {

using Clock = std::chrono::steady_clock;

template <typename Pred>
bool WaitUntil(Pred pred, int nMilliseconds = 10000)
{
    auto t0 = Clock::now();
    while (!pred()) {
        if (Clock::now() - t0 > std::chrono::milliseconds(nMilliseconds))
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

std::atomic<int> g_nControllersAlive(0);

class CCountedController : public CVLThreadController
{
public:
    CCountedController() { ++g_nControllersAlive; }
    ~CCountedController() override { --g_nControllersAlive; }
};

// A thread whose body is chosen by the test; it counts its runs and keeps
// the argument of the last one.
class CTestThread : public CVLThread
{
public:
    enum Mode { kReturn, kUntilRequested, kEndItself, kThrowFramework, kThrowOther };

    explicit CTestThread(Mode eMode) : m_eMode(eMode) {}

    void OnThread(void* pData) override
    {
        m_pSeen = pData;
        m_nKernelId = static_cast<long>(syscall(SYS_gettid));
        m_bRunning = true;
        switch (m_eMode) {
        case kReturn:
            break;
        case kUntilRequested:
            while (!IsRequestEnd())
                Sleep(1);
            break;
        case kEndItself:
            End();
            m_bRequestEndAfterEnd = IsRequestEnd();
            break;
        case kThrowFramework:
            ++m_nRuns;
            m_bRunning = false;
            throw new EVLStartThreadException("Test", "ThreadTest", 1);
        case kThrowOther:
            ++m_nRuns;
            m_bRunning = false;
            throw 42;
        }
        ++m_nRuns;
        m_bRunning = false;
    }

    CVLThreadController* CreateController() override { return new CCountedController; }

    Mode m_eMode;
    std::atomic<void*> m_pSeen{nullptr};
    std::atomic<int> m_nRuns{0};
    std::atomic<bool> m_bRunning{false};
    std::atomic<bool> m_bRequestEndAfterEnd{false};
    std::atomic<long> m_nKernelId{0};
};

}  // namespace

TEST(Thread, NeverStarted)
{
    CTestThread t(CTestThread::kReturn);
    EXPECT_FALSE(t.IsStarted());
    EXPECT_TRUE(t.IsRequestEnd());
    t.SetRequestEnd(false);  // no controller: nothing happens
    EXPECT_TRUE(t.IsRequestEnd());
    t.End();
    t.End();
    EXPECT_EQ(g_nControllersAlive.load(), 0);
}

TEST(Thread, BodyReturnsAtOnceThenEnd)
{
    int n = 0;
    {
        CTestThread t(CTestThread::kReturn);
        t.Start(&n);
        ASSERT_TRUE(WaitUntil([&] { return !t.IsStarted(); }));
        EXPECT_EQ(t.m_nRuns.load(), 1);
        EXPECT_EQ(t.m_pSeen.load(), &n);
        EXPECT_FALSE(t.IsRequestEnd());  // finished, but nobody asked for the end
        EXPECT_EQ(g_nControllersAlive.load(), 1);
        t.End();
        EXPECT_EQ(g_nControllersAlive.load(), 0);
        EXPECT_TRUE(t.IsRequestEnd());
        t.End();  // a second End does nothing
    }
    EXPECT_EQ(g_nControllersAlive.load(), 0);
}

TEST(Thread, EndFromOwnerStopsTheBody)
{
    CTestThread t(CTestThread::kUntilRequested);
    t.Start(nullptr);
    ASSERT_TRUE(WaitUntil([&] { return t.m_bRunning.load(); }));
    EXPECT_TRUE(t.IsStarted());
    EXPECT_FALSE(t.IsRequestEnd());
    t.End();  // joins: the body has returned when End does
    EXPECT_EQ(t.m_nRuns.load(), 1);
    EXPECT_FALSE(t.IsStarted());
    EXPECT_EQ(g_nControllersAlive.load(), 0);
}

TEST(Thread, SetRequestEndAndWithdraw)
{
    CTestThread t(CTestThread::kUntilRequested);
    t.Start(nullptr);
    ASSERT_TRUE(WaitUntil([&] { return t.m_bRunning.load(); }));
    t.SetRequestEnd(true);
    EXPECT_TRUE(t.IsRequestEnd());
    t.SetRequestEnd(false);
    EXPECT_FALSE(t.IsRequestEnd());
    t.SetRequestEnd(true);
    ASSERT_TRUE(WaitUntil([&] { return !t.IsStarted(); }));
    EXPECT_EQ(t.m_nRuns.load(), 1);
    t.End();
    EXPECT_EQ(g_nControllersAlive.load(), 0);
}

TEST(Thread, StartWhileRunningStartsNothing)
{
    int a = 0, b = 0;
    CTestThread t(CTestThread::kUntilRequested);
    t.Start(&a);
    ASSERT_TRUE(WaitUntil([&] { return t.m_bRunning.load(); }));
    t.Start(&b);
    EXPECT_EQ(g_nControllersAlive.load(), 1);
    EXPECT_EQ(t.m_pSeen.load(), &a);  // the running body keeps its argument
    t.End();
    EXPECT_EQ(t.m_nRuns.load(), 1);
    EXPECT_EQ(g_nControllersAlive.load(), 0);
}

TEST(Thread, FinishedThreadStartsAgain)
{
    int a = 0, b = 0;
    CTestThread t(CTestThread::kReturn);
    t.Start(&a);
    ASSERT_TRUE(WaitUntil([&] { return !t.IsStarted(); }));
    t.Start(&b);  // releases the finished run first
    ASSERT_TRUE(WaitUntil([&] { return t.m_nRuns.load() == 2; }));
    t.End();
    EXPECT_EQ(t.m_pSeen.load(), &b);
    EXPECT_EQ(g_nControllersAlive.load(), 0);
}

TEST(Thread, EndFromTheBodyItself)
{
    for (int i = 0; i < 20; ++i) {
        CTestThread t(CTestThread::kEndItself);
        t.Start(nullptr);
        // End inside the body does not wait for itself; the controller goes
        // when the body returns, and the thread is not left unjoined.
        ASSERT_TRUE(WaitUntil([&] { return t.m_nRuns.load() == 1 && g_nControllersAlive.load() == 0; }));
        EXPECT_TRUE(t.m_bRequestEndAfterEnd.load());
        EXPECT_FALSE(t.IsStarted());
        EXPECT_TRUE(t.IsRequestEnd());
        t.End();  // nothing left to do
    }
}

TEST(Thread, ExceptionsNeverLeaveTheBody)
{
    CTestThread a(CTestThread::kThrowFramework);
    a.Start(nullptr);
    CTestThread b(CTestThread::kThrowOther);
    b.Start(nullptr);
    ASSERT_TRUE(WaitUntil([&] { return !a.IsStarted() && !b.IsStarted(); }));
    a.End();
    b.End();
    EXPECT_EQ(a.m_nRuns.load(), 1);
    EXPECT_EQ(b.m_nRuns.load(), 1);
    EXPECT_EQ(g_nControllersAlive.load(), 0);
}

namespace {
std::atomic<int> g_nFunctionRuns(0);
void CountingFunction(void* pData)
{
    g_nFunctionRuns += *static_cast<int*>(pData);
}

class CFailingController : public CVLThreadController
{
public:
    CFailingController() { ++g_nControllersAlive; }
    ~CFailingController() override { --g_nControllersAlive; }
    void Start() override
    {
        // As the real Start does when the thread cannot be created.
        Detach(true);
        throw new EVLStartThreadException("VLStd", "VLThreadController", 123);
    }
};

class CFailingThread : public CVLThread
{
public:
    bool m_bFail = true;
    CVLThreadController* CreateController() override
    {
        if (m_bFail)
            return new CFailingController;
        return new CCountedController;
    }
};
}  // namespace

TEST(Thread, StartWithOwnFunction)
{
    // The counter is the process's: start from 0 so that the test also
    // holds when the suite is repeated in one process.
    g_nFunctionRuns = 0;
    int nAdd = 3;
    CVLThread t;
    t.Start(CountingFunction, &nAdd);
    ASSERT_TRUE(WaitUntil([&] { return !t.IsStarted(); }));
    t.End();
    EXPECT_EQ(g_nFunctionRuns.load(), 3);
}

TEST(Thread, FailedStartLeavesItNotStarted)
{
    CFailingThread t;
    try {
        t.Start(nullptr);
        FAIL() << "no exception";
    } catch (EVLException* e) {
        EXPECT_NE(dynamic_cast<EVLStartThreadException*>(e), nullptr);
        e->Delete();
    }
    EXPECT_FALSE(t.IsStarted());
    EXPECT_EQ(g_nControllersAlive.load(), 1);
    t.m_bFail = false;
    t.Start(nullptr);  // releases the failed controller and runs
    ASSERT_TRUE(WaitUntil([&] { return !t.IsStarted(); }));
    t.End();
    EXPECT_EQ(g_nControllersAlive.load(), 0);
}

// A thread the system cannot create fails its start with the system's
// error number; a thread of another class starts as ever.
TEST(Thread, AStartTheSystemRefusesCarriesItsErrorNumber)
{
    TThreadStartFault<CFailingThread> fault(EAGAIN);
    CFailingThread refused;
    refused.m_bFail = false;
    try {
        refused.Start(nullptr);
        FAIL() << "no exception";
    } catch (EVLException* e) {
        CVLExceptionOwner owner(e);
        EVLStartThreadException* pStart = dynamic_cast<EVLStartThreadException*>(e);
        ASSERT_NE(nullptr, pStart);
        EXPECT_EQ(EAGAIN, pStart->GetErrorNumber());
    }
    EXPECT_FALSE(refused.IsStarted());
    refused.End();
    CTestThread other(CTestThread::kReturn);
    other.Start(nullptr);
    ASSERT_TRUE(WaitUntil([&] { return other.m_nRuns.load() == 1; }));
    other.End();
    EXPECT_EQ(g_nControllersAlive.load(), 0);
}

TEST(Thread, Sleep)
{
    auto t0 = Clock::now();
    CVLThread::Sleep(0);
    CVLThread::Sleep(-5);
    EXPECT_LT(Clock::now() - t0, std::chrono::milliseconds(1000));
    t0 = Clock::now();
    CVLThread::Sleep(120);
    EXPECT_GE(Clock::now() - t0, std::chrono::milliseconds(115));
}

TEST(Thread, TraceLines)
{
    CTestThread t(CTestThread::kReturn);
    void* pArg = reinterpret_cast<void*>(static_cast<uintptr_t>(0x12345678));
    {
        CTraceCapture capture;
        t.Start(pArg);
        ASSERT_TRUE(WaitUntil([&] { return !t.IsStarted(); }));
        t.End();
        char szId[16];
        snprintf(szId, sizeof(szId), "%08x", static_cast<unsigned int>(t.m_nKernelId.load()));
        char szThis[16];
        snprintf(szThis, sizeof(szThis), "%08x", static_cast<unsigned int>(reinterpret_cast<uintptr_t>(&t)));
        std::vector<std::string> expected = {
            "VLStd VLThread line[76] void CVLThread::Start(VL_THREAD_FUNCTION pThreadFunction, void* pData) "
            "pData=0x" + std::string(szThis),
            "VLStd VLThreadController line[116] CVLThreadController::Start() - " + std::string(szId),
            "VLStd VLThreadController line[190] CVLThreadController::ExitThread() - " + std::string(szId),
        };
        // The thread's exit line may come before or after the start line.
        ASSERT_EQ(capture.m_Lines.size(), 3u);
        EXPECT_EQ(capture.m_Lines[0], expected[0]);
        std::sort(capture.m_Lines.begin() + 1, capture.m_Lines.end());
        std::sort(expected.begin() + 1, expected.end());
        EXPECT_EQ(capture.m_Lines, expected);
    }
    EXPECT_EQ(t.m_pSeen.load(), pArg);
}

namespace {
// A thread whose controller is asked for a stack of the test's size (0:
// none asked); its body reads the stack it runs on.
class CSizedStackThread : public CVLThread
{
public:
    explicit CSizedStackThread(size_t nAsked) : m_nAsked(nAsked) {}
    CVLThreadController* CreateController() override
    {
        CVLThreadController* pController = CVLThread::CreateController();
        pController->SetStackSize(m_nAsked);
        m_nGiven = pController->GetStackSize();
        return pController;
    }
    void OnThread(void*) override
    {
        pthread_attr_t attr;
        if (pthread_getattr_np(pthread_self(), &attr) != 0)
            return;
        void* pAddress = nullptr;
        size_t nSize = 0;
        if (pthread_attr_getstack(&attr, &pAddress, &nSize) == 0)
            m_nStack = nSize;
        pthread_attr_destroy(&attr);
    }
    size_t m_nAsked;
    size_t m_nGiven = 0;
    std::atomic<size_t> m_nStack{0};
};
}  // namespace

// A stack size set on the controller is the stack the thread runs on, from
// the size asked for up (sanitized builds take more); none set, the
// system's default.
TEST(Thread, AThreadRunsOnTheStackItsControllerWasGiven)
{
    const size_t kAsked = 192 * 1024;
    // The C library may give a new thread the kept stack of an ended one of
    // up to this many times the size asked for.
    const size_t kReusedStackFactor = 4;
    CSizedStackThread sized(kAsked);
    sized.Start(nullptr);
    sized.End();
    EXPECT_GE(sized.m_nGiven, kAsked);
    EXPECT_GE(sized.m_nStack.load(), sized.m_nGiven);
    EXPECT_LE(sized.m_nStack.load(), kReusedStackFactor * sized.m_nGiven);
    CSizedStackThread plain(0);
    plain.Start(nullptr);
    plain.End();
    EXPECT_EQ(0u, plain.m_nGiven);
    EXPECT_GT(plain.m_nStack.load(), 0u);
    EXPECT_NE(sized.m_nStack.load(), plain.m_nStack.load());
    // Below the system's least, the least.
    CSizedStackThread tiny(1);
    tiny.Start(nullptr);
    tiny.End();
    EXPECT_GE(tiny.m_nStack.load(), static_cast<size_t>(PTHREAD_STACK_MIN));
}
