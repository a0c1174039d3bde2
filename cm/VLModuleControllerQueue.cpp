// The callback queue of the module controller: posting from any thread,
// delivery on the one dispatching thread, and the withdrawal of the records
// of instances, targets and user parameters that are going away.
#include <new>

#include "base/core/VLException.h"
#include "base/core/VLMemoryAllocException.h"
#include "base/core/VLThreadLock.h"
#include "base/core/VLTrace.h"
#include "cm/VLCallbackInfo.h"
#include "cm/VLCMDefs.h"
#include "cm/VLCustomCallbackIF.h"
#include "cm/VLModuleController.h"
#include "cm/VLModuleParamCollection.h"
#include "cm/VLTarget.h"
#include "cm/VLTargetList.h"

// Bound of the queue. Far above what a probe of the largest network queues
// (one record per answer, delivered at some 200 a second), so it only takes
// effect under a flood: then probe and progress records beyond it are
// dropped, while the records that end a function (done, stop, time-out,
// exception, user) may still use a reserve above it, so a listener is not
// left waiting for its end. Beyond the reserve every post is dropped.
static const int kCallbackQueueLimit = 100000;
static const int kCallbackQueueReserve = 10000;
// The same bounds in bytes (a record with its texts, as counted by
// GetCallbackRecordBytes), so that records with long texts cannot take more
// than short ones: 32 MiB hold the 100,000 records of a flood only when
// they are short.
static const size_t kCallbackQueueBytes = 32 * 1024 * 1024;
static const size_t kCallbackQueueReserveBytes = 4 * 1024 * 1024;
// A flood traces its first drop and every this many after it.
static const unsigned kDropTraceInterval = 1000;

const char* const s_szFile = "VLModuleController";

void CVLModuleController::DispatchCallback(long nTimeout)
{
    try {
        if (nTimeout != 0)
            m_CallbackSemaphore.Wait(static_cast<int>(nTimeout));
        CVLCallbackInfo* pInfo = nullptr;
        {
            CVLThreadLock lock(&m_ThreadSync);
            if (lock.Lock()) {
                pInfo = m_CallbackInfoList.Pop();
                if (pInfo != nullptr)
                    m_nQueuedBytes -= pInfo->GetQueuedBytes();
                // A waiting consumer is not left asleep while records remain.
                if (nTimeout != 0 && m_CallbackInfoList.GetCount() > 0 && m_CallbackSemaphore.GetCount() < 1)
                    m_CallbackSemaphore.Post();
            }
        }
        if (pInfo == nullptr)
            return;
        if (m_pCustomCallbackIF != nullptr) {
            m_pCustomCallbackIF->OnCallback(pInfo);
            return;
        }
        // The record is deleted however its delivery ends.
        try {
            pInfo->Invoke();
        } catch (...) {
            delete pInfo;
            throw;
        }
        delete pInfo;
    }
    VL_CATCH_LADDER(VLCMAPI_MODULE, s_szFile)
}

void CVLModuleController::PostCallbackUser(CVLModuleInstance* pInstance, CVLTarget* pTarget,
                                           VLCM_USER_CALLBACK pCallback, long lCallbackId, void* pCallbackParam,
                                           EVLException* pException)
{
    try {
        CVLThreadLock lock(&m_ThreadSync);
        if (!lock.Lock()) {
            VLDeleteException(pException);
            return;
        }
        if (pCallbackParam != nullptr && m_LockCallbackParamMap.find(pCallbackParam) != m_LockCallbackParamMap.end()) {
            VLDeleteException(pException);
            return;
        }
        PostCallback(VLCM_CALLBACK_USER, pInstance, nullptr, pTarget, pException, false, nullptr, 0, pCallback,
                     lCallbackId, pCallbackParam, nullptr);
    }
    VL_CATCH_LADDER(VLCMAPI_MODULE, s_szFile)
}

