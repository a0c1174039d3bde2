// The commands of a device found on the network: the ones the device
// manager carries out go to the device by unicast, the rest answer "not
// supported". Holds nothing: one serves every record (IVLECMCommandKind::Network).
#ifndef VLECMNETWORKCOMMANDS_H
#define VLECMNETWORKCOMMANDS_H

#include "ecm/record/VLECMCommandKind.h"

class CVLECMNetworkCommands : public IVLECMCommandKind
{
public:
    VLECM_RESULT Execute(CVLECMNIFInfo& info, VLECM_COMMAND eCommand) override;
};

#endif
