// vlnet: the command-line front end, in place of a window. It probes
// the local networks and lists the devices found, gives or opens a device's
// web page, and runs single device commands.
//
// Exit status: 0 success; 1 a failure (start-up, standard output closed,
// device not found, a command's non-zero result, output that could not be
// written); 2 a command line, a PATH=VALUE or a password it does not accept,
// no change sent; 3 a probe whose list may be short (devices that answered
// the probe and are not listed: no answer to unicast, a failed unicast
// check, failed commands, still waiting for their commands at the time-out;
// replies of devices not yet listed still waiting to be handled at the
// time-out; devices dropped by a bound, replies lost to a full receive
// buffer, datagrams lost while unicast checks waited in vain; a definition
// script failed); 128 + the signal's number stopped by SIGHUP (129), SIGINT
// (130) or SIGTERM (143), with nothing printed or opened after the stop.
#include <dirent.h>
#include <fcntl.h>
#include <malloc.h>
#include <sys/resource.h>
#include <pthread.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <netinet/in.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <thread>

#include "app/VLNetCommands.h"
#include "app/VLNetOptions.h"
#include "app/VLNetPasswordPrompt.h"
#include "app/VLNetResultText.h"
#include "app/VLNetSession.h"
#include "app/VLNetStatusLine.h"
#include "base/core/VLCommandLine.h"
#include "base/core/VLStandardOutput.h"
#include "cm/VLCMApi.h"
#include "modules/VLModuleLibraries.h"
#include "pfw/PFWCommunicationManager.h"

