// The one POSIX thread behind a running CVLThread. It is shared by the owning
// CVLThread and the running thread; whichever of them detaches last deletes
// it. Its flags are guarded by the lock of the virtual base.
#ifndef VLTHREADCONTROLLER_H
#define VLTHREADCONTROLLER_H

#include <pthread.h>
#include <sys/types.h>

#include <cstddef>

#include "base/thread/VLLockableObject.h"
#include "base/thread/VLSemaphore.h"

class CVLThread;
typedef void (*VL_THREAD_FUNCTION)(void* pData);
// See CVLThreadController::SetStartFault.
typedef int (*VL_THREAD_START_FAULT)(CVLThread* pOwner);

class CVLThreadController : public virtual CVLLockableObject
{
public:
    CVLThreadController();
    virtual ~CVLThreadController();

    virtual void SetThreadFunction(CVLThread* pOwner, VL_THREAD_FUNCTION pThreadFunction, void* pData);
    // Creates the thread; throws EVLStartThreadException, with the error
    // number, when it cannot.
    virtual void Start();
    // Asks for the end, detaches the owner (which may delete this object) and
    // waits for the thread unless called from the thread itself.
    virtual void Join();
    virtual bool IsCurrentThread();
    virtual bool IsStarted();
    virtual void SetRequestEnd(bool bValue);
    virtual bool IsRequestEnd();
    // Detaches one side: the thread (bThreadSide) or the owner. The object
    // deletes itself when both have let go.
    virtual void Detach(bool bThreadSide);
    virtual void ExitThread();

    // The stack of the thread Start creates: nBytes as the optimised code
    // needs it (sanitized and unoptimised builds get a multiple of it); 0
    // (the default) the system's. Set it before Start.
    void SetStackSize(size_t nBytes);
    // The stack Start asks for; 0 for the system's.
    size_t GetStackSize() const { return m_nStackSize; }

    // For tests: asked before each thread is created, with the CVLThread
    // that starts it; an error number other than 0 fails the start with
    // it, as pthread_create would have. Null (the default) asks nothing.
    static void SetStartFault(VL_THREAD_START_FAULT pfnFault);

private:
    static void* threadEntry(void* pArg);

    CVLThread* m_pOwner;
    VL_THREAD_FUNCTION m_pThreadFunction;
    void* m_pData;
    bool m_bRequestEnd;
    bool m_bOwnerAttached;
    bool m_bThreadAttached;
    pthread_t m_Thread;
    bool m_bCreated;       // m_Thread holds a created thread
    pid_t m_nKernelId;     // the kernel's id of the thread, for trace texts
    CVLSemaphore m_IdReady; // posted once m_nKernelId is known
    size_t m_nStackSize;    // 0: the system's default
};

#endif
