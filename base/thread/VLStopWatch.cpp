#include "base/thread/VLStopWatch.h"

#include <time.h>

CVLStopWatch::CVLStopWatch(int nTimeout) : m_nElapsed(0), m_nRemaining(nTimeout), m_dLast(0.0), m_dCurrent(0.0)
{
}

void CVLStopWatch::Start()
{
    m_dLast = GetCurrentTime();
}

void CVLStopWatch::Update()
{
    double dNow = GetCurrentTime();
    m_dCurrent = dNow;
    double dElapsed = (dNow - m_dLast) * 1000.0;
    if (dElapsed < 0.0)
        dElapsed = 0.0;
    if (dElapsed > 2147483647.0)
        dElapsed = 2147483647.0;
    m_nElapsed = static_cast<int>(dElapsed);
    // Only the whole milliseconds counted are used up: the fraction left
    // over counts with the next Update, or frequent updates would never
    // count down.
    m_dLast = dElapsed >= 2147483647.0 ? dNow : m_dLast + m_nElapsed / 1000.0;
    if (m_nRemaining > 0) {
        m_nRemaining = (m_nRemaining > m_nElapsed) ? m_nRemaining - m_nElapsed : 0;
    } else if (m_nRemaining < 0) {
        m_nRemaining = 0;
    }
}

double CVLStopWatch::GetCurrentTime() const
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 0.000000001;
}
