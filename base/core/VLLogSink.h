// Where trace text goes. The default sink writes each line, with a line feed,
// to standard error in a single write; raw text (hex dump rows) goes there too.
// Tests replace the sink to capture what is written.
#ifndef VLLOGSINK_H
#define VLLOGSINK_H

#include <cstddef>

struct VLLogSink
{
    void (*pfnLine)(void* pContext, const char* szLine);            // one whole line, no line feed
    void (*pfnRaw)(void* pContext, const char* pText, size_t nLen);  // raw text, as is
    void* pContext;
};

// Installs a sink (null restores the default) and returns the previous one.
VLLogSink VLSetLogSink(const VLLogSink* pSink);
void VLLogWriteLine(const char* szLine);
void VLLogWriteRaw(const char* pText, size_t nLen);

#endif
