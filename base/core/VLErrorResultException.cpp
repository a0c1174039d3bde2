#include "base/core/VLErrorResultException.h"
#include "base/core/VLTrace.h"

EVLErrorResultException::EVLErrorResultException(const char* szModule, const char* szFile, int nLine,
                                                 const char* szProtocolName, VL_LONG nResultCode)
    : EVLException(szModule, szFile, nLine)
    , m_strProtocolName(szProtocolName, VL_CHARSET_UTF8)
    , m_nResultCode(nResultCode)
{
    CVLTrace::OutputException(VLSTD_MODULE, "VLErrorResultException", 34, this);
}

EVLErrorResultException::~EVLErrorResultException()
{
}

CVLString EVLErrorResultException::GetClassName() const
{
    return CVLString("EVLErrorResultException", VL_CHARSET_UTF8);
}

CVLString EVLErrorResultException::ToString() const
{
    CVLString str("EVLErrorResultException", VL_CHARSET_UTF8);
    CVLString strCode(VL_CHARSET_UTF8);
    strCode.SetLong(m_nResultCode);
    str += ": ProtocolName=";
    str += m_strProtocolName;
    str += ": Result code=";
    str += strCode;
    return str;
}
