// Which admitted replies of a probe go to the dispatch queue, and when. The
// dispatch thread delivers one record per pass, so a record waits behind
// every record queued before it: were replies queued as they came, one
// network's flood would delay the devices of every other network by the
// whole flood. Instead:
// - each local network may have MAX_ADMITTED devices admitted and not yet
//   delivered; a device beyond that is refused, and heard again on a later
//   request as any refused device is;
// - at most MAX_HANDED_ON records of admitted replies wait in the dispatch
//   queue at once; the others wait here, each network's in the order they
//   came, and are handed on one for each record that leaves the dispatch
//   queue, the networks taking turns.
// So another network's device waits behind a few records, not behind a
// flood. Not thread-safe: its owner (the reply filter) locks around it.
#ifndef VLECMHANDONQUEUE_H
#define VLECMHANDONQUEUE_H

#include <deque>
#include <map>
#include <vector>

#include "base/core/VLString.h"

class CVLCallbackInfo;
class CVLTarget;

class CVLECMHandOnQueue
{
public:
    // The three requests of a probe admit at least three times this, more
    // than a network's bound of 512 devices: a network within its bound is
    // listed whole by one probe even when all its devices answer at once.
    // The networks' turns, not this share, keep a flood from delaying the
    // others; the share bounds what one network holds meanwhile.
    enum
    {
        MAX_ADMITTED = 192
    };
    // Enough to keep the dispatch thread busy between the results of the
    // follow-up commands, few enough that a device handed on late waits
    // some 0.1 s behind them.
    enum
    {
        MAX_HANDED_ON = 16
    };

    CVLECMHandOnQueue();

    // Forgets every network and every waiting record (they stay the
    // caller's).
    void Clear();
    // True, and the device counted, when the network may have one more
    // device admitted.
    bool Admit(const CVLString& strNetwork);
    // The record of an admitted device of that network: true when it goes
    // to the dispatch queue now (and counts as handed on), false when it
    // waits here.
    bool Offer(const CVLString& strNetwork, CVLCallbackInfo* pRecord);
    // An admitted device of that network is done with: its record was
    // delivered or refused by the dispatch queue (bHandedOn), or was never
    // offered.
    void Leave(const CVLString& strNetwork, bool bHandedOn);
    // The waiting record to hand on next while the dispatch queue has room
    // for one, the networks in turn; it then counts as handed on. Null when
    // none waits or there is no room.
    CVLCallbackInfo* Next();
    // Takes out the record of pTarget waiting in that network's turn (the
    // target goes away); null when none waits. Its device stays counted
    // until it leaves.
    CVLCallbackInfo* Withdraw(const CVLString& strNetwork, const CVLTarget* pTarget);
    // Takes every waiting record out; their devices are no longer counted.
    std::vector<CVLCallbackInfo*> TakeWaiting();
    // Devices of the network admitted and not yet done with; records
    // waiting here; records handed on.
    int GetAdmittedCount(const CVLString& strNetwork) const;
    int GetWaitingCount() const;
    int GetHandedOnCount() const { return m_nHandedOn; }

private:
    struct SNetwork
    {
        int nAdmitted = 0;
        std::deque<CVLCallbackInfo*> waiting;
    };

    std::map<CVLString, SNetwork> m_Networks;
    // The network whose record was handed on last from here.
    CVLString m_strLastNetwork;
    int m_nHandedOn;
};

#endif
