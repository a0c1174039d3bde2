// The device manager's reports upward: a found device and the end of each
// device command. Every operation does nothing by default, so a receiver
// overrides only what it wants. The device record belongs to the device
// manager; a receiver must not keep it beyond the device's removal.
#ifndef VLECMCALLBACKIF_H
#define VLECMCALLBACKIF_H

#include "ecm/core/VLECMDefs.h"

class CVLECMNIFInfo;

class IVLECMCallbackIF
{
public:
    // bUpdateNIFInfo: false on the first report of the record, true later.
    virtual void OnProbe(CVLECMNIFInfo* pNIFInfo, VLECM_CONNECT_TYPE eConnectType, bool bUnicast, bool bUpdateNIFInfo)
    {
        (void)pNIFInfo, (void)eConnectType, (void)bUnicast, (void)bUpdateNIFInfo;
    }
    virtual ~IVLECMCallbackIF() {}

    // One report per device command, at its end.
#define VLECM_COMMAND_REPORT(ID, NAME, REPORT, CARRIED, RETRY)                                                        \
    virtual void On##NAME([[maybe_unused]] CVLECMNIFInfo* pNIFInfo, [[maybe_unused]] VLECM_CONNECT_TYPE eConnectType, \
                          [[maybe_unused]] VLECM_RESULT eResult VLECM_REPORT_PARAMS_##REPORT)                         \
    {                                                                                                                 \
    }
    VLECM_COMMAND_LIST(VLECM_COMMAND_REPORT)
#undef VLECM_COMMAND_REPORT
};

#endif
