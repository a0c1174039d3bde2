// The one-line status that vlnet keeps on standard error while it probes or
// waits for a device command, when standard error is a terminal: the time
// so far and the number of devices found, or the device waited for. Lines written to standard output while it shows are
// written through Print, which clears the status line first.
#ifndef VLNETSTATUSLINE_H
#define VLNETSTATUSLINE_H

#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class CVLNetStatusLine
{
public:
    // bEnabled: false (not a terminal) makes Show and Clear do nothing.
    explicit CVLNetStatusLine(bool bEnabled);
    ~CVLNetStatusLine();

    static bool IsTerminal();

    void Show(double dSeconds, int nFound, int nChecking = 0, int nCommands = 0);
    void Clear();
    // Shows, from a thread of its own, the text fnText makes of the seconds
    // since the call, and again every few tenths of a second, until
    // StopTicking, which clears it: for a wait whose loop shows nothing.
    // fnText runs on that thread.
    void StartTicking(const std::function<std::string(double)>& fnText);
    void StopTicking();
    // Writes one line to standard output (and flushes it).
    void Print(const std::string& strLine);
    // Writes "vlnet: TEXT" to standard error, the status line cleared
    // first; shown or not, the line is written.
    void Note(const std::string& strText);

    // The status text: "probing: 3.2 s, 4 devices found", and what the
    // probe waits for, when it waits for addresses (nChecking in or
    // waiting for their unicast check, nCommands for their commands):
    // "; waiting for 2 unicast checks and the commands of 3 addresses".
    static std::string Format(double dSeconds, int nFound, int nChecking = 0, int nCommands = 0);
    // The status text of a search for one device (url, open, run): the
    // devices that answered so far, whatever their MAC, whether strDevice
    // was among them (bHeard) and, once every address it answered from
    // failed, that none can be used (bUnusable); what the probe waits for,
    // as Format says it: "probing: 3.2 s, 8 devices answered, 00:26:AB:00:
    // 00:01 among them; waiting for 1 unicast check".
    static std::string FormatSearch(double dSeconds, int nAnswered, const std::string& strDevice, bool bHeard,
                                    bool bUnusable, int nChecking = 0, int nCommands = 0);
    // The status text of a device command's wait: "SetDetail: 1.4 s,
    // waiting for the device at 10.0.0.5"; once an error reply that names
    // no device came (nHeldResult, as the record holds it), that it came
    // and what it said, and why it is not taken yet. nMostSeconds, when not
    // 0, is the longest the command waits (" (at most 325 s)").
    static std::string FormatCommand(const std::string& strCommand, const std::string& strIP, double dSeconds,
                                     unsigned nHeldResult = 0, long nMostSeconds = 0);
    // The closing line on a terminal, once the status line is gone:
    // "0 devices found", and the interfaces whose networks the probe left
    // out, being down or without carrier, and those up without an IPv4
    // address, which have no network to probe (CloseText).
    void Close(int nFound, const std::vector<std::string>& down = std::vector<std::string>(),
               const std::vector<std::string>& unplugged = std::vector<std::string>(),
               const std::vector<std::string>& unaddressed = std::vector<std::string>());
    static std::string CloseText(int nFound, const std::vector<std::string>& down,
                                 const std::vector<std::string>& unplugged = std::vector<std::string>(),
                                 const std::vector<std::string>& unaddressed = std::vector<std::string>());

    // Flushes standard output. False when a write to it has failed (a full
    // disk, a closed pipe), with the first failure's error number.
    static bool FlushOutput(int& nError);
    // True once a write to standard output has failed; flushes nothing, so
    // that a caller never waits on a pipe nobody reads.
    static bool HasWriteFailed();

private:
    void showLocked(const std::string& strText);
    void clearLocked();

    std::mutex m_Mutex;
    bool m_bEnabled;
    bool m_bShown;
    // The ticking thread, and the flag that ends it (under m_Mutex).
    std::thread m_Ticker;
    std::condition_variable m_TickerWake;
    bool m_bTicking;
};

#endif
