// What one probe admits of the replies it hears, decided on the receive
// threads before a reply is copied or queued:
// - a known device's reply whose data did not change is dropped, and while
//   one reply of a device waits in the callback queue the next are dropped,
//   so a device repeating itself costs no record, copy or queue place;
// - a MAC address that answers from a second address keeps the first: the
//   other replies are dropped, and the conflict is traced and kept for the
//   client (GetConflictAddress);
// - one source address brings at most MAX_MACS_PER_SOURCE devices, and the
//   probe holds at most MAX_DEVICES; further new MAC addresses are dropped,
//   traced once per source (and once for the device bound).
#ifndef VLECMREPLYFILTER_H
#define VLECMREPLYFILTER_H

#include <chrono>
#include <cstddef>
#include <map>
#include <set>

#include "base/core/VLString.h"
#include "base/core/VLThreadSync.h"

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
    // Far above the devices of the networks a probe reaches, and what the
    // records of that many devices take is a few megabytes.
    enum
    {
        MAX_DEVICES = 512
    };

    CVLECMReplyFilter();
    virtual ~CVLECMReplyFilter();

    // Forgets everything: a new probe starts.
    virtual void Reset();
    // True when the reply (a work target holding "MACAddress" and
    // "IPAddress") may be copied and queued. A reply without a MAC address
    // is let through: the probe instance traces and drops it.
    virtual bool Admit(CVLTarget* pReply);
    // The same decision on its parts: the MAC address in its normal form,
    // the address it came from and a fingerprint of its data.
    virtual bool Admit(const CVLString& strMAC, const CVLString& strFrom, size_t nFingerprint);
    // The queued reply of that device has been delivered (or dropped).
    virtual void Delivered(const CVLString& strMAC);
    // The address the first reply of that MAC came from, and the first
    // other address it answered from; empty when there was none.
    virtual CVLString GetConflictAddress(const CVLString& strMAC);
    virtual CVLString GetFirstAddress(const CVLString& strMAC);
    // Replies dropped since the last Reset.
    virtual unsigned long GetDroppedCount();

    // A queued reply counts as lost after this long, so that a record the
    // full queue dropped does not silence its device for the whole probe.
    static constexpr int kPendingMilliseconds = 1000;

private:
    struct SDevice
    {
        CVLString strFrom;
        CVLString strConflict;
        size_t nFingerprint = 0;
        bool bPending = false;
        bool bDelivered = false;
        std::chrono::steady_clock::time_point pendingSince;
    };

    CVLThreadSync m_Sync;
    std::map<CVLString, SDevice> m_Devices;
    std::map<CVLString, int> m_MACsPerSource;
    std::set<CVLString> m_TracedSources;
    bool m_bDeviceLimitTraced;
    unsigned long m_nDropped;
};

#endif
