#include "base/xml/VLXmlElement.h"

#include <cstdlib>
#include <cstring>
#include <vector>

#include "base/xml/VLXmlAttribute.h"
#include "base/xml/VLXmlDocument.h"
#include "base/xml/VLXmlNodeArena.h"
#include "base/xml/VLXmlException.h"
#include "base/xml/VLXmlText.h"

// Throw-site codes: fixed numbers that identify each site in traces and
// results; they are not line numbers and never change.
const int kSiteSetAttributeNull = 245;
const int kSiteSetAttributeOwner = 250;

// Walking a large loaded tree is measurably slower once an element passes
// 256 bytes (the load line lives in the node's spare bytes for this).
#if defined(__x86_64__) && defined(__GLIBCXX__)
static_assert(sizeof(CVLXmlElement) <= 256, "an element fits in 256 bytes");
#endif

namespace {

bool NameIs(const IVLXmlNode* pNode, const char* szName)
{
    if (pNode->GetNodeType() != VLXML_NODE_ELEMENT)
        return false;
    return static_cast<const CVLXmlElement*>(pNode)->GetTagNameRef() == szName;
}

}  // namespace

CVLXmlElement::CVLXmlElement() : m_strTagName(VL_CHARSET_UTF8), m_Attributes(true), m_Children(true)
{
}

CVLXmlElement::~CVLXmlElement()
{
}

void CVLXmlElement::SetNodeName(const char* szName)
{
    m_strTagName = szName != nullptr ? szName : "";
}

void CVLXmlElement::SetTagName(const char* szName)
{
    SetNodeName(szName);
}

void CVLXmlElement::Clear()
{
    m_strTagName.Empty();
    m_Attributes.Clear();
    m_Children.Clear();
}

void CVLXmlElement::Delete()
{
    if (m_bInArena) {
        // The document's arena keeps the memory.
        IVLXmlNode* pNode = this;
        this->~CVLXmlElement();
        CVLXmlNodeArena::MarkDead(pNode);
    } else {
        delete this;
    }
}

CVLXmlElement& CVLXmlElement::operator=(const CVLXmlElement& src)
{
    if (&src == this)
        return *this;
    if (IsSelfOrDescendantOf(&src)) {
        // Copying an ancestor into its descendant: work from a snapshot.
        if (m_pOwnerDocument == nullptr)
            throw new EVLXmlException(VLSTD_MODULE, "VLXmlElement", __LINE__, VLXML_ERROR_PARAMETER, 0, nullptr,
                                      nullptr);
        IVLXmlNode* pCopy = m_pOwnerDocument->ImportNode(&src);
        try {
            *this = *static_cast<CVLXmlElement*>(pCopy);
        } catch (...) {
            pCopy->Delete();
            throw;
        }
        pCopy->Delete();
        return *this;
    }
    IVLXmlNode::operator=(src);
    m_strTagName = src.m_strTagName;
    m_Attributes.Clear();
    for (CVLXmlNodeConstIterator it = src.m_Attributes.ConstBegin(); !it.IsEnd(); it.Next()) {
        IVLXmlNode* pAttr = it.Get();
        SetAttribute(pAttr->GetNodeName().GetString(), pAttr->GetNodeValue().GetString());
    }
    CopyChildren(src, true);
    return *this;
}

void CVLXmlElement::CopyChildren(const CVLXmlElement& src, bool bClear)
{
    if (m_pOwnerDocument == nullptr)
        return;
    m_pOwnerDocument->CopyChildNodes(src.m_Children, m_Children, this, bClear);
}

