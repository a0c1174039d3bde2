#include "base/system/VLProcessInfo.h"

#include <sys/time.h>
#include <unistd.h>

#include "base/platform/VLPlatformProcess.h"
#include "base/core/VLStdRuntime.h"
#include "base/value/VLVariant.h"

VL_LONG VLGetProcessId(CVLVariant* pVariant)
{
    VL_LONG nId = static_cast<VL_LONG>(getpid());
    if (pVariant != nullptr)
        pVariant->SetLong(nId);
    return nId;
}

CVLString VLGetProcessName()
{
    std::string strName = VLPlatformProcessName();
    return CVLString(strName.c_str(), VL_CHARSET_UTF8);
}

CVLDateTime VLGetCurrentDateTime()
{
    CVLDateTime now;
    struct timeval tv;
    if (VLStdGettimeofday(&tv, nullptr) != 0) {
        now.SetCurrentTime();
        return now;
    }
    time_t nSeconds = tv.tv_sec;
    now.SetFromTimeT(&nSeconds);
    int h, m, s;
    now.GetTime(h, m, s);
    now.SetTime(h, m, s, static_cast<int>(tv.tv_usec / 1000));
    return now;
}
