// The list of found device records.
#ifndef VLECMNIFINFOLIST_H
#define VLECMNIFINFOLIST_H

#include <atomic>

#include "cm/VLTargetList.h"

class CVLECMHandOnQueue;
class CVLECMReplyFilter;

class CVLECMNIFInfoList : public CVLTargetList
{
public:
    CVLECMNIFInfoList();
    virtual ~CVLECMNIFInfoList();

    // The probe's replies pass the filter before they are copied into the
    // list; a reply it refuses yields null, so the probe reports nothing
    // for it. The records of those it admits go to the dispatch queue
    // through the hand-on queue. Neither is owned; without them (null)
    // every reply is copied and queued as it comes. Set before a probe
    // starts.
    void SetReplyPath(CVLECMReplyFilter* pFilter, CVLECMHandOnQueue* pRecords);
    CVLTarget* MargeOrAddTarget(CVLTarget* pSrcTarget, bool& bMarge) override;
    CVLTarget* MargeOrAddReceived(CVLTarget* pSrcTarget, bool& bMarge, CVLModuleInstance* pReceiver) override;
    // The record of an admitted reply goes to the dispatch queue when the
    // hand-on queue says its turn has come.
    bool TakeCallback(CVLModuleInstance* pInstance, CVLModuleParamCollection* pParams, CVLTarget* pTarget,
                      bool bMarge) override;
    // The hand-on queue hears the device of a refused record again. A copy
    // made for the record is of no use and goes; a merged reply's target is
    // a device record (or another reply's waiting copy) and stays.
    void OnCallbackRefused(CVLTarget* pTarget, bool bMarge) override;
    // Queues the records whose turn has come (after a record was delivered).
    void HandOn();

private:
    std::atomic<CVLECMReplyFilter*> m_pReplyFilter{nullptr};
    std::atomic<CVLECMHandOnQueue*> m_pRecords{nullptr};
};

#endif
