#include "base/xml/VLXmlNodeList.h"

#include "base/xml/VLXmlException.h"
#include "base/xml/VLXmlNodeArena.h"
#include "base/xml/VLXmlNode.h"

// Throw-site codes: fixed numbers that identify each site in traces and
// results; they are not line numbers and never change.
const int kSiteItem = 47;
const int kSiteAppend = 117;
const int kSitePrepend = 129;
const int kSiteRemove = 141;
const int kSiteReplace = 161;

CVLXmlNodeList::CVLXmlNodeList(bool bOwnsNodes)
    : m_bOwnsNodes(bOwnsNodes), m_Nodes(TVLXmlNodeAllocator<IVLXmlNode*>(&m_Pool))
{
}

CVLXmlNodeList::~CVLXmlNodeList()
{
    ClearNodes();
}

namespace {

// The nodes that the teardown running on this thread has still to delete,
// linked through their parent field; null when no teardown runs.
thread_local IVLXmlNode* t_pDoomed = nullptr;
thread_local bool t_bTearingDown = false;

}  // namespace

void CVLXmlNodeList::ClearNodes()
{
    // Detach the nodes first: a node's destructor never sees a half-cleared list.
    VLXmlNodeSequence nodes{TVLXmlNodeAllocator<IVLXmlNode*>(&m_Pool)};
    nodes.swap(m_Nodes);
    if (m_bOwnsNodes && !nodes.empty()) {
        // Deleting a node clears its own lists: rather than recursing (which a
        // deep enough tree turns into a stack overflow), the nodes are handed
        // to the outermost teardown on this thread, which deletes them one by one.
        const bool bSweeping = CVLXmlNodeArena::IsSweeping();
        for (IVLXmlNode* pNode : nodes) {
            if (pNode == nullptr || (bSweeping && (CVLXmlNodeArena::IsDead(pNode) || pNode->m_bInArena)))
                continue;  // the arena's pass deletes it, or has done so
            pNode->m_pParent = t_pDoomed;
            t_pDoomed = pNode;
        }
        if (!t_bTearingDown) {
            t_bTearingDown = true;
            while (t_pDoomed != nullptr) {
                IVLXmlNode* pNode = t_pDoomed;
                t_pDoomed = pNode->m_pParent;
                pNode->m_pParent = nullptr;
                pNode->Delete();
            }
            t_bTearingDown = false;
        }
    }
    nodes.clear();
    if (m_Nodes.empty())
        m_Pool.Reset();  // no link is in use any more
}

IVLXmlNode* CVLXmlNodeList::Item(int nIndex) const
{
    if (nIndex >= 0) {
        int i = 0;
        for (IVLXmlNode* pNode : m_Nodes) {
            if (i++ == nIndex)
                return pNode;
        }
    }
    throw new EVLXmlException(VLSTD_MODULE, "VLXmlNodeList", kSiteItem, VLXML_ERROR_INDEX, 0, nullptr, nullptr);
}

int CVLXmlNodeList::GetLength() const
{
    return static_cast<int>(m_Nodes.size());
}

CVLXmlNodeIterator CVLXmlNodeList::Begin()
{
    return CVLXmlNodeIterator(&m_Nodes, this);
}

CVLXmlNodeConstIterator CVLXmlNodeList::ConstBegin() const
{
    return CVLXmlNodeConstIterator(&m_Nodes);
}

void CVLXmlNodeList::Clear()
{
    ClearNodes();
}

IVLXmlNode* CVLXmlNodeList::Append(IVLXmlNode* pNode)
{
    if (pNode == nullptr)
        throw new EVLXmlException(VLSTD_MODULE, "VLXmlNodeList", kSiteAppend, VLXML_ERROR_PARAMETER, 0, nullptr,
                                  nullptr);
    m_Nodes.push_back(pNode);
    return pNode;
}

IVLXmlNode* CVLXmlNodeList::Prepend(IVLXmlNode* pNode)
{
    if (pNode == nullptr)
        throw new EVLXmlException(VLSTD_MODULE, "VLXmlNodeList", kSitePrepend, VLXML_ERROR_PARAMETER, 0, nullptr,
                                  nullptr);
    m_Nodes.push_front(pNode);
    return pNode;
}

IVLXmlNode* CVLXmlNodeList::Remove(IVLXmlNode* pNode)
{
    if (pNode == nullptr)
        throw new EVLXmlException(VLSTD_MODULE, "VLXmlNodeList", kSiteRemove, VLXML_ERROR_PARAMETER, 0, nullptr,
                                  nullptr);
    for (CVLXmlNodeIterator it = Begin(); !it.IsEnd(); it.Next()) {
        if (it.Get() == pNode) {
            it.Erase();
            return pNode;
        }
    }
    return nullptr;
}

IVLXmlNode* CVLXmlNodeList::Replace(IVLXmlNode* pNew, IVLXmlNode* pOld)
{
    if (pNew == nullptr || pOld == nullptr)
        throw new EVLXmlException(VLSTD_MODULE, "VLXmlNodeList", kSiteReplace, VLXML_ERROR_PARAMETER, 0, nullptr,
                                  nullptr);
    for (auto it = m_Nodes.begin(); it != m_Nodes.end(); ++it) {
        if (*it == pOld) {
            if (pNew == pOld)
                return pOld;  // nothing to release
            *it = pNew;
            ReleaseReplaced(pNew, pOld);
            return pOld;
        }
    }
    return nullptr;
}

bool CVLXmlNodeList::IsEqual(const CVLXmlNodeList& other) const
{
    if (m_Nodes.size() != other.m_Nodes.size())
        return false;
    auto itB = other.m_Nodes.begin();
    for (auto itA = m_Nodes.begin(); itA != m_Nodes.end(); ++itA, ++itB) {
        if (!(*itA)->IsEqualNode(*itB))
            return false;
    }
    return true;
}

void CVLXmlNodeList::DeleteNode(IVLXmlNode* pNode)
{
    if (m_bOwnsNodes && pNode != nullptr)
        pNode->Delete();
}

void CVLXmlNodeList::ReleaseReplaced(IVLXmlNode*, IVLXmlNode* pOld)
{
    if (m_bOwnsNodes && pOld != nullptr)
        pOld->Delete();
}
