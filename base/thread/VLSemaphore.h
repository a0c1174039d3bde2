// A counting semaphore with a bounded count and waits with a time-out.
// Threads that have to wait are served in order of arrival; a thread that
// finds a token when it arrives takes it at once. Time-outs run on the
// monotonic clock, so changing the wall clock neither ends nor lengthens a wait.
#ifndef VLSEMAPHORE_H
#define VLSEMAPHORE_H

#include <pthread.h>

#include <atomic>
#include <list>

class CVLSemaphore
{
public:
    CVLSemaphore();
    CVLSemaphore(int nMaxCount, int nInitialCount);
    virtual ~CVLSemaphore();

    // Creates the semaphore: nMaxCount above 0, nInitialCount 0 or more (it
    // may exceed the maximum). False for bad arguments or when already created.
    virtual bool Initialize(int nMaxCount, int nInitialCount);
    // nTimeout in milliseconds, -1 without limit, 0 only polls.
    // 0: a token was taken; 1: none came in time; -1: failure or bad argument.
    virtual int Wait(int nTimeout);
    // 0: a token was added; -1: the semaphore is full or not created.
    virtual int Post();
    virtual bool IsInitialized();
    // The tokens available now; read without waiting for the lock.
    virtual int GetCount();

    // The number of threads queued now (for tests and diagnostics).
    int GetWaiterCount();

private:
    CVLSemaphore(const CVLSemaphore&) = delete;
    CVLSemaphore& operator=(const CVLSemaphore&) = delete;

    // Both run under m_sSemMutex.
    bool TakeIfFirst(pthread_t self);
    void RemoveWaiter(pthread_t self);

    bool m_bValid;
    std::atomic<int> m_nTokenCount;
    pthread_mutex_t m_sSemMutex;
    pthread_cond_t m_sSemCond;
    std::list<pthread_t> m_cList;
    int m_nMaxCount;
};

#endif
