// The status line on the terminal.
#include "app/VLNetStatusLine.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>

#include "app/VLNetResultText.h"
#include "base/core/VLStandardOutput.h"

namespace {
// Back to the line's start, and erase to its end.
const char kClearLine[] = "\r\033[K";
// How often a ticking status line is shown again.
const int kTickMilliseconds = 200;
}  // namespace

CVLNetStatusLine::CVLNetStatusLine(bool bEnabled) : m_bEnabled(bEnabled), m_bShown(false), m_bTicking(false)
{
}

CVLNetStatusLine::~CVLNetStatusLine()
{
    StopTicking();
    Clear();
}

bool CVLNetStatusLine::IsTerminal()
{
    return isatty(STDERR_FILENO) == 1;
}

namespace {
// "; waiting for 2 unicast checks and the commands of 3 addresses", or empty.
std::string WaitingText(int nChecking, int nCommands)
{
    std::string strText;
    if (nChecking > 0)
        strText += "; waiting for " + std::to_string(nChecking) + " unicast check" + (nChecking == 1 ? "" : "s");
    if (nCommands > 0)
        strText += std::string(nChecking > 0 ? " and" : "; waiting for") + " the commands of " +
                   std::to_string(nCommands) + (nCommands == 1 ? " address" : " addresses");
    return strText;
}
}  // namespace

std::string CVLNetStatusLine::Format(double dSeconds, int nFound, int nChecking, int nCommands)
{
    char szText[96];
    snprintf(szText, sizeof(szText), "probing: %.1f s, %d device%s found", dSeconds, nFound, nFound == 1 ? "" : "s");
    return szText + WaitingText(nChecking, nCommands);
}

std::string CVLNetStatusLine::FormatSearch(double dSeconds, int nAnswered, const std::string& strDevice, bool bHeard,
                                           bool bUnusable, int nChecking, int nCommands)
{
    char szText[96];
    snprintf(szText, sizeof(szText), "probing: %.1f s, %d device%s answered, ", dSeconds, nAnswered,
             nAnswered == 1 ? "" : "s");
    return szText + strDevice +
           (!bHeard      ? " not among them"
            : bUnusable ? " only from addresses that cannot be used (said above), looked for on"
                        : " among them") +
           WaitingText(nChecking, nCommands);
}

std::string CVLNetStatusLine::FormatCommand(const std::string& strCommand, const std::string& strIP, double dSeconds,
                                            unsigned nHeldResult, long nMostSeconds)
{
    char szSeconds[32];
    snprintf(szSeconds, sizeof(szSeconds), "%.1f", dSeconds);
    if (nHeldResult == 0)
        return strCommand + ": " + szSeconds + " s, waiting for the device at " + strIP +
               (nMostSeconds > 0 ? " (at most " + std::to_string(nMostSeconds) + " s)" : std::string());
    // Any host could send an answer without the device's MAC: it is taken
    // only when no reply of the device comes in the rest of the try.
    char szResult[16];
    snprintf(szResult, sizeof(szResult), "%04X", nHeldResult);
    const char* szMeaning = CVLNetResultText::GetDeviceResultText(static_cast<long>(nHeldResult));
    return strCommand + ": " + szSeconds + " s, " + strIP + " answered " + szResult +
           (szMeaning != nullptr ? std::string(" (") + szMeaning + ")" : std::string()) +
           "; as it names no device, it is the answer if no other comes in this try";
}

void CVLNetStatusLine::Show(double dSeconds, int nFound, int nChecking, int nCommands)
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    showLocked(Format(dSeconds, nFound, nChecking, nCommands));
}

void CVLNetStatusLine::showLocked(const std::string& strText)
{
    if (!m_bEnabled)
        return;
    // A line longer than the terminal is wide would wrap, and clearing it
    // would leave its first part behind: it is cut to the width.
    std::string strShown = strText;
    winsize size = {};
    if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 1 && strShown.size() >= size.ws_col)
        strShown.resize(size.ws_col - 1u);
    fprintf(stderr, "%s%s", kClearLine, strShown.c_str());
    fflush(stderr);
    m_bShown = true;
}

