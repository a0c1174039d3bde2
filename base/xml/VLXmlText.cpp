#include "base/xml/VLXmlText.h"

#include "base/xml/VLXmlDocument.h"
#include "base/xml/VLXmlNodeArena.h"

CVLXmlText::CVLXmlText()
{
}

CVLXmlText::~CVLXmlText()
{
}

void CVLXmlText::Delete()
{
    if (m_bInArena) {
        // The document's arena keeps the memory.
        IVLXmlNode* pNode = this;
        this->~CVLXmlText();
        CVLXmlNodeArena::MarkDead(pNode);
    } else {
        delete this;
    }
}

CVLXmlText& CVLXmlText::operator=(const CVLXmlText& other)
{
    if (&other != this) {
        IVLXmlNode::operator=(other);
        m_strData = other.m_strData;
    }
    return *this;
}

void CVLXmlText::WriteXml(IVLStream* pStream, int, bool, bool) const
{
    CVLString str(VL_CHARSET_UTF8);
    CVLXmlDocument::AppendEscapedFor(m_pOwnerDocument, m_strData, str);
    if (m_pOwnerDocument != nullptr && m_pOwnerDocument->GetFormat()) {
        // Formatted output drops leading and trailing tabs and line feeds.
        const char* p = str.GetBuffer();
        int nStart = 0;
        int nEnd = str.GetLength();
        for (;;) {
            bool bChanged = false;
            if (nStart < nEnd && p[nStart] == '\t') { ++nStart; bChanged = true; }
            if (nStart < nEnd && p[nEnd - 1] == '\t') { --nEnd; bChanged = true; }
            if (nStart < nEnd && p[nStart] == '\n') { ++nStart; bChanged = true; }
            if (nStart < nEnd && p[nEnd - 1] == '\n') { --nEnd; bChanged = true; }
            if (!bChanged)
                break;
        }
        if (nStart != 0 || nEnd != str.GetLength())
            str = str.Mid(nStart, nEnd - nStart);
    }
    CVLXmlDocument::WriteText(pStream, str);
}
