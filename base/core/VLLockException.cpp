#include "base/core/VLLockException.h"
#include "base/core/VLTrace.h"

EVLLockException::EVLLockException(const char* szModule, const char* szFile, int nLine)
    : EVLException(szModule, szFile, nLine)
{
    CVLTrace::OutputException(VLSTD_MODULE, "VLLockException", 32, this);
}

EVLLockException::~EVLLockException()
{
}

CVLString EVLLockException::GetClassName() const
{
    return CVLString("EVLLockException", 72);
}

CVLString EVLLockException::ToString() const
{
    CVLString str("EVLLockException", 72);
    return str;
}