void CVLNetStatusLine::StartTicking(const std::function<std::string(double)>& fnText)
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    if (!m_bEnabled || m_bTicking)
        return;
    m_bTicking = true;
    m_Ticker = std::thread([this, fnText]() {
        using Clock = std::chrono::steady_clock;
        const Clock::time_point start = Clock::now();
        for (;;) {
            // Made outside the lock: the text may take locks of its own.
            const std::string strText =
                fnText(std::chrono::duration_cast<std::chrono::duration<double>>(Clock::now() - start).count());
            std::unique_lock<std::mutex> lock(m_Mutex);
            if (!m_bTicking)
                return;
            showLocked(strText);
            m_TickerWake.wait_for(lock, std::chrono::milliseconds(kTickMilliseconds), [this]() { return !m_bTicking; });
            if (!m_bTicking)
                return;
        }
    });
}

void CVLNetStatusLine::StopTicking()
{
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        if (!m_bTicking)
            return;
        m_bTicking = false;
    }
    m_TickerWake.notify_all();
    m_Ticker.join();
    Clear();
}

void CVLNetStatusLine::clearLocked()
{
    if (!m_bShown)
        return;
    fputs(kClearLine, stderr);
    fflush(stderr);
    m_bShown = false;
}

void CVLNetStatusLine::Clear()
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    clearLocked();
}

void CVLNetStatusLine::Print(const std::string& strLine)
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    clearLocked();
    fputs(strLine.c_str(), stdout);
    fputc('\n', stdout);
    int nError = 0;
    FlushOutput(nError);
}

void CVLNetStatusLine::Note(const std::string& strText)
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    clearLocked();
    fprintf(stderr, "vlnet: %s\n", strText.c_str());
    fflush(stderr);
}

std::string CVLNetStatusLine::CloseText(int nFound, const std::vector<std::string>& down,
                                        const std::vector<std::string>& unplugged,
                                        const std::vector<std::string>& unaddressed)
{
    std::string strText = std::to_string(nFound) + (nFound == 1 ? " device" : " devices") + " found";
    auto list = [](const std::vector<std::string>& names) {
        std::string strList;
        for (size_t i = 0; i < names.size(); i++)
            strList += (i == 0 ? "" : i + 1 == names.size() ? " and " : ", ") + names[i];
        return strList;
    };
    if (!down.empty())
        strText += "; the probe left out the network" + std::string(down.size() == 1 ? " of " : "s of ") + list(down) +
                   (down.size() == 1 ? ", which is down" : ", which are down");
    if (!unplugged.empty())
        strText += "; the probe left out the network" + std::string(unplugged.size() == 1 ? " of " : "s of ") +
                   list(unplugged) + (unplugged.size() == 1 ? ", which has no carrier" : ", which have no carrier");
    if (!unaddressed.empty())
        strText += "; " + list(unaddressed) + (unaddressed.size() == 1 ? " is" : " are") +
                   " up without an IPv4 address: no network there was probed";
    return strText;
}

void CVLNetStatusLine::Close(int nFound, const std::vector<std::string>& down,
                             const std::vector<std::string>& unplugged, const std::vector<std::string>& unaddressed)
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    if (!m_bEnabled)
        return;
    clearLocked();
    fprintf(stderr, "%s\n", CloseText(nFound, down, unplugged, unaddressed).c_str());
}

bool CVLNetStatusLine::FlushOutput(int& nError)
{
    const bool bWritten = CVLStandardOutput::Flush();
    nError = CVLStandardOutput::GetError();
    return bWritten;
}

bool CVLNetStatusLine::HasWriteFailed()
{
    return CVLStandardOutput::GetError() != 0;
}
