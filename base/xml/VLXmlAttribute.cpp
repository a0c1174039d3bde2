#include "base/xml/VLXmlAttribute.h"

#include "base/xml/VLXmlDocument.h"
#include "base/xml/VLXmlNodeArena.h"
#include "base/xml/VLXmlNamedNodeMap.h"

CVLXmlAttribute::CVLXmlAttribute() : m_strName(VL_CHARSET_UTF8), m_strValue(VL_CHARSET_UTF8), m_pOwnerMap(nullptr)
{
}

CVLXmlAttribute::~CVLXmlAttribute()
{
}

void CVLXmlAttribute::SetNodeValue(const char* szValue)
{
    m_strValue = szValue != nullptr ? szValue : "";
}

void CVLXmlAttribute::Delete()
{
    if (m_bInArena) {
        // The document's arena keeps the memory.
        IVLXmlNode* pNode = this;
        this->~CVLXmlAttribute();
        CVLXmlNodeArena::MarkDead(pNode);
    } else {
        delete this;
    }
}

void CVLXmlAttribute::Clear()
{
    m_strValue.Empty();
}

void CVLXmlAttribute::SetNodeName(const char* szName)
{
    const char* szNew = szName != nullptr ? szName : "";
    if (m_pOwnerMap != nullptr)
        m_pOwnerMap->RenameItem(this, szNew);
    m_strName = szNew;
}

CVLXmlAttribute& CVLXmlAttribute::operator=(const CVLXmlAttribute& other)
{
    if (&other == this)
        return *this;
    IVLXmlNode::operator=(other);
    SetNodeName(other.m_strName.GetString());
    m_strValue = other.m_strValue;
    return *this;
}

void CVLXmlAttribute::WriteXml(IVLStream* pStream, int, bool, bool) const
{
    CVLString str(" ", VL_CHARSET_UTF8);
    str += m_strName;
    str += "=\"";
    CVLXmlDocument::AppendEscapedFor(m_pOwnerDocument, m_strValue, str, true);
    str += "\"";
    CVLXmlDocument::WriteText(pStream, str);
}
