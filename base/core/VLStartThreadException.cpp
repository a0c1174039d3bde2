#include "base/core/VLStartThreadException.h"
#include "base/core/VLTrace.h"

EVLStartThreadException::EVLStartThreadException(const char* szModule, const char* szFile, int nLine, int nErrorNumber)
    : EVLException(szModule, szFile, nLine), m_nErrorNumber(nErrorNumber)
{
    CVLTrace::OutputException(VLSTD_MODULE, "VLStartThreadException", 32, this);
}

EVLStartThreadException::~EVLStartThreadException()
{
}

CVLString EVLStartThreadException::GetClassName() const
{
    return CVLString("EVLStartThreadException", VL_CHARSET_UTF8);
}

CVLString EVLStartThreadException::ToString() const
{
    CVLString str("EVLStartThreadException", VL_CHARSET_UTF8);
    CVLString strNumber(VL_CHARSET_UTF8);
    strNumber.SetLong(m_nErrorNumber);
    str += ": Error Number=";
    str += strNumber;
    return str;
}
