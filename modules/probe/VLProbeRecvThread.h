// The worker of a probe: drives one child instance, making it send and
// re-send at the retry interval, and in between receive with a wait capped by
// the next send. Each reply that passes the "condition" script is merged into
// the caller's target list (or copied) and posted as a probe callback.
//
// The thread ends on an end request (polled every pass), a stop of its
// child, a child without implementation or the receive method, and a failed
// send. A bad reply is skipped: the child goes on receiving.
#ifndef VLPROBERECVTHREAD_H
#define VLPROBERECVTHREAD_H

#include "base/thread/VLThread.h"

class CVLModuleController;
class CVLModuleInstance;
class CVLModuleParamCollection;
class CVLTarget;
class EVLException;

class CVLProbeRecvThread : public CVLThread
{
public:
    CVLProbeRecvThread(CVLModuleParamCollection* pParams, CVLModuleInstance* pChildInstance);
    // Destroys a work target still held; the owner has called End first.
    virtual ~CVLProbeRecvThread();

    virtual void OnThread(void* pData) override;

protected:
    class CTargetRelease;

    // Hands a failure to the listener, or releases it without one.
    void PostException(EVLException* pException);
    // Reads a numeric constant; nDefault when missing or not a number.
    long ReadConst(const char* szName, long nDefault, const char* szModule, const char* szInstance);

    CVLModuleInstance* m_pChildInstance;
    CVLModuleParamCollection* m_pParams;
    CVLModuleController* m_pModuleController;
    CVLTarget* m_pTarget;
};

#endif
