#include "VLThreadSync.h"

CVLThreadSync::CVLThreadSync() : m_bInit(false)
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
    return pthread_mutex_lock(&m_Mutex) == 0;
}

bool CVLThreadSync::Unlock()
{
    if (!m_bInit)
        return false;
    return pthread_mutex_unlock(&m_Mutex) == 0;
}
