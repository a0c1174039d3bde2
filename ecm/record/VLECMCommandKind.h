// How a device record's commands reach its device: over the network
// (CVLECMNetworkCommands, beside the record) or simulated from the record's
// own properties (CVLECMDummyCommands, with the simulated probe). A record
// takes the network kind when it is made and a simulated one when it is
// marked as a simulated device; it knows them only through this interface.
// A command runs on the record's command thread.
#ifndef VLECMCOMMANDKIND_H
#define VLECMCOMMANDKIND_H

#include <memory>

#include "ecm/core/VLECMDefs.h"

class CVLECMNIFInfo;

class IVLECMCommandKind
{
public:
    virtual ~IVLECMCommandKind() {}
    // Runs one command for the record; its result.
    virtual VLECM_RESULT Execute(CVLECMNIFInfo& info, VLECM_COMMAND eCommand) = 0;

    // The network kind: it holds nothing, so one serves every record.
    static IVLECMCommandKind& Network();
    // A new simulated kind, one per record: it counts that record's calls.
    static std::unique_ptr<IVLECMCommandKind> NewSimulated();
};

#endif
