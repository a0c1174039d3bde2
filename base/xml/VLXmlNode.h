// The node interface of the XML DOM. Node types: 0 document, 1 element,
// 2 attribute, 3 text, 4 comment. An element owns its attributes and
// children, a document its tree; nodes are deleted only through Delete.
// All texts are UTF-8.
#ifndef VLXMLNODE_H
#define VLXMLNODE_H

#include "base/core/VLStream.h"
#include "base/core/VLString.h"
#include "base/core/VLTypes.h"

class CVLXmlDocument;
class CVLXmlNamedNodeMap;
class CVLXmlNodeList;

enum
{
    VLXML_NODE_DOCUMENT = 0,
    VLXML_NODE_ELEMENT = 1,
    VLXML_NODE_ATTRIBUTE = 2,
    VLXML_NODE_TEXT = 3,
    VLXML_NODE_COMMENT = 4
};

class IVLXmlNode
{
public:
    IVLXmlNode();
    virtual ~IVLXmlNode();

    virtual int GetNodeType() const = 0;
    virtual CVLString GetNodeName() const = 0;
    virtual CVLString GetLocalName() const;
    virtual CVLString GetNodeValue() const;
    virtual void SetNodeValue(const char* szValue);
    virtual IVLXmlNode* GetParentNode() const { return m_pParent; }
    virtual CVLXmlDocument* GetOwnerDocument() const { return m_pOwnerDocument; }
    virtual CVLString GetPrefix() const;
    virtual void SetPrefix(const char* szPrefix);
    virtual CVLString GetNamespaceURI() const;
    virtual const CVLXmlNamedNodeMap* GetAttributes() const { return nullptr; }
    virtual CVLXmlNamedNodeMap* GetAttributes() { return nullptr; }
    virtual CVLXmlNodeList* GetChildNodes() const { return nullptr; }
    // The child operations refuse (error 4) a null node, the node itself or
    // one of its ancestors, a node that is already in a tree or attribute map,
    // and a document.
    virtual IVLXmlNode* AppendChild(IVLXmlNode* pChild);
    virtual IVLXmlNode* PrependChild(IVLXmlNode* pChild);
    // Removes and deletes pChild; the result only tells found (non-null) from
    // not found (null).
    virtual IVLXmlNode* RemoveChild(IVLXmlNode* pChild);
    // Puts pNew at pOld's place and deletes pOld; null when pOld is not a
    // child. Replacing a node with itself changes nothing.
    virtual IVLXmlNode* ReplaceChild(IVLXmlNode* pNew, IVLXmlNode* pOld);
    virtual bool IsEqualNode(const IVLXmlNode* pOther) const;
    virtual void Delete() = 0;
    virtual void Clear() = 0;
    virtual VL_ULONG GetUserData() const { return m_nUserData; }
    virtual void SetUserData(VL_ULONG nUserData) { m_nUserData = nUserData; }
    virtual void WriteXml(IVLStream* pStream, int nIndentLevel, bool bShallow, bool bInline) const = 0;
    virtual CVLString GetXml(bool bShallow) const;
    virtual void SaveXml(IVLStream* pStream, bool bShallow) const;
    virtual void SetNodeName(const char* szName);
    virtual void SetParentNode(IVLXmlNode* pParent) { m_pParent = pParent; }
    virtual void SetOwnerDocument(CVLXmlDocument* pDocument) { m_pOwnerDocument = pDocument; }
    virtual void SplitNodeName(CVLString& strPrefix, CVLString& strLocalName) const;
    // Copies the user data only.
    virtual IVLXmlNode& operator=(const IVLXmlNode& other);

    // True when this node is pNode or lies below it.
    bool IsSelfOrDescendantOf(const IVLXmlNode* pNode) const;

protected:
    // A list that tears down a tree links the nodes still to be deleted
    // through their parent field.
    friend class CVLXmlNodeList;
    // The document reader places nodes in its arena.
    friend class CVLXmlDocument;

    IVLXmlNode(const IVLXmlNode&) = delete;
    // Throws error 4 when pChild cannot become a child of this node.
    void CheckNewChild(const IVLXmlNode* pChild, int nLine) const;

    IVLXmlNode* m_pParent;
    CVLXmlDocument* m_pOwnerDocument;
    VL_ULONG m_nUserData;
    bool m_bInArena;  // the memory belongs to the document's arena
    // An element's load line (CVLXmlElement::GetLoadLine), in the bytes the
    // flag above leaves free: a wider field would push an element past 256
    // bytes, and walking a large loaded tree is measurably slower then.
    static constexpr unsigned kLoadLineBits = 24;
    VL_ULONG m_nLoadLine : kLoadLineBits;
};

#endif
