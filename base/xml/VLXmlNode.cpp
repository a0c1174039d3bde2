#include "base/xml/VLXmlNode.h"

#include <utility>
#include <vector>

#include "base/stream/VLStringStream.h"
#include "base/xml/VLXmlAttribute.h"
#include "base/xml/VLXmlException.h"
#include "base/xml/VLXmlNamedNodeMap.h"
#include "base/xml/VLXmlNodeList.h"

IVLXmlNode::IVLXmlNode()
    : m_pParent(nullptr), m_pOwnerDocument(nullptr), m_nUserData(0), m_bInArena(false), m_nLoadLine(0)
{
}

IVLXmlNode::~IVLXmlNode()
{
}

CVLString IVLXmlNode::GetLocalName() const
{
    CVLString strPrefix(VL_CHARSET_UTF8), strLocal(VL_CHARSET_UTF8);
    SplitNodeName(strPrefix, strLocal);
    return strLocal;
}

CVLString IVLXmlNode::GetNodeValue() const
{
    return CVLString(VL_CHARSET_UTF8);
}

void IVLXmlNode::SetNodeValue(const char*)
{
}

CVLString IVLXmlNode::GetPrefix() const
{
    CVLString strPrefix(VL_CHARSET_UTF8), strLocal(VL_CHARSET_UTF8);
    SplitNodeName(strPrefix, strLocal);
    return strPrefix;
}

void IVLXmlNode::SetPrefix(const char* szPrefix)
{
    CVLString strPrefix(VL_CHARSET_UTF8), strLocal(VL_CHARSET_UTF8);
    SplitNodeName(strPrefix, strLocal);
    const char* szNew = szPrefix != nullptr ? szPrefix : "";
    if (strPrefix == szNew)
        return;
    CVLString strName(VL_CHARSET_UTF8);
    if (*szNew != 0) {
        strName = szNew;
        strName += ":";
    }
    strName += strLocal;
    SetNodeName(strName.GetString());
}

CVLString IVLXmlNode::GetNamespaceURI() const
{
    CVLString strDecl("xmlns", VL_CHARSET_UTF8);
    CVLString strPrefix = GetPrefix();
    if (strPrefix.GetLength() > 0) {
        strDecl += ":";
        strDecl += strPrefix;
    }
    for (const IVLXmlNode* p = this; p != nullptr; p = p->GetParentNode()) {
        const CVLXmlNamedNodeMap* pMap = p->GetAttributes();
        if (pMap == nullptr)
            continue;
        IVLXmlNode* pAttr = pMap->GetNamedItem(strDecl.GetString());
        if (pAttr != nullptr)
            return pAttr->GetNodeValue();
    }
    return CVLString(VL_CHARSET_UTF8);
}

bool IVLXmlNode::IsSelfOrDescendantOf(const IVLXmlNode* pNode) const
{
    for (const IVLXmlNode* p = this; p != nullptr; p = p->GetParentNode()) {
        if (p == pNode)
            return true;
    }
    return false;
}

void IVLXmlNode::CheckNewChild(const IVLXmlNode* pChild, int nLine) const
{
    if (pChild == nullptr)
        return;  // the list refuses it
    bool bBad = pChild->GetNodeType() == VLXML_NODE_DOCUMENT || pChild->GetParentNode() != nullptr ||
                IsSelfOrDescendantOf(pChild);
    if (!bBad && pChild->GetNodeType() == VLXML_NODE_ATTRIBUTE)
        bBad = static_cast<const CVLXmlAttribute*>(pChild)->GetOwnerMap() != nullptr;
    if (bBad)
        throw new EVLXmlException(VLSTD_MODULE, "VLXmlNode", nLine, VLXML_ERROR_PARAMETER, 0, nullptr, nullptr);
}

IVLXmlNode* IVLXmlNode::AppendChild(IVLXmlNode* pChild)
{
    CVLXmlNodeList* pList = GetChildNodes();
    if (pList == nullptr)
        return nullptr;
    CheckNewChild(pChild, __LINE__);
    IVLXmlNode* pResult = pList->Append(pChild);
    pChild->SetParentNode(this);
    return pResult;
}

IVLXmlNode* IVLXmlNode::PrependChild(IVLXmlNode* pChild)
{
    CVLXmlNodeList* pList = GetChildNodes();
    if (pList == nullptr)
        return nullptr;
    CheckNewChild(pChild, __LINE__);
    IVLXmlNode* pResult = pList->Prepend(pChild);
    pChild->SetParentNode(this);
    return pResult;
}

