#include "tests/support/TestSupport.h"

#include <fstream>
#include <sstream>

#include "base/core/VLTrace.h"

namespace {
void CaptureLine(void* pContext, const char* szLine)
{
    static_cast<CTraceCapture*>(pContext)->m_Lines.push_back(szLine);
}
void CaptureRaw(void* pContext, const char* pText, size_t nLen)
{
    static_cast<CTraceCapture*>(pContext)->m_strRaw.append(pText, nLen);
}
}  // namespace

CTraceCapture::CTraceCapture(bool bEnable, const char* szFilter)
{
    VLLogSink sink = {CaptureLine, CaptureRaw, this};
    m_OldSink = VLSetLogSink(&sink);
    CVLTrace::SetState(bEnable, szFilter);
}

CTraceCapture::~CTraceCapture()
{
    CVLTrace::SetState(false, nullptr);
    VLSetLogSink(&m_OldSink);
}

std::string TestShippedDefinition(const std::string& strName)
{
    std::ifstream in(std::string(VL_SOURCE_DIR) + "/resources/Settings/Default/" + strName, std::ios::binary);
    if (!in)
        return std::string();
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}
