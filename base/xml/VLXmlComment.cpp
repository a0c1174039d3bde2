#include "base/xml/VLXmlComment.h"

#include "base/xml/VLXmlDocument.h"
#include "base/xml/VLXmlNodeArena.h"

CVLXmlComment::CVLXmlComment()
{
}

CVLXmlComment::~CVLXmlComment()
{
}

void CVLXmlComment::Delete()
{
    if (m_bInArena) {
        // The document's arena keeps the memory.
        IVLXmlNode* pNode = this;
        this->~CVLXmlComment();
        CVLXmlNodeArena::MarkDead(pNode);
    } else {
        delete this;
    }
}

CVLXmlComment& CVLXmlComment::operator=(const CVLXmlComment& other)
{
    if (&other != this) {
        IVLXmlNode::operator=(other);
        m_strData = other.m_strData;
    }
    return *this;
}

void CVLXmlComment::WriteXml(IVLStream* pStream, int nIndentLevel, bool bShallow, bool bInline) const
{
    if (!bInline)
        CVLXmlDocument::WriteIndentFor(m_pOwnerDocument, pStream, nIndentLevel);
    CVLString str("<!--", VL_CHARSET_UTF8);
    str += m_strData;
    str += "-->";
    CVLXmlDocument::WriteText(pStream, str);
    if (!bShallow && !bInline)
        CVLXmlDocument::WriteLineEndFor(m_pOwnerDocument, pStream);
}
