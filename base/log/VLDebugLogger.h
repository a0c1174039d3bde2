// The debug logger interface. This base implementation logs nothing: every
// logging operation is empty and only the enabled flag works. The file
// logger is CVLDebugLoggerEx.
#ifndef VLDEBUGLOGGER_H
#define VLDEBUGLOGGER_H

#include <cstdarg>

#include "base/stream/VLFileStream.h"
#include "base/core/VLString.h"
#include "base/core/VLThreadSync.h"

class CVLDebugLogger
{
public:
    CVLDebugLogger();
    virtual ~CVLDebugLogger();

    // Opens the log file (append or truncate) with its line prefixes.
    virtual bool Open(const char* szPath, bool bDateTime, bool bAppend, bool bElapsed);
    virtual void Close();
    virtual void Write(const char* szText);
    virtual void Write(const CVLString& strText);
    virtual void Write(const void* pData, int nLength);
    virtual void Write(const char* szFile, VL_LONG nLine, const char* szText);
    virtual void Write(const char* szFile, VL_LONG nLine, const CVLString& strText);
    // One entry: the prefixes, the data and the line end, then, when a source
    // file or a positive line is given, a line naming them.
    virtual void WriteLog(const char* szFile, VL_LONG nLine, const void* pData, int nLength);
    virtual void Printf(const char* szFormat, ...) __attribute__((format(printf, 2, 3)));
    virtual void Printf(const char* szFile, VL_LONG nLine, const char* szFormat, ...)
        __attribute__((format(printf, 4, 5)));
    virtual void SetEnabled(bool bEnabled);
    virtual bool IsEnabled();
    virtual void VPrintf(const char* szFile, VL_LONG nLine, const char* szFormat, va_list args)
        __attribute__((format(printf, 4, 0)));

    // The folder for log files: none for this logger.
    static CVLString GetLogDirectory();
    // A file-name stem from the current date and time: "20140102123456_", or
    // with milliseconds "20140102123456_789_".
    static CVLString MakeLogFileName(bool bMilliseconds);
    // The current time in seconds, with microseconds.
    static long double GetTime();

protected:
    CVLFileStream m_File;
    CVLThreadSync m_Sync;
    bool m_bDateTime;
    bool m_bEnabled;
    bool m_bElapsed;
    long double m_dStartTime;

private:
    CVLDebugLogger(const CVLDebugLogger&) = delete;
    CVLDebugLogger& operator=(const CVLDebugLogger&) = delete;
};

#endif
