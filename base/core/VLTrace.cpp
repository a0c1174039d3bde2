#include "base/core/VLTrace.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

#include "base/core/VLException.h"
#include "base/core/VLLogSink.h"
#include "base/core/VLThreadLock.h"
#include "base/core/VLThreadSync.h"
#include "base/platform/VLTracePropertyList.h"

namespace {

std::atomic<bool> g_bTraceFlag(false);
// The type filter: the characters of "FUNC_TYPE_FILTER"; unset lets every type pass.
bool g_bHasFilter = false;
std::string g_strFilter;

CVLThreadSync& TraceLock()
{
    static CVLThreadSync s_Lock;
    return s_Lock;
}

// Builds the caller's message: formatted when the format has a conversion,
// else taken as it stands ("%%" stays "%%").
std::string BuildMessage(const char* szFormat, va_list args)
{
    if (szFormat == nullptr)
        return std::string();
    bool bConversion = false;
    for (const char* p = szFormat; *p; ++p) {
        if (*p != '%')
            continue;
        if (p[1] == '%') {
            ++p;
            continue;
        }
        bConversion = true;
        break;
    }
    if (!bConversion)
        return std::string(szFormat);
    va_list copy;
    va_copy(copy, args);
    char buf[512];
    int n = vsnprintf(buf, sizeof(buf), szFormat, copy);
    va_end(copy);
    if (n < 0)
        return std::string(szFormat);
    if (static_cast<size_t>(n) < sizeof(buf))
        return std::string(buf, static_cast<size_t>(n));
    std::string s(static_cast<size_t>(n) + 1, '\0');
    va_copy(copy, args);
    vsnprintf(&s[0], s.size(), szFormat, copy);
    va_end(copy);
    s.resize(static_cast<size_t>(n));
    return s;
}

}  // namespace

bool CVLTrace::IsEnabled()
{
    return g_bTraceFlag.load(std::memory_order_relaxed);
}

bool CVLTrace::IsEnabled(int nType)
{
    if (!IsEnabled())
        return false;
    CVLThreadLock lock(&TraceLock());
    return lock.Lock() && PassesFilter(nType);
}

void CVLTrace::SetState(bool bFlag, const char* szFilter)
{
    CVLThreadLock lock(&TraceLock());
    lock.Lock();
    g_bHasFilter = (szFilter != nullptr);
    g_strFilter = szFilter ? szFilter : "";
    g_bTraceFlag.store(bFlag, std::memory_order_relaxed);
}

bool CVLTrace::Initialize(const char*, const char*, int, const char* szPath)
{
    g_bTraceFlag.store(false, std::memory_order_relaxed);
    if (szPath == nullptr)
        return true;
    VLTracePropertyList plist = VLReadTracePropertyList(szPath);
    CVLThreadLock lock(&TraceLock());
    lock.Lock();
    if (plist.bHasFilter) {
        g_bHasFilter = true;
        g_strFilter = plist.strFilter;
    } else {
        g_bHasFilter = false;
        g_strFilter.clear();
    }
    if (plist.bHasFlag)
        g_bTraceFlag.store(plist.bFlag, std::memory_order_relaxed);
    return true;
}

bool CVLTrace::PassesFilter(int nType)
{
    if (!g_bHasFilter)
        return true;
    char sz[16];
    snprintf(sz, sizeof(sz), "%d", nType);
    return g_strFilter.find(sz[0]) != std::string::npos;
}

void CVLTrace::WriteLine(int nType, const char* szModule, const char* szFile, int nLine, const char* szSignature,
                         const char* szMessage)
{
    if (!PassesFilter(nType))
        return;
    // The prefix is data, never a format: only the caller's format is formatted.
    std::string line;
    line += szModule ? szModule : "(null)";
    line += ' ';
    line += szFile ? szFile : "(null)";
    char szLineNo[32];
    snprintf(szLineNo, sizeof(szLineNo), " line[%d] ", nLine);
    line += szLineNo;
    if (szSignature != nullptr) {
        line += szSignature;
        line += ' ';
    }
    line += szMessage;
    VLLogWriteLine(line.c_str());
}

void CVLTrace::FunctionIn(const char*, const char*, int, const char*)
{
}

void CVLTrace::FunctionOut(const char*, const char*, int, const char*)
{
}

void CVLTrace::Output(const char* szModule, const char* szFile, int nLine, unsigned char, const char* szFormat, ...)
{
    if (!IsEnabled())
        return;
    CVLThreadLock lock(&TraceLock());
    if (!lock.Lock())
        return;
    va_list args;
    va_start(args, szFormat);
    WriteLine(VL_TRACE_TYPE_MESSAGE, szModule, szFile, nLine, nullptr, BuildMessage(szFormat, args).c_str());
    va_end(args);
}

void CVLTrace::OutputScope(const char* szModule, const char* szFile, int nLine, const char* szFormat, ...)
{
    if (!IsEnabled())
        return;
    CVLThreadLock lock(&TraceLock());
    if (!lock.Lock())
        return;
    va_list args;
    va_start(args, szFormat);
    WriteLine(VL_TRACE_TYPE_SCOPE, szModule, szFile, nLine, nullptr, BuildMessage(szFormat, args).c_str());
    va_end(args);
}

void CVLTrace::OutputException(const char* szModule, const char* szFile, int nLine, EVLException* pException)
{
    if (!IsEnabled() || pException == nullptr)
        return;
    CVLThreadLock lock(&TraceLock());
    if (!lock.Lock())
        return;
    CVLString strText = pException->ToString();
    WriteLine(VL_TRACE_TYPE_EXCEPTION, szModule, szFile, nLine, nullptr, strText.GetString());
}

void CVLTrace::OutputFunction(const char* szModule, const char* szFile, int nLine, const char* szSignature,
                              const char* szFormat, ...)
{
    if (!IsEnabled())
        return;
    CVLThreadLock lock(&TraceLock());
    if (!lock.Lock())
        return;
    va_list args;
    va_start(args, szFormat);
    WriteLine(VL_TRACE_TYPE_FUNCTION, szModule, szFile, nLine, szSignature ? szSignature : "",
              BuildMessage(szFormat, args).c_str());
    va_end(args);
}

void CVLTrace::OutputDump(const char* szModule, const char* szFile, int nLine, const unsigned char* pData,
                          int nLength)
{
    if (!IsEnabled())
        return;
    CVLThreadLock lock(&TraceLock());
    if (!lock.Lock())
        return;
    if (!PassesFilter(VL_TRACE_TYPE_DUMP))
        return;
    WriteLine(VL_TRACE_TYPE_DUMP, szModule, szFile, nLine, nullptr, "");
    std::string out;
    char buf[128];
    snprintf(buf, sizeof(buf), "Address | 00 01 02 03 04 05 06 07-08 09 0A 0B 0C 0D 0E 0F   (%dbytes)\n", nLength);
    out += buf;
    out += "--------+";
    out.append(67, '-');
    out += '\n';
    int n = (pData != nullptr && nLength > 0) ? nLength : 0;
    for (int i = 0; i < n; ++i) {
        if (i % 16 == 0)
            out.append(10, ' ');
        snprintf(buf, sizeof(buf), "%02X ", pData[i]);
        out += buf;
        if (i % 16 == 15)
            out += '\n';
    }
    if (n % 16 != 0)
        out += '\n';
    out += '\n';
    VLLogWriteRaw(out.data(), out.size());
}
