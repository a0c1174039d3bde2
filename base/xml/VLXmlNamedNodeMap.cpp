#include "base/xml/VLXmlNamedNodeMap.h"

#include <cstring>

#include "base/xml/VLXmlAttribute.h"
#include "base/xml/VLXmlException.h"
#include "base/xml/VLXmlNode.h"

namespace {

CVLXmlAttribute* AsAttribute(IVLXmlNode* pNode)
{
    return (pNode != nullptr && pNode->GetNodeType() == VLXML_NODE_ATTRIBUTE) ? static_cast<CVLXmlAttribute*>(pNode)
                                                                               : nullptr;
}

bool HasName(IVLXmlNode* pNode, const char* pName, int nLength)
{
    if (pNode->GetNodeType() == VLXML_NODE_ATTRIBUTE) {
        const CVLString& str = static_cast<CVLXmlAttribute*>(pNode)->GetName();
        return str.GetLength() == nLength && std::memcmp(str.GetBuffer(), pName, static_cast<size_t>(nLength)) == 0;
    }
    CVLString str = pNode->GetNodeName();
    return str.GetLength() == nLength && std::memcmp(str.GetBuffer(), pName, static_cast<size_t>(nLength)) == 0;
}

// Throw-site codes: fixed numbers that identify each site in traces and
// results; they are not line numbers and never change.
const int kSiteGetNamedItem = 46;
const int kSiteSetNamedItem = 87;
const int kSiteSetNamedItemByName = 98;

void ThrowParameter(int nLine)
{
    throw new EVLXmlException(VLSTD_MODULE, "VLXmlNamedNodeMap", nLine, VLXML_ERROR_PARAMETER, 0, nullptr, nullptr);
}

}  // namespace

CVLXmlNamedNodeMap::CVLXmlNamedNodeMap(bool bOwnsNodes) : CVLXmlNodeList(bOwnsNodes)
{
}

CVLXmlNamedNodeMap::~CVLXmlNamedNodeMap()
{
    m_pNames.reset();
    ClearNodes();
}

void CVLXmlNamedNodeMap::Clear()
{
    m_pNames.reset();
    for (IVLXmlNode* pNode : m_Nodes) {
        CVLXmlAttribute* pAttr = AsAttribute(pNode);
        if (pAttr != nullptr && pAttr->GetOwnerMap() == this)
            pAttr->SetOwnerMap(nullptr);
    }
    ClearNodes();
}

IVLXmlNode* CVLXmlNamedNodeMap::Append(IVLXmlNode*)
{
    return nullptr;
}

IVLXmlNode* CVLXmlNamedNodeMap::Prepend(IVLXmlNode*)
{
    return nullptr;
}

IVLXmlNode* CVLXmlNamedNodeMap::Replace(IVLXmlNode*, IVLXmlNode*)
{
    return nullptr;
}

void CVLXmlNamedNodeMap::BuildIndex()
{
    std::unique_ptr<NameIndex> pNames(new NameIndex());
    for (IVLXmlNode* pNode : m_Nodes)
        pNames->emplace(pNode->GetNodeName(), pNode);
    m_pNames = std::move(pNames);
}

IVLXmlNode* CVLXmlNamedNodeMap::FindName(const char* pName, int nLength) const
{
    if (m_pNames) {
        auto it = m_pNames->find(CVLString(pName, nLength, VL_CHARSET_UTF8));
        return it != m_pNames->end() ? it->second : nullptr;
    }
    for (IVLXmlNode* pNode : m_Nodes) {
        if (HasName(pNode, pName, nLength))
            return pNode;
    }
    return nullptr;
}

void CVLXmlNamedNodeMap::Unregister(IVLXmlNode* pNode)
{
    if (m_pNames) {
        auto it = m_pNames->find(pNode->GetNodeName());
        if (it == m_pNames->end() || it->second != pNode) {
            for (it = m_pNames->begin(); it != m_pNames->end() && it->second != pNode; ++it) {
            }
        }
        if (it != m_pNames->end())
            m_pNames->erase(it);
    }
    CVLXmlAttribute* pAttr = AsAttribute(pNode);
    if (pAttr != nullptr && pAttr->GetOwnerMap() == this)
        pAttr->SetOwnerMap(nullptr);
}

void CVLXmlNamedNodeMap::DeleteNode(IVLXmlNode* pNode)
{
    if (pNode == nullptr)
        return;
    Unregister(pNode);
    CVLXmlNodeList::DeleteNode(pNode);
}

