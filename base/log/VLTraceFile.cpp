#include "base/log/VLTraceFile.h"

#include <cstdarg>

#include "base/stream/VLFileLock.h"
#include "base/core/VLStdRuntime.h"
#include "base/core/VLString.h"
#include "base/core/VLThreadLock.h"
#include "base/core/VLThreadSync.h"

namespace
{
CVLString s_strTraceFilePath;
bool s_bTraceFileEnabled = false;
CVLFileLock s_TraceFileLock;
// The file lock belongs to one open file shared by every thread, so it does
// not keep threads apart; this lock does.
CVLThreadSync s_TraceFileSync;
}

void VLSetTraceFile(const char* szPath)
{
    CVLThreadLock guard(&s_TraceFileSync);
    if (!guard.Lock())
        return;
    s_strTraceFilePath = (szPath != nullptr) ? szPath : "";
    s_bTraceFileEnabled = s_strTraceFilePath.GetLength() > 0;
    s_TraceFileLock.Close();
    if (s_bTraceFileEnabled && !s_TraceFileLock.Open(s_strTraceFilePath.GetString()))
        s_bTraceFileEnabled = false;
}

void VLTracePrintf(const char* szFormat, ...)
{
    if (szFormat == nullptr)
        return;
    CVLThreadLock guard(&s_TraceFileSync);
    if (!guard.Lock() || !s_bTraceFileEnabled)
        return;
    bool bLocked = s_TraceFileLock.Lock();
    FILE* fp = VLStdFopen(s_strTraceFilePath.GetString(), "a");
    if (fp != nullptr) {
        va_list args;
        va_start(args, szFormat);
        vfprintf(fp, szFormat, args);
        va_end(args);
        VLStdFclose(fp);
    }
    if (bLocked)
        s_TraceFileLock.Unlock();
}
