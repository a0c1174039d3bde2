// The probe module over a fake child: the send schedule and the receive
// waits, condition, merging and probe callbacks, bad replies skipped, and the
// ways a probe's threads end.
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "cm/VLCMApi.h"
#include "cm/VLCallbackInfo.h"
#include "cm/VLFunctionListener.h"
#include "cm/VLMargeConditionList.h"
#include "cm/VLModule.h"
#include "cm/VLModuleController.h"
#include "cm/VLModuleInstance.h"
#include "cm/VLModuleParamCollection.h"
#include "cm/VLProperty.h"
#include "cm/VLTarget.h"
#include "cm/VLTargetList.h"
#include "modules/VLModuleLibraries.h"
#include "modules/probe/VLProbe.h"
#include "modules/probe/VLProbeRecvThread.h"
#include "base/core/VLAlreadyExecException.h"
#include "base/core/VLErrorResultException.h"
#include "base/core/VLInvalidParamException.h"
#include "base/core/VLStartThreadException.h"
#include "base/core/VLTimeoutException.h"
#include "base/core/VLUnsupportedException.h"
#include "tests/support/cm/FakeModule.h"
#include "tests/support/cm/ModuleFixture.h"
#include "tests/support/TestSupport.h"
#include "tests/support/ThreadStartFault.h"
#include "tests/support/Watchdog.h"

namespace {

typedef std::chrono::steady_clock Clock;

long Millis(Clock::duration d)
{
    return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(d).count());
}

// One receive as the child saw it.
struct SRecv
{
    long nTimeout;
    long nSinceSend;  // ms since the last send
    size_t nSends;    // sends made before it
};

// What the fake children did, and what they are to answer. A reply text
// starting with "bad" makes the receive throw as a bad reply would.
struct SBoard
{
    std::mutex mutex;
    std::condition_variable cond;
    std::vector<Clock::time_point> sends;
    std::vector<SRecv> recvs;
    std::deque<std::string> replies;
    size_t nDelivered = 0;
    size_t nRecvsAtDelivery = 0;  // receives made when the last reply went
    long nFirstReplyDelay = 0;    // one reply, this long after the first send
    size_t nFailSends = 0;        // the first this many sends fail
    unsigned long nDrops = 0;     // the children's count of dropped datagrams
    bool bDeaf = false;           // a receive fails as when its socket's thread cannot start

    template <class P>
    void WaitUntil(P pred)
    {
        std::unique_lock<std::mutex> lock(mutex);
        cond.wait(lock, pred);
    }
    void Reply(const std::string& s)
    {
        std::lock_guard<std::mutex> lock(mutex);
        replies.push_back(s);
        cond.notify_all();
    }
};
SBoard* s_pBoard = nullptr;

// A child that sends and receives on the board.
CFakeModule::SScript Child()
{
    CFakeModule::SScript script;
    script.OnCall = [](CFakeInstance& self, CVLModuleInstance*, CVLModuleParamCollection* pParams) {
        SBoard& b = *s_pBoard;
        std::string strMethod = pParams->GetMethodName().GetBuffer();
        std::unique_lock<std::mutex> lock(b.mutex);
        if (strMethod == "Send") {
            b.sends.push_back(Clock::now());
            b.cond.notify_all();
            if (b.sends.size() <= b.nFailSends)
                throw new EVLInvalidParamException("Test", "ProbeTest", __LINE__);
            return;
        }
        if (strMethod != "Recv")
            throw new EVLUnsupportedException("Test", "ProbeTest", __LINE__, strMethod.c_str());
        long nTimeout = pParams->Find("timeout")->ToLong(-1);
        b.recvs.push_back({nTimeout, b.sends.empty() ? -1 : Millis(Clock::now() - b.sends.back()), b.sends.size()});
        b.cond.notify_all();
        if (b.bDeaf)
            throw new EVLStartThreadException("Test", "ProbeTest", __LINE__, EAGAIN);
        std::string strReply;
        if (b.nFirstReplyDelay > 0) {
            Clock::time_point due = b.sends.front() + std::chrono::milliseconds(b.nFirstReplyDelay);
            b.nFirstReplyDelay = 0;
            b.cond.wait_until(lock, due, [&] { return self.IsStopped(); });
            strReply = "delayed";
        } else {
            b.cond.wait_for(lock, std::chrono::milliseconds(nTimeout),
                            [&] { return self.IsStopped() || !b.replies.empty(); });
            if (self.IsStopped() || b.replies.empty())
                throw new EVLTimeoutException("Test", "ProbeTest", __LINE__, false);
            strReply = b.replies.front();
            b.replies.pop_front();
        }
        ++b.nDelivered;
        b.nRecvsAtDelivery = b.recvs.size();
        if (strReply.compare(0, 3, "bad") == 0)
            throw new EVLErrorResultException("Test", "ProbeTest", __LINE__, "VLPC", 1);
        pParams->GetTarget()->GetProperties()->GetProperty("MAC", true)->SetString(strReply.c_str(), 72);
    };
    script.OnDropCount = [] {
        std::lock_guard<std::mutex> lock(s_pBoard->mutex);
        return s_pBoard->nDrops;
    };
    script.OnStop = [](CFakeInstance&, CVLModuleInstance*, CVLModuleParamCollection*) {
        std::lock_guard<std::mutex> lock(s_pBoard->mutex);
        s_pBoard->cond.notify_all();
    };
    return script;
}

