// The chains' turns: the unicast checks under way at once, each local
// network's places for the follow-up commands, the named address's place,
// and what waits for a check or a place and in what order. It knows a chain
// only by its record: asked, it answers "start" or "wait", and as it frees
// what a chain held it names the waiting chains that start in its stead.
// The MAC table owns each address's state and calls it under its one lock:
// it is not thread-safe and calls nothing outside. A chain's state is one
// record (SChain), its owner's: the table keeps it in the address's row and
// hands the scheduler the way to find it; without one the scheduler keeps
// the records itself.
//
// Checks: up to the check limit at once; the named address's check never
// waits. Those beyond wait, the networks taking the free checks in turn.
//
// Places: each local network ("" for none) has places of its own that no
// other network's chains take; beyond them a network takes places of a
// pool the networks share, up to MAX_PLACES_PER_NETWORK in all, the
// networks that wait taking the pool's free places in turn. A network uses
// its own places first: as a chain of a network in the pool ends, the
// pool's place goes back whichever of its chains ended. The named address has one
// more place of its own; while it is taken a named chain waits at the head
// of its network's line. A chain whose check or command could not start for
// want of the computer's own resources waits apart. Each Retry is a tick of
// the dispatch thread's: one deferred chain at a time goes back, behind
// the named chains at the head of its network's line (or of the checks'),
// as a trial; while trials come back deferred the ticks between them double
// up to MAX_RETRY_TICKS, so that chains that can never start cost a thread
// or a socket now and then, not one each per tick. A trial gets through
// once its chain holds what it lacked (its owner says so: Holds), or ends
// otherwise than deferred: then every deferred chain goes back at once,
// however long the trial's command lasts.
#ifndef VLECMCHAINSCHEDULER_H
#define VLECMCHAINSCHEDULER_H

#include <deque>
#include <functional>
#include <map>
#include <unordered_map>
#include <vector>

#include "base/core/VLString.h"
#include "ecm/probe/TVLECMNetworkTurns.h"

class CVLECMNIFInfo;

class CVLECMChainScheduler
{
public:
    // Unicast checks under way at once (they share one thread and socket).
    enum
    {
        MAX_CHECKING = 512
    };
    // Places one local network may hold in all, its own and the pool's: a
    // device waits behind no more than this many addresses of its own
    // network that pass their check and stall.
    enum
    {
        MAX_PLACES_PER_NETWORK = 64
    };
    // The most ticks between two trials of the deferred chains.
    enum
    {
        MAX_RETRY_TICKS = 16
    };

    typedef const CVLECMNIFInfo* TChain;
    // A waiting chain that starts: its check, or its command in a place.
    struct SStarted
    {
        TChain chain = nullptr;
        bool bCheck = false;
    };
    // What a chain holds or waits for; none before it asks and once freed.
    enum EHeld
    {
        HELD_NONE,
        HELD_WAITING_CHECK,
        HELD_CHECK,
        HELD_WAITING_PLACE,
        HELD_DEFERRED,
        HELD_PLACE,
        HELD_NAMED_PLACE
    };
    // The record of a chain's state, written here as the scheduler answers
    // and read by its owner: the network and whether it is the named
    // address's are those of its last ask.
    struct SChain
    {
        EHeld eHeld = HELD_NONE;
        CVLString strNetwork;
        bool bNamed = false;
        // Deferred: it waits for its check again, not for a place.
        bool bCheck = false;

        bool HoldsPlace() const { return eHeld == HELD_PLACE || eHeld == HELD_NAMED_PLACE; }
        // For its check or a place (deferred included).
        bool IsWaiting() const
        {
            return eHeld == HELD_WAITING_CHECK || eHeld == HELD_WAITING_PLACE || eHeld == HELD_DEFERRED;
        }
    };
    // The owner's record of a chain (null when it has none).
    typedef std::function<SChain*(TChain)> TFindChain;

    explicit CVLECMChainScheduler(TFindChain fnFind = TFindChain());

    // Every chain forgotten, the stop too; the limits stay.
    void Reset();
    // Nothing starts any more; what waits is forgotten (the table judges it).
    void Stop();

