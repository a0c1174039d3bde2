// What one probe admits of the replies it hears, decided on the receive
// threads before a reply is copied or queued:
// - a reply without a MAC address (a device's error answer) is refused, and
//   the refusals are counted and traced per source;
// - a known device's reply whose data did not change is dropped, and while
//   one reply of a device waits in the callback queue the next ones are not
//   queued: a changed one updates the waiting record instead, so a device
//   costs at most one queued record and its record ends with its latest data;
// - a MAC address that answers from a second address keeps the first: the
//   other replies are dropped, and the conflict is traced and kept for the
//   client (GetConflictAddress);
// - one source address brings at most MAX_MACS_PER_SOURCE devices, and each
//   local network at most MAX_DEVICES, so that a flood on one network does
//   not crowd out the devices of the others; what a network's bound dropped
//   is kept for the client (GetBoundReports).
#ifndef VLECMREPLYFILTER_H
#define VLECMREPLYFILTER_H

#include <cstddef>
#include <cstdint>
#include <map>
#include <set>
#include <vector>

#include "base/core/VLString.h"
#include "base/core/VLThreadSync.h"
#include "base/net/VLInterfaceAddress.h"

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

    // What a bound dropped on one network: the replies of devices it did
    // not take and the addresses they came from. The bound is MAX_DEVICES
    // (the network's) or MAX_MACS_PER_SOURCE (a source's).
    struct SBoundReport
    {
        CVLString strNetwork;
        int nBound = MAX_DEVICES;
        unsigned long nReplies = 0;
        unsigned long nAddresses = 0;
    };

    CVLECMReplyFilter();
    virtual ~CVLECMReplyFilter();

    // Forgets everything and reads the computer's local networks: a new
    // probe starts.
    virtual void Reset();
    // The local networks the device bound counts by (up, not loopback);
    // replies from elsewhere count as one further network.
    virtual void SetLocalNetworks(const std::vector<VLInterfaceAddress>& addresses);
    // True when the reply (a work target holding "MACAddress" and
    // "IPAddress") may be copied and queued; then its MAC address in normal
    // form and the bytes its copy takes when the pointers are given. A
    // changed reply of a device whose record waits in the queue is merged
    // into that record here, and yields false.
    virtual bool Admit(CVLTarget* pReply, CVLString* pMAC = nullptr, size_t* pBytes = nullptr);
    // The same decision on its parts: the MAC address in its normal form,
    // the address it came from and a fingerprint of its data; the reply
    // itself, when given, updates a waiting record.
    virtual bool Admit(const CVLString& strMAC, const CVLString& strFrom, size_t nFingerprint,
                       CVLTarget* pReply = nullptr);
    // The admitted reply of that device waits in the queue as pRecord.
    virtual void Queued(const CVLString& strMAC, CVLTarget* pRecord);
    // The queued reply of that device has been delivered.
    virtual void Delivered(const CVLString& strMAC);
    // The queue refused the record (false when no device waited on it), or
    // the admitted reply of that device was not copied: the device may be
    // heard again at once.
    virtual bool Dropped(CVLTarget* pRecord);
    virtual void Dropped(const CVLString& strMAC);
    // The address the first reply of that MAC came from, and the first
    // other address it answered from; empty when there was none.
    virtual CVLString GetConflictAddress(const CVLString& strMAC);
    virtual CVLString GetFirstAddress(const CVLString& strMAC);
    // Replies dropped since the last Reset (repeats, conflicts, bounds).
    virtual unsigned long GetDroppedCount();
    // Replies without a MAC address refused since the last Reset, in all
    // and from one source.
    virtual unsigned long GetRefusedCount();
    virtual unsigned long GetRefusedCount(const CVLString& strFrom);
    // The networks whose device bound dropped devices, in network order,
    // then those where a source's bound did.
    virtual std::vector<SBoundReport> GetBoundReports();
    // The local network of an address ("10.71.2.0/24"); empty for an
    // address on none of them.
    virtual CVLString GetNetwork(const CVLString& strFrom);
    // The directed broadcast of the local network of an address; empty for
    // an address on none of them.
    virtual CVLString GetDirectedBroadcast(const CVLString& strFrom);

private:
    struct SDevice
    {
        CVLString strFrom;
        CVLString strConflict;
        size_t nFingerprint = 0;
        bool bPending = false;
        bool bDelivered = false;
        CVLTarget* pWaiting = nullptr;
    };
    struct SNetwork
    {
        uint32_t nAddress;
        uint32_t nMask;
        CVLString strName;
        CVLString strBroadcast;
    };
    struct SNetworkCount
    {
        int nDevices = 0;
        unsigned long nBoundReplies = 0;
        std::set<uint32_t> boundAddresses;
        bool bBoundTraced = false;
        unsigned long nSourceBoundReplies = 0;
        std::set<uint32_t> sourceBoundAddresses;
    };

    // Under m_Sync.
    const SNetwork* findNetwork(const CVLString& strFrom) const;
    void refuse(const CVLString& strFrom);
    // The device's record left the queue, delivered or not (takes m_Sync).
    void release(const CVLString& strMAC, bool bDelivered);

    CVLThreadSync m_Sync;
    std::vector<SNetwork> m_Networks;
    std::map<CVLString, SDevice> m_Devices;
    std::map<CVLString, SNetworkCount> m_NetworkCounts;
    std::map<CVLString, int> m_MACsPerSource;
    std::set<CVLString> m_TracedSources;
    std::map<CVLString, unsigned long> m_RefusedPerSource;
    unsigned long m_nRefused;
    unsigned long m_nDropped;
};

#endif
