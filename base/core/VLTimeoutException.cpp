#include "base/core/VLTimeoutException.h"
#include "base/core/VLTrace.h"

EVLTimeoutException::EVLTimeoutException(const char* szModule, const char* szFile, int nLine, bool bTrace)
    : EVLException(szModule, szFile, nLine)
{
    if (bTrace)
        CVLTrace::OutputException(VLSTD_MODULE, "VLTimeoutException", 34, this);
}

EVLTimeoutException::~EVLTimeoutException()
{
}

CVLString EVLTimeoutException::GetClassName() const
{
    return CVLString("EVLTimeoutException", VL_CHARSET_UTF8);
}

CVLString EVLTimeoutException::ToString() const
{
    return CVLString("EVLTimeoutException", VL_CHARSET_UTF8);
}
