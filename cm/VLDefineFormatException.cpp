#include "cm/VLDefineFormatException.h"

#include "base/core/VLTrace.h"
#include "cm/VLCMDefs.h"

EVLDefineFormatException::EVLDefineFormatException(const char* szModule, const char* szFile, int nLine,
                                                   const char* szTagName, const char* szAttributeName)
    : EVLException(szModule, szFile, nLine), m_strTagName(szTagName, 72), m_strAttributeName(szAttributeName, 72)
{
    CVLTrace::OutputException(VLCMAPI_MODULE, "VLDefineFormatException", __LINE__, this);
}

EVLDefineFormatException::~EVLDefineFormatException()
{
}

CVLString EVLDefineFormatException::GetClassName() const
{
    return CVLString("EVLDefineFormatException", 72);
}

CVLString EVLDefineFormatException::ToString() const
{
    CVLString str("EVLDefineFormatException", 72);
    str += ": Tag name=";
    str += m_strTagName;
    str += ": Attribute name=";
    str += m_strAttributeName;
    return str;
}
