// The file logger: each entry is a line in a file, optionally prefixed with
// the date and time and with the seconds since Open, and followed by a line
// naming the source file and line when the caller gives them. Lines end in
// a carriage return. Open, Close and WriteLog are serialized on the logger's
// lock.
#ifndef VLDEBUGLOGGEREX_H
#define VLDEBUGLOGGEREX_H

#include "base/log/VLDebugLogger.h"

class CVLDebugLoggerEx : public CVLDebugLogger
{
public:
    CVLDebugLoggerEx();
    virtual ~CVLDebugLoggerEx();

    // Throws the integer -1 for a null path. True when the file opened.
    virtual bool Open(const char* szPath, bool bDateTime, bool bAppend, bool bElapsed) override;
    virtual void Close() override;
    virtual void Write(const char* szText) override;
    virtual void Write(const CVLString& strText) override;
    virtual void Write(const void* pData, int nLength) override;
    virtual void Write(const char* szFile, VL_LONG nLine, const char* szText) override;
    virtual void Write(const char* szFile, VL_LONG nLine, const CVLString& strText) override;
    virtual void WriteLog(const char* szFile, VL_LONG nLine, const void* pData, int nLength) override;
    virtual void Printf(const char* szFormat, ...) override __attribute__((format(printf, 2, 3)));
    virtual void Printf(const char* szFile, VL_LONG nLine, const char* szFormat, ...) override
        __attribute__((format(printf, 4, 5)));
    // A message of 2048 bytes or more, or one that does not format, is
    // written as an empty entry.
    virtual void VPrintf(const char* szFile, VL_LONG nLine, const char* szFormat, va_list args) override
        __attribute__((format(printf, 4, 0)));

    // The executable's folder + "DebugLog" (+ the sub-folder when given).
    // With bCreate, missing folders are made; a failure throws the integer -1.
    static CVLString GetLogDirectory(const char* szSubFolder, bool bCreate);
};

#endif
