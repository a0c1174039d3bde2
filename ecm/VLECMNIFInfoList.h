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
    CVLTarget* MargeOrAddReceived(CVLTarget* pSrcTarget, bool& bMarge, CVLModuleInstance* pReceiver) override;
    // The record of an admitted reply goes to the dispatch queue when the
    // filter says its turn has come.
    bool TakeCallback(CVLModuleInstance* pInstance, CVLModuleParamCollection* pParams, CVLTarget* pTarget,
                      bool bMarge) override;
    // The filter hears the device of a refused record again. A copy made
    // for the record is of no use and goes; a merged reply's target is a
    // device record (or another reply's waiting copy) and stays.
    void OnCallbackRefused(CVLTarget* pTarget, bool bMarge) override;
    // Queues the records whose turn has come (after a record was delivered).
    void HandOn();

private:
    std::atomic<CVLECMReplyFilter*> m_pReplyFilter{nullptr};
};

#endif
