#include "modules/probe/VLProbeRecvThread.h"

#include <atomic>
#include <chrono>

#include "cm/VLCMApi.h"
#include "cm/VLCMDefs.h"
#include "cm/VLModInstanceInfo.h"
#include "cm/VLModuleController.h"
#include "cm/VLModuleInstance.h"
#include "cm/VLModuleParam.h"
#include "cm/VLModuleParamCollection.h"
#include "cm/VLRefusedRequestException.h"
#include "cm/VLTarget.h"
#include "cm/VLTargetList.h"
#include "base/core/VLException.h"
#include "base/core/VLExceptionOwner.h"
#include "base/core/VLNullObjectException.h"
#include "base/core/VLStartThreadException.h"
#include "base/core/VLStopFunctionException.h"
#include "base/core/VLTerminateException.h"
#include "base/core/VLTimeoutException.h"
#include "base/core/VLTrace.h"
#include "base/core/VLUnexpectedException.h"
#include "base/core/VLUnsupportedException.h"
#include "base/core/VLCommunicationException.h"
#include "modules/probe/VLProbe.h"
#include "modules/probe/VLProbeSchedule.h"

#define VLMDPROBE_MODULE "VLMDProbe"
const char* const s_szFile = "VLProbeRecvThread";

namespace {
// Defaults of the schedule constants, in milliseconds (count: re-sends).
const long kDefaultRetryCount = 0;
const long kDefaultRetryInterval = 10000;
const long kDefaultInterval = 10000;
// The pause after a receive that timed out.
const int kTimeoutPause = 100;
std::atomic<int> s_nTimeoutPause(kTimeoutPause);
// Bad replies skipped in a row before the same pause: a child that fails
// every read at once (rather than for each datagram) must not spin.
const int kBadRepliesBeforePause = 100;

long long NowMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// True for a stop of the child or of the framework, which ends the thread
// quietly.
bool IsStop(EVLException* pException)
{
    return dynamic_cast<EVLStopFunctionException*>(pException) != nullptr ||
           dynamic_cast<EVLTerminateException*>(pException) != nullptr;
}
}  // namespace

CVLProbeRecvThread::CVLProbeRecvThread(CVLModuleParamCollection* pParams, CVLModuleInstance* pChildInstance,
                                       CVLProbe* pOwner)
    : m_pChildInstance(pChildInstance), m_pParams(pParams),
      m_pModuleController(pParams != nullptr ? pParams->GetController() : nullptr), m_pTarget(nullptr),
      m_pOwner(pOwner), m_bSendFailureReported(false), m_nBadReplies(0), m_bWake(false)
{
}

void CVLProbeRecvThread::SetTimeoutPause(int nMilliseconds)
{
    s_nTimeoutPause = nMilliseconds;
}

int CVLProbeRecvThread::GetTimeoutPause()
{
    return s_nTimeoutPause;
}

void CVLProbeRecvThread::SetRequestEnd(bool bValue)
{
    // The request first: the woken thread must see it.
    CVLThread::SetRequestEnd(bValue);
    {
        std::lock_guard<std::mutex> lock(m_PauseMutex);
        m_bWake = bValue;
    }
    m_PauseCond.notify_all();
}

void CVLProbeRecvThread::End()
{
    SetRequestEnd(true);
    CVLThread::End();
}

void CVLProbeRecvThread::Pause(int nMilliseconds)
{
    std::unique_lock<std::mutex> lock(m_PauseMutex);
    m_PauseCond.wait_for(lock, std::chrono::milliseconds(nMilliseconds), [this] { return m_bWake; });
}

unsigned long CVLProbeRecvThread::ReadDropCount(CVLModuleInstance* pInstance)
{
    if (pInstance == nullptr)
        return 0;
    IVLModInstanceIF* pImplementation = pInstance->GetImplementation();
    unsigned long nDrops = pImplementation != nullptr ? pImplementation->GetReceiveDropCount() : 0;
    for (CVLModuleInstanceIterator it = pInstance->Begin(); !it.IsEnd(); it.Next())
        nDrops += ReadDropCount(it.Get());
    return nDrops;
}