IVLXmlNode* CVLXmlNamedNodeMap::GetNamedItem(const char* szName) const
{
    if (szName == nullptr)
        ThrowParameter(kSiteGetNamedItem);
    return FindName(szName, static_cast<int>(std::strlen(szName)));
}

IVLXmlNode* CVLXmlNamedNodeMap::RemoveNamedItem(const char* szName)
{
    IVLXmlNode* pNode = GetNamedItem(szName);
    if (pNode == nullptr)
        return nullptr;
    for (CVLXmlNodeIterator it = Begin(); !it.IsEnd(); it.Next()) {
        if (it.Get() == pNode) {
            it.Erase();
            return pNode;
        }
    }
    return nullptr;
}

IVLXmlNode* CVLXmlNamedNodeMap::SetNamedItem(IVLXmlNode* pNode)
{
    if (pNode == nullptr)
        ThrowParameter(kSiteSetNamedItem);
    CVLString strName = pNode->GetNodeName();
    return SetNamedItem(strName.GetString(), pNode);
}

IVLXmlNode* CVLXmlNamedNodeMap::SetNamedItem(const char* szName, IVLXmlNode* pNode)
{
    if (pNode == nullptr || szName == nullptr)
        ThrowParameter(kSiteSetNamedItemByName);
    const int nLength = static_cast<int>(std::strlen(szName));
    // Every node is stored under its own name.
    if (!HasName(pNode, szName, nLength))
        ThrowParameter(kSiteSetNamedItemByName);
    IVLXmlNode* pOld = FindName(szName, nLength);
    if (pOld == pNode)
        return nullptr;  // already stored under this name
    // A node that lives elsewhere (in a tree, in another map, or in this one
    // under another name) would end up with two owners.
    CVLXmlAttribute* pAttr = AsAttribute(pNode);
    if (m_bOwnsNodes) {
        if (pNode->GetParentNode() != nullptr || pNode->GetNodeType() == VLXML_NODE_DOCUMENT ||
            (pAttr != nullptr && pAttr->GetOwnerMap() != nullptr))
            ThrowParameter(kSiteSetNamedItemByName);
        if (pAttr == nullptr) {
            for (IVLXmlNode* p : m_Nodes) {
                if (p == pNode)
                    ThrowParameter(kSiteSetNamedItemByName);
            }
        }
    }
    CVLString strName(szName, nLength, VL_CHARSET_UTF8);
    if (pOld == nullptr) {
        m_Nodes.push_back(pNode);
        if (m_pNames)
            (*m_pNames)[strName] = pNode;
        else if (m_Nodes.size() >= kIndexThreshold)
            BuildIndex();
    } else {
        if (m_pNames)
            (*m_pNames)[strName] = pNode;
        CVLXmlAttribute* pOldAttr = AsAttribute(pOld);
        if (pOldAttr != nullptr && pOldAttr->GetOwnerMap() == this)
            pOldAttr->SetOwnerMap(nullptr);
        CVLXmlNodeList::Replace(pNode, pOld);
    }
    if (pAttr != nullptr && m_bOwnsNodes)
        pAttr->SetOwnerMap(this);
    return pOld;
}

void CVLXmlNamedNodeMap::AddNewAttribute(CVLXmlAttribute* pAttr)
{
    m_Nodes.push_back(pAttr);
    if (m_pNames)
        m_pNames->emplace(pAttr->GetName(), pAttr);
    else if (m_Nodes.size() >= kIndexThreshold)
        BuildIndex();
    if (m_bOwnsNodes)
        pAttr->SetOwnerMap(this);
}

void CVLXmlNamedNodeMap::RenameItem(IVLXmlNode* pNode, const char* szNewName)
{
    if (pNode == nullptr || szNewName == nullptr)
        ThrowParameter(__LINE__);
    const int nLength = static_cast<int>(std::strlen(szNewName));
    IVLXmlNode* pOther = FindName(szNewName, nLength);
    if (pOther == pNode)
        return;
    if (pOther != nullptr)
        ThrowParameter(__LINE__);
    if (m_pNames) {
        for (auto it = m_pNames->begin(); it != m_pNames->end(); ++it) {
            if (it->second == pNode) {
                m_pNames->erase(it);
                break;
            }
        }
        (*m_pNames)[CVLString(szNewName, nLength, VL_CHARSET_UTF8)] = pNode;
    }
}