namespace {
// How long a stop may take before the process ends without waiting for its
// threads (a definition script in a loop, a command that does not stop).
const int kStopGraceMilliseconds = 900;
// Besides the probe's sockets, a send to the limited broadcast lists the
// interfaces through a socket of its own for a moment.
const int kInterfaceListDescriptors = 1;
// Of the follow-up chains' sockets, the one their unicast checks share.
const int kSharedCheckSockets = 1;
// Free descriptors a run needs besides those open at its start (a device
// command after the probe holds one socket).
const rlim_t kDescriptorsNeeded = CPFWCommunicationManager::kMaxProbeSockets + kInterfaceListDescriptors;

// SIGINT, SIGTERM and SIGHUP ask the run to stop; a thread of its own then gives
// the run the grace time and, when it has not ended by then, ends the
// process with 128 + the signal's number. A second signal ends it at once. The signals are
// blocked in every thread and taken by that thread alone, so none is left
// pending on a thread that cannot take it (one blocked writing to a pipe
// nobody reads). The watcher never touches standard output: another thread
// may hold its lock while writing to such a pipe. Standard output is
// line-buffered instead, so that each line has been handed on by the time
// it was printed.
void WatchStopSignals(sigset_t signals)
{
    int nSignal = 0;
    while (sigwait(&signals, &nSignal) != 0) {
    }
    CVLNetSession::RequestStop(nSignal);
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    const long long nDeadline = now.tv_sec * 1000000000LL + now.tv_nsec + kStopGraceMilliseconds * 1000000LL;
    for (;;) {
        clock_gettime(CLOCK_MONOTONIC, &now);
        long long nLeft = nDeadline - (now.tv_sec * 1000000000LL + now.tv_nsec);
        if (nLeft <= 0)
            break;
        timespec wait = {static_cast<time_t>(nLeft / 1000000000LL), static_cast<long>(nLeft % 1000000000LL)};
        if (sigtimedwait(&signals, nullptr, &wait) > 0 || errno != EINTR)
            break;
    }
    // A password prompt may still hold the terminal's echo off.
    CVLNetPasswordPrompt::RestoreTerminal();
    // The system call itself: a runtime's _exit may flush standard output
    // first (the sanitizers' does).
    syscall(SYS_exit_group, VLNET_EXIT_SIGNAL_BASE + nSignal);
}

void IgnorePipeSignal(int)
{
}

// Before any other thread starts, so that every thread inherits the mask.
void InstallStopSignals()
{
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    // A hang-up (the terminal or the session gone) ends the run as SIGTERM
    // does, unless it is ignored (nohup): a blocked signal would still be
    // taken by sigwait.
    struct sigaction hangUp = {};
    if (sigaction(SIGHUP, nullptr, &hangUp) == 0 && hangUp.sa_handler != SIG_IGN)
        sigaddset(&signals, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    std::thread(WatchStopSignals, signals).detach();
}

// Descriptor numbers below nLimit that are open now (the standard streams and
// whatever the run inherited), as /proc lists them. Without /proc each
// number is asked, up to kMaxAskedDescriptors (a hard limit may be far
// higher than any number in use, and each question is a system call).
long CountOpenDescriptorsBelow(rlim_t nLimit)
{
    const rlim_t kMaxAskedDescriptors = 1 << 20;
    DIR* pDir = opendir("/proc/self/fd");
    if (pDir == nullptr) {
        long nOpen = 0;
        for (rlim_t nFd = 0; nFd < std::min(nLimit, kMaxAskedDescriptors); nFd++) {
            if (fcntl(static_cast<int>(nFd), F_GETFD) != -1)
                nOpen++;
        }
        return nOpen;
    }
    const int nOwn = dirfd(pDir);
    long nOpen = 0;
    while (const dirent* pEntry = readdir(pDir)) {
        char* pEnd = nullptr;
        unsigned long nFd = strtoul(pEntry->d_name, &pEnd, 10);
        if (pEnd != pEntry->d_name && *pEnd == '\0' && static_cast<long>(nFd) != nOwn && nFd < nLimit)
            nOpen++;
    }
    closedir(pDir);
    return nOpen;
}

// A probe that cannot open its sockets would list part of the devices as if
// that were all: refuse to start when fewer descriptors are free than it
// may hold, after raising the soft limit to that as far as the hard one
// allows. Inherited descriptors take their share of the limit.
bool CheckDescriptors()
{
    rlimit limit = {};
    if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY) {
        long nOpen = CountOpenDescriptorsBelow(limit.rlim_max == RLIM_INFINITY ? limit.rlim_cur : limit.rlim_max);
        const rlim_t nWanted = static_cast<rlim_t>(nOpen) + kDescriptorsNeeded;
        if (limit.rlim_cur < nWanted) {
            rlimit raised = limit;
            raised.rlim_cur = limit.rlim_max == RLIM_INFINITY || limit.rlim_max >= nWanted ? nWanted : limit.rlim_max;
            setrlimit(RLIMIT_NOFILE, &raised);
            getrlimit(RLIMIT_NOFILE, &limit);
        }
        nOpen = CountOpenDescriptorsBelow(limit.rlim_cur);
        rlim_t nFree = static_cast<rlim_t>(nOpen) > limit.rlim_cur ? 0 : limit.rlim_cur - nOpen;
        if (nFree < kDescriptorsNeeded) {
            // The soft limit went as high as the hard one allows: what is
            // left is a higher limit, which beyond the hard one only root
            // gives, or fewer inherited descriptors. The chains' sockets
            // are one per chain holding a place and one their unicast
            // checks share.
            std::string strHard;
            if (limit.rlim_max != RLIM_INFINITY && limit.rlim_max < nWanted)
                strHard = " (as root: the hard limit is " + std::to_string(limit.rlim_max) + ")";
            fprintf(stderr,
                    "vlnet: too few descriptors: %lu free of %lu allowed, %ld open; a probe may hold %lu (%d "
                    "sockets of its children, %d of follow-up chains, %d its unicast checks share, %d listing the "
                    "interfaces); raise the limit: 'ulimit -n %lu' before vlnet%s, or start it with fewer "
                    "descriptors open\n",
                    static_cast<unsigned long>(nFree), static_cast<unsigned long>(limit.rlim_cur), nOpen,
                    static_cast<unsigned long>(kDescriptorsNeeded), CPFWCommunicationManager::kProbeChildCount,
                    CPFWCommunicationManager::kMaxChainSockets - kSharedCheckSockets, kSharedCheckSockets,
                    kInterfaceListDescriptors, static_cast<unsigned long>(nWanted), strHard.c_str());
            return false;
        }
    }
    int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        fprintf(stderr, "vlnet: sockets cannot be opened: %s\n", strerror(errno));
        return false;
    }
    close(fd);
    return true;
}

// The status of output that could not be written, said with its reason;
// a reader that went away (vlnet probe | head -1) ends it as the pipe's
// signal ends other tools: quietly, with 128 + SIGPIPE.
int OutputFailed()
{
    if (CVLStandardOutput::GetError() == EPIPE)
        return VLNET_EXIT_SIGNAL_BASE + SIGPIPE;
    return CVLStandardOutput::Fail("vlnet");
}

// Writes the text on standard output; a failure is said as that of any
// other output.
int WriteText(const std::string& strText)
{
    return CVLStandardOutput::Write(strText) ? VLNET_EXIT_SUCCESS : OutputFailed();
}

