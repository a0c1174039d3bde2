// What one probe admits of the replies it hears, decided on the receive
// threads before a reply is copied or queued:
// - a reply without a MAC address (a device's error answer) is refused, and
//   the refusals are counted and traced per source;
// - a known device's reply whose data did not change is dropped, and while
//   one reply of a device waits to be delivered the next ones are not
//   queued: a changed one updates the waiting record instead, so a device
//   costs at most one waiting record and its record ends with its latest
//   data;
// - a MAC address that answers from a second address keeps the first: the
//   other replies are dropped, and the conflict is traced and kept for the
//   client (GetConflictAddress);
// - one source address brings at most MAX_MACS_PER_SOURCE devices, and each
//   local network at most MAX_DEVICES; what a network's bound dropped is
//   kept for the client (GetBoundReports);
// - the records of admitted replies go to the dispatch queue from the
//   networks in turn (CVLECMHandOnQueue), so that a flood on one network
//   delays no other network's devices. Nothing but its device bound limits
//   what a network has waiting: a network within it is listed whole
//   however many of its devices answer at once. The records that wait for
//   their turn are held here (Hold) and handed on (NextToHandOn) as others
//   are delivered.
// The network of a reply is the local network its source address lies in
// (CVLECMLocalNetworks); where the socket that received it belongs to one
// local network (a directed broadcast's), the reports also name that
// network's interface.
#ifndef VLECMREPLYFILTER_H
#define VLECMREPLYFILTER_H

#include <cstddef>
#include <cstdint>
#include <map>
#include <set>
#include <vector>

#include "base/core/VLString.h"
#include "base/core/VLThreadSync.h"
#include "ecm/VLECMHandOnQueue.h"
#include "ecm/VLECMLocalNetworks.h"

class CVLCallbackInfo;
class CVLTarget;

class CVLECMReplyFilter
{
public:
    // A device answers with one MAC address per address; a print server
    // with several ports may answer with a few. Beyond that a source is
    // inventing devices.
    enum
    {
        MAX_MACS_PER_SOURCE = 4
    };
    // Per local network: far above the devices of a network a probe
    // reaches, and what the records of that many devices take is a few
    // megabytes.
    enum
    {
        MAX_DEVICES = 512
    };
    // Sources whose refused replies are counted one by one; refusals from
    // further sources are only added up.
    enum
    {
        MAX_COUNTED_SOURCES = 1024
    };

    // The bounds that drop replies.
    enum EBound
    {
        BOUND_NETWORK,  // MAX_DEVICES on a network
        BOUND_SOURCE    // MAX_MACS_PER_SOURCE from one address
    };
    // What a bound dropped on one network: the replies of devices it did
    // not take, the addresses they came from, and the interfaces whose
    // sockets received them (by name, in order); bUnknownSocket when some
    // came through a socket that every network reaches, so that their
    // source addresses may be forged.
    struct SBoundReport
    {
        CVLString strNetwork;
        EBound eBound = BOUND_NETWORK;
        int nBound = MAX_DEVICES;
        unsigned long nReplies = 0;
        unsigned long nAddresses = 0;
        std::vector<CVLString> interfaces;
        bool bUnknownSocket = false;
    };
    // What Hold did with a record.
    enum EHold
    {
        HOLD_NOT_OURS,  // no admitted device waits on it: queue it as usual
        HOLD_HAND_ON,   // queue it now
        HOLD_KEPT       // kept, handed on later (NextToHandOn)
    };

    CVLECMReplyFilter();
    ~CVLECMReplyFilter();