void CVLModuleController::PostCallbackUser(CVLCallbackInfo* pUserCallbackInfo)
{
    try {
        if (pUserCallbackInfo == nullptr)
            return;
        CVLThreadLock lock(&m_ThreadSync);
        if (!lock.Lock()) {
            delete pUserCallbackInfo;
            return;
        }
        void* pParam = pUserCallbackInfo->GetCallbackParam();
        if (pParam != nullptr && m_LockCallbackParamMap.find(pParam) != m_LockCallbackParamMap.end()) {
            delete pUserCallbackInfo;
            return;
        }
        PostCallback(pUserCallbackInfo->GetType(), pUserCallbackInfo->GetInstance(), nullptr,
                     pUserCallbackInfo->GetTarget(), nullptr, false, nullptr, 0, nullptr, 0, nullptr,
                     pUserCallbackInfo);
    }
    VL_CATCH_LADDER(VLCMAPI_MODULE, s_szFile)
}

// The six event posts share one body: take the lock, post, release. What
// they carry is freed when the lock cannot be taken.
bool CVLModuleController::PostEvent(int eType, CVLModuleInstance* pInstance, CVLModuleParamCollection* pParams,
                                    CVLTarget* pTarget, EVLException* pException, bool bMarge, VL_CONST_STR szEventCode,
                                    VL_SIZE_T nProgressValue)
{
    try {
        CVLThreadLock lock(&m_ThreadSync);
        if (!lock.Lock()) {
            VLDeleteException(pException);
            return false;
        }
        return PostCallback(eType, pInstance, pParams, pTarget, pException, bMarge, szEventCode, nProgressValue,
                            nullptr, 0, nullptr, nullptr) != nullptr;
    }
    VL_CATCH_LADDER(VLCMAPI_MODULE, s_szFile)
}

void CVLModuleController::PostCallbackProbe(CVLModuleInstance* pInstance, CVLModuleParamCollection* pParams,
                                            CVLTarget* pTarget, bool bMarge)
{
    CVLTargetList* pList = pTarget != nullptr ? pTarget->GetOwnerList() : nullptr;
    // The list that made the target may decide when its record is queued.
    if (pList != nullptr && pList->TakeCallback(pInstance, pParams, pTarget, bMarge))
        return;
    // It learns of a refusal, so that it neither keeps the copy nor waits
    // for its delivery.
    if (!PostEvent(VLCM_CALLBACK_PROBE, pInstance, pParams, pTarget, nullptr, bMarge, nullptr, 0) && pList != nullptr)
        pList->OnCallbackRefused(pTarget, bMarge);
}

bool CVLModuleController::PostCallbackRecord(CVLCallbackInfo* pInfo)
{
    try {
        if (pInfo == nullptr)
            return false;
        CVLThreadLock lock(&m_ThreadSync);
        if (!lock.Lock()) {
            delete pInfo;
            return false;
        }
        return PostCallback(pInfo->GetType(), pInfo->GetInstance(), nullptr, pInfo->GetTarget(), nullptr,
                            pInfo->IsMarge(), nullptr, 0, nullptr, 0, nullptr, pInfo) != nullptr;
    }
    VL_CATCH_LADDER(VLCMAPI_MODULE, s_szFile)
}

void CVLModuleController::PostCallbackDone(CVLModuleInstance* pInstance, CVLModuleParamCollection* pParams,
                                           CVLTarget* pTarget)
{
    PostEvent(VLCM_CALLBACK_DONE, pInstance, pParams, pTarget, nullptr, false, nullptr, 0);
}

void CVLModuleController::PostCallbackStop(CVLModuleInstance* pInstance, CVLModuleParamCollection* pParams,
                                           CVLTarget* pTarget)
{
    PostEvent(VLCM_CALLBACK_STOP, pInstance, pParams, pTarget, nullptr, false, nullptr, 0);
}

void CVLModuleController::PostCallbackTimeout(CVLModuleInstance* pInstance, CVLModuleParamCollection* pParams,
                                              CVLTarget* pTarget)
{
    PostEvent(VLCM_CALLBACK_TIMEOUT, pInstance, pParams, pTarget, nullptr, false, nullptr, 0);
}

