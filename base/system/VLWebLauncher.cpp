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
    if (szURL == nullptr || *szURL == '\0')
        return false;
    return VLPlatformOpenURL(szURL);
}

bool CVLWebLauncher::SetBrowser(const char* /*szBrowser*/)
{
    return true;
}