void CVLXmlElement::Merge(const CVLXmlElement* pSrc, const char* szKeyAttribute)
{
    if (m_pOwnerDocument == nullptr || pSrc == nullptr || pSrc == this)
        return;
    if (IsSelfOrDescendantOf(pSrc)) {
        // Merging an ancestor into its descendant: merge a snapshot of it.
        IVLXmlNode* pCopy = m_pOwnerDocument->ImportNode(pSrc);
        try {
            Merge(static_cast<CVLXmlElement*>(pCopy), szKeyAttribute);
        } catch (...) {
            pCopy->Delete();
            throw;
        }
        pCopy->Delete();
        return;
    }
    // Matching children are merged as by a call for each pair, from a list
    // of the pairs under way instead of recursion: trees built in code may be
    // nested deeper than the stack allows.
    struct CFrame
    {
        CVLXmlElement* pDst;
        const CVLXmlElement* pSrc;
        CVLXmlNodeConstIterator it;
    };
    std::vector<CFrame> frames;
    auto enter = [&frames](CVLXmlElement* pDst, const CVLXmlElement* pFrom) {
        for (CVLXmlNodeConstIterator it = pFrom->m_Attributes.ConstBegin(); !it.IsEnd(); it.Next()) {
            IVLXmlNode* pAttr = it.Get();
            pDst->SetAttribute(pAttr->GetNodeName().GetString(), pAttr->GetNodeValue().GetString());
        }
        frames.push_back(CFrame{pDst, pFrom, pFrom->m_Children.ConstBegin()});
    };
    enter(this, pSrc);
    const bool bNoKey = szKeyAttribute == nullptr || *szKeyAttribute == 0;
    // Only when the source lies inside this element can a match lie inside
    // the source; the test walks up the tree, so it is made only then.
    const bool bOverlap = pSrc->IsSelfOrDescendantOf(this);
    while (!frames.empty()) {
        CFrame& frame = frames.back();
        if (frame.it.IsEnd()) {
            frames.pop_back();
            continue;
        }
        IVLXmlNode* pChild = frame.it.Get();
        frame.it.Next();
        CVLXmlElement* pDst = frame.pDst;  // the push below may move the frame
        if (pChild->GetNodeType() == VLXML_NODE_ELEMENT) {
            const CVLXmlElement* pSrcChild = static_cast<const CVLXmlElement*>(pChild);
            CVLXmlElement* pMatch;
            if (bNoKey) {
                pMatch = pDst->FindChildElement(pSrcChild->m_strTagName.GetString());
            } else {
                CVLString strKey = pSrcChild->GetAttribute(szKeyAttribute);
                pMatch = pDst->FindChildElementByAttribute(pSrcChild->m_strTagName.GetString(), szKeyAttribute,
                                                           strKey.GetString());
            }
            if (pMatch != nullptr) {
                if (pMatch->m_pOwnerDocument == nullptr || pMatch == pSrcChild)
                    continue;
                if (bOverlap && pMatch->IsSelfOrDescendantOf(pSrcChild))
                    pMatch->Merge(pSrcChild, szKeyAttribute);  // merges a snapshot
                else
                    enter(pMatch, pSrcChild);
                continue;
            }
        }
        pDst->AppendChild(pDst->m_pOwnerDocument->ImportNode(pChild));
    }
}

void CVLXmlElement::RemoveElementsByAttribute(const char* szAttrName, const char* szValue, int nCompare)
{
    if (szAttrName == nullptr || szValue == nullptr)
        return;
    // The child lists still being walked, innermost last: a tree built in
    // code may be nested deeper than recursion allows.
    std::vector<CVLXmlNodeIterator> walks;
    walks.push_back(m_Children.Begin());
    while (!walks.empty()) {
        CVLXmlNodeIterator& it = walks.back();
        if (it.IsEnd()) {
            walks.pop_back();
            continue;
        }
        IVLXmlNode* pChild = it.Get();
        if (pChild->GetNodeType() != VLXML_NODE_ELEMENT) {
            it.Next();
            continue;
        }
        CVLXmlElement* pElement = static_cast<CVLXmlElement*>(pChild);
        IVLXmlNode* pAttr = pElement->GetAttributeNode(szAttrName);
        bool bMatch = false;
        if (pAttr != nullptr) {
            int n = static_cast<CVLXmlAttribute*>(pAttr)->GetValue().Compare(szValue);
            switch (nCompare) {
            case 0: bMatch = n < 0; break;
            case 1: bMatch = n > 0; break;
            case 2: bMatch = n <= 0; break;
            case 3: bMatch = n >= 0; break;
            case 4: bMatch = n == 0; break;
            case 5: bMatch = n != 0; break;
            default: break;
            }
        }
        if (bMatch) {
            it.Erase();
        } else {
            it.Next();  // before the push, which may move it
            walks.push_back(pElement->m_Children.Begin());
        }
    }
}

