// Helpers shared by the base library's tests.
#ifndef TESTSUPPORT_H
#define TESTSUPPORT_H

#include <string>
#include <vector>

#include "base/core/VLLogSink.h"
#include "base/core/VLString.h"

// Captures everything the tracer writes while it lives, and restores the
// previous trace state and sink afterwards.
class CTraceCapture
{
public:
    explicit CTraceCapture(bool bEnable = true, const char* szFilter = nullptr);
    ~CTraceCapture();

    std::vector<std::string> m_Lines;
    std::string m_strRaw;

private:
    VLLogSink m_OldSink;
};

inline std::string Bytes(const CVLString& s)
{
    return std::string(s.GetBuffer(), static_cast<size_t>(s.GetLength()));
}

#endif
