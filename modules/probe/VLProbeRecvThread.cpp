#include "modules/probe/VLProbeRecvThread.h"

#include "cm/VLCMApi.h"
#include "cm/VLModInstanceInfo.h"
#include "cm/VLModuleController.h"
#include "cm/VLModuleInstance.h"
#include "cm/VLModuleParam.h"
#include "cm/VLModuleParamCollection.h"
#include "cm/VLTarget.h"
#include "cm/VLTargetList.h"
#include "base/core/VLException.h"
#include "base/core/VLNullObjectException.h"
#include "base/core/VLStopFunctionException.h"
#include "base/core/VLTerminateException.h"
#include "base/core/VLTimeoutException.h"
#include "base/core/VLTrace.h"
#include "base/core/VLUnexpectedException.h"
#include "base/core/VLUnsupportedException.h"
#include "base/thread/VLStopWatch.h"

#define VLMDPROBE_MODULE "VLMDProbe"
#define VLPROBERECVTHREAD_FILE "VLProbeRecvThread"

namespace {
// Defaults of the schedule constants, in milliseconds (count: re-sends).
const long kDefaultRetryCount = 0;
const long kDefaultRetryInterval = 10000;
const long kDefaultInterval = 10000;
// The pause after a receive that timed out.
const int kTimeoutPause = 100;
// Bad replies skipped in a row before the same pause: a child that fails
// every read at once (rather than for each datagram) must not spin.
const int kBadRepliesBeforePause = 100;

// True for a stop of the child or of the framework, which ends the thread
// quietly.
bool IsStop(EVLException* pException)
{
    return dynamic_cast<EVLStopFunctionException*>(pException) != nullptr ||
           dynamic_cast<EVLTerminateException*>(pException) != nullptr;
}
}  // namespace

CVLProbeRecvThread::CVLProbeRecvThread(CVLModuleParamCollection* pParams, CVLModuleInstance* pChildInstance)
    : m_pChildInstance(pChildInstance), m_pParams(pParams),
      m_pModuleController(pParams != nullptr ? pParams->GetController() : nullptr), m_pTarget(nullptr)
{
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
        CVLModuleParam* pTimeout = pChildParams->GetParam("timeout", true);
        CVLStopWatch stopWatch;
        stopWatch.Start();
        long nSendCount = 0;
        long nElapsed = 0;
        int nBadReplies = 0;

        while (!IsRequestEnd()) {
            if (pTimeout != nullptr)
                pTimeout->SetLong(nInterval);
            stopWatch.Update();
            nElapsed += stopWatch.GetElapsed();

            if (nSendCount == 0 || (nSendCount <= nRetryCount && nElapsed >= nRetryInterval)) {
                pChildParams->SetMethodName(strSendMethod.GetBuffer());
                // A send that fails ends the thread: it would receive for
                // nothing, and a broken channel would fail every pass.
                bool bSent = false;
                try {
                    stopWatch.Update();
                    ++nSendCount;
                    nElapsed = 0;
                    m_pTarget->Clear();
                    m_pTarget->Marge(pBlankTarget);
                    m_pChildInstance->CallMethod();
                    bSent = true;
                } catch (EVLException* pException) {
                    if (IsStop(pException)) {
                        pException->Delete();
                    } else {
                        if (dynamic_cast<EVLTimeoutException*>(pException) != nullptr)
                            CVLTrace::OutputException(VLMDPROBE_MODULE, VLPROBERECVTHREAD_FILE, __LINE__, pException);
                        PostException(pException);
                    }
                } catch (...) {
                    PostException(new EVLUnexpectedException(VLMDPROBE_MODULE, VLPROBERECVTHREAD_FILE, __LINE__));
                }
                if (!bSent)
                    break;
            }

            if (pTimeout != nullptr && nSendCount <= nRetryCount) {
                stopWatch.Update();
                nElapsed += stopWatch.GetElapsed();
                long nRest = nRetryInterval - nElapsed;
                pTimeout->SetLong(nRest <= 0 ? 0 : (nRest < nInterval ? nRest : nInterval));
            }
            pChildParams->SetMethodName(strRecvMethod.GetBuffer());

            bool bEnd = false;
            try {
                m_pTarget->Clear();
                m_pChildInstance->CallMethod();
                nBadReplies = 0;
                if (!m_pModuleController->CreateScriptExtend(strCondition.GetBuffer(), m_pChildInstance, m_pParams,
                                                             nullptr))
                    continue;
                bool bMarge = false;
                CVLTarget* pReported = nullptr;
                CVLTargetList* pTargetList = m_pParams->GetTargetList();
                if (pTargetList != nullptr) {
                    pReported = pTargetList->MargeOrAddTarget(m_pTarget, bMarge);
                } else if (m_pParams->GetListener() != nullptr) {
                    // Without a listener the copy would go to nobody.
                    pReported = m_pModuleController->CreateTarget();
                    if (pReported != nullptr)
                        *pReported = *m_pTarget;
                }
                if (pReported != nullptr && m_pParams->GetListener() != nullptr)
                    m_pModuleController->PostCallbackProbe(m_pChildInstance, m_pParams, pReported, bMarge);
            } catch (EVLTimeoutException* pException) {
                pException->Delete();
                nBadReplies = 0;
                Sleep(kTimeoutPause);
            } catch (EVLException* pException) {
                if (IsStop(pException)) {
                    pException->Delete();
                    bEnd = true;
                } else if (dynamic_cast<EVLNullObjectException*>(pException) != nullptr ||
                           dynamic_cast<EVLUnsupportedException*>(pException) != nullptr) {
                    // The child is gone or cannot receive at all: every
                    // further pass would fail the same way.
                    PostException(pException);
                    bEnd = true;
                } else {
                    // One bad reply (truncated, empty, refused by its result)
                    // costs only itself; the channel goes on receiving.
                    CVLTrace::OutputException(VLMDPROBE_MODULE, VLPROBERECVTHREAD_FILE, __LINE__, pException);
                    pException->Delete();
                    if (++nBadReplies >= kBadRepliesBeforePause) {
                        nBadReplies = 0;
                        Sleep(kTimeoutPause);
                    }
                }
            } catch (...) {
                PostException(new EVLUnexpectedException(VLMDPROBE_MODULE, VLPROBERECVTHREAD_FILE, __LINE__));
                bEnd = true;
            }
            if (bEnd)
                break;
        }
    }
    VL_CATCH_LADDER(VLMDPROBE_MODULE, VLPROBERECVTHREAD_FILE)
}
