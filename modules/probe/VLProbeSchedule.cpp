#include "modules/probe/VLProbeSchedule.h"

CVLProbeSchedule::CVLProbeSchedule(long nRetryCount, long nRetryInterval, long nInterval)
    : m_nRetryCount(nRetryCount), m_nRetryInterval(nRetryInterval), m_nInterval(nInterval), m_nSendCount(0),
      m_nRoundSends(0), m_bRoundAsked(false), m_nLastSendMs(0), m_nExtraSends(0), m_nDrops(0), m_nDropsAtLastSend(0),
      m_bQuiet(false)
{
}

bool CVLProbeSchedule::IsRegularSendDue(long long nNowMs) const
{
    if (m_nSendCount == 0)
        return true;
    if (HasResendLeft())
        return nNowMs - m_nLastSendMs >= m_nRetryInterval;
    // The running round's replies get their whole interval first.
    return m_bRoundAsked && nNowMs - m_nLastSendMs >= m_nInterval;
}

bool CVLProbeSchedule::IsExtraSendDue() const
{
    return m_nSendCount > 0 && m_bQuiet && GetLostSinceLastSend() > 0 && m_nExtraSends < kMaxExtraSends;
}

bool CVLProbeSchedule::IsSendDue(long long nNowMs) const
{
    return IsRegularSendDue(nNowMs) || IsExtraSendDue();
}

void CVLProbeSchedule::OnSend(long long nNowMs)
{
    if (IsRegularSendDue(nNowMs)) {
        if (!HasResendLeft()) {
            m_nRoundSends = 0;
            m_bRoundAsked = false;
        }
        ++m_nRoundSends;
        ++m_nSendCount;
        m_nLastSendMs = nNowMs;
    } else {
        ++m_nExtraSends;
    }
    m_nDropsAtLastSend = m_nDrops;
    m_bQuiet = false;
}

long CVLProbeSchedule::GetReceiveTimeout(long long nNowMs) const
{
    long nTimeout = m_nInterval;
    if (m_nSendCount > 0 && (HasResendLeft() || m_bRoundAsked)) {
        long long nRest = (HasResendLeft() ? m_nRetryInterval : m_nInterval) - (nNowMs - m_nLastSendMs);
        if (nRest <= 0)
            return 0;
        if (nRest < nTimeout)
            nTimeout = static_cast<long>(nRest);
    }
    // Waiting for the quiet that lets an extra send go: a short wait tells.
    if (GetLostSinceLastSend() > 0 && m_nExtraSends < kMaxExtraSends && nTimeout > kQuietWaitMs)
        nTimeout = kQuietWaitMs;
    return nTimeout;
}

void CVLProbeSchedule::OnDropCount(unsigned long nDrops)
{
    if (nDrops < m_nDrops) {
        // Other sockets: what was counted before is no loss of theirs.
        m_nDrops = nDrops;
        m_nDropsAtLastSend = nDrops;
        return;
    }
    if (nDrops > m_nDrops)
        m_bQuiet = false;
    m_nDrops = nDrops;
}