CVLProbeRecvThread::~CVLProbeRecvThread()
{
    if (m_pTarget == nullptr)
        return;
    try {
        m_pTarget->Destroy(false);
    } catch (EVLException* pException) {
        pException->Delete();
    }
    m_pTarget = nullptr;
}

void CVLProbeRecvThread::PostException(EVLException* pException)
{
    if (m_pModuleController == nullptr || m_pParams == nullptr || m_pParams->GetListener() == nullptr) {
        VLDeleteException(pException);
        return;
    }
    try {
        m_pModuleController->PostCallbackException(m_pChildInstance, m_pParams, nullptr, pException);
    } catch (EVLException* pFailure) {
        // The queue took the exception over or released it.
        VLDeleteException(pFailure);
    }
}

long CVLProbeRecvThread::ReadConst(const char* szName, long nDefault, const char* szModule, const char* szInstance)
{
    CVLString strValue(72);
    if (!m_pModuleController->FindConst(szName, strValue, szModule, szInstance))
        return nDefault;
    return strValue.ToLong(nDefault);
}

// Destroys the thread's targets when OnThread ends, by any path.
class CVLProbeRecvThread::CTargetRelease
{
public:
    CTargetRelease(CVLProbeRecvThread* pThread, CVLModuleParamCollection* pChildParams, CVLTarget* pBlankTarget)
        : m_pThread(pThread), m_pChildParams(pChildParams), m_pBlankTarget(pBlankTarget)
    {
    }
    ~CTargetRelease()
    {
        m_pChildParams->SetTarget(nullptr);
        Destroy(m_pThread->m_pTarget);
        m_pThread->m_pTarget = nullptr;
        Destroy(m_pBlankTarget);
    }

private:
    static void Destroy(CVLTarget* pTarget)
    {
        if (pTarget == nullptr)
            return;
        try {
            pTarget->Destroy(false);
        } catch (EVLException* pException) {
            pException->Delete();
        }
    }
    CVLProbeRecvThread* m_pThread;
    CVLModuleParamCollection* m_pChildParams;
    CVLTarget* m_pBlankTarget;
};

