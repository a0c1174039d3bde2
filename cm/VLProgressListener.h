// Receives the progress events of a module function on the dispatching
// thread: the record carries the event code and the progress value.
#ifndef VLPROGRESSLISTENER_H
#define VLPROGRESSLISTENER_H

class CVLCMApi;
class CVLModuleInstance;
class CVLTarget;
class CVLCallbackInfo;

class IVLProgressListener
{
public:
    virtual ~IVLProgressListener() {}

    virtual void OnProgress(CVLCMApi* pApi, CVLModuleInstance* pInstance, CVLTarget* pTarget, CVLCallbackInfo* pInfo)
    {
        (void)pApi, (void)pInstance, (void)pTarget, (void)pInfo;
    }
};

#endif