CVLString CVLXmlElement::GetAttribute(const char* szName) const
{
    IVLXmlNode* pAttr = GetAttributeNode(szName);
    return pAttr != nullptr ? pAttr->GetNodeValue() : CVLString(VL_CHARSET_UTF8);
}

VL_LONG CVLXmlElement::GetAttributeLong(const char* szName, VL_LONG nDefault) const
{
    CVLString str = GetAttribute(szName);
    if (str.GetLength() == 0 || !str.IsNumeric())
        return nDefault;
    // Clamped to the type's range, as the string's own conversion does: a
    // wider value must not wrap.
    long long v = std::strtoll(str.GetString(), nullptr, 10);
    if (v > INT32_MAX)
        return INT32_MAX;
    if (v < INT32_MIN)
        return INT32_MIN;
    return static_cast<VL_LONG>(v);
}

bool CVLXmlElement::GetAttributeBool(const char* szName, bool bDefault) const
{
    CVLString str = GetAttribute(szName);
    if (str.GetLength() == 0)
        return bDefault;
    return str.ToBool(bDefault);
}

IVLXmlNode* CVLXmlElement::GetAttributeNode(const char* szName) const
{
    return m_Attributes.GetNamedItem(szName);
}

IVLXmlNode* CVLXmlElement::RemoveAttribute(const char* szName)
{
    return m_Attributes.RemoveNamedItem(szName);
}

void CVLXmlElement::SetAttribute(const char* szName, const char* szValue)
{
    if (szName == nullptr || szValue == nullptr)
        throw new EVLXmlException(VLSTD_MODULE, "VLXmlElement", kSiteSetAttributeNull, VLXML_ERROR_PARAMETER, 0,
                                  nullptr, nullptr);
    IVLXmlNode* pAttr = m_Attributes.GetNamedItem(szName);
    if (pAttr != nullptr) {
        pAttr->SetNodeValue(szValue);
        return;
    }
    if (m_pOwnerDocument == nullptr)
        throw new EVLXmlException(VLSTD_MODULE, "VLXmlElement", kSiteSetAttributeOwner, VLXML_ERROR_PARAMETER, 0,
                                  nullptr, nullptr);
    CVLXmlAttribute* pNew = m_pOwnerDocument->CreateAttribute(szName);
    try {
        SetAttributeNode(pNew);
    } catch (...) {
        pNew->Delete();
        throw;
    }
    pNew->SetNodeValue(szValue);
}

IVLXmlNode* CVLXmlElement::SetAttributeNode(IVLXmlNode* pAttr)
{
    return m_Attributes.SetNamedItem(pAttr);
}

void CVLXmlElement::GetElementsByTagName(const char* szName, CVLXmlNodeList* pResult) const
{
    if (szName == nullptr || pResult == nullptr || pResult->OwnsNodes())
        throw new EVLXmlException(VLSTD_MODULE, "VLXmlElement", __LINE__, VLXML_ERROR_PARAMETER, 0, nullptr, nullptr);
    // In document order, from a list of the child lists being walked.
    std::vector<CVLXmlNodeConstIterator> walks;
    walks.push_back(m_Children.ConstBegin());
    while (!walks.empty()) {
        CVLXmlNodeConstIterator& it = walks.back();
        if (it.IsEnd()) {
            walks.pop_back();
            continue;
        }
        IVLXmlNode* pChild = it.Get();
        it.Next();  // before the push, which may move it
        if (pChild->GetNodeType() != VLXML_NODE_ELEMENT)
            continue;
        if (NameIs(pChild, szName))
            pResult->Append(pChild);
        walks.push_back(static_cast<CVLXmlElement*>(pChild)->m_Children.ConstBegin());
    }
}

