#include "tests/support/TestSupport.h"

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

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

std::set<int> TestSocketDescriptors()
{
    std::set<int> descriptors;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd", error)) {
        struct stat status;
        int nDescriptor = std::atoi(entry.path().filename().c_str());
        if (fstat(nDescriptor, &status) == 0 && S_ISSOCK(status.st_mode))
            descriptors.insert(nDescriptor);
    }
    return descriptors;
}
