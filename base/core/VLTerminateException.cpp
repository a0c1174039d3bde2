#include "base/core/VLTerminateException.h"
#include "base/core/VLTrace.h"

EVLTerminateException::EVLTerminateException(const char* szModule, const char* szFile, int nLine)
    : EVLException(szModule, szFile, nLine)
{
    CVLTrace::OutputException(VLSTD_MODULE, "VLTerminateException", 32, this);
}

EVLTerminateException::~EVLTerminateException()
{
}

CVLString EVLTerminateException::GetClassName() const
{
    return CVLString("EVLTerminateException", 72);
}

CVLString EVLTerminateException::ToString() const
{
    CVLString str("EVLTerminateException", 72);
    return str;
}
