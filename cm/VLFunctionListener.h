// Receives the events of a module function on the dispatching thread. Every
// handler does nothing by default, so a listener overrides only what it wants.
// The record handed in belongs to the dispatcher and dies after the call.
#ifndef VLFUNCTIONLISTENER_H
#define VLFUNCTIONLISTENER_H

class CVLCMApi;
class CVLModuleInstance;
class CVLTarget;
class CVLCallbackInfo;

class IVLFunctionListener
{
public:
    virtual ~IVLFunctionListener() {}

    // A device answered; a target was created or merged (see IsMarge).
    virtual void OnProbe(CVLCMApi* pApi, CVLModuleInstance* pInstance, CVLTarget* pTarget, CVLCallbackInfo* pInfo)
    {
        (void)pApi, (void)pInstance, (void)pTarget, (void)pInfo;
    }
    virtual void OnDone(CVLCMApi* pApi, CVLModuleInstance* pInstance, CVLTarget* pTarget, CVLCallbackInfo* pInfo)
    {
        (void)pApi, (void)pInstance, (void)pTarget, (void)pInfo;
    }
    virtual void OnStop(CVLCMApi* pApi, CVLModuleInstance* pInstance, CVLTarget* pTarget, CVLCallbackInfo* pInfo)
    {
        (void)pApi, (void)pInstance, (void)pTarget, (void)pInfo;
    }
    virtual void OnTimeout(CVLCMApi* pApi, CVLModuleInstance* pInstance, CVLTarget* pTarget, CVLCallbackInfo* pInfo)
    {
        (void)pApi, (void)pInstance, (void)pTarget, (void)pInfo;
    }
    // The failure is the record's exception (GetException).
    virtual void OnException(CVLCMApi* pApi, CVLModuleInstance* pInstance, CVLTarget* pTarget, CVLCallbackInfo* pInfo)
    {
        (void)pApi, (void)pInstance, (void)pTarget, (void)pInfo;
    }
};

#endif
