// The base of every worker thread. A derived class overrides OnThread, starts
// the thread with Start(pData) and ends it with End(); the body polls
// IsRequestEnd() and returns when it is true. Call End() before destroying a
// started object: the destructor neither ends nor joins the thread.
#ifndef VLTHREAD_H
#define VLTHREAD_H

#include "base/thread/VLThreadController.h"
#include "base/core/VLThreadSync.h"

class CVLThread
{
public:
    CVLThread();
    virtual ~CVLThread();

    // Start does nothing while the thread runs; a finished thread is
    // released first and started again.
    virtual void Start(void* pData);
    virtual void Start(VL_THREAD_FUNCTION pThreadFunction, void* pData);
    virtual bool IsStarted();
    virtual void SetRequestEnd(bool bValue);
    // True also when there is no thread (never started, or ended).
    virtual bool IsRequestEnd();
    // Asks the thread to end and waits for it, unless called from the thread
    // itself. A second call does nothing.
    virtual void End();
    // True from Start until End has released the run, also once its body
    // has returned: until then the thread keeps its stack.
    virtual bool HoldsThread();
    virtual void OnThread(void* pData);
    virtual CVLThreadController* CreateController();

    static void Sleep(int nMilliseconds);

private:
    CVLThread(const CVLThread&) = delete;
    CVLThread& operator=(const CVLThread&) = delete;

    static void threadFunc(void* pData);

    CVLThreadController* m_pController;
    void* m_pData;
    void* m_pRunData;  // m_pData as it was when the running thread started
    // Guards m_pController: the owner and, through End() or IsRequestEnd(),
    // the thread itself both reach it.
    CVLThreadSync m_ControllerSync;
};

#endif