    // Forgets everything and reads the computer's local networks: a new
    // probe starts.
    void Reset();
    // The local networks the device bound counts by, read by Reset; replies
    // from elsewhere count as one further network.
    CVLECMLocalNetworks& GetLocalNetworks() { return m_LocalNetworks; }
    // True when the reply (a work target holding "MACAddress" and
    // "IPAddress") may be copied and queued; then its MAC address in normal
    // form and the bytes its copy takes when the pointers are given. A
    // changed reply of a device whose record waits is merged into that
    // record here, and yields false. strReceiver names the module instance
    // whose socket received the reply (empty when not known).
    bool Admit(CVLTarget* pReply, const CVLString& strReceiver, CVLString* pMAC = nullptr, size_t* pBytes = nullptr);
    // The same decision on its parts: the MAC address in its normal form,
    // the address it came from and a fingerprint of its data; the reply
    // itself, when given, updates a waiting record.
    bool Admit(const CVLString& strMAC, const CVLString& strFrom, size_t nFingerprint, CVLTarget* pReply = nullptr,
               const CVLString& strReceiver = CVLString());
    // The admitted reply of that device was copied as pRecord (the target
    // of the record that will be queued).
    void Queued(const CVLString& strMAC, CVLTarget* pRecord);
    // The record made for an admitted reply (its target as given to
    // Queued), before it is queued. Once the filter keeps it, it owns it
    // until NextToHandOn gives it back.
    EHold Hold(CVLCallbackInfo* pRecord);
    // The record to queue next, when one is held and its turn has come:
    // run after Hold and after a record was delivered or refused, until it
    // yields null.
    CVLCallbackInfo* NextToHandOn();
    // The queued reply of that device has been delivered.
    void Delivered(const CVLString& strMAC);
    // The queue refused the record: the device may be heard again at once;
    // false when no device waited on it.
    bool QueueRefused(CVLTarget* pRecord);
    // The admitted reply of that device was not copied: the device may be
    // heard again at once.
    void NotCopied(const CVLString& strMAC);
    // The target is destroyed (its device removed from the list): a reply
    // waiting in it is no longer waiting, so that its device is heard again
    // and nothing is merged into the target; a record held for it is
    // deleted. Run HandOn after it: a record handed on may have left.
    void Forget(CVLTarget* pTarget);
    // The probe stops: the held records are deleted (their copies stay in
    // the list until it is cleared), the queued ones no longer count, and
    // records are no longer held until the next Reset.
    void Close();
    // Records held for their turn, and records handed on and not yet
    // delivered.
    void GetHandOnCounts(int& nHeld, int& nHandedOn);
    // The address the first reply of that MAC came from, and the first
    // other address it answered from; empty when there was none.
    CVLString GetConflictAddress(const CVLString& strMAC);
    CVLString GetFirstAddress(const CVLString& strMAC);
    // Replies dropped since the last Reset (repeats, conflicts, bounds).
    unsigned long GetDroppedCount();
    // Replies without a MAC address refused since the last Reset, in all
    // and from one source.
    unsigned long GetRefusedCount();
    unsigned long GetRefusedCount(const CVLString& strFrom);
    // The networks whose device bound dropped devices, in network order,
    // then those where a source's bound did.
    std::vector<SBoundReport> GetBoundReports();

private:
    // Where an admitted device's reply is.
    enum EStage
    {
        STAGE_NONE,      // none waits
        STAGE_ADMITTED,  // admitted, not yet offered to Hold
        STAGE_HELD,      // held here for its turn
        STAGE_HANDED_ON  // in the dispatch queue
    };
    struct SDevice
    {
        CVLString strFrom;
        CVLString strNetwork;
        CVLString strConflict;
        size_t nFingerprint = 0;
        EStage eStage = STAGE_NONE;
        bool bDelivered = false;
        CVLTarget* pWaiting = nullptr;
    };
    // What one bound dropped on one network.
    struct SDropped
    {
        unsigned long nReplies = 0;
        std::set<uint32_t> addresses;
        std::set<CVLString> interfaces;
        bool bUnknownSocket = false;
    };
    struct SNetworkCount
    {
        int nDevices = 0;
        bool bBoundTraced = false;
        SDropped bound;
        SDropped sourceBound;
    };

    // Under m_Sync.
    void refuse(const CVLString& strFrom);
    // Counts a reply that a bound dropped.
    void drop(SDropped& dropped, const CVLString& strFrom, const CVLString& strReceiver);
    // A device's reply is no longer waiting (delivered or not); false when
    // none was.
    bool leave(SDevice& device, bool bDelivered);
    // The device's record left the queue, delivered or not (takes m_Sync).
    void release(const CVLString& strMAC, bool bDelivered);
    // Deletes the held records and forgets their devices' waits.
    void dropHeld();

    CVLThreadSync m_Sync;
    // Locks itself, after m_Sync and never before it.
    CVLECMLocalNetworks m_LocalNetworks;
    std::map<CVLString, SDevice> m_Devices;
    // The device whose reply each copy holds, while it waits.
    std::map<CVLTarget*, CVLString> m_WaitingDevices;
    CVLECMHandOnQueue m_HandOn;
    bool m_bClosed;
    std::map<CVLString, SNetworkCount> m_NetworkCounts;
    std::map<CVLString, int> m_MACsPerSource;
    std::set<CVLString> m_TracedSources;
    std::map<CVLString, unsigned long> m_RefusedPerSource;
    unsigned long m_nRefused;
    unsigned long m_nDropped;
};

#endif
