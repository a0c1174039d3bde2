#include "base/core/VLThreadSync.h"

CVLThreadSync::CVLThreadSync() : m_bInit(false), m_Owner(pthread_t()), m_nDepth(0)
{
    pthread_mutexattr_t attr;
    if (pthread_mutexattr_init(&attr) != 0)
        return;
    // Error checking on unlock comes with the recursive type: unlocking a
    // mutex the caller does not hold fails instead of corrupting it.
    if (pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE) == 0)
        m_bInit = (pthread_mutex_init(&m_Mutex, &attr) == 0);
    pthread_mutexattr_destroy(&attr);
}

CVLThreadSync::~CVLThreadSync()
{
    if (m_bInit) {
        pthread_mutex_destroy(&m_Mutex);
        m_bInit = false;
    }
}

bool CVLThreadSync::Lock()
{
    if (!m_bInit)
        return false;
    if (pthread_mutex_lock(&m_Mutex) != 0)
        return false;
    if (m_nDepth++ == 0)
        m_Owner.store(pthread_self(), std::memory_order_relaxed);
    return true;
}

bool CVLThreadSync::Unlock()
{
    if (!m_bInit)
        return false;
    // Only the holder sees its own id here; m_nDepth is then its to read.
    if (!pthread_equal(m_Owner.load(std::memory_order_relaxed), pthread_self()) || m_nDepth == 0)
        return false;
    if (--m_nDepth == 0)
        m_Owner.store(pthread_t(), std::memory_order_relaxed);
    if (pthread_mutex_unlock(&m_Mutex) == 0)
        return true;
    if (m_nDepth++ == 0)
        m_Owner.store(pthread_self(), std::memory_order_relaxed);
    return false;
}
