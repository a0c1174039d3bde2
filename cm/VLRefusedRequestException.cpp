#include "cm/VLRefusedRequestException.h"

#include "base/core/VLTrace.h"
#include "cm/VLCMDefs.h"

EVLRefusedRequestException::EVLRefusedRequestException(const char* szModule, const char* szFile, int nLine,
                                                       const char* szReason)
    : EVLException(szModule, szFile, nLine), m_strReason(szReason, VL_CHARSET_UTF8)
{
    CVLTrace::OutputException(VLCMAPI_MODULE, "VLRefusedRequestException", __LINE__, this);
}

EVLRefusedRequestException::~EVLRefusedRequestException()
{
}

CVLString EVLRefusedRequestException::GetClassName() const
{
    return CVLString("EVLRefusedRequestException", VL_CHARSET_UTF8);
}

CVLString EVLRefusedRequestException::ToString() const
{
    CVLString str("EVLRefusedRequestException: ", VL_CHARSET_UTF8);
    str += m_strReason;
    return str;
}
