// A one-shot timer thread: Set starts it, and when the time-out has run out
// the callback runs once, on the timer thread. The thread checks its stop flag
// every poll interval. Destroying a running timer stops it first.
#ifndef VLTIMER_H
#define VLTIMER_H

#include <atomic>

#include "base/thread/VLThread.h"

typedef void (*VL_TIMER_CALLBACK)(void* pArg);

class CVLTimer : public CVLThread
{
public:
    CVLTimer();
    virtual ~CVLTimer();

    virtual void OnThread(void* pData) override;
    virtual bool IsStopped() const { return m_bStop.load(); }
    // Stops a running timer, then starts it anew with these values. A null
    // callback throws EVLNullObjectException; a time-out or interval of 0 or
    // less throws EVLInvalidParamException and starts nothing.
    virtual void Set(VL_TIMER_CALLBACK pCallback, void* pArg, int nTimeout, int nInterval);
    // Sets the stop flag and waits for the thread, unless called on it.
    virtual void Stop();

private:
    std::atomic<bool> m_bStop;
    VL_TIMER_CALLBACK m_pCallback;
    void* m_pArg;
    int m_nTimeout;
    int m_nInterval;
};

#endif