void CVLProbeRecvThread::OnThread(void* pData)
{
    (void)pData;
    {
        // Start ends an earlier run, which wakes; an end request of this run
        // is set before its wake, and the loop sees it.
        std::lock_guard<std::mutex> lock(m_PauseMutex);
        m_bWake = false;
    }
    try {
        if (m_pChildInstance == nullptr || m_pParams == nullptr || m_pModuleController == nullptr)
            return;
        CVLModInstanceInfo* pInfo = m_pChildInstance->GetFunctionInfo();
        CVLCMApi* pApi = m_pModuleController->GetApi();
        CVLModuleParamCollection* pChildParams = m_pChildInstance->GetParams();
        if (pInfo == nullptr || pApi == nullptr || pChildParams == nullptr)
            return;
        *pChildParams = *m_pParams;
        CVLString strSendMethod(pInfo->GetMethod());
        CVLString strRecvMethod(pInfo->GetMethodRecv());

        CVLString strCondition(72);
        m_pModuleController->FindConst("condition", strCondition, m_pChildInstance->GetModuleName().GetBuffer(),
                                       m_pChildInstance->GetName().GetBuffer());
        // The schedule belongs to the probe's own instance, recorded in the
        // copied parameters.
        CVLModuleInstance* pProbeInstance = pChildParams->GetInstance();
        const char* szProbeModule = pProbeInstance != nullptr ? pProbeInstance->GetModuleName().GetBuffer() : nullptr;
        const char* szProbeName = pProbeInstance != nullptr ? pProbeInstance->GetName().GetBuffer() : nullptr;
        const long nRetryCount = ReadConst("Probe_RetryCount", kDefaultRetryCount, szProbeModule, szProbeName);
        const long nRetryInterval = ReadConst("Probe_RetryInterval", kDefaultRetryInterval, szProbeModule, szProbeName);
        const long nInterval = ReadConst("Probe_Interval", kDefaultInterval, nullptr, nullptr);
        CVLProbeSchedule schedule(nRetryCount, nRetryInterval, nInterval);

        m_pTarget = pApi->CreateTarget();
        if (m_pTarget == nullptr)
            return;
        pChildParams->SetTarget(m_pTarget);
        CVLTarget* pBlankTarget = pApi->CreateTarget();
        // Both targets go however the thread ends, and the child no longer
        // points at the work target afterwards.
        CTargetRelease release(this, pChildParams, pBlankTarget);
        if (pBlankTarget == nullptr)
            return;
        CVLModuleParam* pTimeout = pChildParams->GetParam(VLCM_PARAM_TIMEOUT, true);

        // Each pass: send once when the schedule says so, receive once, and
        // go on, pause or end as the receive says. Replies the system
        // dropped are counted first: they may ask for a send.
        unsigned long nLostReported = 0;
        while (!IsRequestEnd()) {
            if (m_bRoundAsked.exchange(false))
                schedule.AddRound();
            const unsigned long nDrops = ReadDropCount(m_pChildInstance);
            schedule.OnDropCount(nDrops);
            if (schedule.IsSendDue(NowMs())) {
                schedule.OnSend(NowMs());
                // Told before the send, so that no reply to it counts as
                // lost before it.
                if (m_pOwner != nullptr)
                    m_pOwner->OnChildSend(m_pChildInstance, nDrops);
                nLostReported = 0;
                SendOnce(pChildParams, pBlankTarget, strSendMethod);
            }
            if (m_pOwner != nullptr && schedule.GetLostSinceLastSend() != nLostReported) {
                nLostReported = schedule.GetLostSinceLastSend();
                m_pOwner->OnReceiveLoss(m_pChildInstance, nLostReported);
            }
            if (pTimeout != nullptr)
                pTimeout->SetLong(schedule.GetReceiveTimeout(NowMs()));
            EReceiveStep eStep = ReceiveOnce(pChildParams, strRecvMethod, strCondition);
            if (eStep == RECEIVE_END)
                break;
            if (eStep == RECEIVE_QUIET)
                schedule.OnQuiet();
            if (eStep == RECEIVE_PAUSE || eStep == RECEIVE_QUIET)
                Pause(s_nTimeoutPause);
        }
    }
    VL_CATCH_LADDER(VLMDPROBE_MODULE, s_szFile)
}

void CVLProbeRecvThread::SendOnce(CVLModuleParamCollection* pChildParams, CVLTarget* pBlankTarget,
                                  const CVLString& strSendMethod)
{
    pChildParams->SetMethodName(strSendMethod.GetBuffer());
    EVLException* pFailure = nullptr;
    const CVLModuleParam* pSent = pChildParams->Find(VLCM_PARAM_SENT_REQUESTS);
    const long nSentBefore = pSent != nullptr ? pSent->ToLong(0) : 0;
    try {
        m_pTarget->Clear();
        m_pTarget->Marge(pBlankTarget);
        m_pChildInstance->CallMethod();
    } catch (EVLException* pException) {
        pFailure = pException;
    } catch (...) {
        pFailure = new EVLUnexpectedException(VLMDPROBE_MODULE, s_szFile, __LINE__);
    }
    if (pFailure == nullptr) {
        // A child that counts its requests and sent none did not probe: a
        // probe that sent nothing must not pass for one that heard nothing.
        pSent = pChildParams->Find(VLCM_PARAM_SENT_REQUESTS);
        const bool bNothing = pSent != nullptr && pSent->ToLong(0) <= nSentBefore;
        if (m_pOwner != nullptr)
            m_pOwner->OnSendResult(!bNothing, 0,
                                   bNothing ? std::string("the packet list \"") +
                                                  pChildParams->GetPacketListName().GetBuffer() +
                                                  "\" sent no request (a condition or the device's version passed "
                                                  "each over): nothing was sent"
                                            : std::string());
        return;
    }
    // A stop ends the thread at the receive that follows; it is no failure.
    if (IsStop(pFailure)) {
        pFailure->Delete();
        return;
    }
    EVLCommunicationException* pCommunication = dynamic_cast<EVLCommunicationException*>(pFailure);
    EVLRefusedRequestException* pRefused = dynamic_cast<EVLRefusedRequestException*>(pFailure);
    if (m_pOwner != nullptr)
        m_pOwner->OnSendResult(false, pCommunication != nullptr ? pCommunication->GetSystemErrorCode() : 0,
                               pRefused != nullptr ? pRefused->GetReason().GetString() : std::string());
    CVLTrace::OutputException(VLMDPROBE_MODULE, s_szFile, __LINE__, pFailure);
    // Reported once per child: a channel that keeps failing would otherwise
    // report every re-send. The schedule goes on, since a failure may pass.
    if (m_bSendFailureReported) {
        pFailure->Delete();
        return;
    }
    m_bSendFailureReported = true;
    PostException(pFailure);
}

