// A millisecond countdown for waiting loops: SetTimeout (or the constructor),
// Start, then Update and IsTimeout in a loop with the caller's own waits in
// between. It runs on the monotonic clock, so setting the system clock neither
// ends nor stretches a wait.
#ifndef VLSTOPWATCH_H
#define VLSTOPWATCH_H

class CVLStopWatch
{
public:
    explicit CVLStopWatch(int nTimeout = 0);

    virtual void SetTimeout(int nTimeout) { m_nRemaining = nTimeout; }
    virtual int GetTimeout() const { return m_nRemaining; }
    virtual bool IsTimeout() const { return m_nRemaining < 1; }
    virtual void Start();
    // Subtracts the whole milliseconds since the last Start or Update (the
    // fraction carries over); never below 0.
    virtual void Update();
    // The milliseconds counted by the last Update.
    virtual int GetElapsed() const { return m_nElapsed; }
    // The monotonic clock in seconds.
    virtual double GetCurrentTime() const;

private:
    int m_nElapsed;
    int m_nRemaining;
    double m_dLast;
    double m_dCurrent;
};

#endif
