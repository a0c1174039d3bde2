// The list of found device records.
#ifndef VLECMNIFINFOLIST_H
#define VLECMNIFINFOLIST_H

#include <atomic>

#include "cm/VLTargetList.h"

class CVLECMReplyFilter;

class CVLECMNIFInfoList : public CVLTargetList
{
public:
    CVLECMNIFInfoList();
    virtual ~CVLECMNIFInfoList();

    // The probe's replies pass the filter before they are copied into the
    // list (and then queued); a reply it refuses yields null, so the probe
    // reports nothing for it. Not owned; null admits every reply.
    void SetReplyFilter(CVLECMReplyFilter* pFilter) { m_pReplyFilter = pFilter; }
    CVLTarget* MargeOrAddTarget(CVLTarget* pSrcTarget, bool& bMarge) override;
    // A copy the queue refused is of no use: the filter hears its device
    // again, and the copy goes.
    void OnCallbackRefused(CVLTarget* pTarget) override;

private:
    std::atomic<CVLECMReplyFilter*> m_pReplyFilter{nullptr};
};

#endif
