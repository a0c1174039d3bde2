// The attributes of an element: an ordered node list with an index by name.
// The order is the one in which names were first set; lookups are exact.
#ifndef VLXMLNAMEDNODEMAP_H
#define VLXMLNAMEDNODEMAP_H

#include <map>
#include <memory>

#include "base/core/VLString.h"
#include "base/xml/VLXmlNodeList.h"

class CVLXmlAttribute;

class CVLXmlNamedNodeMap : public CVLXmlNodeList
{
public:
    explicit CVLXmlNamedNodeMap(bool bOwnsNodes);
    virtual ~CVLXmlNamedNodeMap();

    virtual void Clear() override;
    // Nodes enter a map only through SetNamedItem: these return null.
    virtual IVLXmlNode* Append(IVLXmlNode* pNode) override;
    virtual IVLXmlNode* Prepend(IVLXmlNode* pNode) override;
    virtual IVLXmlNode* Replace(IVLXmlNode* pNew, IVLXmlNode* pOld) override;
    virtual void DeleteNode(IVLXmlNode* pNode) override;

    virtual IVLXmlNode* GetNamedItem(const char* szName) const;
    virtual IVLXmlNode* RemoveNamedItem(const char* szName);
    virtual IVLXmlNode* SetNamedItem(IVLXmlNode* pNode);
    // Stores pNode under szName, which must be its node name (else error 4).
    // A node stored before under that name is
    // replaced in place (and deleted when the map owns its nodes); the result
    // then only tells that a node was replaced. Storing the node that is
    // already stored under the name changes nothing and returns null.
    virtual IVLXmlNode* SetNamedItem(const char* szName, IVLXmlNode* pNode);

    // Moves the entry of a stored node to its new name; error 4 when another
    // node is stored under that name.
    void RenameItem(IVLXmlNode* pNode, const char* szNewName);
    // The document reader's path: stores a new attribute whose name is not
    // stored yet.
    void AddNewAttribute(CVLXmlAttribute* pAttr);
    IVLXmlNode* FindName(const char* pName, int nLength) const;

private:
    void Unregister(IVLXmlNode* pNode);
    void BuildIndex();

    // Small maps are searched along the sequence; from kIndexThreshold nodes
    // on, the index by name is kept.
    static const size_t kIndexThreshold = 16;
    // The index, made only once a map is large (most maps never have one).
    typedef std::map<CVLString, IVLXmlNode*> NameIndex;
    std::unique_ptr<NameIndex> m_pNames;
};

#endif
