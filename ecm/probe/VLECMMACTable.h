// Every address a probe heard for each MAC address, how each stands, and
// the one decision taken from them (ecm/core/VLECMMACState.h), under one
// lock: what a client is handed, what is checked and what runs the
// follow-up commands is read here and nowhere else.
//
// An address counts from its admission (Keep) until it is judged: heard
// (its reply waits to be delivered), its record waiting for or in its
// unicast check, or answered with its follow-up commands still to end. All
// kept addresses of a MAC are checked at once, and each that answered runs
// the follow-up commands at once, its own chain: no address waits for
// another of its MAC. The MAC is handed on once, from the first address
// whose commands succeed, whatever the others do before or after; the
// verdict is derived from every address (two that passed are a conflict,
// whichever came first), and the record handed on is marked as soon as a
// second address passed (SNext::pMark).
//
// Up to MAX_ADDRESSES_PER_MAC addresses of a MAC are kept and checked, and
// the address the user named beyond them. The others are kept as (MAC,
// address) pairs, at most MAX_BEYOND for the whole probe, then only
// counted. Addresses a bound refused are kept per MAC as numbers (to count
// each once), the first MAX_REFUSED_NAMED with their bound, whether the MAC
// was admitted before or not (MAX_REFUSED_MACS such MACs at most); nothing
// else is kept per refused address. Each kept address keeps the
// fingerprint of its latest reply admitted, so that a changed reply from
// any of them is heard.
//
// Stop judges every address still to be judged stopped: nothing starts,
// is attached or is pending after it, until Reset.
//
// Lock: taken after any other (the reply filter's, the hand-on queue's,
// the device list's, the chains'); it calls nothing outside.
#ifndef VLECMMACTABLE_H
#define VLECMMACTABLE_H

#include <condition_variable>
#include <cstdint>
#include <list>
#include <map>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "base/core/VLString.h"
#include "ecm/core/VLECMMACState.h"
#include "ecm/probe/VLECMReplyKey.h"

class CVLECMNIFInfo;

class CVLECMMACTable
{
public:
    // Addresses of one MAC kept and checked, its first included: a device
    // has one, one with two ports or an address being moved a second; more
    // are hosts claiming its MAC.
    enum
    {
        MAX_ADDRESSES_PER_MAC = VLECM_MAX_ADDRESSES_PER_MAC
    };
    // (MAC, address) pairs kept beyond the kept addresses, in all.
    enum
    {
        MAX_BEYOND = 4096
    };
    // Refused addresses per MAC named with their bound, and counted once each.
    enum
    {
        MAX_REFUSED_NAMED = 4,
        MAX_REFUSED_COUNTED = 1024
    };
    // MACs kept only for what a bound refused of them (never admitted).
    enum
    {
        MAX_REFUSED_MACS = 8192
    };

    CVLECMMACTable();

    // A new probe starts: everything is forgotten.
    void Reset();

    // What a probe knows of an address its reply came from.
    enum EHeard
    {
        HEARD_NEW,      // not heard before, and there is room to keep it
        HEARD_KEPT,     // kept: it is checked, or was
        HEARD_BEYOND,   // beyond the kept addresses (now noted): never checked
        HEARD_REFUSED,  // a bound refused it before
        HEARD_REMOVED   // the MAC was removed: nothing of it is admitted
    };
    // Asked by the reply filter as it admits a reply; an address beyond
    // the kept ones is noted (kept as a pair, or counted).
    EHeard Hear(const SVLECMReplyKey& key);
    // The filter admitted the address's reply, of that fingerprint: it is
    // pending until judged.
    void Keep(const SVLECMReplyKey& key, size_t nFingerprint = 0);
    // The fingerprint of the kept address's latest reply admitted; false
    // when the address is not kept.
    bool GetFingerprint(const SVLECMReplyKey& key, size_t& nFingerprint);
    void SetFingerprint(const SVLECMReplyKey& key, size_t nFingerprint);
    bool IsRemoved(const CVLString& strMAC);
    // The address is the one the MAC was handed on from.
    bool IsReported(const SVLECMReplyKey& key);
    // A bound refused a new address of a MAC, admitted before or not.
    void Refuse(const SVLECMReplyKey& key, VLECM_BOUND eBound, int nBound, const CVLString& strNetwork);
    // The reply of a kept address without a record will not be handled
    // (the probe stopped, or another record stands for it): judged lost
    // until heard again; nothing is asked to go on or be reported.
    void ReplyLost(const SVLECMReplyKey& key);

