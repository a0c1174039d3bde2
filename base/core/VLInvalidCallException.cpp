#include "base/core/VLInvalidCallException.h"
#include "base/core/VLTrace.h"

EVLInvalidCallException::EVLInvalidCallException(const char* szModule, const char* szFile, int nLine)
    : EVLException(szModule, szFile, nLine)
{
    CVLTrace::OutputException(VLSTD_MODULE, "VLInvalidCallException", 32, this);
}

EVLInvalidCallException::~EVLInvalidCallException()
{
}

CVLString EVLInvalidCallException::GetClassName() const
{
    return CVLString("EVLInvalidCallException", 72);
}

CVLString EVLInvalidCallException::ToString() const
{
    CVLString str("EVLInvalidCallException", 72);
    return str;
}
