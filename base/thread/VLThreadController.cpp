#include "base/thread/VLThreadController.h"

#include <atomic>
#include <climits>
#include <cstdint>

#include "base/core/VLStartThreadException.h"
#include "base/core/VLThreadLock.h"
#include "base/core/VLTrace.h"
#include "base/core/VLTypes.h"
#include "base/platform/VLPlatformProcess.h"

// Throw-site codes: fixed numbers that identify each site in traces and
// results; they are not line numbers and never change.
const int kSiteStart = 123;

namespace {

std::atomic<VL_THREAD_START_FAULT> s_pfnStartFault(nullptr);

// Sanitized and unoptimised code takes several times the stack of the
// optimised code a thread's stack is sized on (a deep recursion of the
// device commands: 470 KB optimised, 1.4 MB with AddressSanitizer).
#ifdef __has_feature
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define VL_LARGER_FRAMES 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__) || !defined(__OPTIMIZE__)
#define VL_LARGER_FRAMES 1
#endif
#ifdef VL_LARGER_FRAMES
const size_t kStackFactor = 4;
#else
const size_t kStackFactor = 1;
#endif

// pthread_create with a stack of nStackSize bytes (0: the system's default).
int CreateThread(pthread_t* pThread, size_t nStackSize, void* (*pfnEntry)(void*), void* pArg)
{
    if (nStackSize == 0)
        return pthread_create(pThread, nullptr, pfnEntry, pArg);
    pthread_attr_t attr;
    int nError = pthread_attr_init(&attr);
    if (nError != 0)
        return nError;
    nError = pthread_attr_setstacksize(&attr, nStackSize);
    if (nError == 0)
        nError = pthread_create(pThread, &attr, pfnEntry, pArg);
    pthread_attr_destroy(&attr);
    return nError;
}

// Trace texts show the low 32 bits of the kernel's thread id.
unsigned int TraceId(pid_t nId)
{
    return static_cast<unsigned int>(nId);
}

}  // namespace

CVLThreadController::CVLThreadController()
    : m_pOwner(nullptr),
      m_pThreadFunction(nullptr),
      m_pData(nullptr),
      m_bRequestEnd(false),
      m_bOwnerAttached(true),
      m_bThreadAttached(true),
      m_Thread(),
      m_bCreated(false),
      m_nKernelId(0),
      m_IdReady(1, 0),
      m_nStackSize(0)
{
}

CVLThreadController::~CVLThreadController()
{
}

void CVLThreadController::SetThreadFunction(CVLThread* pOwner, VL_THREAD_FUNCTION pThreadFunction, void* pData)
{
    CVLThreadLock guard(&m_ThreadSync);
    if (guard.Lock()) {
        m_pOwner = pOwner;
        m_pThreadFunction = pThreadFunction;
        m_pData = pData;
    }
}

void CVLThreadController::SetStartFault(VL_THREAD_START_FAULT pfnFault)
{
    s_pfnStartFault = pfnFault;
}

void CVLThreadController::SetStackSize(size_t nBytes)
{
    if (nBytes == 0) {
        m_nStackSize = 0;
        return;
    }
    const size_t nMinimum = PTHREAD_STACK_MIN;
    m_nStackSize = nBytes > SIZE_MAX / kStackFactor ? SIZE_MAX : nBytes * kStackFactor;
    if (m_nStackSize < nMinimum)
        m_nStackSize = nMinimum;
}

