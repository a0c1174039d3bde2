#include "base/log/VLLogSender.h"

#include <cerrno>
#include <csignal>
#include <ctime>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

#include "base/system/VLProcessStartCheck.h"

// The process's log sender: constructed at start-up, started by nobody.
CVLLogSender g_VLLogSender;

namespace
{
const char kReceiverProgram[] = "VURavIzad";
const int kPollMilliseconds = 50;
const int kStartWaitMilliseconds = 60000;
}

CVLString VLMakeLogReceiverName(VL_ULONG nKind, const char* szName, const char* szId)
{
    CVLString strName("LogReciver_", VL_CHARSET_UTF8);
    strName += (szName != nullptr ? szName : "");
    if (nKind == 1) {
        strName += "_";
        strName += (szId != nullptr ? szId : "");
    }
    return strName;
}

void VLRemoveLogReceiverLock(VL_ULONG nKind, const char* szName, const char* szId)
{
    CVLProcessStartCheck::Unlock(VLMakeLogReceiverName(nKind, szName, szId).GetString());
}

bool VLIsLogReceiverLocked(VL_ULONG nKind, const char* szName, const char* szId)
{
    return CVLProcessStartCheck::IsLocked(VLMakeLogReceiverName(nKind, szName, szId).GetString());
}

bool VLCreateLogReceiverLock(VL_ULONG nKind, const char* szName, const char* szId)
{
    return CVLProcessStartCheck::Lock(VLMakeLogReceiverName(nKind, szName, szId).GetString(), true);
}

CVLString VLMakeLogTargetName(const char* szName)
{
    CVLString strName("LogTarget_", VL_CHARSET_UTF8);
    strName += (szName != nullptr ? szName : "");
    return strName;
}

void VLRemoveLogTargetLock(const char* szName)
{
    CVLProcessStartCheck::Unlock(VLMakeLogTargetName(szName).GetString());
}

bool VLIsLogTargetLocked(const char* szName)
{
    return CVLProcessStartCheck::IsLocked(VLMakeLogTargetName(szName).GetString());
}

bool VLCreateLogTargetLock(const char* szName)
{
    return CVLProcessStartCheck::Lock(VLMakeLogTargetName(szName).GetString(), true);
}

CVLLogSender::CVLLogSender() : m_nKind(0)
{
}

CVLLogSender::~CVLLogSender()
{
    if (m_Communicator.IsOpen())
        m_Communicator.Close();
}

bool CVLLogSender::Start(VL_ULONG nKind, const char* szName, const char* szOutputPath, const char* szId)
{
    m_nKind = nKind;
    m_strName = (szName != nullptr ? szName : "");
    m_strId = (szId != nullptr ? szId : "");
    if (VLIsLogReceiverLocked(m_nKind, m_strName.GetString(), m_strId.GetString()))
        return true;

    // Everything the child needs is made before the fork: after it, the
    // child only calls exec and _exit.
    std::string strProgram = std::string("./") + kReceiverProgram;
    std::string strOutput;
    if (szOutputPath != nullptr && *szOutputPath != '\0')
        strOutput = std::string("/o:\"") + szOutputPath + "\"";
    std::string strKind;
    if (nKind == 0)
        strKind = "/u:App";
    else if (nKind == 1)
        strKind = "/u:Proc";
    else if (nKind == 2)
        strKind = "/u:Debug";
    std::string strName(m_strName.GetString());
    std::string strId(m_strId.GetString());
    char* argv[] = {const_cast<char*>(kReceiverProgram), &strName[0], &strId[0], &strOutput[0], &strKind[0], nullptr};

    pid_t pid = fork();
    if (pid < 0)
        return false;
    if (pid == 0) {
        // No signal blocked in the receiver, whatever this thread blocks.
        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
        execv(strProgram.c_str(), argv);
        _exit(127);
    }

    // Wait for the receiver's lock file. A child that has ended (the program
    // could not be run, or quit) is reaped and the wait ends.
    for (int nWaited = 0; nWaited < kStartWaitMilliseconds; nWaited += kPollMilliseconds) {
        if (VLIsLogReceiverLocked(m_nKind, m_strName.GetString(), m_strId.GetString()))
            break;
        int nStatus = 0;
        pid_t r = waitpid(pid, &nStatus, WNOHANG);
        if (r == pid || (r == -1 && errno == ECHILD))
            break;
        struct timespec ts = {0, kPollMilliseconds * 1000L * 1000L};
        nanosleep(&ts, nullptr);
    }
    return true;
}

bool CVLLogSender::Send(const CVLLogPacket& packet)
{
    if (!m_Communicator.IsOpen() &&
        !m_Communicator.Open(m_nKind, m_strName.GetString(), m_strId.GetString(), false))
        return false;
    if (packet.GetBuffer() == nullptr)
        return false;
    return m_Communicator.Send(packet.GetBuffer(), packet.GetLength()) == CVLProcessCommunicator::RESULT_OK;
}