int InitializeFailed(VLPFW_RESULT eResult, const std::string& strError)
{
    // The device manager's failure carries its own result, which says more.
    if (eResult == VLPFW_RESULT_VLECM_ERROR && !strError.empty())
        fprintf(stderr, "vlnet: initialization failed: %s\n", strError.c_str());
    else
        fprintf(stderr, "vlnet: initialization failed: result %d (%s)%s%s\n", eResult,
                CVLNetResultText::GetPFWResultText(eResult), strError.empty() ? "" : ": ", strError.c_str());
    return VLNET_EXIT_FAILURE;
}
}  // namespace

namespace {
// The heaps malloc may keep. By default each thread that allocates can get
// one of its own (up to eight a core): a probe's records are made on the
// receive threads, grown on the command threads and freed on others, and
// what each heap freed stays resident in it, some 8 MB under a flood of
// six full networks. One heap reuses it; each thread's cache of small
// blocks still spares most allocations its lock.
const int kMallocArenas = 1;
}  // namespace

int main(int argc, char** argv)
{
    // Before any thread starts.
    mallopt(M_ARENA_MAX, kMallocArenas);
    // Before anything else is opened: a socket would otherwise take number 1
    // and be written the device list. Help and version written to a closed
    // standard output then fail as the tools' do.
    if (!CVLStandardOutput::TakeClosedDescriptors()) {
        fprintf(stderr, "vlnet: a closed standard descriptor cannot be opened on /dev/null\n");
        return VLNET_EXIT_FAILURE;
    }
    const bool bOutputClosed = CVLStandardOutput::WasClosed();
    setvbuf(stdout, nullptr, _IOLBF, 0);
    CVLNetOptions options;
    if (!options.Parse(argc, argv)) {
        // The reason, and where the usage is: run's alone is some 60 lines,
        // after which the reason would have scrolled away.
        fprintf(stderr, "vlnet: %s\n", options.GetErrorText().c_str());
        if (options.IsUsageFault()) {
            const std::string strCommand =
                CVLNetCommands::Find(options.GetCommand()) != nullptr ? options.GetCommand() + " " : std::string();
            fprintf(stderr, "vlnet: 'vlnet %s--help' shows the usage\n", strCommand.c_str());
        }
        return VLNET_EXIT_USAGE;
    }
    if (options.IsHelp())
        return WriteText(CVLNetOptions::GetUsage(options.GetCommand()));
    if (options.IsVersion())
        return WriteText(std::string("vlnet ") + CVLCommandLine::GetVersion() + "\n");
    if (bOutputClosed && CVLNetCommands::WritesOutput(options.GetCommand())) {
        fprintf(stderr, "vlnet: standard output is closed\n");
        return VLNET_EXIT_FAILURE;
    }
    InstallStopSignals();
    // A closed pipe is output that cannot be written, which ends the run
    // quietly (OutputFailed) once a change the device took is said. A
    // handler that does nothing, not SIG_IGN: the browser started by open
    // gets the default back.
    signal(SIGPIPE, IgnorePipeSignal);
    if (!CheckDescriptors())
        return VLNET_EXIT_FAILURE;
    // The communication modules live above the module framework, which
    // registers them through this hook.
    CVLCMApi::SetModuleLibraries(VLRegisterModuleLibraries);

    int nExit = VLNET_EXIT_SUCCESS;
    {
        CVLNetSession session;
        std::string strError;
        VLPFW_RESULT eResult = session.Initialize(options.GetResourceDir(), strError);
        if (eResult != VLPFW_RESULT_SUCCESS)
            return InitializeFailed(eResult, strError);
        // Parse accepted only commands of the table.
        nExit = CVLNetCommands::Find(options.GetCommand())->pfnRun(session, options);
        session.ReportScriptFailures();
        session.Terminate();
    }
    // What was printed must have arrived: a full disk or a closed pipe
    // would otherwise lose the list with status 0. Each command flushes
    // what it prints at once, which keeps the failed write's error number:
    // errno here is what the session's end left in it.
    if (!CVLStandardOutput::Flush() && nExit != VLNET_EXIT_STOPPED)
        nExit = OutputFailed();
    // A stop that came after the command's own check still ends the run as
    // stopped, as it would have after the grace time.
    return CVLNetSession::IsStopRequested() ? VLNET_EXIT_SIGNAL_BASE + CVLNetSession::GetStopSignal() : nExit;
}
