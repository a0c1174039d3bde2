// The ordered children of an element or document, or a caller's result list.
// An owning list deletes every node that leaves it.
#ifndef VLXMLNODELIST_H
#define VLXMLNODELIST_H

#include "base/xml/TVLXmlNodeIterator.h"
#include "base/xml/VLXmlNodePool.h"
#include "base/xml/VLXmlNodeConstIterator.h"
#include "base/xml/VLXmlNodeIterator.h"

class IVLXmlNode;

class CVLXmlNodeList
{
public:
    explicit CVLXmlNodeList(bool bOwnsNodes);
    virtual ~CVLXmlNodeList();

    // The node at nIndex; error 2 outside the list.
    virtual IVLXmlNode* Item(int nIndex) const;
    virtual int GetLength() const;
    virtual CVLXmlNodeIterator Begin();
    virtual CVLXmlNodeConstIterator ConstBegin() const;
    virtual void Clear();
    virtual IVLXmlNode* Append(IVLXmlNode* pNode);
    virtual IVLXmlNode* Prepend(IVLXmlNode* pNode);
    virtual IVLXmlNode* Remove(IVLXmlNode* pNode);
    virtual IVLXmlNode* Replace(IVLXmlNode* pNew, IVLXmlNode* pOld);
    virtual bool IsEqual(const CVLXmlNodeList& other) const;
    virtual void DeleteNode(IVLXmlNode* pNode);
    virtual void ReleaseReplaced(IVLXmlNode* pNew, IVLXmlNode* pOld);

    bool OwnsNodes() const { return m_bOwnsNodes; }
    // The document reader's path: memory for the first links, which the
    // list never frees (see CVLXmlNodePool::AddSpare).
    void AddSpareLinks(void* p, std::size_t nBytes) noexcept { m_Pool.AddSpare(p, nBytes); }
    // True when the next node appended would take links of the pool's own.
    bool NeedsLinks() const noexcept { return m_Pool.IsExhausted(); }
    std::size_t GetSize() const noexcept { return m_Nodes.size(); }
    // The nodes in order, for the writer.
    const VLXmlNodeSequence& GetSequence() const noexcept { return m_Nodes; }
    bool IsEmpty() const { return m_Nodes.empty(); }

protected:
    CVLXmlNodeList(const CVLXmlNodeList&) = delete;
    CVLXmlNodeList& operator=(const CVLXmlNodeList&) = delete;
    // Clear without virtual dispatch, for the destructors.
    void ClearNodes();

    bool m_bOwnsNodes;
    CVLXmlNodePool m_Pool;  // before m_Nodes: outlives it
    VLXmlNodeSequence m_Nodes;
};

#endif
