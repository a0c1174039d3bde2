#include "base/thread/VLTimer.h"

#include "base/core/VLExceptionOwner.h"
#include "base/core/VLInvalidParamException.h"
#include "base/core/VLNullObjectException.h"
#include "base/thread/VLStopWatch.h"

// Throw-site codes: fixed numbers that identify each site in traces and
// results; they are not line numbers and never change.
const int kSiteSetCallback = 97;
const int kSiteSetTimes = 102;

CVLTimer::CVLTimer() : m_bStop(false), m_pCallback(nullptr), m_pArg(nullptr), m_nTimeout(-1), m_nInterval(-1)
{
}

CVLTimer::~CVLTimer()
{
    // The thread must not outlive the object whose members it reads.
    try {
        Stop();
    } catch (...) {
        ReleaseCurrentException();
    }
}

void CVLTimer::Set(VL_TIMER_CALLBACK pCallback, void* pArg, int nTimeout, int nInterval)
{
    if (pCallback == nullptr)
        throw new EVLNullObjectException(VLSTD_MODULE, "VLTimer", kSiteSetCallback);
    if (nTimeout <= 0 || nInterval <= 0)
        throw new EVLInvalidParamException(VLSTD_MODULE, "VLTimer", kSiteSetTimes);
    // A running timer thread reads the values below: stop it before they change.
    if (IsStarted())
        Stop();
    m_pCallback = pCallback;
    m_pArg = pArg;
    m_nTimeout = nTimeout;
    m_nInterval = nInterval;
    m_bStop = false;
    Start(nullptr);
}

void CVLTimer::Stop()
{
    m_bStop = true;
    End();
}

void CVLTimer::OnThread(void* /*pData*/)
{
    CVLStopWatch watch;
    watch.SetTimeout(m_nTimeout);
    watch.Start();
    while (!m_bStop) {
        watch.Update();
        if (watch.IsTimeout()) {
            m_pCallback(m_pArg);
            break;
        }
        Sleep(m_nInterval);
    }
    m_bStop = true;
}
