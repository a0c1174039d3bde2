#include "ecm/VLECMNIFInfoList.h"

#include "base/core/VLCharset.h"
#include "base/core/VLString.h"
#include "cm/VLTarget.h"
#include "ecm/VLECMReplyFilter.h"

CVLECMNIFInfoList::CVLECMNIFInfoList()
{
}

CVLECMNIFInfoList::~CVLECMNIFInfoList()
{
}

CVLTarget* CVLECMNIFInfoList::MargeOrAddTarget(CVLTarget* pSrcTarget, bool& bMarge)
{
    CVLECMReplyFilter* pFilter = m_pReplyFilter;
    if (pFilter == nullptr || pSrcTarget == nullptr)
        return CVLTargetList::MargeOrAddTarget(pSrcTarget, bMarge);
    CVLString strMAC(VL_CHARSET_UTF8);
    size_t nBytes = 0;
    if (!pFilter->Admit(pSrcTarget, &strMAC, &nBytes))
        return nullptr;
    CVLTarget* pCopy = nullptr;
    try {
        pCopy = CVLTargetList::MargeOrAddTarget(pSrcTarget, bMarge);
    } catch (...) {
        pFilter->Dropped(strMAC);
        throw;
    }
    if (pCopy == nullptr) {
        pFilter->Dropped(strMAC);
        return nullptr;
    }
    // The queue counts what the copy takes while its record waits there.
    pCopy->SetFootprint(nBytes);
    pFilter->Queued(strMAC, pCopy);
    return pCopy;
}

void CVLECMNIFInfoList::OnCallbackRefused(CVLTarget* pTarget, bool bMarge)
{
    CVLECMReplyFilter* pFilter = m_pReplyFilter;
    if (pFilter == nullptr || pTarget == nullptr)
        return;
    if (pFilter->Dropped(pTarget) && !bMarge)
        RemoveAt(pTarget, true);
}
