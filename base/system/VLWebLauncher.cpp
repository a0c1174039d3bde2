#include "base/system/VLWebLauncher.h"

#include "base/platform/VLPlatformProcess.h"

CVLWebLauncher::CVLWebLauncher()
{
}

CVLWebLauncher::~CVLWebLauncher()
{
}

bool CVLWebLauncher::Launch(const char* szURL)
{
    if (szURL == nullptr || *szURL == '\0') {
        m_strFailure = "no URL";
        return false;
    }
    return VLPlatformOpenURL(szURL, m_strFailure);
}

bool CVLWebLauncher::SetBrowser(const char* /*szBrowser*/)
{
    return true;
}