    // The record made for a kept address as its reply is delivered: false
    // (not taken) when the MAC was removed or the address is not kept.
    bool Attach(const SVLECMReplyKey& key, CVLECMNIFInfo* pRecord, const CVLString& strModel);
    // The record of that address, or of the one the MAC was handed on
    // from, or null; the record's key.
    CVLECMNIFInfo* FindRecord(const CVLString& strMAC, const CVLString& strAddress);
    CVLECMNIFInfo* FindReported(const CVLString& strMAC);
    bool FindKey(const CVLECMNIFInfo* pRecord, SVLECMReplyKey& key);
    // Whether the last record of the kept address's replies was delivered
    // (its reply handled), as the hand-on queue tells it: a repeat of a
    // reply delivered is no news, one of a reply lost is.
    void SetDelivered(const SVLECMReplyKey& key, bool bDelivered);
    bool WasDelivered(const SVLECMReplyKey& key);
    // The record's model name, updated as its replies come.
    void SetModel(const CVLECMNIFInfo* pRecord, const CVLString& strModel);

    // What a change asks of the probe instance: the records whose
    // follow-up commands start now, the record to hand on as the MAC's
    // device, and the record handed on whose marks change (the conflict
    // mark, the other addresses that passed), to be marked before it is
    // handed on.
    struct SNext
    {
        std::vector<CVLECMNIFInfo*> commands;
        CVLECMNIFInfo* pReport = nullptr;
        bool bReportUnicast = false;
        CVLECMNIFInfo* pMark = nullptr;
        bool bConflict = false;
        CVLString strOtherPassed;
    };
    // The probe stops: every address still to be judged is judged stopped
    // (its reply lost when it had no record); nothing is asked to go on.
    void Stop();
    // The record's follow-up commands may start (it answered, its MAC is
    // neither removed nor the probe stopped).
    bool MayRunCommands(const CVLECMNIFInfo* pRecord);
    // The chain's command may start: its check while it is in it, a
    // follow-up command while it may run them.
    bool MayStart(const CVLECMNIFInfo* pRecord, VLECM_COMMAND eCommand);
    // The record is of the address the user named.
    bool IsNamed(const CVLECMNIFInfo* pRecord);
    // The record's unicast check starts: false (it must not) when its MAC
    // is removed or it is no record of the table's.
    bool StartCheck(const CVLECMNIFInfo* pRecord);
    // Its check ended: bAnswered with the MAC by unicast; otherwise how.
    SNext CheckEnded(const CVLECMNIFInfo* pRecord, bool bAnswered, VLECM_MAC_FAILURE eFailure, VLECM_RESULT eResult,
                     long nDeviceResult, bool bAnsweredOtherwise);
    // Its follow-up commands ended, or one failed (which, and how).
    SNext CommandsEnded(const CVLECMNIFInfo* pRecord, bool bSucceeded, VLECM_COMMAND eCommand, VLECM_RESULT eResult,
                        long nDeviceResult);
    // Accepted without any check (the probe asks for no more than the
    // replies): it stands for the device unless another address does.
    SNext Accept(const CVLECMNIFInfo* pRecord);
    // Its chain ended: an address still waiting or answered is judged
    // failed (its check or its commands never ran to their end). Without
    // bGoOn (the probe stops) nothing is asked to go on or be reported.
    // eCommand, eResult and nDeviceResult tell how, where known.
    SNext ChainEnded(const CVLECMNIFInfo* pRecord, bool bGoOn = true, VLECM_COMMAND eCommand = VLECM_COMMAND_COUNT,
                     VLECM_RESULT eResult = VLECM_RESULT_FAILED, long nDeviceResult = 0);

    // The client removes the MAC: every address is marked removed and its
    // records are handed back for destroying; nothing more of the MAC is
    // admitted, attached, checked or handed on in this probe.
    std::vector<CVLECMNIFInfo*> Remove(const CVLString& strMAC);
    // The record is destroyed otherwise: forgotten.
    void Detach(const CVLECMNIFInfo* pRecord);

    // The address the user named (empty: none), kept across probes: it is
    // admitted and checked beyond the addresses kept per MAC.
    void SetNamedAddress(const CVLString& strAddress);
    CVLString GetNamedAddress();

