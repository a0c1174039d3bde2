#include "base/core/VLUnlockException.h"
#include "base/core/VLTrace.h"

EVLUnlockException::EVLUnlockException(const char* szModule, const char* szFile, int nLine)
    : EVLException(szModule, szFile, nLine)
{
    CVLTrace::OutputException(VLSTD_MODULE, "VLUnlockException", 32, this);
}

EVLUnlockException::~EVLUnlockException()
{
}

CVLString EVLUnlockException::GetClassName() const
{
    return CVLString("EVLUnlockException", 72);
}

CVLString EVLUnlockException::ToString() const
{
    CVLString str("EVLUnlockException", 72);
    return str;
}
