// Every address a probe heard for each MAC address, how each stands, its
// chain, and the one decision taken from them (ecm/core/VLECMMACState.h),
// under one lock: what a client is handed, what is checked, what runs the
// follow-up commands and which places they hold is decided here and nowhere
// else; the probe instance starts what the table answers.
//
// An address counts from its admission (Keep) until it is judged: heard
// (its reply waits to be delivered), its record waiting for or in its
// unicast check, or answered with its follow-up commands still to end. All
// kept addresses of a MAC are checked at once (up to MAX_CHECKING checks at
// a time; the named address beyond them), and each that answered runs the
// follow-up commands in a place of its network's, at once while one is
// free: no address waits for another of its MAC. Which check or place a
// chain takes, and who waits for one in what order, the scheduler decides
// (CVLECMChainScheduler), asked under the table's lock; the named address
// (SetNamedAddress) is the table's to say. A place or a check is freed in
// the transition that judges its address (an answer, a failure, a lost end,
// a stop, a removal), or that defers its command (StartDeferred).
//
// The MAC is handed on once, from the first address whose commands succeed
// (or the simulated device of the MAC, whichever comes first), whatever the
// others do before or after; the verdict is derived from every address (two
// that passed are a conflict, whichever came first; one on none of the
// computer's networks counts only for a MAC heard from no other), and the
// record handed on is marked, before it is handed on when the table
// already knows a second address that passed, and as soon as one passes
// after.
//
// Up to MAX_ADDRESSES_PER_MAC addresses of a MAC on the computer's
// networks are kept and checked, and the address the user named beyond
// them; addresses on none of them (which no check can reach) have as many
// places of their own, so that however many came first they never take
// the place of one that can be checked. The others are kept as (MAC,
// address) pairs, at most MAX_BEYOND for the whole probe, then only
// counted. Addresses a bound refused are kept per MAC as numbers (to count
// each once), the first MAX_REFUSED_NAMED with their bound, whether the MAC
// was admitted before or not (MAX_REFUSED_MACS such MACs at most); nothing
// else is kept per refused address. The numbers of all MACs together, the
// refused and those beyond the pairs, are at most MAX_COUNTED_ADDRESSES:
// hosts that claim from ever new addresses would otherwise fill every MAC
// to its own bound. Each kept address keeps the
// fingerprint of its latest reply admitted, so that a changed reply from
// any of them is heard.
//
// Stop: nothing is admitted, attached or started after it; an address
// waiting for its check or a place is judged stopped; a check or command
// under way ends and is judged by its own answer (an address that answered
// its check or its command passes: its MAC is listed, not reported), then
// nothing is pending.
//
// Lock: taken after any other (the reply filter's, the hand-on queue's,
// the device list's, the chains' start lock); it calls nothing outside.
#ifndef VLECMMACTABLE_H
#define VLECMMACTABLE_H

