#include "base/core/VLMemoryAllocException.h"
#include "base/core/VLTrace.h"

EVLMemoryAllocException::EVLMemoryAllocException(const char* szModule, const char* szFile, int nLine)
    : EVLException(szModule, szFile, nLine)
{
    CVLTrace::OutputException(VLSTD_MODULE, "VLMemoryAllocException", 32, this);
}

EVLMemoryAllocException::~EVLMemoryAllocException()
{
}

CVLString EVLMemoryAllocException::GetClassName() const
{
    return CVLString("EVLMemoryAllocException", 72);
}

CVLString EVLMemoryAllocException::ToString() const
{
    CVLString str("EVLMemoryAllocException", 72);
    return str;
}
