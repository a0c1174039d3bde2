// Ends the process when a test does not finish in time, so that a deadlock
// fails the test with a message instead of holding the run until the test
// driver's time-out. Arm it at the start of a concurrency test; it disarms
// when it goes out of scope.
#ifndef WATCHDOG_H
#define WATCHDOG_H

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>

class CWatchdog
{
public:
    CWatchdog(int nSeconds, const char* szWhat) : m_bDone(false), m_strWhat(szWhat)
    {
        m_Thread = std::thread([this, nSeconds]() {
            std::unique_lock<std::mutex> lock(m_Mutex);
            if (!m_Cond.wait_for(lock, std::chrono::seconds(nSeconds), [this]() { return m_bDone; })) {
                std::fprintf(stderr, "watchdog: %s did not finish within %d s (deadlock?)\n", m_strWhat.c_str(),
                             nSeconds);
                std::fflush(stderr);
                std::_Exit(EXIT_FAILURE);
            }
        });
    }
    ~CWatchdog()
    {
        {
            std::lock_guard<std::mutex> lock(m_Mutex);
            m_bDone = true;
        }
        m_Cond.notify_all();
        m_Thread.join();
    }

private:
    CWatchdog(const CWatchdog&) = delete;
    CWatchdog& operator=(const CWatchdog&) = delete;

    std::mutex m_Mutex;
    std::condition_variable m_Cond;
    bool m_bDone;
    std::string m_strWhat;
    std::thread m_Thread;
};

#endif
