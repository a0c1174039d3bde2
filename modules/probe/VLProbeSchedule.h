// The send schedule of one probe child, as plain arithmetic on a clock the
// caller reads: the first send at once, re-sends "Probe_RetryInterval"
// milliseconds apart (counted from the start of the previous send) until
// there have been "Probe_RetryCount" + 1, and receive waits of at most
// "Probe_Interval", shortened to the time left before the next send while
// re-sends remain. A failed send counts as a send.
#ifndef VLPROBESCHEDULE_H
#define VLPROBESCHEDULE_H

class CVLProbeSchedule
{
public:
    CVLProbeSchedule(long nRetryCount, long nRetryInterval, long nInterval);

    // True when a send is due at nNowMs.
    bool IsSendDue(long long nNowMs) const;
    // Records a send started at nNowMs.
    void OnSend(long long nNowMs);
    // How long a receive that starts at nNowMs may wait, in milliseconds.
    long GetReceiveTimeout(long long nNowMs) const;
    // Sends made so far.
    long GetSendCount() const { return m_nSendCount; }
    // True while a re-send is still to come.
    bool HasResendLeft() const { return m_nSendCount <= m_nRetryCount; }

private:
    long m_nRetryCount;
    long m_nRetryInterval;
    long m_nInterval;
    long m_nSendCount;
    long long m_nLastSendMs;
};

#endif
