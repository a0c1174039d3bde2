// The function-execution module's instance: runs the child functions of its
// module instance one after the other, each with a copy of the parent's call
// parameters and its own method. With a function listener the sequence runs
// on a thread of its own and failures become exception callbacks; without
// one it runs before CallMethod returns.
#ifndef VLEXECFUNC_H
#define VLEXECFUNC_H

#include "cm/VLModInstanceIF.h"
#include "base/core/VLThreadSync.h"
#include "base/thread/VLThread.h"

class CVLModuleController;
class CVLModuleInstance;
class CVLModuleParamCollection;
class EVLException;

class CVLExecFunc : public IVLModInstanceIF, public CVLThread
{
public:
    CVLExecFunc();
    // Waits for a thread still running (DestroyInstance normally has).
    virtual ~CVLExecFunc();

    virtual void DestroyInstance(CVLModuleInstance* pInstance, CVLModuleParamCollection* pParams) override;
    // Accepts the method "ExecFunction" only. A call while a threaded run is
    // still going is refused (EVLAlreadyExecException).
    virtual void CallMethod(CVLModuleInstance* pInstance, CVLModuleParamCollection* pParams) override;
    // Ends the thread and waits for it.
    virtual void Stop(CVLModuleInstance* pInstance, CVLModuleParamCollection* pParams) override;

    virtual void ExecFunction(CVLModuleInstance* pInstance, CVLModuleParamCollection* pParams);
    virtual void OnThread(void* pData) override;

protected:
    // The sequence itself; bThreaded when it runs on the instance's thread.
    void RunSequence(bool bThreaded);
    // The "onTimeout" rule of a function: its constants, its module's, the
    // common ones; bDefault when none says.
    bool StopOnTimeout(CVLModuleInstance* pInstance, bool bDefault);
    // Hands a failure to the listener through the callback queue.
    void PostException(EVLException* pException);

    CVLModuleInstance* m_pInstance;
    CVLModuleParamCollection* m_pParams;
    CVLModuleController* m_pModuleController;

private:
    // Guards m_bRunning: a threaded run from its start until OnThread ends.
    CVLThreadSync m_RunSync;
    bool m_bRunning;
};

#endif