CVLProbeRecvThread::EReceiveStep CVLProbeRecvThread::ReceiveOnce(CVLModuleParamCollection* pChildParams,
                                                                 const CVLString& strRecvMethod,
                                                                 const CVLString& strCondition)
{
    pChildParams->SetMethodName(strRecvMethod.GetBuffer());
    try {
        m_pTarget->Clear();
        m_pChildInstance->CallMethod();
        m_nBadReplies = 0;
        if (!m_pModuleController->CreateScriptExtend(strCondition.GetBuffer(), m_pChildInstance, m_pParams, nullptr))
            return RECEIVE_GO_ON;
        bool bMarge = false;
        CVLTarget* pReported = nullptr;
        CVLTargetList* pTargetList = m_pParams->GetTargetList();
        if (pTargetList != nullptr) {
            pReported = pTargetList->MargeOrAddReceived(m_pTarget, bMarge, m_pChildInstance);
        } else if (m_pParams->GetListener() != nullptr) {
            // Without a listener the copy would go to nobody.
            pReported = m_pModuleController->CreateTarget();
            if (pReported != nullptr)
                *pReported = *m_pTarget;
        }
        if (pReported != nullptr && m_pParams->GetListener() != nullptr)
            m_pModuleController->PostCallbackProbe(m_pChildInstance, m_pParams, pReported, bMarge);
        return RECEIVE_GO_ON;
    } catch (EVLTimeoutException* pException) {
        pException->Delete();
        m_nBadReplies = 0;
        return RECEIVE_QUIET;
    } catch (EVLException* pException) {
        CVLExceptionOwner owner(pException);
        if (IsStop(pException))
            return RECEIVE_END;
        if (dynamic_cast<EVLNullObjectException*>(pException) != nullptr ||
            dynamic_cast<EVLUnsupportedException*>(pException) != nullptr) {
            // The child is gone or cannot receive at all: every further
            // pass would fail the same way.
            PostException(owner.Release());
            return RECEIVE_END;
        }
        if (EVLStartThreadException* pStart = dynamic_cast<EVLStartThreadException*>(pException)) {
            // The child's socket has no thread to receive with: its replies
            // would go unheard, the probe taken for one nobody answered.
            if (m_pOwner != nullptr)
                m_pOwner->OnDeafChild(m_pChildInstance, pStart->GetErrorNumber());
            PostException(owner.Release());
            return RECEIVE_END;
        }
        // One bad reply (truncated, empty, refused by its result) costs only
        // itself; the channel goes on receiving.
        CVLTrace::OutputException(VLMDPROBE_MODULE, s_szFile, __LINE__, pException);
        if (++m_nBadReplies >= kBadRepliesBeforePause) {
            m_nBadReplies = 0;
            return RECEIVE_PAUSE;
        }
        return RECEIVE_GO_ON;
    } catch (...) {
        PostException(new EVLUnexpectedException(VLMDPROBE_MODULE, s_szFile, __LINE__));
        return RECEIVE_END;
    }
}
