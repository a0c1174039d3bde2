#include "base/core/VLLogSink.h"

#include <cerrno>
#include <cstring>
#include <mutex>
#include <string>
#include <unistd.h>

namespace {

void WriteAll(const char* p, size_t n)
{
    while (n > 0) {
        ssize_t r = ::write(STDERR_FILENO, p, n);
        if (r < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        p += r;
        n -= static_cast<size_t>(r);
    }
}

void DefaultLine(void*, const char* szLine)
{
    std::string s(szLine);
    s += '\n';
    WriteAll(s.data(), s.size());
}

void DefaultRaw(void*, const char* pText, size_t nLen)
{
    WriteAll(pText, nLen);
}

VLLogSink g_Sink = {DefaultLine, DefaultRaw, nullptr};
// Guards g_Sink: a sink may be swapped while another thread writes.
std::mutex& SinkMutex()
{
    static std::mutex* s_pMutex = new std::mutex;  // never destroyed: late writers stay safe
    return *s_pMutex;
}

}  // namespace

VLLogSink VLSetLogSink(const VLLogSink* pSink)
{
    std::lock_guard<std::mutex> guard(SinkMutex());
    VLLogSink old = g_Sink;
    if (pSink == nullptr)
        g_Sink = {DefaultLine, DefaultRaw, nullptr};
    else
        g_Sink = *pSink;
    return old;
}

void VLLogWriteLine(const char* szLine)
{
    std::lock_guard<std::mutex> guard(SinkMutex());
    g_Sink.pfnLine(g_Sink.pContext, szLine);
}

void VLLogWriteRaw(const char* pText, size_t nLen)
{
    std::lock_guard<std::mutex> guard(SinkMutex());
    g_Sink.pfnRaw(g_Sink.pContext, pText, nLen);
}
