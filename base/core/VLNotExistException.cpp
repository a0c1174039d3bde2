#include "base/core/VLNotExistException.h"
#include "base/core/VLTrace.h"

EVLNotExistException::EVLNotExistException(const char* szModule, const char* szFile, int nLine, const char* szName)
    : EVLException(szModule, szFile, nLine)
    , m_strName(szName, VL_CHARSET_UTF8)
{
    CVLTrace::OutputException(VLSTD_MODULE, "VLNotExistException", 32, this);
}

EVLNotExistException::~EVLNotExistException()
{
}

CVLString EVLNotExistException::GetClassName() const
{
    return CVLString("EVLNotExistException", VL_CHARSET_UTF8);
}

CVLString EVLNotExistException::ToString() const
{
    CVLString str("EVLNotExistException", VL_CHARSET_UTF8);
    str += ": Name=";
    str += m_strName;
    return str;
}
