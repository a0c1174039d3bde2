#include "base/thread/VLSemaphore.h"

#include <cerrno>
#include <ctime>
#include <new>

CVLSemaphore::CVLSemaphore() : m_bValid(false), m_nTokenCount(0), m_nMaxCount(0)
{
}

CVLSemaphore::CVLSemaphore(int nMaxCount, int nInitialCount) : m_bValid(false), m_nTokenCount(0), m_nMaxCount(0)
{
    Initialize(nMaxCount, nInitialCount);
}

CVLSemaphore::~CVLSemaphore()
{
    // No thread may be waiting any more.
    m_cList.clear();
    if (m_bValid) {
        m_bValid = false;
        pthread_cond_destroy(&m_sSemCond);
        pthread_mutex_destroy(&m_sSemMutex);
    }
}

bool CVLSemaphore::Initialize(int nMaxCount, int nInitialCount)
{
    if (m_bValid)
        return false;
    if (nInitialCount < 0 || nMaxCount <= 0)
        return false;

    pthread_condattr_t attr;
    if (pthread_condattr_init(&attr) != 0)
        return false;
    bool bOk = pthread_condattr_setclock(&attr, CLOCK_MONOTONIC) == 0;
    if (bOk && pthread_mutex_init(&m_sSemMutex, nullptr) != 0)
        bOk = false;
    else if (bOk && pthread_cond_init(&m_sSemCond, &attr) != 0) {
        pthread_mutex_destroy(&m_sSemMutex);
        bOk = false;
    }
    pthread_condattr_destroy(&attr);
    if (!bOk)
        return false;

    m_nMaxCount = nMaxCount;
    m_nTokenCount.store(nInitialCount, std::memory_order_relaxed);
    m_bValid = true;
    return m_bValid;
}

bool CVLSemaphore::IsInitialized()
{
    return m_bValid;
}

int CVLSemaphore::GetCount()
{
    return m_nTokenCount.load(std::memory_order_relaxed);
}

int CVLSemaphore::GetWaiterCount()
{
    if (!m_bValid || pthread_mutex_lock(&m_sSemMutex) != 0)
        return 0;
    int n = static_cast<int>(m_cList.size());
    pthread_mutex_unlock(&m_sSemMutex);
    return n;
}

int CVLSemaphore::Post()
{
    if (!m_bValid)
        return -1;
    if (pthread_mutex_lock(&m_sSemMutex) != 0)
        return -1;
    int nResult = -1;
    int nCount = m_nTokenCount.load(std::memory_order_relaxed);
    if (nCount < m_nMaxCount) {
        m_nTokenCount.store(nCount + 1, std::memory_order_relaxed);
        nResult = 0;
        // Wake on every post, not only on 0 -> 1: a second quick post must
        // reach the second waiter even when the first has not run yet.
        if (!m_cList.empty())
            pthread_cond_broadcast(&m_sSemCond);
    }
    pthread_mutex_unlock(&m_sSemMutex);
    return nResult;
}

bool CVLSemaphore::TakeIfFirst(pthread_t self)
{
    int nCount = m_nTokenCount.load(std::memory_order_relaxed);
    if (m_cList.empty() || nCount <= 0 || !pthread_equal(m_cList.front(), self))
        return false;
    m_nTokenCount.store(nCount - 1, std::memory_order_relaxed);
    m_cList.pop_front();
    // Tokens left over belong to the next in line, who may have gone back
    // to sleep before this thread ran.
    if (nCount - 1 > 0 && !m_cList.empty())
        pthread_cond_broadcast(&m_sSemCond);
    return true;
}

void CVLSemaphore::RemoveWaiter(pthread_t self)
{
    for (auto it = m_cList.begin(); it != m_cList.end();) {
        if (pthread_equal(*it, self))
            it = m_cList.erase(it);
        else
            ++it;
    }
    // A token that was waiting for this thread now goes to the next in line.
    if (m_nTokenCount.load(std::memory_order_relaxed) > 0 && !m_cList.empty())
        pthread_cond_broadcast(&m_sSemCond);
}

int CVLSemaphore::Wait(int nTimeout)
{
    if (nTimeout < -1 || !m_bValid)
        return -1;
    if (pthread_mutex_lock(&m_sSemMutex) != 0)
        return -1;

    int nCount = m_nTokenCount.load(std::memory_order_relaxed);
    if (nCount > 0) {
        m_nTokenCount.store(nCount - 1, std::memory_order_relaxed);
        pthread_mutex_unlock(&m_sSemMutex);
        return 0;
    }
    if (nTimeout == 0) {
        pthread_mutex_unlock(&m_sSemMutex);
        return 1;
    }

    pthread_t self = pthread_self();
    try {
        m_cList.push_back(self);
    } catch (std::bad_alloc&) {
        pthread_mutex_unlock(&m_sSemMutex);
        return -1;
    }

    int nResult = -1;
    if (nTimeout == -1) {
        for (;;) {
            if (pthread_cond_wait(&m_sSemCond, &m_sSemMutex) != 0) {
                RemoveWaiter(self);
                nResult = -1;
                break;
            }
            if (TakeIfFirst(self)) {
                nResult = 0;
                break;
            }
        }
    } else {
        struct timespec deadline;
        clock_gettime(CLOCK_MONOTONIC, &deadline);
        deadline.tv_sec += nTimeout / 1000;
        deadline.tv_nsec += static_cast<long>(nTimeout % 1000) * 1000000L;
        while (deadline.tv_nsec > 999999999L) {
            deadline.tv_sec += 1;
            deadline.tv_nsec -= 1000000000L;
        }
        for (;;) {
            int rc = pthread_cond_timedwait(&m_sSemCond, &m_sSemMutex, &deadline);
            if (rc == 0 || rc == EINTR) {
                if (TakeIfFirst(self)) {
                    nResult = 0;
                    break;
                }
            } else if (rc == ETIMEDOUT) {
                // A token that came for this thread together with the
                // time-out is taken rather than left behind.
                if (TakeIfFirst(self))
                    nResult = 0;
                else {
                    RemoveWaiter(self);
                    nResult = 1;
                }
                break;
            } else {
                RemoveWaiter(self);
                nResult = -1;
                break;
            }
        }
    }
    pthread_mutex_unlock(&m_sSemMutex);
    return nResult;
}