void RegisterModules(CVLCMApi& api)
{
    VLRegisterModuleLibraries(api);
    api.AddModuleStaticLibrary("Fake", new CFakeModule(Child()));
}

// Probe callbacks (MAC, merged flag) and exception classes, collected on the
// dispatching thread (the test's). Targets not in a list are the listener's.
class CListener : public IVLFunctionListener
{
public:
    void OnProbe(CVLCMApi*, CVLModuleInstance*, CVLTarget* pTarget, CVLCallbackInfo* pInfo) override
    {
        CVLProperty* p = pTarget->GetProperties()->GetProperty("MAC", false);
        m_Probes.push_back(std::string(p == nullptr ? "" : p->ToString("").GetBuffer()) +
                           (pInfo->IsMarge() ? "+" : ""));
        m_Targets.push_back(pTarget);
        if (pTarget->GetOwnerList() == nullptr)
            pTarget->Destroy(false);
    }
    void OnException(CVLCMApi*, CVLModuleInstance*, CVLTarget*, CVLCallbackInfo* pInfo) override
    {
        m_Exceptions.push_back(pInfo->GetException()->GetClassName().GetBuffer());
    }
    std::vector<std::string> m_Probes;
    std::vector<CVLTarget*> m_Targets;
    std::vector<std::string> m_Exceptions;
};

const char* const kMapping =
    "<ModuleMapping>"
    "<Instance name=\"Sched\" module=\"VLMDProbe\" method=\"Probe\">"
    "  <Const name=\"Probe_RetryCount\" value=\"2\"/><Const name=\"Probe_RetryInterval\" value=\"300\"/>"
    "  <Instance name=\"C\" module=\"Fake\" method=\"Send\" methodRecv=\"Recv\"/>"
    "</Instance>"
    "<Instance name=\"Two\" module=\"VLMDProbe\" method=\"Probe\">"
    "  <Instance name=\"A\" module=\"Fake\" method=\"Send\" methodRecv=\"Recv\"/>"
    "  <Instance name=\"B\" module=\"Fake\" method=\"Send\" methodRecv=\"Recv\"/>"
    "</Instance>"
    "<Instance name=\"Picky\" module=\"VLMDProbe\" method=\"Probe\">"
    "  <Instance name=\"C\" module=\"Fake\" method=\"Send\" methodRecv=\"Recv\">"
    "    <Const name=\"condition\" value=\"NoSuchScript\"/></Instance>"
    "</Instance>"
    "<Instance name=\"Once\" module=\"VLMDProbe\" method=\"Probe\">"
    "  <Instance name=\"C\" module=\"Fake\" method=\"Send\" methodRecv=\"Recv\"/>"
    "</Instance>"
    "<Instance name=\"Childless\" module=\"VLMDProbe\" method=\"Probe\"/>"
    "</ModuleMapping>";

