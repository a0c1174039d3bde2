#include "base/core/VLUnsupportedException.h"
#include "base/core/VLTrace.h"

EVLUnsupportedException::EVLUnsupportedException(const char* szModule, const char* szFile, int nLine, const char* szMethodName)
    : EVLException(szModule, szFile, nLine)
    , m_strMethodName(szMethodName, VL_CHARSET_UTF8)
{
    CVLTrace::OutputException(VLSTD_MODULE, "VLUnsupportedException", 33, this);
}

EVLUnsupportedException::~EVLUnsupportedException()
{
}

CVLString EVLUnsupportedException::GetClassName() const
{
    return CVLString("EVLUnsupportedException", VL_CHARSET_UTF8);
}

CVLString EVLUnsupportedException::ToString() const
{
    CVLString str("EVLUnsupportedException", VL_CHARSET_UTF8);
    str += ": Method Name=";
    str += m_strMethodName;
    return str;
}
