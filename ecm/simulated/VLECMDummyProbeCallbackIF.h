// The receiver of the devices that the simulated probe reports.
#ifndef VLECMDUMMYPROBECALLBACKIF_H
#define VLECMDUMMYPROBECALLBACKIF_H

#include "ecm/core/VLECMDefs.h"

class CVLECMDummyProbe;
class CVLECMNIFInfo;

class IVLECMDummyProbeCallbackIF
{
public:
    // The record lives only for the call; the receiver copies what it keeps.
    virtual void OnDummyProbe(CVLECMDummyProbe* pDummyProbe, CVLECMNIFInfo& DummyNIFInfo,
                              VLECM_CONNECT_TYPE eConnectType) = 0;
    virtual ~IVLECMDummyProbeCallbackIF() {}
};

#endif
