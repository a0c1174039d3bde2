#include "base/core/VLCommunicationException.h"

#include <cstring>

#include "base/platform/VLPlatformErrno.h"
#include "base/core/VLTrace.h"

EVLCommunicationException::EVLCommunicationException(const char* szModule, const char* szFile, int nLine,
                                                     VL_LONG nSystemErrorCode, const char* szExceptionAddress,
                                                     bool bTrace)
    : EVLException(szModule, szFile, nLine)
    , m_strExceptionAddress(szExceptionAddress, VL_CHARSET_UTF8)
    , m_nSystemErrorCode(nSystemErrorCode)
{
    if (bTrace)
        CVLTrace::OutputException(VLSTD_MODULE, "VLCommunicationException", 35, this);
}

EVLCommunicationException::~EVLCommunicationException()
{
}

CVLString EVLCommunicationException::GetClassName() const
{
    return CVLString("EVLCommunicationException", VL_CHARSET_UTF8);
}

CVLString EVLCommunicationException::ToString() const
{
    CVLString str("EVLCommunicationException", VL_CHARSET_UTF8);
    CVLString strCode(VL_CHARSET_UTF8);
    strCode.SetLong(m_nSystemErrorCode);
    str += ": Exception Address=";
    str += m_strExceptionAddress;
    str += ": System ErrorCode=";
    str += strCode;
    return str;
}

std::string EVLCommunicationException::GetReason() const
{
    return strerror(VLPlatformErrnoOf(static_cast<int>(m_nSystemErrorCode)));
}