    // Checks at once, from 1 to MAX_CHECKING.
    void SetCheckLimit(int nChecks);
    int GetCheckLimit() const { return m_nCheckLimit; }
    // Each network's own places (1 to MAX_PLACES_PER_NETWORK) and the
    // pool's (0 or more).
    void SetPlaces(int nPerNetwork, int nShared);
    int GetPlacesPerNetwork() const { return m_nPerNetwork; }
    int GetSharedPlaces() const { return m_nShared; }
    // Shares nPlaces (the descriptors a probe may hold for its places) out
    // among nNetworks: each its own, the rest a pool. Where there are
    // enough, each network has MAX_PLACES_PER_NETWORK of its own.
    static void ShareOut(long nPlaces, int nNetworks, int& nPerNetwork, int& nShared);

    // A chain of that network asks for its check, or for a place: true, it
    // holds one and starts now; false, it waits.
    bool AskCheck(TChain chain, const CVLString& strNetwork, bool bNamed);
    bool AskPlace(TChain chain, const CVLString& strNetwork, bool bNamed);
    // The chain's check or command could not start for want of the
    // computer's own resources: its check or place is freed and it waits
    // apart.
    void Defer(TChain chain, std::vector<SStarted>& started);
    // A tick: when the trials' schedule says so, the first chain deferred
    // waits for its check or a place again, and takes what is free.
    void Retry(std::vector<SStarted>& started);
    bool IsDeferred(TChain chain) const;
    // The trial out that holds its check or place, whose owner may tell
    // whether it holds what it lacked too (null: none).
    TChain GetHeldTrial() const;
    // The chain's command or check holds what it needs (its thread, its
    // socket): a trial gets through.
    void Holds(TChain chain, std::vector<SStarted>& started);
    // Frees what the chain holds or waits for.
    void Free(TChain chain, std::vector<SStarted>& started);

    // Chains holding a place (the named one included), waiting for a check
    // or a place (deferred included), in their check; a network's places
    // taken.
    int GetRunningCount() const;
    int GetWaitingCount() const;
    int GetCheckingCount() const { return m_nChecking; }
    int GetWaitingCheckCount() const { return m_ChecksWaiting.GetCount(); }
    int GetRunningCount(const CVLString& strNetwork) const;
    int GetDeferredCount() const { return static_cast<int>(m_Deferred.size()); }

private:
    // A network's places taken (its own and the pool's) and its line.
    struct SNetwork
    {
        int nOwn = 0;
        int nShared = 0;
        std::deque<TChain> waiting;
    };

    void startWaitingChecks(std::vector<SStarted>& started);
    // The free places to the chains that wait: the named place, each
    // network's own, then the pool's in turn.
    void givePlaces(std::vector<SStarted>& started);
    // The network's first waiting chain takes a place of that kind.
    void giveFirst(SNetwork& network, EHeld ePlace, std::vector<SStarted>& started);
    void forgetWaiting(TChain chain, const SChain& held);
    // The chain's record, made when the scheduler keeps the records; the
    // record of a chain that holds or waits for something, else null; the
    // chain freed.
    SChain& chainOf(TChain chain);
    SChain* findHeld(TChain chain);
    const SChain* findHeld(TChain chain) const;
    void forget(TChain chain, SChain& held);
    // The deferred chain waits for its check or a place again, behind the
    // named chains at the head of its line.
    void release(TChain chain, std::vector<SStarted>& started);
    // A trial got through: every deferred chain goes back.
    void trialEnded(std::vector<SStarted>& started);

    TFindChain m_fnFind;
    // The records, when the scheduler keeps them (no m_fnFind); a stand-in
    // for a chain its owner does not know.
    std::unordered_map<TChain, SChain> m_Chains;
    SChain m_Unknown;
    int m_nCheckLimit = MAX_CHECKING;
    int m_nChecking = 0;
    TVLECMNetworkTurns<TChain> m_ChecksWaiting;
    int m_nPerNetwork = MAX_PLACES_PER_NETWORK;
    int m_nShared = 0;
    int m_nSharedTaken = 0;
    std::map<CVLString, SNetwork> m_Networks;
    // The network that took the pool's last place.
    CVLString m_strLastShared;
    bool m_bNamedPlaceTaken = false;
    int m_nNamedWaiting = 0;
    std::vector<TChain> m_Deferred;
    // The deferred chain let go back as a trial (null: none out), the
    // ticks between trials now, and the ticks still to pass before the next.
    TChain m_Trial = nullptr;
    int m_nRetryTicks = 1;
    int m_nTicksLeft = 0;
    bool m_bStopped = false;
};

#endif
