// Which admitted replies of a probe go to the dispatch queue, and when. The
// dispatch thread delivers one record per pass, so a record waits behind
// every record queued before it: were replies queued as they came, one
// network's flood would delay the devices of every other network by the
// whole flood. Instead at most MAX_HANDED_ON records of admitted replies
// wait in the dispatch queue at once; the others wait here, each network's
// in the order they came, and are handed on one for each record that
// leaves the dispatch queue, the networks taking turns. So another
// network's device waits behind a few records, not behind a flood. What
// waits here is bounded by the reply filter: a device has at most one
// waiting record, and a network at most its bound of devices (512). Nothing
// here refuses a record, so a network within its bound is listed whole
// however many of its devices answer at once. Not thread-safe: its owner
// (the reply filter) locks around it.
#ifndef VLECMHANDONQUEUE_H
#define VLECMHANDONQUEUE_H

#include <vector>

#include "base/core/VLString.h"
#include "ecm/TVLECMNetworkTurns.h"

class CVLCallbackInfo;
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

    CVLECMHandOnQueue();

    // Forgets every waiting record (they stay the caller's) and every
    // record handed on.
    void Clear();
    // The record of an admitted reply from that network: true when it goes
    // to the dispatch queue now (and counts as handed on), false when it
    // waits here.
    bool Offer(const CVLString& strNetwork, CVLCallbackInfo* pRecord);
    // A record handed on left the dispatch queue, delivered or refused.
    void Left();
    // The waiting record to hand on next while the dispatch queue has room
    // for one, the networks in turn; it then counts as handed on. Null when
    // none waits or there is no room.
    CVLCallbackInfo* Next();
    // Takes out the record of pTarget waiting in that network's turn (the
    // target goes away); null when none waits.
    CVLCallbackInfo* Withdraw(const CVLString& strNetwork, const CVLTarget* pTarget);
    // Takes every waiting record out.
    std::vector<CVLCallbackInfo*> TakeWaiting();
    // Records waiting here; records handed on.
    int GetWaitingCount() const { return m_Waiting.GetCount(); }
    int GetHandedOnCount() const { return m_nHandedOn; }

private:
    // The records waiting, by network in turn.
    TVLECMNetworkTurns<CVLCallbackInfo*> m_Waiting;
    int m_nHandedOn;
};

#endif
