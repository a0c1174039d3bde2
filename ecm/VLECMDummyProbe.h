// The simulated probe: reports the devices of the dummy device lists beside
// the real ones, from its own thread, once per probe. The probe instance
// owns one and drives it.
#ifndef VLECMDUMMYPROBE_H
#define VLECMDUMMYPROBE_H

#include "base/thread/VLThread.h"

class CVLECM;
class IVLECMDummyProbeCallbackIF;

class CVLECMDummyProbe : public CVLThread
{
public:
    CVLECMDummyProbe();
    virtual ~CVLECMDummyProbe();

    virtual void Initialize(CVLECM* pVLECM, IVLECMDummyProbeCallbackIF* pDummyProbeCallbackIF);
    virtual void Terminate();
    virtual void StartDummyProbe();
    virtual void StopDummyProbe();

protected:
    CVLECM* m_pOwnerVLECMInstance;
    IVLECMDummyProbeCallbackIF* m_pDummyProbeCallbackIF;
    bool m_bInitialize;
};

#endif