void CVLModuleController::PostCallbackProgress(CVLModuleInstance* pInstance, CVLModuleParamCollection* pParams,
                                               CVLTarget* pTarget, VL_CONST_STR szEventCode,
                                               VL_SIZE_T nProgressValue)
{
    PostEvent(VLCM_CALLBACK_PROGRESS, pInstance, pParams, pTarget, nullptr, false, szEventCode, nProgressValue);
}

void CVLModuleController::PostCallbackException(CVLModuleInstance* pInstance, CVLModuleParamCollection* pParams,
                                                CVLTarget* pTarget, EVLException* pException)
{
    PostEvent(VLCM_CALLBACK_EXCEPTION, pInstance, pParams, pTarget, pException, false, nullptr, 0);
}

void CVLModuleController::RemoveCallbackInfo(CVLModuleInstance* pInstance, CVLTarget* pTarget,
                                             void* pCallbackParam)
{
    try {
        CVLThreadLock lock(&m_ThreadSync);
        if (lock.Lock())
            removeCallbackInfo(pInstance, pTarget, pCallbackParam);
    }
    VL_CATCH_LADDER(VLCMAPI_MODULE, s_szFile)
}

void CVLModuleController::UnlockCallbackInfo(CVLModuleInstance* pInstance, CVLTarget* pTarget,
                                             void* pCallbackParam)
{
    try {
        CVLThreadLock lock(&m_ThreadSync);
        if (!lock.Lock())
            return;
        if (pInstance != nullptr)
            m_LockInstanceMap.erase(pInstance);
        if (pTarget != nullptr)
            m_LockTargetMap.erase(pTarget);
        if (pCallbackParam != nullptr)
            m_LockCallbackParamMap.erase(pCallbackParam);
    }
    VL_CATCH_LADDER(VLCMAPI_MODULE, s_szFile)
}

bool CVLModuleController::IsCallbackRefused(CVLModuleInstance* pInstance, CVLTarget* pTarget) const
{
    return (pInstance != nullptr && m_LockInstanceMap.find(pInstance) != m_LockInstanceMap.end()) ||
           (pTarget != nullptr && m_LockTargetMap.find(pTarget) != m_LockTargetMap.end());
}

size_t CVLModuleController::GetCallbackRecordBytes(CVLCallbackInfo* pInfo)
{
    if (pInfo == nullptr)
        return 0;
    // Each text also costs its buffer's bookkeeping.
    const size_t kTextOverhead = 32;
    size_t nBytes = sizeof(CVLCallbackInfo) + 6 * kTextOverhead;
    // A probe's record keeps a copy of the reply as its target.
    if (pInfo->GetType() == VLCM_CALLBACK_PROBE && pInfo->GetTarget() != nullptr)
        nBytes += pInfo->GetTarget()->GetFootprint();
    nBytes += static_cast<size_t>(pInfo->GetFunctionName().GetLength() + pInfo->GetPacketListName().GetLength() +
                                  pInfo->GetModuleName().GetLength() + pInfo->GetInstanceName().GetLength() +
                                  pInfo->GetExtraText().GetLength() + pInfo->GetEventCode().GetLength());
    return nBytes;
}

size_t CVLModuleController::GetQueuedCallbackBytes()
{
    CVLThreadLock lock(&m_ThreadSync);
    return lock.Lock() ? m_nQueuedBytes : 0;
}

bool CVLModuleController::IsCallbackQueueFull(int eType)
{
    int nCount = m_CallbackInfoList.GetCount();
    bool bEnds = eType != VLCM_CALLBACK_PROBE && eType != VLCM_CALLBACK_PROGRESS;
    bool bCountFits = nCount < kCallbackQueueLimit || (bEnds && nCount < kCallbackQueueLimit + kCallbackQueueReserve);
    bool bBytesFit = m_nQueuedBytes < kCallbackQueueBytes ||
                     (bEnds && m_nQueuedBytes < kCallbackQueueBytes + kCallbackQueueReserveBytes);
    if (bCountFits && bBytesFit)
        return false;
    ++m_nDroppedCallbacks;
    if (m_nDroppedCallbacks % kDropTraceInterval == 1)
        CVLTrace::Output(VLCMAPI_MODULE, s_szFile, __LINE__, 1,
                         "CVLModuleController::PostCallback(): callback queue full, record dropped!, "
                         "nType=%d, nQueued=%d, nBytes=%lu, nDropped=%lu",
                         eType, nCount, static_cast<unsigned long>(m_nQueuedBytes),
                         static_cast<unsigned long>(m_nDroppedCallbacks));
    return true;
}

