// A recursive mutex; the lock of every piece of shared state.
#ifndef VLTHREADSYNC_H
#define VLTHREADSYNC_H

#include <pthread.h>

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
};

#endif
