#include "cm/VLModuleParam.h"

CVLModuleParam::CVLModuleParam() : m_strName(VL_CHARSET_UTF8)
{
}

CVLModuleParam::~CVLModuleParam()
{
}

CVLString& CVLModuleParam::GetName()
{
    return m_strName;
}

void CVLModuleParam::SetName(const char* szName)
{
    m_strName = szName;
}

CVLModuleParam& CVLModuleParam::operator=(const CVLModuleParam& src)
{
    if (&src != this) {
        Copy(src, true);
        m_strName = src.m_strName;
    }
    return *this;
}
