#include "base/thread/VLThread.h"

#include <cstdint>
#include <ctime>

#include "base/core/VLException.h"
#include "base/core/VLExceptionOwner.h"
#include "base/core/VLMemoryAllocException.h"
#include "base/core/VLThreadLock.h"
#include "base/core/VLTrace.h"
#include "base/core/VLTypes.h"

// Throw-site codes: fixed numbers that identify each site in traces and
// results; they are not line numbers and never change.
const int kSiteStart = 92;

CVLThread::CVLThread() : m_pController(nullptr), m_pData(nullptr), m_pRunData(nullptr)
{
}

CVLThread::~CVLThread()
{
}

void CVLThread::Start(void* pData)
{
    m_pData = pData;
    Start(threadFunc, this);
}

void CVLThread::Start(VL_THREAD_FUNCTION pThreadFunction, void* pData)
{
    static const char* const kSignature = "void CVLThread::Start(VL_THREAD_FUNCTION pThreadFunction, void* pData)";
    CVLTrace::FunctionIn(VLSTD_MODULE, "VLThread", 75, kSignature);
    CVLTrace::OutputFunction(VLSTD_MODULE, "VLThread", 76, kSignature, "pData=0x%08x",
                             static_cast<unsigned int>(reinterpret_cast<uintptr_t>(pData)));
    try {
        CVLThreadLock guard(&m_ControllerSync);
        if (guard.Lock()) {
            if (IsStarted()) {
                CVLTrace::FunctionOut(VLSTD_MODULE, "VLThread", 83, kSignature);
                return;
            }
            // A finished run is released here; its thread has returned, so
            // the wait under this lock ends at once.
            End();
            m_pRunData = m_pData;
            m_pController = CreateController();
            if (m_pController == nullptr)
                throw new EVLMemoryAllocException(VLSTD_MODULE, "VLThread", kSiteStart);
            m_pController->SetThreadFunction(this, pThreadFunction, pData);
            m_pController->Start();
        }
    }
    VL_CATCH_LADDER(VLSTD_MODULE, "VLThread")
    CVLTrace::FunctionOut(VLSTD_MODULE, "VLThread", 98, kSignature);
}

void CVLThread::threadFunc(void* pData)
{
    static const char* const kSignature = "void CVLThread::threadFunc(void* pData)";
    CVLTrace::FunctionIn(VLSTD_MODULE, "VLThread", 104, kSignature);
    CVLThread* pThis = static_cast<CVLThread*>(pData);
    if (pThis != nullptr) {
        // An exception never leaves the thread.
        try {
            pThis->OnThread(pThis->m_pRunData);
        } catch (...) {
            ReleaseCurrentException();
        }
    }
    CVLTrace::FunctionOut(VLSTD_MODULE, "VLThread", 115, kSignature);
}

bool CVLThread::IsStarted()
{
    CVLThreadLock guard(&m_ControllerSync);
    if (!guard.Lock() || m_pController == nullptr)
        return false;
    return m_pController->IsStarted();
}

void CVLThread::SetRequestEnd(bool bValue)
{
    static const char* const kSignature = "void CVLThread::SetRequestEnd(bool bValue)";
    CVLTrace::FunctionIn(VLSTD_MODULE, "VLThread", 128, kSignature);
    CVLTrace::OutputFunction(VLSTD_MODULE, "VLThread", 129, kSignature, "bValue=%d", bValue ? 1 : 0);
    try {
        CVLThreadLock guard(&m_ControllerSync);
        if (guard.Lock() && m_pController != nullptr)
            m_pController->SetRequestEnd(bValue);
    }
    VL_CATCH_LADDER(VLSTD_MODULE, "VLThread")
    CVLTrace::FunctionOut(VLSTD_MODULE, "VLThread", 136, kSignature);
}

bool CVLThread::IsRequestEnd()
{
    CVLThreadLock guard(&m_ControllerSync);
    if (!guard.Lock() || m_pController == nullptr)
        return true;
    return m_pController->IsRequestEnd();
}

void CVLThread::End()
{
    static const char* const kSignature = "void CVLThread::End( void )";
    CVLTrace::FunctionIn(VLSTD_MODULE, "VLThread", 149, kSignature);
    try {
        // Take the controller under the lock, wait outside it: the body may
        // need the lock (IsRequestEnd) to notice the request and return.
        CVLThreadController* pController = nullptr;
        {
            CVLThreadLock guard(&m_ControllerSync);
            if (guard.Lock()) {
                pController = m_pController;
                m_pController = nullptr;
            }
        }
        if (pController != nullptr)
            pController->Join();
    }
    VL_CATCH_LADDER(VLSTD_MODULE, "VLThread")
    CVLTrace::FunctionOut(VLSTD_MODULE, "VLThread", 165, kSignature);
}

bool CVLThread::HoldsThread()
{
    CVLThreadLock guard(&m_ControllerSync);
    return guard.Lock() && m_pController != nullptr;
}

void CVLThread::OnThread(void*)
{
}

CVLThreadController* CVLThread::CreateController()
{
    try {
        return new CVLThreadController;
    }
    VL_CATCH_LADDER(VLSTD_MODULE, "VLThread")
}

void CVLThread::Sleep(int nMilliseconds)
{
    if (nMilliseconds <= 0)
        return;
    struct timespec ts;
    ts.tv_sec = nMilliseconds / 1000;
    ts.tv_nsec = static_cast<long>(nMilliseconds % 1000) * 1000000L;
    nanosleep(&ts, nullptr);  // an interruption ends the sleep early
}
