#include "cm/VLDefineFormatException.h"

#include "base/core/VLTrace.h"
#include "base/xml/VLXmlElement.h"
#include "cm/VLCMDefs.h"

EVLDefineFormatException::EVLDefineFormatException(const char* szModule, const char* szFile, int nLine,
                                                   const char* szTagName, const char* szAttributeName)
    : EVLException(szModule, szFile, nLine), m_strTagName(szTagName, VL_CHARSET_UTF8),
      m_strAttributeName(szAttributeName, VL_CHARSET_UTF8)
{
    CVLTrace::OutputException(VLCMAPI_MODULE, "VLDefineFormatException", __LINE__, this);
}

EVLDefineFormatException::EVLDefineFormatException(const char* szModule, const char* szFile, int nLine,
                                                   const CVLXmlElement* pElement, const char* szAttributeName)
    : EVLException(szModule, szFile, nLine), m_strTagName(pElement->GetXml(true).GetBuffer(), VL_CHARSET_UTF8),
      m_strAttributeName(szAttributeName, VL_CHARSET_UTF8)
{
    // Up to the element directly below the root.
    const IVLXmlNode* pHolder = pElement;
    while (pHolder->GetParentNode() != nullptr && pHolder->GetParentNode()->GetNodeType() == VLXML_NODE_ELEMENT &&
           pHolder->GetParentNode()->GetParentNode() != nullptr &&
           pHolder->GetParentNode()->GetParentNode()->GetNodeType() == VLXML_NODE_ELEMENT)
        pHolder = pHolder->GetParentNode();
    const IVLXmlNode* pRoot = pHolder->GetParentNode();
    if (pRoot != nullptr && pRoot->GetNodeType() == VLXML_NODE_ELEMENT) {
        const CVLXmlElement* pTop = static_cast<const CVLXmlElement*>(pHolder);
        m_strDefinitionKey = std::string(static_cast<const CVLXmlElement*>(pRoot)->GetTagName().GetBuffer()) + '\0' +
                             pTop->GetTagName().GetBuffer() + '\0' + pTop->GetAttribute("name").GetBuffer();
    }
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
