#include "base/core/VLNullObjectException.h"
#include "base/core/VLTrace.h"

EVLNullObjectException::EVLNullObjectException(const char* szModule, const char* szFile, int nLine)
    : EVLException(szModule, szFile, nLine)
{
    CVLTrace::OutputException(VLSTD_MODULE, "VLNullObjectException", 32, this);
}

EVLNullObjectException::~EVLNullObjectException()
{
}

CVLString EVLNullObjectException::GetClassName() const
{
    return CVLString("EVLNullObjectException", 72);
}

CVLString EVLNullObjectException::ToString() const
{
    CVLString str("EVLNullObjectException", 72);
    return str;
}
