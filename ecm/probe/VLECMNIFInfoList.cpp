#include "ecm/probe/VLECMNIFInfoList.h"

#include "base/core/VLCharset.h"
#include "base/core/VLExceptionOwner.h"
#include "base/core/VLMemoryAllocException.h"
#include "base/core/VLString.h"
#include "base/core/VLThreadLock.h"
#include "cm/VLCallbackInfo.h"
#include "cm/VLModuleController.h"
#include "cm/VLModuleInstance.h"
#include "cm/VLTarget.h"
#include "ecm/core/VLECMDefs.h"
#include "ecm/core/VLECMPrivate.h"
#include "ecm/probe/VLECMHandOnQueue.h"
#include "ecm/probe/VLECMReplyFilter.h"

CVLECMNIFInfoList::CVLECMNIFInfoList()
{
}

CVLECMNIFInfoList::~CVLECMNIFInfoList()
{
}

void CVLECMNIFInfoList::SetReplyPath(CVLECMReplyFilter* pFilter, CVLECMHandOnQueue* pRecords,
                                     CVLECMNIFInfoList* pClaims)
{
    // The filter last: a filter is never used without its records.
    m_pRecords = pRecords;
    m_pClaims = pClaims;
    m_pReplyFilter = pFilter;
}

CVLTarget* CVLECMNIFInfoList::Add(CVLTarget* pObject)
{
    CVLThreadLock lock(&m_ThreadSync);
    CVLTarget* pAdded = CVLTargetList::Add(pObject);
    if (pAdded != nullptr && lock.Lock())
        m_Members.insert(pAdded);
    return pAdded;
}

void CVLECMNIFInfoList::RemoveAll()
{
    {
        CVLThreadLock lock(&m_ThreadSync);
        if (lock.Lock())
            m_Members.clear();
    }
    CVLTargetList::RemoveAll();
}

void CVLECMNIFInfoList::RemoveAt(CVLTarget* pTarget, bool bDestroyTarget)
{
    {
        CVLThreadLock lock(&m_ThreadSync);
        // Unlinked before it is destroyed: the set never names a target
        // gone.
        if (!lock.Lock() || m_Members.erase(pTarget) == 0)
            return;
    }
    CVLTargetList::RemoveAt(pTarget, bDestroyTarget);
}

bool CVLECMNIFInfoList::Contains(const CVLTarget* pTarget)
{
    CVLThreadLock lock(&m_ThreadSync);
    return lock.Lock() && m_Members.count(pTarget) != 0;
}

CVLTarget* CVLECMNIFInfoList::AddCopy(CVLTarget* pSrcTarget)
{
    CVLModuleController* pController = GetModuleController();
    if (pSrcTarget == nullptr || pController == nullptr)
        return nullptr;
    CVLTarget* pNew = pController->CreateTarget();
    if (pNew == nullptr)
        throw new EVLMemoryAllocException(VLECM_MODULE, "VLECMNIFInfoList", __LINE__);
    try {
        *pNew = *pSrcTarget;
        Add(pNew);
    } catch (...) {
        // Listed nowhere yet and running nothing: handed straight back.
        try {
            pController->DeleteTarget(pNew, true);
        } catch (...) {
            ReleaseCurrentException();
        }
        throw;
    }
    return pNew;
}

CVLTarget* CVLECMNIFInfoList::MargeOrAddTarget(CVLTarget* pSrcTarget, bool& bMarge)
{
    return MargeOrAddReceived(pSrcTarget, bMarge, nullptr);
}

CVLTarget* CVLECMNIFInfoList::MargeOrAddReceived(CVLTarget* pSrcTarget, bool& bMarge, CVLModuleInstance* pReceiver)
{
    CVLECMReplyFilter* pFilter = m_pReplyFilter;
    CVLECMHandOnQueue* pRecords = m_pRecords;
    if (pFilter == nullptr || pRecords == nullptr || pSrcTarget == nullptr)
        return CVLTargetList::MargeOrAddTarget(pSrcTarget, bMarge);
    SVLECMReplyKey key;
    size_t nBytes = 0;
    bool bReported = false;
    CVLString strReceiver = pReceiver != nullptr ? pReceiver->GetName() : CVLString(VL_CHARSET_UTF8);
    if (!pFilter->Admit(pSrcTarget, strReceiver, &key, &nBytes, &bReported))
        return nullptr;
    CVLTarget* pCopy = nullptr;
    // Only the address the MAC was handed on from may merge into its
    // record; any other address's reply is a record of its own, or it
    // would lose its address.
    CVLECMNIFInfoList* pClaims = m_pClaims;
    const bool bOwnRecord = pClaims != nullptr && !bReported;
    try {
        if (bOwnRecord) {
            pCopy = pClaims->AddCopy(pSrcTarget);
            bMarge = false;
        } else {
            pCopy = CVLTargetList::MargeOrAddTarget(pSrcTarget, bMarge);
        }
    } catch (...) {
        pRecords->NotCopied(key);
        throw;
    }
    if (pCopy == nullptr) {
        pRecords->NotCopied(key);
        return nullptr;
    }
    // The queue counts what the copy takes while its record waits there.
    pCopy->SetFootprint(nBytes);
    pRecords->Copied(key, pCopy);
    return pCopy;
}

bool CVLECMNIFInfoList::TakeCallback(CVLModuleInstance* pInstance, CVLModuleParamCollection* pParams,
                                     CVLTarget* pTarget, bool bMarge)
{
    CVLECMHandOnQueue* pRecords = m_pRecords;
    CVLModuleController* pController = GetModuleController();
    // A merge into a listed target is no admitted copy.
    if (pRecords == nullptr || pController == nullptr || bMarge)
        return false;
    CVLCallbackInfo* pRecord = new CVLCallbackInfo(VLCM_CALLBACK_PROBE, pInstance, pParams, pTarget);
    pRecord->SetMarge(bMarge);
    if (pRecord->GetApi() == nullptr)
        pRecord->SetApi(pController->GetApi());
    CVLECMHandOnQueue::EHold eHold = pRecords->Hold(pRecord);
    if (eHold == CVLECMHandOnQueue::HOLD_NOT_OURS) {
        delete pRecord;
        return false;
    }
    if (eHold == CVLECMHandOnQueue::HOLD_HAND_ON && !pController->PostCallbackRecord(pRecord))
        OnCallbackRefused(pTarget, false);
    HandOn();
    return true;
}

void CVLECMNIFInfoList::OnCallbackRefused(CVLTarget* pTarget, bool bMarge)
{
    CVLECMHandOnQueue* pRecords = m_pRecords;
    if (pRecords == nullptr || pTarget == nullptr)
        return;
    if (pRecords->QueueRefused(pTarget) && !bMarge)
        RemoveAt(pTarget, true);
}

void CVLECMNIFInfoList::HandOn()
{
    CVLECMHandOnQueue* pRecords = m_pRecords;
    CVLModuleController* pController = GetModuleController();
    if (pRecords == nullptr || pController == nullptr)
        return;
    // A refused record frees its place at once: the loop goes on. A
    // claim's copy is the claims list's to remove.
    while (CVLCallbackInfo* pRecord = pRecords->NextToHandOn()) {
        CVLTarget* pTarget = pRecord->GetTarget();
        bool bMarge = pRecord->IsMarge();
        CVLTargetList* pOwner = pTarget != nullptr ? pTarget->GetOwnerList() : nullptr;
        if (!pController->PostCallbackRecord(pRecord))
            (pOwner != nullptr ? pOwner : this)->OnCallbackRefused(pTarget, bMarge);
    }
}