class ProbeTest : public TModuleFixture<SBoard, CListener>
{
protected:
    ProbeTest() : TModuleFixture(s_pBoard, RegisterModules, kMapping) {}
    CVLModuleInstance* Start(const char* szFunction, CVLTargetList* pList = nullptr)
    {
        CVLModuleInstance* p =
            C()->ExecFunction(nullptr, szFunction, szFunction, &m_Listener, nullptr, pList, nullptr, nullptr, nullptr);
        EXPECT_NE(nullptr, p);
        return p;
    }
    // Waits until every reply queued so far has been taken and the thread
    // has come back for more, so the replies have been handled.
    void WaitReplies(size_t nReplies)
    {
        m_Board.WaitUntil(
            [&] { return m_Board.nDelivered >= nReplies && m_Board.recvs.size() > m_Board.nRecvsAtDelivery; });
    }
};

}  // namespace

TEST_F(ProbeTest, SendsOnTheRetryScheduleWithWaitsCappedByTheNextSend)
{
    CWatchdog watchdog(60, "probe schedule");
    m_Api.SetConst("Probe_Interval", "100", nullptr, nullptr);
    // A reply 250 ms after the first send leaves less than one interval to
    // the second send: the next wait must be cut to what is left.
    m_Board.nFirstReplyDelay = 250;
    CVLModuleInstance* p = Start("Sched");
    m_Board.WaitUntil([&] {
        size_t nAfterLast = 0;
        for (const SRecv& r : m_Board.recvs)
            nAfterLast += r.nSends == 3 ? 1 : 0;
        return nAfterLast >= 4;
    });
    Dispatch();
    C()->DeleteModuleInstance(p);

    ASSERT_EQ(3u, m_Board.sends.size());
    for (size_t i = 1; i < m_Board.sends.size(); ++i)
        EXPECT_GE(Millis(m_Board.sends[i] - m_Board.sends[i - 1]), 300 - 5) << "send " << i;
    ASSERT_GE(m_Board.recvs.size(), 2u);
    // The receive after the delayed reply: cut to at most what was left, or
    // the second send came first.
    const SRecv& after = m_Board.recvs[1];
    if (after.nSends == 1) {
        EXPECT_LE(after.nTimeout, 300 - 250 + 5);
    }
    for (const SRecv& r : m_Board.recvs) {
        EXPECT_GE(r.nTimeout, 0);
        if (r.nSends < 3)
            EXPECT_LE(r.nTimeout, 100);
        else
            EXPECT_EQ(100, r.nTimeout);
    }
    EXPECT_EQ((std::vector<std::string>{"delayed"}), m_Listener.m_Probes);
    EXPECT_TRUE(m_Listener.m_Exceptions.empty());
}

TEST_F(ProbeTest, RepliesMergedIntoTheTargetListAndPostedAsProbeCallbacks)
{
    CWatchdog watchdog(60, "probe replies");
    C()->GetMargeConditionList()->Add()->GetPath() = "MAC";
    CVLTargetList* pList = C()->CreateTargetList();
    CVLModuleInstance* p = Start("Sched", pList);
    for (const char* sz : {"00:01", "00:02", "00:01"})
        m_Board.Reply(sz);
    WaitReplies(3);
    Dispatch();
    EXPECT_EQ((std::vector<std::string>{"00:01", "00:02", "00:01+"}), m_Listener.m_Probes);
    EXPECT_EQ(2, pList->GetCount());
    ASSERT_EQ(3u, m_Listener.m_Targets.size());
    EXPECT_EQ(m_Listener.m_Targets[0], m_Listener.m_Targets[2]);
    EXPECT_EQ(pList, m_Listener.m_Targets[1]->GetOwnerList());
    C()->DeleteModuleInstance(p);
    pList->Destroy();

    // Without a list every reply is a new target of the listener's.
    m_Listener.m_Probes.clear();
    m_Board.recvs.clear();
    m_Board.nDelivered = 0;
    p = Start("Sched");
    m_Board.Reply("00:01");
    m_Board.Reply("00:01");
    WaitReplies(2);
    Dispatch();
    EXPECT_EQ((std::vector<std::string>{"00:01", "00:01"}), m_Listener.m_Probes);
    C()->DeleteModuleInstance(p);
}