CVLXmlElement* CVLXmlElement::FindChildElement(const char* szName) const
{
    if (szName == nullptr)
        return nullptr;
    for (CVLXmlNodeConstIterator it = m_Children.ConstBegin(); !it.IsEnd(); it.Next()) {
        if (NameIs(it.Get(), szName))
            return static_cast<CVLXmlElement*>(it.Get());
    }
    return nullptr;
}

CVLXmlElement* CVLXmlElement::GetElementByPath(const char* szPath, bool bCreate)
{
    if (szPath == nullptr)
        return nullptr;
    CVLXmlElement* pElement = this;
    CVLString strPath(szPath, VL_CHARSET_UTF8);
    for (;;) {
        int nSlash = strPath.Find('/');
        CVLString strStep(VL_CHARSET_UTF8), strRest(VL_CHARSET_UTF8);
        if (nSlash > 0) {
            strStep = strPath.Mid(0, nSlash);
            strRest = strPath.Mid(nSlash + 1);
        } else {
            strStep = strPath;
        }
        CVLXmlElement* pNext = pElement->FindChildElement(strStep.GetString());
        if (pNext == nullptr) {
            if (!bCreate || pElement->m_pOwnerDocument == nullptr)
                return nullptr;
            pNext = pElement->m_pOwnerDocument->CreateElement(strStep.GetString());
            pElement->AppendChild(pNext);
        }
        pElement = pNext;
        if (strRest.GetLength() == 0)
            return pElement;
        strPath = strRest;
    }
}

CVLXmlElement* CVLXmlElement::FindChildElementByAttribute(const char* szName, const char* szAttrName,
                                                          const char* szAttrValue) const
{
    if (szName == nullptr || szAttrName == nullptr || szAttrValue == nullptr)
        return nullptr;
    for (CVLXmlNodeConstIterator it = m_Children.ConstBegin(); !it.IsEnd(); it.Next()) {
        if (!NameIs(it.Get(), szName))
            continue;
        CVLXmlElement* pChild = static_cast<CVLXmlElement*>(it.Get());
        IVLXmlNode* pAttr = pChild->m_Attributes.GetNamedItem(szAttrName);
        if (pAttr != nullptr && static_cast<CVLXmlAttribute*>(pAttr)->GetValue() == szAttrValue)
            return pChild;
    }
    return nullptr;
}

IVLXmlNode* CVLXmlElement::GetFirstTextNode() const
{
    for (CVLXmlNodeConstIterator it = m_Children.ConstBegin(); !it.IsEnd(); it.Next()) {
        if (it.Get()->GetNodeType() == VLXML_NODE_TEXT)
            return it.Get();
    }
    return nullptr;
}

CVLString CVLXmlElement::GetText() const
{
    IVLXmlNode* pText = GetFirstTextNode();
    return pText != nullptr ? pText->GetNodeValue() : CVLString(VL_CHARSET_UTF8);
}

void CVLXmlElement::SetText(const char* szText)
{
    IVLXmlNode* pText = GetFirstTextNode();
    if (szText == nullptr || *szText == 0) {
        if (pText != nullptr)
            RemoveChild(pText);
        return;
    }
    if (pText != nullptr) {
        pText->SetNodeValue(szText);
        return;
    }
    if (m_pOwnerDocument == nullptr)
        return;
    CVLXmlText* pNew = m_pOwnerDocument->CreateTextNode(szText);
    try {
        AppendChild(pNew);
    } catch (...) {
        pNew->Delete();
        throw;
    }
}

