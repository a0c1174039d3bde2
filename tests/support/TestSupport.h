// Helpers shared by the base library's tests.
#ifndef TESTSUPPORT_H
#define TESTSUPPORT_H

#include <set>
#include <string>
#include <vector>

#include "base/core/VLException.h"
#include "base/core/VLExceptionOwner.h"
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

// True when f throws an E* (released here); any other framework exception is
// released too and counts as a mismatch.
template <class E, class F>
bool VLThrows(F f)
{
    try {
        f();
    } catch (EVLException* e) {
        CVLExceptionOwner owner(e);
        return dynamic_cast<E*>(e) != nullptr;
    }
    return false;
}
#define EXPECT_VL_THROW(statement, E) EXPECT_TRUE(VLThrows<E>([&] { statement; })) << #statement

// The text of a file of the definitions the project ships
// (resources/Settings/Default/<name> in the source tree: "VLPC.xml",
// "PropertyRoot.xml", "ModuleMapping.xml", ...); empty when it cannot be read.
// Tests, benchmarks and fuzz targets read the project's data from there
// rather than keep copies of it.
std::string TestShippedDefinition(const std::string& strName);

// The process's socket descriptors now: the one a call opened is the one
// the set gained, for reading its options from the system.
std::set<int> TestSocketDescriptors();

inline std::string Bytes(const CVLString& s)
{
    return std::string(s.GetBuffer(), static_cast<size_t>(s.GetLength()));
}

#endif
