// The records of a probe's admitted replies on their way to the dispatch
// queue: which go, and when. The dispatch thread delivers one record per
// pass, so a record waits behind every record queued before it: were
// replies queued as they came, one network's flood would delay the devices
// of every other network by the whole flood. Instead at most MAX_HANDED_ON
// records of admitted replies wait in the dispatch queue at once; the
// others are held here, each network's in the order they came, and are
// handed on one for each record that leaves the dispatch queue, the
// networks taking turns. So another network's device waits behind a few
// records, not behind a flood. The records of the address the user named
// (CVLECMMACTable::GetNamedAddress) and of the MAC named, from the
// computer's networks, have a line of their own, taken before every
// network's: they wait behind no flood, their own network's included.
//
// Each address of a MAC address (a key) has at most one waiting record:
// from the admission of its reply (Admitted), through its copy (Copied) and its record's hold (Hold), until
// the record is delivered (Delivered), refused by the dispatch queue
// (QueueRefused), never copied (NotCopied) or its target goes (Forget). The
// reply filter asks for it before it admits a known device's reply
// (GetWait), and has a changed reply merged into it (MergeIntoWaiting), so
// that a device costs at most one waiting record and its record ends with
// its latest data. What is kept here is transport: where the record is,
// its copy, the places. Whether an address's last record was delivered,
// and an address whose record was lost before its delivery (refused,
// never copied, dropped as the probe stops), are told to the MAC table,
// which judges that address lost until it is heard again. What is held here is bounded by the filter's bounds: a
// network at most its bound of devices (512). Nothing here refuses a
// record, so a network within its bound is listed whole however many of
// its devices answer at once.
//
// Safe to use from several threads. Lock order: the reply filter's lock
// before this one, this one before a target's lock and the MAC table's.
#ifndef VLECMHANDONQUEUE_H
#define VLECMHANDONQUEUE_H

#include <map>

#include "base/core/VLString.h"
#include "base/core/VLThreadSync.h"
#include "ecm/probe/TVLECMNetworkTurns.h"
#include "ecm/probe/VLECMReplyKey.h"

class CVLCallbackInfo;
class CVLECMMACTable;
class CVLTarget;

class CVLECMHandOnQueue
{
public:
    // Enough to keep the dispatch thread busy between the results of the
    // follow-up commands, few enough that a device handed on late waits
    // some 0.1 s behind them.
    enum
    {
        MAX_HANDED_ON = 16
    };
    // Where a device's records are.
    enum EWait
    {
        WAIT_NONE,       // none waits, and none was delivered or the last one was lost
        WAIT_DELIVERED,  // none waits; the last one was delivered
        WAIT_WAITING     // one waits (admitted, and neither delivered nor lost yet)
    };
    // What Hold did with a record.
    enum EHold
    {
        HOLD_NOT_OURS,  // no admitted device waits on it: queue it as usual
        HOLD_HAND_ON,   // queue it now
        HOLD_KEPT       // kept, handed on later (NextToHandOn)
    };

    // pTable, when given, hears of the records lost.
    explicit CVLECMHandOnQueue(CVLECMMACTable* pTable = nullptr);
    ~CVLECMHandOnQueue();

    // A new probe starts: every device is forgotten and the held records
    // are deleted.
    void Reset();

    // Asked by the reply filter under its lock, which admits one reply at
    // a time: the records of that address of a MAC.
    EWait GetWait(const SVLECMReplyKey& key);
    // Merges a changed reply into the device's waiting record; false when
    // none waits or its reply is not copied yet.
    bool MergeIntoWaiting(const SVLECMReplyKey& key, CVLTarget* pReply);
    // The filter admitted a reply of the device, from that local network:
    // a record of it waits from now on.
    void Admitted(const SVLECMReplyKey& key, const CVLString& strNetwork);

    // The admitted reply of that device was copied as pCopy (the target of
    // the record that will be queued).
    void Copied(const SVLECMReplyKey& key, CVLTarget* pCopy);
    // The admitted reply of that device was not copied: the device may be
    // heard again at once.
    void NotCopied(const SVLECMReplyKey& key);
    // The record made for a copied reply (its target as given to Copied),
    // before it is queued. Once kept here, it is owned here until
    // NextToHandOn gives it back.
    EHold Hold(CVLCallbackInfo* pRecord);
    // The record to queue next, when one is held and its turn has come:
    // run after Hold and after a record was delivered or refused, until it
    // yields null.
    CVLCallbackInfo* NextToHandOn();
    // The queued record of that device has been delivered.
    void Delivered(const SVLECMReplyKey& key);
    // The dispatch queue refused the record: the device may be heard again
    // at once; false when no device waited on it.
    bool QueueRefused(CVLTarget* pCopy);
    // The target is destroyed (its device removed from the list): a reply
    // waiting in it is no longer waiting, so that its device is heard
    // again and nothing is merged into the target; a record held for it is
    // deleted. Run the hand-on after it: a record handed on may have left.
    void Forget(CVLTarget* pTarget);
    // The probe stops: the held records are deleted (their copies stay in
    // the list until it is cleared), the queued ones no longer count, and
    // records are no longer held until the next Reset.
    void Close();
    // Records held for their turn, and records handed on and not yet
    // delivered.
    void GetCounts(int& nHeld, int& nHandedOn);
    // The devices with a waiting record whose last record was not
    // delivered: not listed yet. A listed device's waiting record only
    // brings newer data, and one that changes its replies endlessly always
    // has one.
    int GetUnlistedWaitingCount();

private:
    // Where a device's waiting record is.
    enum EStage
    {
        STAGE_NONE,      // none waits
        STAGE_ADMITTED,  // admitted, not yet offered to Hold
        STAGE_HELD,      // held here for its turn
        STAGE_HANDED_ON  // in the dispatch queue
    };
    // The transport of an address's record; whether its last one was
    // delivered is the MAC table's.
    struct SDevice
    {
        CVLString strNetwork;
        EStage eStage = STAGE_NONE;
        CVLTarget* pWaiting = nullptr;
    };

    typedef std::map<SVLECMReplyKey, SDevice> TDevices;
    // Under m_Sync: a device's record is no longer waiting (delivered or
    // not); false when none was.
    bool leave(TDevices::iterator it, bool bDelivered);
    // Takes m_Sync: the device's record left, delivered or not.
    void release(const SVLECMReplyKey& key, bool bDelivered);
    // Under m_Sync: the device whose record has that target, or end.
    TDevices::iterator findWaiting(const CVLTarget* pTarget);
    // Under m_Sync: deletes the held records and forgets their devices'
    // waits.
    void dropHeld();
    // Asks the table (after m_Sync) whether the address's last record was
    // delivered; false without a table.
    bool wasDelivered(const SVLECMReplyKey& key);

    CVLECMMACTable* m_pTable;
    CVLThreadSync m_Sync;
    TDevices m_Devices;
    // The device whose reply each copy holds, while it waits.
    std::map<const CVLTarget*, SVLECMReplyKey> m_WaitingDevices;
    // The records held for their turn.
    TVLECMNetworkTurns<CVLCallbackInfo*> m_Held;
    int m_nHandedOn;
    // What GetUnlistedWaitingCount answers, kept as the stages change: the
    // client asks on every pass of its wait.
    int m_nUnlistedWaiting;
    bool m_bClosed;
};

#endif
