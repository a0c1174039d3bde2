// Hands log packets to the separate log-receiver program "VURavIzad" over
// its named pipe, starting the program when it is not running. The receiver
// announces itself with the lock file "LogReciver_" + name (+ "_" + id for a
// per-process log) holding its process id.
#ifndef VLLOGSENDER_H
#define VLLOGSENDER_H

#include "base/log/VLLogPacket.h"
#include "base/log/VLLogProcessCommunicator.h"

// Lock-file names of the log channel and their remove, test and create
// operations (on the lock files of CVLProcessStartCheck).
CVLString VLMakeLogReceiverName(VL_ULONG nKind, const char* szName, const char* szId);
void VLRemoveLogReceiverLock(VL_ULONG nKind, const char* szName, const char* szId);
bool VLIsLogReceiverLocked(VL_ULONG nKind, const char* szName, const char* szId);
bool VLCreateLogReceiverLock(VL_ULONG nKind, const char* szName, const char* szId);
CVLString VLMakeLogTargetName(const char* szName);
void VLRemoveLogTargetLock(const char* szName);
bool VLIsLogTargetLocked(const char* szName);
bool VLCreateLogTargetLock(const char* szName);

class CVLLogSender
{
public:
    CVLLogSender();
    virtual ~CVLLogSender();

    // Kind 0 application, 1 process, 2 debug. Starts "./VURavIzad" unless a
    // live receiver holds its lock file, and waits up to 60 seconds for the
    // lock file (less when the program could not be started). False only
    // when no process could be made.
    bool Start(VL_ULONG nKind, const char* szName, const char* szOutputPath, const char* szId);
    // Opens the pipe at the first call; true when the whole packet was sent.
    bool Send(const CVLLogPacket& packet);

private:
    CVLLogSender(const CVLLogSender&) = delete;
    CVLLogSender& operator=(const CVLLogSender&) = delete;

    CVLLogProcessCommunicator m_Communicator;
    VL_ULONG m_nKind;
    CVLString m_strName;
    CVLString m_strId;
};

#endif
