// The one-line status that vlnet keeps on standard error while it probes,
// when standard error is a terminal: the time so far and the number of
// devices found. Lines written to standard output while it shows are
// written through Print, which clears the status line first.
#ifndef VLNETSTATUSLINE_H
#define VLNETSTATUSLINE_H

#include <mutex>
#include <string>

class CVLNetStatusLine
{
public:
    // bEnabled: false (not a terminal) makes Show and Clear do nothing.
    explicit CVLNetStatusLine(bool bEnabled);
    ~CVLNetStatusLine();

    static bool IsTerminal();

    void Show(double dSeconds, int nFound);
    void Clear();
    // Writes one line to standard output (and flushes it).
    void Print(const std::string& strLine);

    // The status text: "probing: 3.2 s, 4 devices found".
    static std::string Format(double dSeconds, int nFound);
    // The closing line on a terminal, once the status line is gone:
    // "0 devices found".
    void Close(int nFound);

    // Flushes standard output. False when a write to it has failed (a full
    // disk, a closed pipe), with the first failure's error number.
    static bool FlushOutput(int& nError);
    // True once a write to standard output has failed; flushes nothing, so
    // that a caller never waits on a pipe nobody reads.
    static bool HasWriteFailed();

private:
    void clearLocked();

    std::mutex m_Mutex;
    bool m_bEnabled;
    bool m_bShown;
};

#endif
