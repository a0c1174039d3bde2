#include "base/log/VLDebugLogger.h"

#include "base/system/VLProcessInfo.h"
#include "base/core/VLStdRuntime.h"

CVLDebugLogger::CVLDebugLogger() : m_bDateTime(false), m_bEnabled(true), m_bElapsed(false), m_dStartTime(0)
{
}

CVLDebugLogger::~CVLDebugLogger()
{
}

bool CVLDebugLogger::Open(const char* /*szPath*/, bool /*bDateTime*/, bool /*bAppend*/, bool /*bElapsed*/)
{
    return false;
}

void CVLDebugLogger::Close()
{
}

void CVLDebugLogger::Write(const char* /*szText*/)
{
}

void CVLDebugLogger::Write(const CVLString& /*strText*/)
{
}

void CVLDebugLogger::Write(const void* /*pData*/, int /*nLength*/)
{
}

void CVLDebugLogger::Write(const char* /*szFile*/, VL_LONG /*nLine*/, const char* /*szText*/)
{
}

void CVLDebugLogger::Write(const char* /*szFile*/, VL_LONG /*nLine*/, const CVLString& /*strText*/)
{
}

void CVLDebugLogger::WriteLog(const char* /*szFile*/, VL_LONG /*nLine*/, const void* /*pData*/, int /*nLength*/)
{
}

void CVLDebugLogger::Printf(const char* /*szFormat*/, ...)
{
}

void CVLDebugLogger::Printf(const char* /*szFile*/, VL_LONG /*nLine*/, const char* /*szFormat*/, ...)
{
}

void CVLDebugLogger::SetEnabled(bool bEnabled)
{
    m_bEnabled = bEnabled;
}

bool CVLDebugLogger::IsEnabled()
{
    return m_bEnabled;
}

void CVLDebugLogger::VPrintf(const char* /*szFile*/, VL_LONG /*nLine*/, const char* /*szFormat*/, va_list /*args*/)
{
}

CVLString CVLDebugLogger::GetLogDirectory()
{
    return CVLString(VL_CHARSET_UTF8);
}

CVLString CVLDebugLogger::MakeLogFileName(bool bMilliseconds)
{
    CVLDateTime now = VLGetCurrentDateTime();
    CVLString strName = now.FormatDate();
    strName.Replace("/", "");
    CVLString strTime = bMilliseconds ? now.FormatTimeMs() : now.FormatTime();
    strTime.Replace(".", "_");
    strTime.Replace(":", "");
    strName += strTime;
    strName += "_";
    return strName;
}

long double CVLDebugLogger::GetTime()
{
    struct timeval tv;
    if (VLStdGettimeofday(&tv, nullptr) != 0)
        return 0;
    return static_cast<long double>(tv.tv_sec) + static_cast<long double>(tv.tv_usec) * 0.000001L;
}
