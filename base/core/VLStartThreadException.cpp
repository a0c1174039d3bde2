#include "base/core/VLStartThreadException.h"
#include "base/core/VLTrace.h"

EVLStartThreadException::EVLStartThreadException(const char* szModule, const char* szFile, int nLine)
    : EVLException(szModule, szFile, nLine)
{
    CVLTrace::OutputException(VLSTD_MODULE, "VLStartThreadException", 32, this);
}

EVLStartThreadException::~EVLStartThreadException()
{
}

CVLString EVLStartThreadException::GetClassName() const
{
    return CVLString("EVLStartThreadException", 72);
}

CVLString EVLStartThreadException::ToString() const
{
    CVLString str("EVLStartThreadException", 72);
    return str;
}
