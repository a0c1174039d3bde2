#include "cm/VLDefineFormatException.h"

#include "base/core/VLTrace.h"
#include "cm/VLCMDefs.h"

EVLDefineFormatException::EVLDefineFormatException(const char* szModule, const char* szFile, int nLine,
                                                   const char* szTagName, const char* szAttributeName)
    : EVLException(szModule, szFile, nLine), m_strTagName(szTagName, VL_CHARSET_UTF8),
      m_strAttributeName(szAttributeName, VL_CHARSET_UTF8)
{
    CVLTrace::OutputException(VLCMAPI_MODULE, "VLDefineFormatException", __LINE__, this);
}

EVLDefineFormatException::~EVLDefineFormatException()
{
}

CVLString EVLDefineFormatException::GetClassName() const
{
    return CVLString("EVLDefineFormatException", VL_CHARSET_UTF8);
}

CVLString EVLDefineFormatException::ToString() const
{
    CVLString str("EVLDefineFormatException", VL_CHARSET_UTF8);
    str += ": Tag name=";
    str += m_strTagName;
    str += ": Attribute name=";
    str += m_strAttributeName;
    return str;
}
