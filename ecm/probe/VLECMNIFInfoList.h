// The list of found device records.
#ifndef VLECMNIFINFOLIST_H
#define VLECMNIFINFOLIST_H

#include <atomic>
#include <unordered_set>

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
    // through the hand-on queue. A reply from any address but the one its
    // MAC was handed on from is copied into pClaims instead (the records of
    // the addresses not handed on), so that this list holds the devices
    // handed on, one per MAC address. None is owned; without the filter
    // and the records (null) every reply is copied and queued as it comes.
    // Set before a probe starts.
    void SetReplyPath(CVLECMReplyFilter* pFilter, CVLECMHandOnQueue* pRecords, CVLECMNIFInfoList* pClaims = nullptr);
    // Keeps the set of its targets with the list, so that a look-up costs
    // the same however many it holds.
    CVLTarget* Add(CVLTarget* pObject) override;
    void RemoveAll() override;
    void RemoveAt(CVLTarget* pTarget, bool bDestroyTarget) override;
    bool Contains(const CVLTarget* pTarget);
    // Appends a copy of the target, merged into none.
    CVLTarget* AddCopy(CVLTarget* pSrcTarget);
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
    std::atomic<CVLECMNIFInfoList*> m_pClaims{nullptr};
    // The targets listed, under the list's lock.
    std::unordered_set<const CVLTarget*> m_Members;
};

#endif
