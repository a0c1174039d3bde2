#include "base/core/VLInvalidParamException.h"
#include "base/core/VLTrace.h"

EVLInvalidParamException::EVLInvalidParamException(const char* szModule, const char* szFile, int nLine)
    : EVLException(szModule, szFile, nLine)
{
    CVLTrace::OutputException(VLSTD_MODULE, "VLInvalidParamException", 32, this);
}

EVLInvalidParamException::~EVLInvalidParamException()
{
}

CVLString EVLInvalidParamException::GetClassName() const
{
    return CVLString("EVLInvalidParamException", 72);
}

CVLString EVLInvalidParamException::ToString() const
{
    CVLString str("EVLInvalidParamException", 72);
    return str;
}
