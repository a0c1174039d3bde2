// The commands of a simulated device: answered without traffic, as the
// record's own properties say ("DebugMode.Dummy.CommandSleep.<number>",
// "DebugMode.Dummy.CommandResult.<name>.<count>"); a simulated set detail
// that succeeds changes the record. Counts each command's calls from 1.
#ifndef VLECMDUMMYCOMMANDS_H
#define VLECMDUMMYCOMMANDS_H

#include "base/core/VLThreadSync.h"
#include "ecm/record/VLECMCommandKind.h"

class CVLECMDummyCommands : public IVLECMCommandKind
{
public:
    CVLECMDummyCommands();

    VLECM_RESULT Execute(CVLECMNIFInfo& info, VLECM_COMMAND eCommand) override;

private:
    CVLThreadSync m_Sync;
    // Calls of each command, guarded by m_Sync.
    long m_nCommandCount[VLECM_COMMAND_COUNT];
};

#endif
