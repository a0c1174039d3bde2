// Told of a probe chain's command whose end never reaches the dispatch
// thread (the dispatch queue refused it, or the probe stopped before it was
// passed on to the queue), so that the chain's address is judged and what
// it held freed instead of being held for good.
#ifndef VLECMCHAINENDIF_H
#define VLECMCHAINENDIF_H

#include "ecm/core/VLECMDefs.h"

class CVLECMNIFInfo;

class IVLECMChainEndIF
{
public:
    virtual ~IVLECMChainEndIF() {}
    // bRefused: the queue refused it, on the thread that passed it on or
    // the one that ended the command; otherwise on the thread that stops
    // the probe.
    virtual void OnChainEndLost(CVLECMNIFInfo* pNIFInfo, VLECM_COMMAND eCommand, bool bRefused) = 0;
};

#endif
