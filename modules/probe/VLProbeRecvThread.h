// The worker of a probe: drives one child instance, making it send and
// re-send on the probe's schedule, and in between receive with a wait capped
// by the next send. Each reply that passes the "condition" script is merged
// into the caller's target list (or copied) and posted as a probe callback.
//
// The thread ends on an end request (polled every pass), a stop of its
// child, a child without implementation or the receive method, and one
// whose receive thread cannot start (told to the owner). A failed
// send is reported (once per child) and the schedule goes on; a bad reply is
// skipped: the child goes on receiving.
#ifndef VLPROBERECVTHREAD_H
#define VLPROBERECVTHREAD_H

#include <atomic>
#include <condition_variable>
#include <mutex>

#include "base/core/VLString.h"
#include "base/thread/VLThread.h"

class CVLModuleController;
class CVLModuleInstance;
class CVLModuleParam;
class CVLModuleParamCollection;
class CVLProbe;
class CVLTarget;
class EVLException;

class CVLProbeRecvThread : public CVLThread
{
public:
    // pOwner, when given, is told the outcome of every send.
    CVLProbeRecvThread(CVLModuleParamCollection* pParams, CVLModuleInstance* pChildInstance,
                       CVLProbe* pOwner = nullptr);
    // Destroys a work target still held; the owner has called End first.
    virtual ~CVLProbeRecvThread();

    virtual void OnThread(void* pData) override;
    // Both wake the pause after a receive, so that a stop is not held up.
    virtual void SetRequestEnd(bool bValue) override;
    virtual void End() override;
    // Another round of the schedule after the running one (any thread).
    void AskRound() { m_bRoundAsked = true; }

    // The pause after a receive that timed out, in milliseconds, for every
    // thread (tests lengthen it to see that a stop cuts it short).
    static void SetTimeoutPause(int nMilliseconds);
    static int GetTimeoutPause();
    // Datagrams the child's receivers lost, over its whole tree.
    static unsigned long ReadDropCount(CVLModuleInstance* pInstance);

protected:
    class CTargetRelease;

    // What a receive leaves the loop to do next.
    enum EReceiveStep
    {
        RECEIVE_GO_ON,  // receive again at once
        RECEIVE_PAUSE,  // receive again after the pause
        RECEIVE_QUIET,  // the receive timed out: the pause, and the socket is quiet
        RECEIVE_END     // the thread ends
    };

    // One send through the child; a failure is reported, never fatal.
    void SendOnce(CVLModuleParamCollection* pChildParams, CVLTarget* pBlankTarget, const CVLString& strSendMethod);
    // One receive through the child, and the report of what it accepted.
    EReceiveStep ReceiveOnce(CVLModuleParamCollection* pChildParams, const CVLString& strRecvMethod,
                             const CVLString& strCondition);
    // Hands a failure to the listener, or releases it without one.
    void PostException(EVLException* pException);
    // Waits nMilliseconds, or less when the thread is asked to end.
    void Pause(int nMilliseconds);
    // Reads a numeric constant; nDefault when missing or not a number.
    long ReadConst(const char* szName, long nDefault, const char* szModule, const char* szInstance);

    CVLModuleInstance* m_pChildInstance;
    CVLModuleParamCollection* m_pParams;
    CVLModuleController* m_pModuleController;
    CVLTarget* m_pTarget;
    CVLProbe* m_pOwner;
    // A failed send has been reported: later ones are only traced.
    bool m_bSendFailureReported;
    // Bad replies in a row, for the pause that keeps a failing child from spinning.
    int m_nBadReplies;
    // Set by an end request: the pause returns at once.
    std::mutex m_PauseMutex;
    std::condition_variable m_PauseCond;
    bool m_bWake;
    std::atomic<bool> m_bRoundAsked{false};
};

#endif
