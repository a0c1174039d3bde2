// The password prompt of vlnet run on a terminal (a pseudo-terminal): the
// echo is off while it waits, and on again however the prompt ends; only a
// line ended is a password. It runs in a namespace without a network, so
// that a run that goes on to its probe reaches none.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "base/core/VLFileSystem.h"
#include "tests/support/NeedsNamespaces.h"
#include "tests/support/TestNetwork.h"
#include "tests/support/TestSupport.h"

namespace {
// Polls of the terminal before a run is taken to hang.
const int kPolls = 600;
const int kPollMilliseconds = 100;

// What the terminal showed until strWanted (or the end, or the polls ran out).
std::string ReadUntil(int nMaster, const std::string& strWanted)
{
    std::string strShown;
    for (int i = 0; i < kPolls && strShown.find(strWanted) == std::string::npos; i++) {
        pollfd master = {nMaster, POLLIN, 0};
        if (poll(&master, 1, kPollMilliseconds) <= 0)
            continue;
        char buffer[512];
        ssize_t n = read(nMaster, buffer, sizeof(buffer));
        if (n <= 0)
            break;
        strShown.append(buffer, static_cast<size_t>(n));
    }
    return strShown;
}

bool IsEchoOn(int nTerminal)
{
    termios mode;
    return tcgetattr(nTerminal, &mode) == 0 && (mode.c_lflag & ECHO) != 0;
}

// Runs "vlnet run MAC CheckPassword" on a new terminal, waits for its
// prompt, types strInput and waits for the end. "echo off at the prompt"
// and "echo on at the end" as seen, its exit status, then what it showed.
// bAside: standard input and standard error are not the terminal but
// /dev/null.
std::string AnswerThePrompt(const std::string& strInput, bool bAside)
{
    int nMaster = posix_openpt(O_RDWR | O_NOCTTY);
    if (nMaster < 0 || grantpt(nMaster) != 0 || unlockpt(nMaster) != 0)
        return "FAIL:pty";
    const std::string strSlave = ptsname(nMaster);
    const char* szBin = getenv("VL_TEST_BIN_DIR");
    const std::string strBin = szBin != nullptr ? szBin : Bytes(VLGetExecutablePath());
    const std::string strProgram = strBin + "/vlnet";
    const std::string strResources = strBin + "/../share/vlnet";
    pid_t pid = fork();
    if (pid == 0) {
        // A session of its own, whose terminal the slave becomes.
        setsid();
        int nSlave = open(strSlave.c_str(), O_RDWR);
        dup2(nSlave, 0), dup2(nSlave, 1), dup2(nSlave, 2);
        if (bAside) {
            int nNull = open("/dev/null", O_RDWR);
            dup2(nNull, 0), dup2(nNull, 2);
            close(nNull);
        }
        close(nSlave), close(nMaster);
        // It looks for the device until the time-out.
        execl(strProgram.c_str(), strProgram.c_str(), "run", "00:26:AB:00:00:01", "CheckPassword", "--timeout", "2",
              "--resources", strResources.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    int nSlave = open(strSlave.c_str(), O_RDWR | O_NOCTTY);
    std::string strShown = ReadUntil(nMaster, "(CheckPassword): ");
    std::string strResult = strShown.find("(CheckPassword): ") != std::string::npos && !IsEchoOn(nSlave)
                                ? "echo off at the prompt\n"
                                : "no prompt without echo\n";
    if (write(nMaster, strInput.data(), strInput.size()) != static_cast<ssize_t>(strInput.size()))
        strResult += "not typed\n";
    int nStatus = 0;
    pid_t done = 0;
    for (int i = 0; i < kPolls && done == 0; i++) {
        pollfd master = {nMaster, POLLIN, 0};
        char buffer[512];
        ssize_t n = poll(&master, 1, kPollMilliseconds) > 0 ? read(nMaster, buffer, sizeof(buffer)) : 0;
        if (n > 0)
            strShown.append(buffer, static_cast<size_t>(n));
        done = waitpid(pid, &nStatus, WNOHANG);
    }
    if (done == 0) {
        kill(pid, SIGKILL);
        waitpid(pid, &nStatus, 0);
    }
    strResult += IsEchoOn(nSlave) ? "echo on at the end\n" : "echo off at the end\n";
    close(nSlave), close(nMaster);
    strResult += WIFEXITED(nStatus) ? "exit " + std::to_string(WEXITSTATUS(nStatus)) : std::string("killed");
    return strResult + "\n" + strShown;
}
}  // namespace

TEST(VLNetPasswordPrompt, TheEchoIsBackHoweverThePromptEnds)
{
    VL_NEEDS_NAMESPACES();
    CTestNetwork net;
    ASSERT_TRUE(net.AddHost("pc"));
    const std::string kEnded =
        "vlnet: CheckPassword: the input ended at the password prompt before a line did: nothing was sent to the "
        "device";
    const struct
    {
        std::string strInput;
        bool bAside;
        std::string strStatus;
        std::string strSaid;
    } kAnswers[] = {
        // Ctrl-C: the terminal sends SIGINT.
        {"\x03", false, "exit 130", ""},
        // A line that cannot be a password is refused before the probe.
        {std::string("se\0cret\n", 8), false, "exit 2", "vlnet: the password holds a NUL byte"},
        {std::string(1025, 'p') + "\n", false, "exit 2", "vlnet: the password is longer than 1024 bytes"},
        // Ctrl-D ends the input: what was typed before it is no password.
        {"\x04", false, "exit 1", kEnded},
        {"secret\x04\x04", false, "exit 1", kEnded},
        // The empty line is one, but would send no password: refused before
        // the probe (a device without one takes --password '').
        {"\n", false, "exit 2", "vlnet: CheckPassword: the password given at the prompt is empty: nothing was sent"},
        // A password typed goes on to the probe, whose status line shows,
        // and finds nothing.
        {"secret\n", false, "exit 1", "probing: 0.0 s, 0 devices answered, 00:26:AB:00:00:01 not among them"},
        // The prompt is the terminal's own, whatever the standard streams are.
        {"\x04", true, "exit 1", ""},
    };
    for (const auto& answer : kAnswers) {
        std::string strResult = net.RunIn("pc", [&]() { return AnswerThePrompt(answer.strInput, answer.bAside); });
        EXPECT_EQ(0u, strResult.find("echo off at the prompt\necho on at the end\n" + answer.strStatus + "\n"))
            << strResult;
        EXPECT_NE(std::string::npos, strResult.find(answer.strSaid)) << strResult;
    }
}
