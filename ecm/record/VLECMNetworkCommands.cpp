#include "ecm/record/VLECMNetworkCommands.h"

#include "ecm/record/VLECMNIFInfo.h"

namespace {
#define VLECM_COMMAND_CARRIED(ID, NAME, REPORT, CARRIED, RETRY) CARRIED,
const bool kCommandCarried[VLECM_COMMAND_COUNT] = {VLECM_COMMAND_LIST(VLECM_COMMAND_CARRIED)};
#undef VLECM_COMMAND_CARRIED
}  // namespace

VLECM_RESULT CVLECMNetworkCommands::Execute(CVLECMNIFInfo& info, VLECM_COMMAND eCommand)
{
    if (!kCommandCarried[eCommand])
        return VLECM_RESULT_NOT_SUPPORTED;
    if (eCommand == VLECM_COMMAND_REBOOT_POLLING)
        return info.executeRebootPollingModule();
    return info.executeVLPCCommand(eCommand);
}

IVLECMCommandKind& IVLECMCommandKind::Network()
{
    static CVLECMNetworkCommands s_Instance;
    return s_Instance;
}