void CVLThreadController::Start()
{
    bool bCreated = false;
    int nError = 0;
    {
        // The new thread reads the id under this lock, so it sees it set.
        CVLThreadLock guard(&m_ThreadSync);
        if (guard.Lock()) {
            VL_THREAD_START_FAULT pfnFault = s_pfnStartFault;
            if (pfnFault != nullptr)
                nError = pfnFault(m_pOwner);
            pthread_t thread = pthread_t();
            if (nError == 0)
                nError = CreateThread(&thread, m_nStackSize, threadEntry, this);
            if (nError == 0) {
                m_Thread = thread;
                m_bCreated = true;
                bCreated = true;
            } else {
                m_bThreadAttached = false;
            }
        }
    }
    if (!bCreated)
        throw new EVLStartThreadException(VLSTD_MODULE, "VLThreadController", kSiteStart, nError);
    if (CVLTrace::IsEnabled()) {
        // The kernel id is known only once the thread runs. The controller
        // lives on until the owner detaches, so it is safe to wait here.
        m_IdReady.Wait(-1);
        pid_t nId = 0;
        CVLThreadLock guard(&m_ThreadSync);
        if (guard.Lock())
            nId = m_nKernelId;
        CVLTrace::Output(VLSTD_MODULE, "VLThreadController", 116, 1, "CVLThreadController::Start() - %08x",
                         TraceId(nId));
    }
}

void* CVLThreadController::threadEntry(void* pArg)
{
    CVLThreadController* pThis = static_cast<CVLThreadController*>(pArg);
    VL_THREAD_FUNCTION pFunction = nullptr;
    void* pData = nullptr;
    {
        CVLThreadLock guard(&pThis->m_ThreadSync);
        if (guard.Lock()) {
            pThis->m_nKernelId = static_cast<pid_t>(VLPlatformThreadId());
            pFunction = pThis->m_pThreadFunction;
            pData = pThis->m_pData;
        }
    }
    pThis->m_IdReady.Post();
    if (pFunction != nullptr)
        pFunction(pData);
    pThis->ExitThread();
    return nullptr;
}

void CVLThreadController::Join()
{
    SetRequestEnd(true);
    bool bCurrent = IsCurrentThread();
    pthread_t thread = pthread_t();
    bool bCreated = false;
    {
        CVLThreadLock guard(&m_ThreadSync);
        if (guard.Lock()) {
            thread = m_Thread;
            bCreated = m_bCreated;
        }
    }
    Detach(false);  // this object may be gone from here on
    if (!bCreated)
        return;
    if (bCurrent)
        pthread_detach(thread);  // nobody will join it: let it free itself
    else
        pthread_join(thread, nullptr);
}

bool CVLThreadController::IsCurrentThread()
{
    CVLThreadLock guard(&m_ThreadSync);
    if (!guard.Lock())
        return false;
    return m_bCreated && pthread_equal(m_Thread, pthread_self());
}

bool CVLThreadController::IsStarted()
{
    CVLThreadLock guard(&m_ThreadSync);
    if (!guard.Lock())
        return false;
    return m_bThreadAttached;
}

void CVLThreadController::SetRequestEnd(bool bValue)
{
    CVLThreadLock guard(&m_ThreadSync);
    if (guard.Lock())
        m_bRequestEnd = bValue;
}

bool CVLThreadController::IsRequestEnd()
{
    CVLThreadLock guard(&m_ThreadSync);
    if (!guard.Lock())
        return false;
    return m_bRequestEnd;
}

void CVLThreadController::Detach(bool bThreadSide)
{
    bool bDelete = false;
    {
        CVLThreadLock guard(&m_ThreadSync);
        if (!guard.Lock())
            return;
        if (bThreadSide)
            m_bThreadAttached = false;
        else
            m_bOwnerAttached = false;
        bDelete = !m_bThreadAttached && !m_bOwnerAttached;
    }
    if (bDelete)
        delete this;
}

void CVLThreadController::ExitThread()
{
    pid_t nId = 0;
    {
        CVLThreadLock guard(&m_ThreadSync);
        if (guard.Lock())
            nId = m_nKernelId;
    }
    Detach(true);  // this object may be gone from here on
    CVLTrace::Output(VLSTD_MODULE, "VLThreadController", 190, 1, "CVLThreadController::ExitThread() - %08x",
                     TraceId(nId));
}