#include <condition_variable>
#include <cstdint>
#include <list>
#include <map>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "base/core/VLString.h"
#include "ecm/core/VLECMMACState.h"
#include "ecm/probe/VLECMChainScheduler.h"
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
    // Addresses kept as numbers, refused or beyond, in all MACs: six
    // networks' worth of devices each claimed from 63 addresses, with room
    // to spare, a megabyte.
    enum
    {
        MAX_COUNTED_ADDRESSES = 262144
    };

    // Unicast checks under way at once (they share one thread and socket).
    enum
    {
        MAX_CHECKING = CVLECMChainScheduler::MAX_CHECKING
    };
    // Places of one local network for the follow-up commands (a command
    // thread and its socket each): a device waits behind no more than this
    // many addresses of its own network that pass their check and stall.
    enum
    {
        MAX_PLACES_PER_NETWORK = CVLECMChainScheduler::MAX_PLACES_PER_NETWORK
    };

    CVLECMMACTable();

    // A new probe starts: everything is forgotten. With bKeepStop a stopped
    // probe stays stopped (its devices are cleared, nothing is admitted).
    void Reset(bool bKeepStop = false);
    // The places of each local network, from 1 to MAX_PLACES_PER_NETWORK,
    // none shared.
    void SetPlacesPerNetwork(int nPlaces);
    // Checks under way at once, from 1 to MAX_CHECKING (the default).
    void SetCheckLimit(int nChecks);
    int GetPlacesPerNetwork();
    // Each network's own places and a pool the networks share, set as the
    // probe starts (fewer own and a pool where the process may open few
    // sockets; see CVLECMChainScheduler::ShareOut).
    void SetPlaces(int nPerNetwork, int nShared);
    int GetSharedPlaces();
    // The first follow-up command after the check (GetSupportInformation,
    // or GetListInfo when it is skipped), set as the probe starts.
    void SetFirstCommand(VLECM_COMMAND eCommand);

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
    // the kept ones is noted (kept as a pair, or counted). bOnNetwork: the
    // address lies on one of the computer's networks (the places it is
    // counted in).
    EHeard Hear(const SVLECMReplyKey& key, bool bOnNetwork = true);
    // The filter admits the address's reply, of that fingerprint: it is
    // pending until judged. False (not admitted) once the probe stopped, or
    // when the MAC was removed or has no room for the address.
    bool Keep(const SVLECMReplyKey& key, size_t nFingerprint = 0, bool bOnNetwork = true);
    // Whether any address of the MAC was admitted in this probe (a removed
    // MAC counts); the filter counts a new MAC against its bounds.
    bool IsAdmitted(const CVLString& strMAC);
    // The MACs admitted so far, those the client removed included.
    int GetAdmittedCount();
    // The fingerprint of the kept address's latest reply admitted; false
    // when the address is not kept.
    bool GetFingerprint(const SVLECMReplyKey& key, size_t& nFingerprint);
    void SetFingerprint(const SVLECMReplyKey& key, size_t nFingerprint);
    bool IsRemoved(const CVLString& strMAC);
    // The address is the one the MAC was handed on from.
    bool IsReported(const SVLECMReplyKey& key);
    // A bound refused a new address of a MAC, admitted before or not; one
    // on none of the computer's networks (strNetwork empty) is only said:
    // it neither takes a named place of one on them nor makes the MAC one
    // heard from more addresses than are told apart.
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

    // A command the probe instance is to start now for a record.
    struct SStart
    {
        CVLECMNIFInfo* pRecord = nullptr;
        VLECM_COMMAND eCommand = VLECM_COMMAND_CHECK_UNICAST;
    };
    // What a change asks of the probe instance: the commands to start now
    // (each holds its check or place already), the record handed on now as
    // the MAC's device (bListOnly: listed, not reported, the probe having
    // stopped), and the record handed on whose marks change (the conflict
    // mark, the other addresses that passed): marked before it is handed on.
    struct SNext
    {
        std::vector<SStart> starts;
        CVLECMNIFInfo* pReport = nullptr;
        bool bReportUnicast = false;
        bool bListOnly = false;
        CVLECMNIFInfo* pMark = nullptr;
        bool bConflict = false;
        CVLString strOtherPassed;
    };
    // The record's chain begins, its address on that local network ("" for
    // none): its check starts now (a start) or waits for one.
    SNext BeginChain(const CVLECMNIFInfo* pRecord, const CVLString& strNetwork);
    // Its check ended: bAnswered with the MAC by unicast; otherwise how
    // (strRefusal: the request refused before it left, if one was).
    // An answer takes a place for the first follow-up command, or waits for
    // one; after the stop it passes on its answer.
    SNext CheckEnded(const CVLECMNIFInfo* pRecord, bool bAnswered, VLECM_MAC_FAILURE eFailure, VLECM_RESULT eResult,
                     long nDeviceResult, bool bAnsweredOtherwise, const std::string& strRefusal = std::string());
    // A follow-up command of its chain ended with eResult: the next one
    // starts in the same place, or the address is judged and its place
    // freed.
    SNext CommandEnded(const CVLECMNIFInfo* pRecord, VLECM_COMMAND eCommand, VLECM_RESULT eResult, long nDeviceResult,
                       const std::string& strRefusal = std::string());
    // The end of its check or command never reaches the dispatch thread:
    // judged lost when the queue refused it (bRefused), stopped when the
    // probe stopped before it was passed on to the queue; what it held is
    // freed and the record noted for TakeLostEnds.
    SNext EndLost(const CVLECMNIFInfo* pRecord, VLECM_COMMAND eCommand, bool bRefused = true);
    // The records whose end was lost since the last call: their finished
    // command threads are for the dispatch thread to release.
    std::vector<CVLECMNIFInfo*> TakeLostEnds();
    // The hand-on of the record, decided off the dispatch thread, could not
    // be posted to it (the queue refused it): the MAC stays handed on from
    // it and waits, counted as unfinished, for TakeWaitingHandOns.
    void HandOnRefused(const CVLECMNIFInfo* pRecord);
    // The hand-ons waiting since the last call (refused, or beyond the one
    // a stop answers), one answer each with the record's marks, for the
    // dispatch thread to carry out (listed only once the probe stopped).
    std::vector<SNext> TakeWaitingHandOns();
    // The command the table asked for did not start (eResult why; stopped
    // when the probe stopped meanwhile): judged failed, what it held freed.
    SNext StartFailed(const CVLECMNIFInfo* pRecord, VLECM_COMMAND eCommand, VLECM_RESULT eResult);
    // A check or follow-up command the table asked for could not start or
    // open its socket for want of the computer's own resources (eLack: no
    // descriptor or thread free), which is no answer of the device: its
    // check or place goes to the next waiting chain and the chain waits
    // apart, unjudged, its address telling what it lacks. RetryDeferred is
    // a tick of the dispatch thread's: now and then, backing off while the
    // computer still lacks it, one deferred chain waits for its check or a
    // place again as a trial (see CVLECMChainScheduler); as one gets
    // through, all do. After the stop it is judged stopped.
    SNext StartDeferred(const CVLECMNIFInfo* pRecord, VLECM_COMMAND eCommand, VLECM_LACK eLack);
    SNext RetryDeferred();
    bool IsDeferred(const CVLECMNIFInfo* pRecord);
    // The deferred chains' trial out that holds its check or place (null:
    // none); once its command holds its thread and socket (the owner sees
    // its request leave) TrialHolds lets every deferred chain go back.
    CVLECMNIFInfo* GetHeldTrial();
    SNext TrialHolds(const CVLECMNIFInfo* pRecord);
    // Accepted without any check (the probe asks for no more than the
    // replies): it stands for the device unless another address does.
    SNext Accept(const CVLECMNIFInfo* pRecord);
    // The probe stops: see the class comment. Nothing is asked to start;
    // of the MACs the stop hands on, all but the one answered wait for
    // TakeWaitingHandOns.
    SNext Stop();
    bool IsStopped();
    // The command the table asked for may start now: the record's chain is
    // at it and the probe has not stopped.
    bool MayStart(const CVLECMNIFInfo* pRecord, VLECM_COMMAND eCommand);
    // The record is of the address the user named.
    bool IsNamed(const CVLECMNIFInfo* pRecord);
    // The simulated probe's device of the MAC is handed on: false when the
    // MAC was handed on already, removed, or the probe stopped.
    bool HandOnSimulated(const CVLString& strMAC, CVLECMNIFInfo* pRecord);
    CVLECMNIFInfo* FindSimulated(const CVLString& strMAC);

    // Chains holding a place (the named one included) and those waiting
    // for a check or a place (deferred included); checks under way; a
    // network's places taken.
    void GetChainCounts(int& nRunning, int& nWaiting);
    int GetCheckingCount();
    int GetRunningCount(const CVLString& strNetwork);
    // Chains begun and not over (a hand-on refused and waiting included),
    // nChecking of them in or waiting for their check: one reading.
    int GetUnfinishedChainCount(int& nChecking);

    // The client removes the MAC: every address is marked removed, what its
    // chains held goes to the next waiting ones (pNext: what to start), and
    // its records are handed back for destroying; nothing more of the MAC is
    // admitted, attached, checked or handed on in this probe.
    std::vector<CVLECMNIFInfo*> Remove(const CVLString& strMAC, SNext* pNext = nullptr);
    // The record is destroyed otherwise: forgotten, its address judged as
    // it stands and what it held freed.
    SNext Detach(const CVLECMNIFInfo* pRecord);

    // The address the user named (empty: none), kept across probes: it is
    // admitted and checked beyond the addresses kept per MAC.
    void SetNamedAddress(const CVLString& strAddress);
    CVLString GetNamedAddress();
    bool IsNamedAddress(const CVLString& strAddress);
    // The MAC the user named (normal form; empty: none), kept across
    // probes: the reply filter admits it beyond its network's and its
    // source's bounds.
    void SetNamedMAC(const CVLString& strMAC);
    bool IsNamedMAC(const CVLString& strMAC);

    // What the clients read (see CVLECM).
    bool GetState(const CVLString& strMAC, SVLECMMACState& state);
    bool GetSummary(const CVLString& strMAC, SVLECMMACSummary& summary);
    // Refused addresses only counted, not named, in all MACs.
    unsigned long GetCountedRefusalCount();
    // Addresses kept as numbers (refused or beyond), in all MACs.
    size_t GetCountedAddressCount();
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
        // Its chain: what it holds or waits for and its network (the
        // scheduler's answers, its one record), the command under way (or
        // to start).
        CVLECMChainScheduler::SChain chain;
        VLECM_COMMAND eCommand = VLECM_COMMAND_CHECK_UNICAST;
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
        unsigned long nRefusedOffNetwork = 0;
        unsigned long nBeyond = 0;
        unsigned long nBeyondOffNetwork = 0;
        bool bMore = false;
        bool bRemoved = false;
        bool bReported = false;
        // The record handed on carries the conflict mark.
        bool bConflictMarked = false;
        CVLString strMarkedOther;
        // The simulated probe's device handed on for it.
        CVLECMNIFInfo* pSimulated = nullptr;
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
    // The record's entry if eCommand is under way in its chain (its unicast
    // check, or a command that holds a place), else nullptr.
    SEntry* findUnderWay(const CVLECMNIFInfo* pRecord, VLECM_COMMAND eCommand, SMAC** ppMAC);
    // The same for a command that holds a place: never the unicast check.
    SEntry* findRunning(const CVLECMNIFInfo* pRecord, VLECM_COMMAND eCommand, SMAC** ppMAC);
    SEntry* findKept(const SVLECMReplyKey& key);
    // A new address of the MAC beyond the kept ones that is the named one.
    bool isNamedNew(const SMAC& mac, const CVLString& strAddress);
    // Any address of the MAC was admitted (see IsAdmitted).
    static bool isAdmitted(const SMAC& mac);
    // A refused address admitted after all (a bound it no longer meets)
    // is refused no more.
    void forgetRefusal(SMAC& mac, const CVLString& strAddress, bool bOffNetwork);
    // More addresses on the computer's networks were refused than are
    // named: which is the device cannot be told.
    static bool hasUnnamedRefusals(const SMAC& mac);
    // Whether the MAC has room for a new address on the computer's networks
    // (bOffNetwork false) or on none of them.
    bool hasRoom(const SMAC& mac, const CVLString& strAddress, bool bOffNetwork);
    // Derives the MAC's verdict again after a change, counts the change and
    // adds to next what is handed on or marked.
    void changed(SMAC& mac, SNext* pNext = nullptr);
    SNext changed(SMAC& mac, SNext next);
    // The chain of the entry: takes a place or waits; frees what it holds
    // or waits for, the next waiting chains taking it (started: the
    // scheduler's answer, carried out on their entries).
    bool isNamedEntry(const SEntry& entry);
    void takePlace(SEntry& entry, SNext& next);
    void freeChain(SEntry& entry, SNext& next);
    void startChains(const std::vector<CVLECMChainScheduler::SStarted>& started, SNext& next);
    // Judges the address whose check or command did not end on its own
    // (lost, not started).
    SNext endUnderWay(const CVLECMNIFInfo* pRecord, VLECM_COMMAND eCommand, VLECM_MAC_FAILURE eFailure,
                      VLECM_RESULT eResult);
    // The record goes from the lost ends and the waiting hand-ons.
    void forgetWaiting(const CVLECMNIFInfo* pRecord);
    // Whether the MAC's kept addresses on none of the computer's networks
    // count for its verdict, hand-on and conflict mark: only where all are.
    static bool offNetworkDecides(const SMAC& mac);
    static VLECM_MAC_VERDICT derive(const SMAC& mac, const SEntry** ppOne);
    static bool isPendingState(VLECM_MAC_ADDRESS_STATE eState);
    static void fail(SVLECMMACAddress& address, VLECM_MAC_FAILURE eFailure, VLECM_COMMAND eCommand,
                     VLECM_RESULT eResult, long nDeviceResult);
    void fillState(const CVLString& strMAC, const SMAC& mac, SVLECMMACState& state);
    // A refused address the MAC keeps only as a number, as heard.
    static SVLECMHeardAddress countedRefusal(const CVLString& strMAC, const SMAC& mac, const CVLString& strAddress);
    void bump(SMAC& mac);
    // Keeps the address's number in the sorted numbers of a MAC, within the
    // MAC's and the table's bounds: false when it was there already; bKept
    // says whether it is there now.
    bool countOnce(std::vector<uint32_t>& numbers, uint32_t nAddress, bool& bKept);
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
    CVLString m_strNamedMAC;
    std::unordered_map<const CVLECMNIFInfo*, SVLECMReplyKey> m_Records;
    // Beyond the kept addresses: per MAC, in the order heard.
    struct SBeyond
    {
        CVLString strAddress;
        bool bOffNetwork = false;
    };
    std::map<CVLString, std::vector<SBeyond>> m_Beyond;
    size_t m_nBeyondKept = 0;
    // The numbers the MACs keep (refusedCounted and beyondCounted).
    size_t m_nCounted = 0;
    int m_nPending = 0;
    unsigned long m_nChange = 0;
    size_t m_nRefusedOnlyMACs = 0;
    bool m_bStopped = false;
    VLECM_COMMAND m_eFirstCommand = VLECM_COMMAND_GET_SUPPORT_INFORMATION;
    // The chains' checks and places.
    CVLECMChainScheduler m_Scheduler;
    // For the dispatch thread: records whose end was lost, and records
    // whose hand-on waits. A record goes from them as it is detached or its
    // MAC removed.
    std::vector<CVLECMNIFInfo*> m_LostEnds;
    std::vector<const CVLECMNIFInfo*> m_WaitingHandOns;
};

#endif
