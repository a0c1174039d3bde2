#include "base/core/VLErrorResultException.h"
#include "base/core/VLTrace.h"

EVLErrorResultException::EVLErrorResultException(const char* szModule, const char* szFile, int nLine,
                                                 const char* szProtocolName, VL_LONG nResultCode)
    : EVLException(szModule, szFile, nLine)
    , m_strProtocolName(szProtocolName, 72)
    , m_nResultCode(nResultCode)
{
    CVLTrace::OutputException(VLSTD_MODULE, "VLErrorResultException", 34, this);
}

EVLErrorResultException::~EVLErrorResultException()
{
}

CVLString EVLErrorResultException::GetClassName() const
{
    return CVLString("EVLErrorResultException", 72);
}

CVLString EVLErrorResultException::ToString() const
{
    CVLString str("EVLErrorResultException", 72);
    CVLString strCode(72);
    strCode.SetLong(m_nResultCode);
    str += ": ProtocolName=";
    str += m_strProtocolName;
    str += ": Result code=";
    str += strCode;
    return str;
}
