// The status line on the terminal.
#include "app/VLNetStatusLine.h"

#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>

namespace {
// Back to the line's start, and erase to its end.
const char kClearLine[] = "\r\033[K";
// The error number of the first write to standard output that failed.
std::atomic<int> s_nWriteError{0};
}  // namespace

CVLNetStatusLine::CVLNetStatusLine(bool bEnabled) : m_bEnabled(bEnabled), m_bShown(false)
{
}

CVLNetStatusLine::~CVLNetStatusLine()
{
    Clear();
}

bool CVLNetStatusLine::IsTerminal()
{
    return isatty(STDERR_FILENO) == 1;
}

std::string CVLNetStatusLine::Format(double dSeconds, int nFound)
{
    char szText[96];
    snprintf(szText, sizeof(szText), "probing: %.1f s, %d device%s found", dSeconds, nFound, nFound == 1 ? "" : "s");
    return szText;
}

void CVLNetStatusLine::Show(double dSeconds, int nFound)
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    if (!m_bEnabled)
        return;
    fprintf(stderr, "%s%s", kClearLine, Format(dSeconds, nFound).c_str());
    fflush(stderr);
    m_bShown = true;
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

void CVLNetStatusLine::Close(int nFound)
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    if (!m_bEnabled)
        return;
    clearLocked();
    fprintf(stderr, "%d device%s found\n", nFound, nFound == 1 ? "" : "s");
}

bool CVLNetStatusLine::FlushOutput(int& nError)
{
    if (fflush(stdout) != 0 || ferror(stdout)) {
        int nExpected = 0;
        s_nWriteError.compare_exchange_strong(nExpected, errno != 0 ? errno : EIO);
    }
    nError = s_nWriteError;
    return nError == 0;
}

bool CVLNetStatusLine::HasWriteFailed()
{
    return s_nWriteError != 0;
}