TEST_F(ProbeTest, ConditionNamingAMissingScriptRejectsEveryReply)
{
    CWatchdog watchdog(60, "probe condition");
    CVLModuleInstance* p = Start("Picky");
    m_Board.Reply("00:01");
    m_Board.Reply("00:02");
    WaitReplies(2);
    Dispatch();
    EXPECT_TRUE(m_Listener.m_Probes.empty());
    C()->DeleteModuleInstance(p);
}

TEST_F(ProbeTest, BadRepliesAreSkippedAndTheChannelKeepsReceiving)
{
    CWatchdog watchdog(60, "probe bad replies");
    CVLModuleInstance* p = Start("Sched");
    for (const char* sz : {"bad truncated", "bad result", "00:01", "bad", "00:02"})
        m_Board.Reply(sz);
    WaitReplies(5);
    Dispatch();
    EXPECT_EQ((std::vector<std::string>{"00:01", "00:02"}), m_Listener.m_Probes);
    EXPECT_TRUE(m_Listener.m_Exceptions.empty());
    C()->DeleteModuleInstance(p);
}

TEST_F(ProbeTest, FailedSendsAreReportedOnceAndTheScheduleGoesOn)
{
    CWatchdog watchdog(60, "probe failed sends");
    m_Api.SetConst("Probe_Interval", "50", nullptr, nullptr);
    // Every send fails, then only the first: either way all three sends are
    // made, the thread receives on, and the child reports one failure.
    for (size_t nFail : {size_t(3), size_t(1)}) {
        SCOPED_TRACE(nFail);
        m_Board.sends.clear();
        m_Board.recvs.clear();
        m_Listener.m_Exceptions.clear();
        m_Board.nFailSends = nFail;
        CVLModuleInstance* p = Start("Sched");
        CVLProbe* pProbe = static_cast<CVLProbe*>(p->GetImplementation());
        m_Board.WaitUntil(
            [&] { return m_Board.sends.size() >= 3 && !m_Board.recvs.empty() && m_Board.recvs.back().nSends == 3; });
        Dispatch();
        VLPROBE_SEND_STATUS status = pProbe->GetSendStatus();
        C()->DeleteModuleInstance(p);
        EXPECT_EQ(3u, m_Board.sends.size());
        EXPECT_EQ((std::vector<std::string>{"EVLInvalidParamException"}), m_Listener.m_Exceptions);
        EXPECT_EQ(static_cast<long>(3 - nFail), status.nSent);
        EXPECT_EQ(static_cast<long>(nFail), status.nFailed);
    }
}

TEST_F(ProbeTest, DroppedRepliesAreAskedForAgainAndWhatStaysLostIsReported)
{
    CWatchdog watchdog(60, "probe drops");
    m_Api.SetConst("Probe_Interval", "20", nullptr, nullptr);
    CVLModuleInstance* p = Start("Once");
    CVLProbe* pProbe = static_cast<CVLProbe*>(p->GetImplementation());
    // Each send is followed by drops: twice a send asks for the replies
    // again once the child is quiet; the third time they stay lost.
    for (size_t nSends = 1; nSends <= 3; ++nSends) {
        m_Board.WaitUntil([&] { return m_Board.sends.size() >= nSends; });
        std::lock_guard<std::mutex> lock(m_Board.mutex);
        m_Board.nDrops += 10;
    }
    while (pProbe->GetSendStatus().nLost != 10)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    // Receives after the loss was reported: no further send came.
    size_t nRecvs = 0;
    m_Board.WaitUntil([&] { return (nRecvs = m_Board.recvs.size()) > 0; });
    m_Board.WaitUntil([&] { return m_Board.recvs.size() >= nRecvs + 3; });
    EXPECT_EQ(3, pProbe->GetSendStatus().nSent);
    C()->DeleteModuleInstance(p);
    EXPECT_EQ(3u, m_Board.sends.size());
}

