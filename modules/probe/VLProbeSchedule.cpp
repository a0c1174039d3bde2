#include "modules/probe/VLProbeSchedule.h"

CVLProbeSchedule::CVLProbeSchedule(long nRetryCount, long nRetryInterval, long nInterval)
    : m_nRetryCount(nRetryCount), m_nRetryInterval(nRetryInterval), m_nInterval(nInterval), m_nSendCount(0),
      m_nLastSendMs(0)
{
}

bool CVLProbeSchedule::IsSendDue(long long nNowMs) const
{
    if (m_nSendCount == 0)
        return true;
    return HasResendLeft() && nNowMs - m_nLastSendMs >= m_nRetryInterval;
}

void CVLProbeSchedule::OnSend(long long nNowMs)
{
    ++m_nSendCount;
    m_nLastSendMs = nNowMs;
}

long CVLProbeSchedule::GetReceiveTimeout(long long nNowMs) const
{
    if (m_nSendCount == 0 || !HasResendLeft())
        return m_nInterval;
    long long nRest = m_nRetryInterval - (nNowMs - m_nLastSendMs);
    if (nRest <= 0)
        return 0;
    return nRest < m_nInterval ? static_cast<long>(nRest) : m_nInterval;
}
