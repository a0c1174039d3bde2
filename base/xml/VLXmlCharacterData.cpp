#include "base/xml/VLXmlCharacterData.h"

CVLXmlCharacterData::CVLXmlCharacterData() : m_strData(VL_CHARSET_UTF8)
{
}

CVLXmlCharacterData::~CVLXmlCharacterData()
{
}

void CVLXmlCharacterData::SetNodeValue(const char* szValue)
{
    m_strData = szValue != nullptr ? szValue : "";
}

void CVLXmlCharacterData::Clear()
{
    m_strData.Empty();
}