// What the child's receivers dropped since its last send counts at once,
// not when its thread comes back from a receive: a probe that ends while
// its thread waits still says that replies were lost.
TEST_F(ProbeTest, RepliesLostWhileTheThreadWaitsCountAtOnce)
{
    CWatchdog watchdog(60, "probe drops while waiting");
    m_Api.SetConst("Probe_Interval", "30000", nullptr, nullptr);
    {
        std::lock_guard<std::mutex> lock(m_Board.mutex);
        m_Board.nDrops = 4;
    }
    CVLModuleInstance* p = Start("Once");
    CVLProbe* pProbe = static_cast<CVLProbe*>(p->GetImplementation());
    // The one send, then a receive that waits its whole 30 s.
    m_Board.WaitUntil([&] { return m_Board.recvs.size() >= 1; });
    EXPECT_EQ(0u, pProbe->GetSendStatus().nLost);
    {
        std::lock_guard<std::mutex> lock(m_Board.mutex);
        m_Board.nDrops += 6;
    }
    EXPECT_EQ(6u, pProbe->GetSendStatus().nLost);
    C()->DeleteModuleInstance(p);
}

// The replies lost are summed over the children, each child's latest count.
TEST_F(ProbeTest, RepliesLostAreSummedOverTheChildren)
{
    CWatchdog watchdog(60, "probe losses summed");
    m_Api.SetConst("Probe_Interval", "30000", nullptr, nullptr);
    CVLModuleInstance* p = Start("Two");
    CVLProbe* pProbe = static_cast<CVLProbe*>(p->GetImplementation());
    // A child's send starts its count afresh: the counts are told once both
    // children have sent and wait their whole 30 s.
    m_Board.WaitUntil([&] { return m_Board.recvs.size() >= 2; });
    std::vector<CVLModuleInstance*> children;
    for (CVLModuleInstanceIterator it = p->Begin(); !it.IsEnd(); it.Next())
        children.push_back(it.Get());
    ASSERT_EQ(2u, children.size());
    pProbe->OnReceiveLoss(children[0], 3);
    pProbe->OnReceiveLoss(children[1], 4);
    EXPECT_EQ(7u, pProbe->GetSendStatus().nLost);
    pProbe->OnReceiveLoss(children[0], 5);
    EXPECT_EQ(9u, pProbe->GetSendStatus().nLost);
    C()->DeleteModuleInstance(p);
}

