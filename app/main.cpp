// vlnet: the command-line front end. It stands in for the window: probes
// the local networks and lists the devices found, gives or opens a device's
// web page, and runs single device commands.
//
// Exit status: 0 success; 1 a failure (a command line that is not
// understood, start-up, device not found, a command's non-zero result);
// 130 stopped by SIGINT or SIGTERM.
#include <sys/resource.h>
#include <semaphore.h>
#include <sys/socket.h>
#include <netinet/in.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include <thread>

#include "app/VLNetOptions.h"
#include "app/VLNetResultText.h"
#include "app/VLNetSession.h"
#include "app/VLNetStatusLine.h"
#include "base/core/VLString.h"
#include "base/system/VLWebLauncher.h"
#include "cm/VLCMApi.h"
#include "modules/VLModuleLibraries.h"
#include "pfw/VLPFWNIFInfo.h"

namespace {
const int kExitSuccess = 0;
const int kExitFailure = 1;
const int kExitStopped = 130;

// How long a stop may take before the process ends without waiting for its
// threads (a definition script in a loop, a command that does not stop).
const int kStopGraceMilliseconds = 900;
// Descriptors a run may need: the probe's sockets, one per running device
// command, the standard streams and the libraries' own.
const rlim_t kDescriptorsNeeded = 64;

sem_t s_StopSignal;

// SIGINT and SIGTERM ask the run to stop; a thread of its own then gives
// the run the grace time and, when it has not ended by then, ends the
// process with status 130. A second signal ends it at once.
void OnStopSignal(int)
{
    CVLNetSession::RequestStop();
    sem_post(&s_StopSignal);  // async-signal-safe
}

void WatchStopSignals()
{
    while (sem_wait(&s_StopSignal) != 0) {
    }
    timespec deadline;
    clock_gettime(CLOCK_REALTIME, &deadline);
    deadline.tv_nsec += kStopGraceMilliseconds * 1000000L;
    deadline.tv_sec += deadline.tv_nsec / 1000000000L;
    deadline.tv_nsec %= 1000000000L;
    while (sem_timedwait(&s_StopSignal, &deadline) != 0 && errno == EINTR) {
    }
    fflush(stdout);
    _exit(kExitStopped);
}

void InstallStopSignals()
{
    sem_init(&s_StopSignal, 0, 0);
    std::thread(WatchStopSignals).detach();
    struct sigaction action = {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

// A probe that cannot open its sockets would list part of the devices as if
// that were all: refuse to start when the descriptors are too few, after
// raising the soft limit as far as the hard one allows.
bool CheckDescriptors()
{
    rlimit limit = {};
    if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY &&
        limit.rlim_cur < kDescriptorsNeeded) {
        rlimit raised = limit;
        raised.rlim_cur = limit.rlim_max == RLIM_INFINITY || limit.rlim_max >= kDescriptorsNeeded ? kDescriptorsNeeded
                                                                                                  : limit.rlim_max;
        setrlimit(RLIMIT_NOFILE, &raised);
        getrlimit(RLIMIT_NOFILE, &limit);
        if (limit.rlim_cur < kDescriptorsNeeded) {
            fprintf(stderr, "vlnet: sockets cannot be opened: %s (%lu descriptors allowed, %lu needed)\n",
                    strerror(EMFILE), static_cast<unsigned long>(limit.rlim_cur),
                    static_cast<unsigned long>(kDescriptorsNeeded));
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

int InitializeFailed(VLPFW_RESULT eResult, const std::string& strError)
{
    fprintf(stderr, "vlnet: initialization failed: result %d (%s)%s%s\n", eResult,
            CVLNetResultText::GetPFWResultText(eResult), strError.empty() ? "" : ": ", strError.c_str());
    return kExitFailure;
}

// True (after saying so) when no probe datagram left the computer.
bool ReportNothingSent(const CVLNetSession& session)
{
    long nError = 0;
    if (!session.IsNothingSent(nError))
        return false;
    fprintf(stderr, "vlnet: no probe could be sent: %s\n", CVLNetResultText::GetSocketErrorText(nError).c_str());
    return true;
}

int RunProbe(CVLNetSession& session, const CVLNetOptions& options)
{
    CVLNetStatusLine statusLine(CVLNetStatusLine::IsTerminal());
    VLPFW_RESULT eResult = session.Probe(options.GetTimeoutSeconds(), options.GetMACAddress(), "", "", &statusLine);
    if (eResult != VLPFW_RESULT_SUCCESS) {
        fprintf(stderr, "vlnet: the probe did not start: result %d (%s)\n", eResult,
                CVLNetResultText::GetPFWResultText(eResult));
        return kExitFailure;
    }
    if (CVLNetSession::IsStopRequested())
        return kExitStopped;
    return ReportNothingSent(session) ? kExitFailure : kExitSuccess;
}

// Probes until the device of the command line is found; null when it is not.
CVLPFWNIFInfo* FindDevice(CVLNetSession& session, const CVLNetOptions& options, int& nExit)
{
    CVLNetStatusLine statusLine(CVLNetStatusLine::IsTerminal());
    statusLine.Clear();
    const std::string& strMAC = options.GetMACAddress();
    VLPFW_RESULT eResult = session.Probe(options.GetTimeoutSeconds(), strMAC, strMAC, options.GetIPAddress(), nullptr);
    if (eResult != VLPFW_RESULT_SUCCESS) {
        fprintf(stderr, "vlnet: the probe did not start: result %d (%s)\n", eResult,
                CVLNetResultText::GetPFWResultText(eResult));
        nExit = kExitFailure;
        return nullptr;
    }
    CVLPFWNIFInfo* pNIFInfo = session.GetFoundNIFInfo();
    // A second address answered for the device's MAC: which one is the
    // device cannot be told, and a command (a password) must not go to either.
    std::string strConflict = session.GetConflictAddress(pNIFInfo);
    if (pNIFInfo != nullptr && !strConflict.empty()) {
        CVLString strIP = pNIFInfo->GetIPAddress();
        fprintf(stderr, "vlnet: device %s answered from %s and from %s; refused\n",
                CVLNetOptions::NormalizeMACAddress(pNIFInfo->GetMACAddress().GetBuffer()).c_str(),
                strIP.GetBuffer() != nullptr ? strIP.GetBuffer() : "", strConflict.c_str());
        nExit = kExitFailure;
        return nullptr;
    }
    if (pNIFInfo == nullptr) {
        if (CVLNetSession::IsStopRequested()) {
            nExit = kExitStopped;
        } else {
            ReportNothingSent(session);
            fprintf(stderr, "vlnet: device %s not found\n",
                    strMAC.empty() ? options.GetIPAddress().c_str() : strMAC.c_str());
            nExit = kExitFailure;
        }
    }
    return pNIFInfo;
}

int RunUrl(CVLNetSession& session, const CVLNetOptions& options, bool bOpen)
{
    int nExit = kExitSuccess;
    CVLPFWNIFInfo* pNIFInfo = FindDevice(session, options, nExit);
    if (pNIFInfo == nullptr)
        return nExit;
    std::string strURL = session.GetWebConfigURL(pNIFInfo);
    if (!bOpen) {
        printf("%s\n", strURL.c_str());
        return kExitSuccess;
    }
    CVLWebLauncher launcher;
    if (!launcher.Launch(strURL.c_str())) {
        fprintf(stderr, "vlnet: the browser could not be opened on %s\n", strURL.c_str());
        return kExitFailure;
    }
    return kExitSuccess;
}

int RunCommand(CVLNetSession& session, const CVLNetOptions& options)
{
    int nExit = kExitSuccess;
    CVLPFWNIFInfo* pNIFInfo = FindDevice(session, options, nExit);
    if (pNIFInfo == nullptr)
        return nExit;
    std::string strError;
    std::string strPassword = options.GetPassword();
    VLECM_RESULT eResult =
        session.RunCommand(pNIFInfo, options.GetDeviceCommand(), options.HasPassword() ? &strPassword : nullptr,
                           options.GetAssignments(), strError);
    if (!strError.empty())
        fprintf(stderr, "vlnet: %s\n", strError.c_str());
    printf("result %d (%s)\n", eResult, CVLNetResultText::GetECMResultText(eResult));
    CVLString strDump = pNIFInfo->GetPropertiesText("");
    const char* szDump = strDump.GetBuffer();
    printf("%s\n", szDump != nullptr ? szDump : "");
    fflush(stdout);
    if (CVLNetSession::IsStopRequested())
        return kExitStopped;
    return eResult == VLECM_RESULT_SUCCESS ? kExitSuccess : kExitFailure;
}
}  // namespace

int main(int argc, char** argv)
{
    CVLNetOptions options;
    if (!options.Parse(argc, argv)) {
        fprintf(stderr, "vlnet: %s\n\n%s", options.GetErrorText().c_str(),
                CVLNetOptions::GetUsage(options.GetCommand()));
        return kExitFailure;
    }
    if (options.IsHelp()) {
        fputs(CVLNetOptions::GetUsage(options.GetCommand()), stdout);
        return kExitSuccess;
    }
    InstallStopSignals();
    if (!CheckDescriptors())
        return kExitFailure;
    // The communication modules live above the module framework, which
    // registers them through this hook.
    CVLCMApi::SetModuleLibraries(VLRegisterModuleLibraries);

    int nExit = kExitSuccess;
    {
        CVLNetSession session;
        std::string strError;
        VLPFW_RESULT eResult = session.Initialize(options.GetResourceDir(), strError);
        if (eResult != VLPFW_RESULT_SUCCESS)
            return InitializeFailed(eResult, strError);
        const std::string& strCommand = options.GetCommand();
        if (strCommand == "probe")
            nExit = RunProbe(session, options);
        else if (strCommand == "url")
            nExit = RunUrl(session, options, false);
        else if (strCommand == "open")
            nExit = RunUrl(session, options, true);
        else
            nExit = RunCommand(session, options);
        session.Terminate();
    }
    return nExit;
}