void CVLXmlElement::SaveElementXml(IVLStream* pStream, bool bEscape) const
{
    if (pStream == nullptr)
        throw new EVLXmlException(VLSTD_MODULE, "VLXmlElement", __LINE__, VLXML_ERROR_PARAMETER, 0, nullptr, nullptr);
    CVLXmlDocument* pDoc = m_pOwnerDocument;
    bool bOpened = false;
    try {
        if (pDoc != nullptr && bEscape)
            pDoc->FillEscapeTable();
        if (!pStream->IsOpen()) {
            pStream->Open(VL_OPEN_WRITE);
            bOpened = true;
        }
        WriteXml(pStream, 0, false, false);
    } catch (...) {
        if (pDoc != nullptr)
            pDoc->ClearEscapeTable();
        if (bOpened)
            pStream->Close();
        throw;
    }
    if (pDoc != nullptr)
        pDoc->ClearEscapeTable();
    if (bOpened)
        pStream->Close();
}

bool CVLXmlElement::WriteStart(IVLStream* pStream, int nIndentLevel, bool bShallow, bool bInline, bool& bText) const
{
    const CVLXmlDocument* pDoc = m_pOwnerDocument;
    if (!bInline)
        CVLXmlDocument::WriteIndentFor(pDoc, pStream, nIndentLevel);
    CVLString str("<", VL_CHARSET_UTF8);
    str += m_strTagName;
    CVLXmlDocument::WriteText(pStream, str);
    for (CVLXmlNodeConstIterator it = m_Attributes.ConstBegin(); !it.IsEnd(); it.Next())
        it.Get()->WriteXml(pStream, nIndentLevel, false, false);
    bool bContent = false;
    bText = false;
    CVLXmlDocument::ClassifyChildren(m_Children, bContent, bText);
    if (!bContent || bShallow) {
        CVLXmlDocument::WriteText(pStream, "/>");
        if (!bShallow && !bInline)
            CVLXmlDocument::WriteLineEndFor(pDoc, pStream);
        return false;
    }
    CVLXmlDocument::WriteText(pStream, ">");
    if (!bText)
        CVLXmlDocument::WriteLineEndFor(pDoc, pStream);
    return true;
}

void CVLXmlElement::WriteEnd(IVLStream* pStream, int nIndentLevel, bool bInline, bool bText) const
{
    const CVLXmlDocument* pDoc = m_pOwnerDocument;
    if (!bText)
        CVLXmlDocument::WriteIndentFor(pDoc, pStream, nIndentLevel);
    CVLString str("</", VL_CHARSET_UTF8);
    str += m_strTagName;
    str += ">";
    CVLXmlDocument::WriteText(pStream, str);
    if (!bInline)
        CVLXmlDocument::WriteLineEndFor(pDoc, pStream);
}

void CVLXmlElement::WriteXml(IVLStream* pStream, int nIndentLevel, bool bShallow, bool bInline) const
{
    bool bText = false;
    if (!WriteStart(pStream, nIndentLevel, bShallow, bInline, bText))
        return;
    // Nested elements are written from an explicit stack, not by recursion:
    // a tree built in memory may be nested deeper than the stack allows.
    struct CFrame
    {
        const CVLXmlElement* pElement;
        CVLXmlNodeConstIterator it;
        int nLevel;
        bool bInline;
        bool bText;
    };
    std::vector<CFrame> stack;
    stack.push_back(CFrame{this, m_Children.ConstBegin(), nIndentLevel, bInline, bText});
    while (!stack.empty()) {
        CFrame& top = stack.back();
        if (top.it.IsEnd()) {
            top.pElement->WriteEnd(pStream, top.nLevel, top.bInline, top.bText);
            stack.pop_back();
            continue;
        }
        IVLXmlNode* pChild = top.it.Get();
        top.it.Next();
        const int nLevel = top.nLevel + 1;
        const bool bChildInline = top.bText;
        if (pChild->GetNodeType() != VLXML_NODE_ELEMENT) {
            pChild->WriteXml(pStream, nLevel, false, bChildInline);
            continue;
        }
        const CVLXmlElement* pElement = static_cast<const CVLXmlElement*>(pChild);
        bool bChildText = false;
        if (pElement->WriteStart(pStream, nLevel, false, bChildInline, bChildText))
            stack.push_back(CFrame{pElement, pElement->m_Children.ConstBegin(), nLevel, bChildInline, bChildText});
    }
}