// A child that cannot hear its replies, as a thread that was to receive
// them (its socket's, or the probe's own) cannot start, is counted with the
// error number; its thread ends rather than receive on in vain.
TEST_F(ProbeTest, ChildrenThatCannotHearTheirRepliesAreCounted)
{
    CWatchdog watchdog(60, "probe deaf children");
    m_Board.bDeaf = true;
    CVLModuleInstance* p = Start("Two");
    CVLProbe* pProbe = static_cast<CVLProbe*>(p->GetImplementation());
    for (int i = 0; i < 2000 && pProbe->GetSendStatus().nDeaf != 2; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    // Time for a thread that went on to receive again.
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    VLPROBE_SEND_STATUS status = pProbe->GetSendStatus();
    EXPECT_EQ(2, status.nChildren);
    EXPECT_EQ(2, status.nDeaf);
    EXPECT_EQ(EAGAIN, status.nDeafError);
    {
        std::lock_guard<std::mutex> lock(m_Board.mutex);
        EXPECT_EQ(2u, m_Board.recvs.size());
    }
    C()->DeleteModuleInstance(p);

    m_Board.bDeaf = false;
    {
        TThreadStartFault<CVLProbeRecvThread> fault(ENOMEM, 1);
        p = Start("Two");
    }
    pProbe = static_cast<CVLProbe*>(p->GetImplementation());
    status = pProbe->GetSendStatus();
    EXPECT_EQ(2, status.nChildren);
    EXPECT_EQ(1, status.nDeaf);
    EXPECT_EQ(ENOMEM, status.nDeafError);
    C()->DeleteModuleInstance(p);
}

TEST_F(ProbeTest, StopEndsEveryThreadPromptlyWithoutAReport)
{
    CWatchdog watchdog(30, "probe stop");
    // Waits far beyond the watchdog: only the stop can end them.
    m_Api.SetConst("Probe_Interval", "600000", nullptr, nullptr);
    CVLModuleInstance* p = Start("Two");
    CVLProbe* pProbe = static_cast<CVLProbe*>(p->GetImplementation());
    EXPECT_EQ(2, pProbe->GetThreadCount());
    m_Board.WaitUntil([&] { return m_Board.recvs.size() >= 2; });
    C()->DeleteModuleInstance(p);
    Dispatch();
    EXPECT_TRUE(m_Listener.m_Exceptions.empty());
    EXPECT_TRUE(m_Listener.m_Probes.empty());
}

TEST_F(ProbeTest, StopWakesThePauseAfterAReceiveThatTimedOut)
{
    CWatchdog watchdog(30, "probe pause");
    // Each thread pauses after its first receive, far beyond the watchdog:
    // only a stop that wakes the pause ends it.
    struct CLongPause
    {
        int m_nBefore = CVLProbeRecvThread::GetTimeoutPause();
        CLongPause() { CVLProbeRecvThread::SetTimeoutPause(600000); }
        ~CLongPause() { CVLProbeRecvThread::SetTimeoutPause(m_nBefore); }
    } pause;
    m_Api.SetConst("Probe_Interval", "0", nullptr, nullptr);
    CVLModuleInstance* p = Start("Two");
    m_Board.WaitUntil([&] { return m_Board.recvs.size() >= 2; });
    C()->DeleteModuleInstance(p);
    EXPECT_EQ(2u, m_Board.recvs.size());
}

TEST_F(ProbeTest, EndRequestAloneEndsTheThreads)
{
    CWatchdog watchdog(30, "probe end request");
    // The children keep running: the threads must see their end request.
    m_Api.SetConst("Probe_Interval", "20", nullptr, nullptr);
    CVLModuleInstance* p = Start("Two");
    CVLProbe* pProbe = static_cast<CVLProbe*>(p->GetImplementation());
    m_Board.WaitUntil([&] { return m_Board.recvs.size() >= 2; });
    pProbe->Stop(p, p->GetParams());
    EXPECT_EQ(0, pProbe->GetThreadCount());
    C()->DeleteModuleInstance(p);
}

TEST_F(ProbeTest, SecondProbeWhileRunningIsRefused)
{
    CWatchdog watchdog(30, "second probe");
    CVLModuleInstance* p = Start("Two");
    CVLProbe* pProbe = static_cast<CVLProbe*>(p->GetImplementation());
    // The threads have copied the parameters once they receive.
    m_Board.WaitUntil([&] { return m_Board.recvs.size() >= 2; });
    p->GetParams()->SetMethodName("Probe");
    EXPECT_VL_THROW(p->CallMethod(), EVLAlreadyExecException);
    EXPECT_EQ(2, pProbe->GetThreadCount());
    C()->DeleteModuleInstance(p);
}

TEST_F(ProbeTest, DeletionPurgesTheProbesQueuedCallbacks)
{
    CWatchdog watchdog(30, "probe purge");
    // The replies' targets belong to the list, so dropped records lose none.
    CVLTargetList* pList = C()->CreateTargetList();
    CVLModuleInstance* p = Start("Two", pList);
    m_Board.Reply("00:01");
    m_Board.Reply("00:02");
    WaitReplies(2);
    C()->DeleteModuleInstance(p);
    Dispatch();
    EXPECT_TRUE(m_Listener.m_Probes.empty());
    EXPECT_EQ(2, pList->GetCount());
    pList->Destroy();
}

TEST_F(ProbeTest, ChildlessProbeAndOtherMethods)
{
    CVLModuleInstance* p = Start("Childless");
    CVLProbe* pProbe = static_cast<CVLProbe*>(p->GetImplementation());
    EXPECT_EQ(0, pProbe->GetThreadCount());
    p->GetParams()->SetMethodName("Send");
    EXPECT_VL_THROW(p->CallMethod(), EVLUnsupportedException);
    pProbe->Stop(p, p->GetParams());
    pProbe->DestroyInstance(p, p->GetParams());
    C()->DeleteModuleInstance(p);
    Dispatch();
    EXPECT_TRUE(m_Listener.m_Probes.empty() && m_Listener.m_Exceptions.empty());
}