IVLXmlNode* IVLXmlNode::RemoveChild(IVLXmlNode* pChild)
{
    CVLXmlNodeList* pList = GetChildNodes();
    if (pList == nullptr)
        return nullptr;
    return pList->Remove(pChild);
}

IVLXmlNode* IVLXmlNode::ReplaceChild(IVLXmlNode* pNew, IVLXmlNode* pOld)
{
    CVLXmlNodeList* pList = GetChildNodes();
    if (pList == nullptr)
        return nullptr;
    if (pNew != nullptr && pNew == pOld) {
        // Replacing a child with itself leaves it where it is.
        for (CVLXmlNodeConstIterator it = pList->ConstBegin(); !it.IsEnd(); it.Next()) {
            if (it.Get() == pOld)
                return pOld;
        }
        return nullptr;
    }
    CheckNewChild(pNew, __LINE__);
    IVLXmlNode* pResult = pList->Replace(pNew, pOld);
    if (pResult != nullptr)
        pNew->SetParentNode(this);
    return pResult;
}

bool IVLXmlNode::IsEqualNode(const IVLXmlNode* pOther) const
{
    // Pairs still to compare, so that a deep tree does not recurse once per
    // level.
    std::vector<std::pair<const IVLXmlNode*, const IVLXmlNode*>> pending;
    pending.emplace_back(this, pOther);
    while (!pending.empty()) {
        const IVLXmlNode* pA = pending.back().first;
        const IVLXmlNode* pB = pending.back().second;
        pending.pop_back();
        if (pB == nullptr)
            return false;
        if (pB == pA)
            continue;
        if (pA->GetNodeType() != pB->GetNodeType())
            return false;
        if (pA->GetNodeName() != pB->GetNodeName() || pA->GetNodeValue() != pB->GetNodeValue())
            return false;
        const CVLXmlNamedNodeMap* pMapA = pA->GetAttributes();
        const CVLXmlNamedNodeMap* pMapB = pB->GetAttributes();
        if ((pMapA == nullptr) != (pMapB == nullptr))
            return false;
        if (pMapA != nullptr && !pMapA->IsEqual(*pMapB))
            return false;
        const CVLXmlNodeList* pListA = pA->GetChildNodes();
        const CVLXmlNodeList* pListB = pB->GetChildNodes();
        if ((pListA == nullptr) != (pListB == nullptr))
            return false;
        if (pListA == nullptr)
            continue;
        if (pListA->GetLength() != pListB->GetLength())
            return false;
        CVLXmlNodeConstIterator itB = pListB->ConstBegin();
        for (CVLXmlNodeConstIterator itA = pListA->ConstBegin(); !itA.IsEnd(); itA.Next(), itB.Next())
            pending.emplace_back(itA.Get(), itB.Get());
    }
    return true;
}

CVLString IVLXmlNode::GetXml(bool bShallow) const
{
    CVLStringStream stream;
    stream.Open(VL_OPEN_WRITE);
    WriteXml(&stream, 0, bShallow, false);
    stream.Close();
    return stream.GetString();
}

void IVLXmlNode::SaveXml(IVLStream* pStream, bool bShallow) const
{
    if (pStream == nullptr)
        throw new EVLXmlException(VLSTD_MODULE, "VLXmlNode", __LINE__, VLXML_ERROR_PARAMETER, 0, nullptr, nullptr);
    pStream->Open(VL_OPEN_WRITE);
    WriteXml(pStream, 0, bShallow, false);
    pStream->Close();
}

void IVLXmlNode::SetNodeName(const char*)
{
}

void IVLXmlNode::SplitNodeName(CVLString& strPrefix, CVLString& strLocalName) const
{
    CVLString strName = GetNodeName();
    int nColon = strName.Find(':');
    if (nColon < 0) {
        strPrefix.Empty();
        strLocalName = strName;
        return;
    }
    strPrefix = strName.Mid(0, nColon);
    strLocalName = strName.Mid(nColon + 1);
}

IVLXmlNode& IVLXmlNode::operator=(const IVLXmlNode& other)
{
    if (&other != this)
        m_nUserData = other.m_nUserData;
    return *this;
}
