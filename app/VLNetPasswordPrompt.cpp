// The password prompt of vlnet run.
#include "app/VLNetPasswordPrompt.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>

#include "app/VLNetOptions.h"
#include "app/VLNetSession.h"

namespace {
// How often the wait for the line looks for a stop request.
const int kPollMilliseconds = 20;

// The terminal's mode before the prompt, the descriptor it was set on, and
// whether the prompt holds its echo off: written before the flag is set,
// read by the stop watcher.
termios s_SavedMode;
std::atomic<int> s_nModeFd{-1};
std::atomic<bool> s_bEchoOff{false};

// Writes the whole text; a terminal that cannot take it is no reason to
// give up the prompt.
void WriteAll(int fd, const std::string& strText)
{
    size_t nDone = 0;
    while (nDone < strText.size()) {
        ssize_t n = write(fd, strText.data() + nDone, strText.size() - nDone);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        nDone += static_cast<size_t>(n);
    }
}

// The terminal the prompt uses: the process's own (/dev/tty), or without
// one standard input, when a terminal, with the prompt on standard error.
class CTerminal
{
public:
    CTerminal() : m_nIn(-1), m_nOut(-1), m_bOwn(false), m_bOff(false)
    {
        int fd = open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (fd >= 0) {
            m_nIn = m_nOut = fd;
            m_bOwn = true;
        } else if (isatty(STDIN_FILENO) != 0) {
            m_nIn = STDIN_FILENO;
            m_nOut = STDERR_FILENO;
        }
    }
    ~CTerminal()
    {
        if (m_bOff) {
            tcsetattr(m_nIn, TCSANOW, &s_SavedMode);
            // Cleared only once the mode is back: a stop that ends the
            // process before then puts it back itself.
            s_bEchoOff = false;
            WriteAll(m_nOut, "\n");
        }
        if (m_bOwn)
            close(m_nIn);
    }
    bool IsOpen() const { return m_nIn >= 0; }
    int GetIn() const { return m_nIn; }
    int GetOut() const { return m_nOut; }
    bool TurnEchoOff(std::string& strError)
    {
        termios mode;
        if (tcgetattr(m_nIn, &mode) != 0) {
            strError = std::string("the terminal's mode cannot be read: ") + strerror(errno);
            return false;
        }
        s_SavedMode = mode;
        s_nModeFd = m_nIn;
        s_bEchoOff = true;
        m_bOff = true;
        mode.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        if (tcsetattr(m_nIn, TCSAFLUSH, &mode) != 0) {
            strError = std::string("the terminal's echo cannot be turned off: ") + strerror(errno);
            return false;
        }
        return true;
    }

private:
    int m_nIn;
    int m_nOut;
    bool m_bOwn;
    bool m_bOff;
};
}  // namespace

bool CVLNetPasswordPrompt::IsAvailable()
{
    return CTerminal().IsOpen();
}

void CVLNetPasswordPrompt::RestoreTerminal()
{
    if (s_bEchoOff)
        tcsetattr(s_nModeFd, TCSANOW, &s_SavedMode);
}

CVLNetPasswordPrompt::EResult CVLNetPasswordPrompt::Ask(const std::string& strPrompt, std::string& strPassword,
                                                        std::string& strError)
{
    CTerminal terminal;
    if (!terminal.IsOpen()) {
        strError = "no terminal to ask for the password on";
        return RESULT_FAILED;
    }
    if (!terminal.TurnEchoOff(strError))
        return RESULT_FAILED;
    WriteAll(terminal.GetOut(), strPrompt);
    // The terminal hands over whole lines, or what was typed before a
    // Ctrl-D; a stop is looked for in between.
    std::string strLine;
    size_t nEnd = std::string::npos;
    while (nEnd == std::string::npos && strLine.size() <= CVLNetOptions::MAX_PASSWORD_BYTES) {
        if (CVLNetSession::IsStopRequested())
            return RESULT_STOPPED;
        pollfd input = {terminal.GetIn(), POLLIN, 0};
        int nReady = poll(&input, 1, kPollMilliseconds);
        if (nReady < 0 && errno != EINTR) {
            strError = std::string("the password cannot be read: ") + strerror(errno);
            return RESULT_FAILED;
        }
        if (nReady <= 0)
            continue;
        char buffer[256];
        ssize_t nRead = read(terminal.GetIn(), buffer, sizeof(buffer));
        if (nRead < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        if (nRead < 0) {
            strError = std::string("the password cannot be read: ") + strerror(errno);
            return RESULT_FAILED;
        }
        // A line not ended is no password: what was typed before it is not sent.
        if (nRead == 0)
            return RESULT_END_OF_INPUT;
        strLine.append(buffer, static_cast<size_t>(nRead));
        nEnd = strLine.find('\n');
    }
    strLine.resize(std::min(nEnd, strLine.size()));
    std::string strWhy;
    if (!CVLNetOptions::TakePasswordLine(strLine, strWhy)) {
        strError = "the password " + strWhy;
        return RESULT_FAILED;
    }
    strPassword = strLine;
    return RESULT_READ;
}
