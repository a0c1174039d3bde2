// The probe module's instance: one receive thread per child instance, each
// sending its child's request on a schedule and reporting every accepted
// reply as a probe callback. A probe has no end of its own; whoever starts it
// stops the module instance.
#ifndef VLPROBE_H
#define VLPROBE_H

#include <map>

#include "cm/VLModInstanceIF.h"
#include "base/thread/VLLockableObject.h"

class CVLModuleInstance;
class CVLModuleParamCollection;
class CVLProbeRecvThread;

class CVLProbe : public IVLModInstanceIF, public CVLLockableObject
{
public:
    CVLProbe();
    // Touches no thread: Stop or DestroyInstance has ended them.
    virtual ~CVLProbe();

    virtual void DestroyInstance(CVLModuleInstance* pInstance, CVLModuleParamCollection* pParams) override;
    // Accepts the method "Probe" only.
    virtual void CallMethod(CVLModuleInstance* pInstance, CVLModuleParamCollection* pParams) override;
    // Ends every receive thread and waits for it.
    virtual void Stop(CVLModuleInstance* pInstance, CVLModuleParamCollection* pParams) override;
    // Starts one receive thread per child and returns at once. Refused
    // (EVLAlreadyExecException) while an earlier probe's threads exist.
    virtual void Probe(CVLModuleInstance* pInstance, CVLModuleParamCollection* pParams);

    // The receive threads that exist now.
    int GetThreadCount();

protected:
    void removeAllThread();

    // Child instance -> its receive thread; owns the threads, not the
    // children. Guarded by the instance's lock.
    std::map<CVLModuleInstance*, CVLProbeRecvThread*> m_ThreadMap;
};

#endif
