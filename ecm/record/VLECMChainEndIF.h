// Told of a probe chain's command whose end never reaches the dispatch
// thread (the dispatch queue refused it), so that the chain's address is
// judged and what it held freed instead of being held for good.
#ifndef VLECMCHAINENDIF_H
#define VLECMCHAINENDIF_H

#include "ecm/core/VLECMDefs.h"

class CVLECMNIFInfo;

class IVLECMChainEndIF
{
public:
    virtual ~IVLECMChainEndIF() {}
    // On the thread that ended the command (a command thread or the check
    // thread).
    virtual void OnChainEndLost(CVLECMNIFInfo* pNIFInfo, VLECM_COMMAND eCommand) = 0;
};

#endif
