#include "base/log/VLDebugLoggerEx.h"

#include <string>

#include "base/core/VLException.h"
#include "base/core/VLFileSystem.h"
#include "base/system/VLProcessInfo.h"
#include "base/core/VLStdRuntime.h"
#include "base/core/VLThreadLock.h"

namespace
{
// The line end of log files: a carriage return alone.
const CVLString s_strLineEnd("\r", VL_CHARSET_UTF8);
const size_t kFormatBufferSize = 2048;
}

CVLDebugLoggerEx::CVLDebugLoggerEx()
{
}

CVLDebugLoggerEx::~CVLDebugLoggerEx()
{
}

bool CVLDebugLoggerEx::Open(const char* szPath, bool bDateTime, bool bAppend, bool bElapsed)
{
    Close();
    if (szPath == nullptr)
        throw -1;
    CVLThreadLock guard(&m_Sync);
    if (!guard.Lock())
        return false;
    m_bDateTime = bDateTime;
    m_bElapsed = bElapsed;
    m_File.SetFileName(szPath);
    try {
        m_File.Open(bAppend ? VL_OPEN_APPEND : VL_OPEN_WRITE);
    } catch (EVLException* e) {
        e->Delete();
    }
    m_dStartTime = GetTime();
    SetEnabled(true);
    Write("Open Logfile...");
    return m_File.IsOpen();
}

void CVLDebugLoggerEx::Close()
{
    CVLThreadLock guard(&m_Sync);
    if (!guard.Lock() || !m_File.IsOpen())
        return;
    SetEnabled(true);
    Write("Close Logfile...\r");
    try {
        m_File.Close();
    } catch (EVLException* e) {
        e->Delete();
    }
}

void CVLDebugLoggerEx::Write(const char* szText)
{
    WriteLog(nullptr, 0, szText, szText != nullptr ? CVLString::GetTextLength(szText) : 0);
}

void CVLDebugLoggerEx::Write(const CVLString& strText)
{
    WriteLog(nullptr, 0, strText.GetBuffer(), strText.GetLength());
}

void CVLDebugLoggerEx::Write(const void* pData, int nLength)
{
    WriteLog(nullptr, 0, pData, nLength);
}

void CVLDebugLoggerEx::Write(const char* szFile, VL_LONG nLine, const char* szText)
{
    WriteLog(szFile, nLine, szText, szText != nullptr ? CVLString::GetTextLength(szText) : 0);
}

void CVLDebugLoggerEx::Write(const char* szFile, VL_LONG nLine, const CVLString& strText)
{
    WriteLog(szFile, nLine, strText.GetBuffer(), strText.GetLength());
}

void CVLDebugLoggerEx::WriteLog(const char* szFile, VL_LONG nLine, const void* pData, int nLength)
{
    if (!IsEnabled())
        return;
    CVLThreadLock guard(&m_Sync);
    if (!guard.Lock() || !m_File.IsOpen())
        return;

    // The entry is put together first and written at once.
    std::string strEntry;
    if (m_bDateTime) {
        CVLDateTime now = VLGetCurrentDateTime();
        CVLString strStamp = now.FormatDate();
        strStamp += " ";
        strStamp += now.FormatTimeMs();
        strStamp += " ";
        strEntry.append(strStamp.GetBuffer(), static_cast<size_t>(strStamp.GetLength()));
    }
    if (m_bElapsed) {
        char buf[64];
        int n = VLStdSnprintf(buf, sizeof(buf), "[%010.06Lf] ", GetTime() - m_dStartTime);
        if (n > 0)
            strEntry.append(buf, static_cast<size_t>(n) < sizeof(buf) ? static_cast<size_t>(n) : sizeof(buf) - 1);
    }
    if (pData != nullptr && nLength > 0)
        strEntry.append(static_cast<const char*>(pData), static_cast<size_t>(nLength));
    strEntry.append(s_strLineEnd.GetBuffer(), static_cast<size_t>(s_strLineEnd.GetLength()));
    if (szFile != nullptr || nLine > 0) {
        if (m_bDateTime)
            strEntry.append(24, ' ');
        if (m_bElapsed)
            strEntry.append(12, ' ');
        strEntry += "$> File: ";
        if (szFile != nullptr)
            strEntry += szFile;
        char buf[32];
        VLStdSnprintf(buf, sizeof(buf), ", Line: %ld", static_cast<long>(nLine));
        strEntry += buf;
        strEntry.append(s_strLineEnd.GetBuffer(), static_cast<size_t>(s_strLineEnd.GetLength()));
    }
    try {
        m_File.Write(reinterpret_cast<const VL_BYTE*>(strEntry.data()), static_cast<VL_SIZE_T>(strEntry.size()));
        m_File.Flush();
    } catch (EVLException* e) {
        e->Delete();
    }
}

void CVLDebugLoggerEx::Printf(const char* szFormat, ...)
{
    va_list args;
    va_start(args, szFormat);
    VPrintf(nullptr, 0, szFormat, args);
    va_end(args);
}

void CVLDebugLoggerEx::Printf(const char* szFile, VL_LONG nLine, const char* szFormat, ...)
{
    va_list args;
    va_start(args, szFormat);
    VPrintf(szFile, nLine, szFormat, args);
    va_end(args);
}

void CVLDebugLoggerEx::VPrintf(const char* szFile, VL_LONG nLine, const char* szFormat, va_list args)
{
    char buf[kFormatBufferSize];
    int nLength = 0;
    if (szFormat != nullptr) {
        int n = VLStdVsnprintf(buf, sizeof(buf), szFormat, args);
        if (n >= 1 && n < static_cast<int>(kFormatBufferSize))
            nLength = n;
    }
    WriteLog(szFile, nLine, buf, nLength);
}

CVLString CVLDebugLoggerEx::GetLogDirectory(const char* szSubFolder, bool bCreate)
{
    CVLString strPath = VLCombinePath(VLGetExecutablePath().GetString(), "DebugLog");
    if (bCreate && !VLFileExists(strPath.GetString(), 1) && !VLMakeDirectories(strPath.GetString()))
        throw -1;
    if (szSubFolder != nullptr && *szSubFolder != '\0') {
        strPath = VLCombinePath(strPath.GetString(), szSubFolder);
        if (bCreate && !VLFileExists(strPath.GetString(), 1) && !VLMakeDirectories(strPath.GetString()))
            throw -1;
    }
    return strPath;
}
