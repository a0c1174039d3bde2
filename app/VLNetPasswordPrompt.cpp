// The password prompt of vlnet run.
#include "app/VLNetPasswordPrompt.h"

#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "app/VLNetOptions.h"
#include "app/VLNetSession.h"

namespace {
// How often the wait for the line looks for a stop request.
const int kPollMilliseconds = 20;

// The terminal's mode before the prompt, and whether the prompt holds its
// echo off: written before the flag is set, read by the stop watcher.
termios s_SavedMode;
std::atomic<bool> s_bEchoOff{false};

// Puts the mode back when the prompt returns, however it returns.
class CEchoOff
{
public:
    CEchoOff() : m_bOff(false) {}
    ~CEchoOff()
    {
        if (m_bOff) {
            tcsetattr(STDIN_FILENO, TCSANOW, &s_SavedMode);
            // Cleared only once the mode is back: a stop that ends the
            // process before then puts it back itself.
            s_bEchoOff = false;
            fputs("\n", stderr);
        }
    }
    bool TurnOff(std::string& strError)
    {
        termios mode;
        if (tcgetattr(STDIN_FILENO, &mode) != 0) {
            strError = std::string("the terminal's mode cannot be read: ") + strerror(errno);
            return false;
        }
        s_SavedMode = mode;
        s_bEchoOff = true;
        m_bOff = true;
        mode.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        if (tcsetattr(STDIN_FILENO, TCSAFLUSH, &mode) != 0) {
            strError = std::string("the terminal's echo cannot be turned off: ") + strerror(errno);
            return false;
        }
        return true;
    }

private:
    bool m_bOff;
};
}  // namespace

bool CVLNetPasswordPrompt::IsAvailable()
{
    return isatty(STDIN_FILENO) != 0;
}

void CVLNetPasswordPrompt::RestoreTerminal()
{
    if (s_bEchoOff)
        tcsetattr(STDIN_FILENO, TCSANOW, &s_SavedMode);
}

CVLNetPasswordPrompt::EResult CVLNetPasswordPrompt::Ask(const std::string& strPrompt, std::string& strPassword,
                                                        std::string& strError)
{
    CEchoOff echoOff;
    if (!echoOff.TurnOff(strError))
        return RESULT_FAILED;
    fputs(strPrompt.c_str(), stderr);
    fflush(stderr);
    // The terminal hands over whole lines; a stop is looked for in between.
    std::string strLine;
    for (;;) {
        if (CVLNetSession::IsStopRequested())
            return RESULT_STOPPED;
        pollfd input = {STDIN_FILENO, POLLIN, 0};
        int nReady = poll(&input, 1, kPollMilliseconds);
        if (nReady < 0 && errno != EINTR) {
            strError = std::string("the password cannot be read: ") + strerror(errno);
            return RESULT_FAILED;
        }
        if (nReady <= 0)
            continue;
        char buffer[256];
        ssize_t nRead = read(STDIN_FILENO, buffer, sizeof(buffer));
        if (nRead < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        if (nRead < 0) {
            strError = std::string("the password cannot be read: ") + strerror(errno);
            return RESULT_FAILED;
        }
        strLine.append(buffer, static_cast<size_t>(nRead));
        size_t nEnd = strLine.find('\n');
        if (nRead == 0 || nEnd != std::string::npos) {
            strLine.resize(std::min(nEnd, strLine.size()));
            break;
        }
        if (strLine.size() > CVLNetOptions::MAX_PASSWORD_BYTES)
            break;
    }
    std::string strWhy;
    if (!CVLNetOptions::TakePasswordLine(strLine, strWhy)) {
        strError = "the password " + strWhy;
        return RESULT_FAILED;
    }
    strPassword = strLine;
    return RESULT_READ;
}
