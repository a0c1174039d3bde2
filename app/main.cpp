// vlnet: the command-line front end. It stands in for the window: probes
// the local networks and lists the devices found, gives or opens a device's
// web page, and runs single device commands.
//
// Exit status: 0 success; 1 a failure (start-up, device not found, a
// command's non-zero result); 2 a command line that is not understood;
// 130 stopped by SIGINT or SIGTERM.
#include <csignal>
#include <cstdio>
#include <string>

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

void OnStopSignal(int)
{
    CVLNetSession::RequestStop();
}

void InstallStopSignals()
{
    struct sigaction action = {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
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
