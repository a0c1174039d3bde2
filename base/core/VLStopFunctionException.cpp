#include "base/core/VLStopFunctionException.h"
#include "base/core/VLTrace.h"

EVLStopFunctionException::EVLStopFunctionException(const char* szModule, const char* szFile, int nLine)
    : EVLException(szModule, szFile, nLine)
{
    CVLTrace::OutputException(VLSTD_MODULE, "VLStopFunctionException", 32, this);
}

EVLStopFunctionException::~EVLStopFunctionException()
{
}

CVLString EVLStopFunctionException::GetClassName() const
{
    return CVLString("EVLStopFunctionException", 72);
}

CVLString EVLStopFunctionException::ToString() const
{
    CVLString str("EVLStopFunctionException", 72);
    return str;
}