CVLCallbackInfo* CVLModuleController::PostCallback(int eType, CVLModuleInstance* pInstance,
                                                   CVLModuleParamCollection* pParams, CVLTarget* pTarget,
                                                   EVLException* pException, bool bMarge, VL_CONST_STR szEventCode,
                                                   VL_SIZE_T nProgressValue, VLCM_USER_CALLBACK pCallback,
                                                   long lCallbackId, void* pCallbackParam, CVLCallbackInfo* pInfo)
{
    // The record's instance comes from the parameters when they are given,
    // so an instance being deleted is refused under either name.
    CVLModuleInstance* pParamsInstance = pParams != nullptr ? pParams->GetInstance() : nullptr;
    if (IsCallbackRefused(pInstance, pTarget) || IsCallbackRefused(pParamsInstance, nullptr) ||
        IsCallbackQueueFull(eType)) {
        if (pInfo != nullptr)
            delete pInfo;
        else
            VLDeleteException(pException);
        return nullptr;
    }
    CVLCallbackInfo* pResult = nullptr;
    if (pInfo != nullptr) {
        pInfo->SetQueuedBytes(GetCallbackRecordBytes(pInfo));
        m_CallbackInfoList.Push(pInfo);
        m_nQueuedBytes += pInfo->GetQueuedBytes();
        pResult = pInfo;
    } else {
        // Filled before it is appended, so a failure leaves no half-filled
        // record in the queue; the lock is held throughout either way.
        CVLCallbackInfo* pNew = m_CallbackInfoList.CreateElement();
        if (pNew == nullptr) {
            VLDeleteException(pException);
            throw new EVLMemoryAllocException(VLSTD_MODULE, "TVLObjectList", __LINE__);
        }
        pNew->SetException(pException);
        try {
            pNew->SetType(eType);
            pNew->SetInstance(pInstance);
            pNew->SetApi(m_pApi);
            pNew->SetTarget(pTarget);
            pNew->SetParams(pParams);
            pNew->SetMarge(bMarge);
            pNew->SetEventCode(szEventCode);
            pNew->SetProgressValue(nProgressValue);
            pNew->SetUserCallback(pCallback, lCallbackId, pCallbackParam);
        } catch (...) {
            delete pNew;
            throw;
        }
        pNew->SetQueuedBytes(GetCallbackRecordBytes(pNew));
        m_CallbackInfoList.Push(pNew);
        m_nQueuedBytes += pNew->GetQueuedBytes();
        pResult = pNew;
    }
    m_CallbackSemaphore.Post();
    return pResult;
}

void CVLModuleController::removeCallbackInfo(CVLModuleInstance* pInstance, CVLTarget* pTarget,
                                             void* pCallbackParam)
{
    m_nQueuedBytes -= m_CallbackInfoList.Remove(pInstance, pTarget, pCallbackParam);
    if (m_pCustomCallbackIF != nullptr)
        m_pCustomCallbackIF->RemoveCallbackInfo(pInstance, pTarget, pCallbackParam);
    if (pInstance != nullptr)
        m_LockInstanceMap[pInstance] = pInstance;
    if (pTarget != nullptr)
        m_LockTargetMap[pTarget] = pTarget;
    if (pCallbackParam != nullptr)
        m_LockCallbackParamMap[pCallbackParam] = pCallbackParam;
}

unsigned long CVLModuleController::GetDroppedCallbackCount()
{
    CVLThreadLock lock(&m_ThreadSync);
    return lock.Lock() ? m_nDroppedCallbacks : 0;
}
