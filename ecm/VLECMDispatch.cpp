// The dispatch thread: one queued callback per pass, and what the dispatch
// queue refused of the probe's posts, then a short sleep.
#include "base/core/VLException.h"
#include "base/core/VLThreadLock.h"
#include "base/core/VLTrace.h"
#include "cm/VLCMDefs.h"
#include "cm/VLModuleController.h"
#include "ecm/VLECM.h"
#include "ecm/core/VLECMPrivate.h"
#include "ecm/probe/VLECMProbeInstance.h"

const char* const s_szFile = "VLECM";

namespace {
// The pause between two passes; the thread polls the queue.
const int kDispatchSleepMilliseconds = 5;
}  // namespace

void CVLECM::OnThread(void* pData)
{
    static const char* const kSignature = "void CVLECM::OnThread(void* pData)";
    CVLTrace::FunctionIn(VLECM_MODULE, s_szFile, __LINE__, kSignature);
    CVLECM* pOwner = static_cast<CVLECM*>(pData);
    if (pOwner != nullptr) {
        pOwner->m_DispatchThreadId = pthread_self();
        pOwner->m_bDispatchThreadRunning = true;
        try {
            pOwner->dispatchCallbackLoop();
        } catch (...) {
            ReleaseCurrentException();
        }
        pOwner->m_bDispatchThreadRunning = false;
    }
    CVLTrace::FunctionOut(VLECM_MODULE, s_szFile, __LINE__, kSignature);
}

void CVLECM::dispatchCallbackLoop()
{
    while (!m_bStopCallbackLoop) {
        try {
            {
                CVLThreadLock lock(&m_DispatchCallbackSync);
                if (lock.Lock()) {
                    m_Api.DispatchCallback(0);
                    // Here, not inside PostCallbackUser: a loss that posts
                    // again would re-enter a client's override.
                    m_PostAnswers.RunRefused();
                    if (m_pProbeInstance != nullptr)
                        m_pProbeInstance->DispatchPass();
                }
            }
            CVLThread::Sleep(kDispatchSleepMilliseconds);
        } catch (...) {
            ReleaseCurrentException();
        }
    }
}

void CVLECM::PostCallbackUser(CVLTarget* pTarget, VLCM_USER_CALLBACK pCallback, long lCallbackId, void* pCallbackParam)
{
    CVLECMPostAnswers::SPost post;
    post.pTarget = pTarget;
    post.pCallback = pCallback;
    post.lCallbackId = lCallbackId;
    post.pCallbackParam = pCallbackParam;
    // The answer settles the post itself, on whatever thread it is passed on.
    m_PostAnswers.Pass(post, [&]() {
        CVLThreadLock lock(&m_PostCallbackTargetMapSync);
        CVLModuleController* pController = lock.Lock() ? m_Api.GetModuleController() : nullptr;
        if (pController == nullptr)
            return false;
        m_PostCallbackTargetMap[pTarget] = nullptr;
        // A record of our own, so that a refusal is known.
        CVLCallbackInfo* pInfo = new CVLCallbackInfo();
        pInfo->SetType(VLCM_CALLBACK_USER);
        pInfo->SetApi(&m_Api);
        pInfo->SetTarget(pTarget);
        pInfo->SetUserCallback(pCallback, lCallbackId, pCallbackParam);
        return pController->PostCallbackRecord(pInfo);
    });
}
