#include "ecm/probe/VLECMNIFInfoList.h"

#include "base/core/VLCharset.h"
#include "base/core/VLString.h"
#include "cm/VLCallbackInfo.h"
#include "cm/VLModuleController.h"
#include "cm/VLModuleInstance.h"
#include "cm/VLTarget.h"
#include "ecm/probe/VLECMHandOnQueue.h"
#include "ecm/probe/VLECMReplyFilter.h"

CVLECMNIFInfoList::CVLECMNIFInfoList()
{
}

CVLECMNIFInfoList::~CVLECMNIFInfoList()
{
}

void CVLECMNIFInfoList::SetReplyPath(CVLECMReplyFilter* pFilter, CVLECMHandOnQueue* pRecords)
{
    // The filter last: a filter is never used without its records.
    m_pRecords = pRecords;
    m_pReplyFilter = pFilter;
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
    CVLString strMAC(VL_CHARSET_UTF8);
    size_t nBytes = 0;
    CVLString strReceiver = pReceiver != nullptr ? pReceiver->GetName() : CVLString(VL_CHARSET_UTF8);
    if (!pFilter->Admit(pSrcTarget, strReceiver, &strMAC, &nBytes))
        return nullptr;
    CVLTarget* pCopy = nullptr;
    try {
        pCopy = CVLTargetList::MargeOrAddTarget(pSrcTarget, bMarge);
    } catch (...) {
        pRecords->NotCopied(strMAC);
        throw;
    }
    if (pCopy == nullptr) {
        pRecords->NotCopied(strMAC);
        return nullptr;
    }
    // The queue counts what the copy takes while its record waits there.
    pCopy->SetFootprint(nBytes);
    pRecords->Copied(strMAC, pCopy);
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
    // A refused record frees its place at once: the loop goes on.
    while (CVLCallbackInfo* pRecord = pRecords->NextToHandOn()) {
        CVLTarget* pTarget = pRecord->GetTarget();
        bool bMarge = pRecord->IsMarge();
        if (!pController->PostCallbackRecord(pRecord))
            OnCallbackRefused(pTarget, bMarge);
    }
}
