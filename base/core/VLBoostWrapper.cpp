#include "base/core/VLBoostWrapper.h"

#include "base/core/VLException.h"
#include "base/core/VLExceptionOwner.h"

namespace {
// The one wrapper of the process, built during static initialization and
// kept until exit (never destroyed, so late callers stay safe).
CVLBoostWrapper* const g_pBoostWrapper = new CVLBoostWrapper;
}  // namespace

CVLBoostWrapper::CVLBoostWrapper() : m_pfnRegexMatch(nullptr), m_bLoaded(false)
{
    try {
        Load("VLBoost");
        m_pfnRegexMatch = reinterpret_cast<PFN_REGEXMATCH>(GetSymbol("RegexMatch"));
        m_bLoaded = true;
    } catch (...) {
        ReleaseCurrentException();
    }
}

CVLBoostWrapper::~CVLBoostWrapper()
{
    m_bLoaded = false;
}

bool CVLBoostWrapper::IsLoaded()
{
    return g_pBoostWrapper != nullptr && g_pBoostWrapper->m_bLoaded;
}

bool CVLBoostWrapper::RegexMatch(const char* szPattern, const char* szText)
{
    if (!IsLoaded() || szPattern == nullptr || szText == nullptr)
        return false;
    return (g_pBoostWrapper->m_pfnRegexMatch(szPattern, szText) & 0xFF) != 0;
}
