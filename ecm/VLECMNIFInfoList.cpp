#include "ecm/VLECMNIFInfoList.h"

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
    if (pFilter != nullptr && pSrcTarget != nullptr && !pFilter->Admit(pSrcTarget))
        return nullptr;
    return CVLTargetList::MargeOrAddTarget(pSrcTarget, bMarge);
}
