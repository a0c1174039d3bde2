// The send schedule of one probe child, as plain arithmetic on a clock the
// caller reads: the first send at once, re-sends "Probe_RetryInterval"
// milliseconds apart (counted from the start of the previous send) until
// there have been "Probe_RetryCount" + 1, and receive waits of at most
// "Probe_Interval", shortened to the time left before the next send while
// re-sends remain. A failed send counts as a send.
//
// Replies the system dropped (a burst filled the receive buffer) ask for a
// send of their own once the socket has gone quiet, at most
// kMaxExtraSends per probe; these leave the regular re-sends where they were.
//
// A round asked for (AddRound) sends the whole schedule again, its first
// send "Probe_Interval" after the last send of the running round.
#ifndef VLPROBESCHEDULE_H
#define VLPROBESCHEDULE_H

class CVLProbeSchedule
{
public:
    // Extra sends for dropped replies, per probe child.
    static constexpr long kMaxExtraSends = 2;
    // The longest receive wait while an extra send waits for quiet.
    static constexpr long kQuietWaitMs = 50;

    CVLProbeSchedule(long nRetryCount, long nRetryInterval, long nInterval);

    // True when a send is due at nNowMs.
    bool IsSendDue(long long nNowMs) const;
    // Records a send started at nNowMs.
    void OnSend(long long nNowMs);
    // How long a receive that starts at nNowMs may wait, in milliseconds.
    long GetReceiveTimeout(long long nNowMs) const;
    // Sends made so far, the regular ones of every round.
    long GetSendCount() const { return m_nSendCount; }
    // Extra sends made so far.
    long GetExtraSendCount() const { return m_nExtraSends; }
    // True while a re-send of the running round is still to come.
    bool HasResendLeft() const { return m_nRoundSends <= m_nRetryCount; }
    // Another round follows the running one (one at most: asking again
    // before it starts asks for the same round).
    void AddRound() { m_bRoundAsked = true; }

    // The receivers' count of datagrams dropped so far (it only grows while
    // the sockets stay open; a smaller one starts afresh).
    void OnDropCount(unsigned long nDrops);
    // A receive waited its whole time in vain: the burst is over.
    void OnQuiet() { m_bQuiet = true; }
    // Datagrams dropped since the last send began: replies no later send
    // has brought again.
    unsigned long GetLostSinceLastSend() const { return m_nDrops - m_nDropsAtLastSend; }

private:
    bool IsRegularSendDue(long long nNowMs) const;
    bool IsExtraSendDue() const;

    long m_nRetryCount;
    long m_nRetryInterval;
    long m_nInterval;
    long m_nSendCount;
    long m_nRoundSends;
    bool m_bRoundAsked;
    long long m_nLastSendMs;
    long m_nExtraSends;
    unsigned long m_nDrops;
    unsigned long m_nDropsAtLastSend;
    bool m_bQuiet;
};

#endif
