// Target and target-list management of the module controller: objects are
// made and deleted through the factory hooks, and a target is withdrawn from
// the callback queue before it goes.
//
// Lock order: the controller lock is never held while a list lock or a
// target lock is taken here. A list that destroys its targets has released
// its own lock first, and module code may post (controller lock) while it
// holds a target lock, so holding the controller lock across either call
// could deadlock.
#include "base/core/VLLockException.h"
#include "base/core/VLMemoryAllocException.h"
#include "base/core/VLThreadLock.h"
#include "base/core/VLTrace.h"
#include "cm/VLCMDefs.h"
#include "cm/VLModuleController.h"
#include "cm/VLTarget.h"
#include "cm/VLTargetList.h"

const char* const s_szFile = "VLModuleController";

CVLTarget* CVLModuleController::CreateTarget()
{
    static const char kSignature[] = "CVLTarget* CVLModuleController::CreateTarget()";
    CVLTrace::FunctionIn(VLCMAPI_MODULE, s_szFile, __LINE__, kSignature);
    try {
        CVLTarget* pTarget = nullptr;
        if (m_pNewTargetFunc != nullptr) {
            pTarget = m_pNewTargetFunc(m_pApi);
            if (pTarget == nullptr)
                throw new EVLMemoryAllocException(VLCMAPI_MODULE, s_szFile, __LINE__);
            pTarget->SetApi(m_pApi);
        }
        CVLTrace::FunctionOut(VLCMAPI_MODULE, s_szFile, __LINE__, kSignature);
        return pTarget;
    }
    VL_CATCH_LADDER(VLCMAPI_MODULE, s_szFile)
}

void CVLModuleController::DeleteTarget(CVLTarget* pTarget, bool bRequestTargetList)
{
    static const char kSignature[] = "void CVLModuleController::DeleteTarget( CVLTarget* pTarget, bool bRequestTargetList)";
    CVLTrace::FunctionIn(VLCMAPI_MODULE, s_szFile, __LINE__, kSignature);
    try {
        if (pTarget == nullptr)
            return;
        // Withdrawn from the queue first: queued records are deleted and
        // further posts refused until the target is gone.
        {
            CVLThreadLock lock(&m_ThreadSync);
            if (!lock.Lock())
                throw new EVLLockException(VLCMAPI_MODULE, s_szFile, __LINE__);
            removeCallbackInfo(nullptr, pTarget, nullptr);
        }
        try {
            // Unlinked after the controller lock is released (see above).
            CVLTargetList* pOwner = pTarget->GetOwnerList();
            if (!bRequestTargetList && pOwner != nullptr)
                pOwner->Unlink(pTarget);
        } catch (...) {
            // Still listed: the target stays alive and is accepted again.
            UnlockCallbackInfo(nullptr, pTarget, nullptr);
            throw;
        }
        EVLException* pFailure = nullptr;
        try {
            pTarget->Stop();
        } catch (EVLException* e) {
            // Its instances are detached even when one failed to stop; the
            // target goes all the same and the failure is reported after.
            pFailure = e;
        }
        try {
            pTarget->OnDelete();
            if (m_pDeleteTargetFunc != nullptr)
                m_pDeleteTargetFunc(m_pApi, pTarget);
        } catch (...) {
            VLDeleteException(pFailure);
            UnlockCallbackInfo(nullptr, pTarget, nullptr);
            throw;
        }
        UnlockCallbackInfo(nullptr, pTarget, nullptr);
        if (pFailure != nullptr)
            throw pFailure;
        CVLTrace::FunctionOut(VLCMAPI_MODULE, s_szFile, __LINE__, kSignature);
    }
    VL_CATCH_LADDER(VLCMAPI_MODULE, s_szFile)
}

CVLTargetList* CVLModuleController::CreateTargetList()
{
    static const char kSignature[] = "CVLTargetList* CVLModuleController::CreateTargetList()";
    CVLTrace::FunctionIn(VLCMAPI_MODULE, s_szFile, __LINE__, kSignature);
    try {
        CVLTargetList* pList = nullptr;
        if (m_pNewTargetListFunc != nullptr) {
            pList = m_pNewTargetListFunc(m_pApi);
            if (pList == nullptr)
                throw new EVLMemoryAllocException(VLCMAPI_MODULE, s_szFile, __LINE__);
        }
        CVLTrace::FunctionOut(VLCMAPI_MODULE, s_szFile, __LINE__, kSignature);
        return pList;
    }
    VL_CATCH_LADDER(VLCMAPI_MODULE, s_szFile)
}

void CVLModuleController::DeleteTargetList(CVLTargetList* pTargetList)
{
    static const char kSignature[] = "void CVLModuleController::DeleteTargetList( CVLTargetList* pTargetList)";
    CVLTrace::FunctionIn(VLCMAPI_MODULE, s_szFile, __LINE__, kSignature);
    try {
        if (pTargetList == nullptr)
            return;
        pTargetList->RemoveAll();
        pTargetList->OnDelete();
        if (m_pDeleteTargetListFunc != nullptr)
            m_pDeleteTargetListFunc(m_pApi, pTargetList);
        CVLTrace::FunctionOut(VLCMAPI_MODULE, s_szFile, __LINE__, kSignature);
    }
    VL_CATCH_LADDER(VLCMAPI_MODULE, s_szFile)
}

