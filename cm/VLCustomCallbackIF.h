// A receiver that takes over the delivery of queued callback records from
// the module controller. Nothing in this system installs one; without it the
// controller delivers each record through CVLCallbackInfo::Invoke.
#ifndef VLCUSTOMCALLBACKIF_H
#define VLCUSTOMCALLBACKIF_H

class CVLCallbackInfo;
class CVLModuleInstance;
class CVLTarget;

class IVLCustomCallbackIF
{
public:
    virtual ~IVLCustomCallbackIF() {}

    // A dequeued record; the receiver owns it from now on.
    virtual void OnCallback(CVLCallbackInfo* pInfo) = 0;
    // Records of this instance, target or parameter (each may be null) are
    // being withdrawn from the queue.
    virtual void RemoveCallbackInfo(CVLModuleInstance* pInstance, CVLTarget* pTarget, void* pCallbackParam) = 0;
};

#endif
