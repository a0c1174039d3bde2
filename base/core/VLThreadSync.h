// A recursive mutex; the lock of every piece of shared state.
#ifndef VLTHREADSYNC_H
#define VLTHREADSYNC_H

#include <pthread.h>

#include <atomic>

class CVLThreadSync
{
public:
    CVLThreadSync();
    virtual ~CVLThreadSync();
    virtual bool Lock();
    virtual bool Unlock();

private:
    CVLThreadSync(const CVLThreadSync&) = delete;
    CVLThreadSync& operator=(const CVLThreadSync&) = delete;

    pthread_mutex_t m_Mutex;
    bool m_bInit;
    // The holding thread and its depth. Unlock checks the holder itself, so
    // a stray unlock from another thread never reaches the mutex.
    std::atomic<pthread_t> m_Owner;
    int m_nDepth;
};

#endif