    // What the clients read (see CVLECM).
    bool GetState(const CVLString& strMAC, SVLECMMACState& state);
    bool GetSummary(const CVLString& strMAC, SVLECMMACSummary& summary);
    // Refused addresses only counted, not named, in all MACs.
    unsigned long GetCountedRefusalCount();
    std::vector<SVLECMHeardAddress> FindAddress(const CVLString& strAddress);
    std::vector<SVLECMHeardAddress> GetAll(bool& bMore);
    std::vector<SVLECMConflictReport> GetConflicts(size_t nReports, bool& bMore);
    int GetPendingCount();
    unsigned long GetChangeCount();
    unsigned long WaitForChange(unsigned long nSeen, int nMilliseconds);
    std::vector<CVLString> GetChangedSince(unsigned long nSeen);
    // The records of the kept addresses (for the probe's own counts).
    int GetRecordCount();

private:
    struct SEntry
    {
        SVLECMMACAddress address;
        CVLECMNIFInfo* pRecord = nullptr;
        // The place in the order its MAC's addresses answered and passed (0: not yet).
        unsigned long nAnswered = 0;
        unsigned long nPassed = 0;
        size_t nFingerprint = 0;
        bool bDelivered = false;
        // Its follow-up commands run.
        bool bCommands = false;
    };
    struct SMAC
    {
        std::vector<SEntry> kept;
        std::vector<SVLECMMACAddress> refusedNamed;
        std::vector<uint32_t> refusedCounted;  // sorted
        // Beyond the kept ones and only counted (the pairs' bound reached),
        // as numbers, to count each once; sorted.
        std::vector<uint32_t> beyondCounted;
        unsigned long nRefused = 0;
        unsigned long nBeyond = 0;
        bool bMore = false;
        bool bRemoved = false;
        bool bReported = false;
        // The record handed on carries the conflict mark.
        bool bConflictMarked = false;
        CVLString strMarkedOther;
        unsigned long nAnswered = 0;
        unsigned long nPassed = 0;
        // Counted in m_nPending only once derived.
        VLECM_MAC_VERDICT eVerdict = VLECM_MAC_NONE;
        unsigned long nChange = 0;
        // Its key in m_MACs, and its place in m_ChangedOrder.
        const CVLString* pMAC = nullptr;
        std::list<SMAC*>::iterator itChanged;
        bool bInChanged = false;
    };

    // Under m_Mutex.
    SEntry* findEntry(const CVLECMNIFInfo* pRecord, SMAC** ppMAC);
    SEntry* findKept(const SVLECMReplyKey& key);
    // A new address of the MAC beyond the kept ones that is the named one.
    bool isNamedNew(const SMAC& mac, const CVLString& strAddress);
    // Derives the MAC's verdict again after a change, counts the change and
    // tells what the probe instance is to do next (nothing without bGoOn).
    SNext changed(SMAC& mac, bool bGoOn = true);
    static VLECM_MAC_VERDICT derive(const SMAC& mac, const SEntry** ppOne);
    static bool isPendingState(VLECM_MAC_ADDRESS_STATE eState);
    static void fail(SVLECMMACAddress& address, VLECM_MAC_FAILURE eFailure, VLECM_COMMAND eCommand,
                     VLECM_RESULT eResult, long nDeviceResult);
    void fillState(const CVLString& strMAC, const SMAC& mac, SVLECMMACState& state);
    // A refused address the MAC keeps only as a number, as heard.
    static SVLECMHeardAddress countedRefusal(const CVLString& strMAC, const SMAC& mac, const CVLString& strAddress);
    void bump(SMAC& mac);
    // The MAC's entry, made when it is new.
    SMAC& entryOf(const CVLString& strMAC);
    // Counts for the summary.
    void summarize(const SMAC& mac, SVLECMMACSummary& summary);

    std::mutex m_Mutex;
    std::condition_variable m_Changed;
    std::map<CVLString, SMAC> m_MACs;
    // The MACs in the order of their last change, the latest last: a client
    // asking what changed reads only those.
    std::list<SMAC*> m_ChangedOrder;
    CVLString m_strNamedAddress;
    std::unordered_map<const CVLECMNIFInfo*, SVLECMReplyKey> m_Records;
    // Beyond the kept addresses: per MAC, in the order heard.
    std::map<CVLString, std::vector<CVLString>> m_Beyond;
    size_t m_nBeyondKept = 0;
    int m_nPending = 0;
    unsigned long m_nChange = 0;
    size_t m_nRefusedOnlyMACs = 0;
    bool m_bStopped = false;
};

#endif
