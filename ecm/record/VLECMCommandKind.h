// How a device record's commands reach its device: over the network
// (CVLECMNetworkCommands) or simulated from the record's own properties
// (CVLECMDummyCommands). A record takes the network kind when it is made
// and the simulated one when it is marked as a simulated device; a command
// runs on the record's command thread.
#ifndef VLECMCOMMANDKIND_H
#define VLECMCOMMANDKIND_H

#include "ecm/core/VLECMDefs.h"

class CVLECMNIFInfo;

class IVLECMCommandKind
{
public:
    virtual ~IVLECMCommandKind() {}
    // Runs one command for the record; its result.
    virtual VLECM_RESULT Execute(CVLECMNIFInfo& info, VLECM_COMMAND eCommand) = 0;
};

#endif
