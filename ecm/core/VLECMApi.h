// The device manager's module framework facade: a CVLCMApi that knows its
// owning device manager, so the factory hooks can find it.
#ifndef VLECMAPI_H
#define VLECMAPI_H

#include "cm/VLCMApi.h"

class CVLECM;
class CVLTarget;

class CVLECMApi : public CVLCMApi
{
public:
    CVLECMApi();
    virtual ~CVLECMApi();

    virtual void SetOwnerVLECMInstance(CVLECM* pOwner);
    virtual CVLECM* GetOwnerVLECMInstance();
    // Drops every queued callback of the device record.
    virtual void RemoveCallbackInfo(CVLTarget* pTarget);
    using CVLCMApi::RemoveCallbackInfo;

protected:
    CVLECM* m_pOwnerVLECMInstance;
};

#endif
