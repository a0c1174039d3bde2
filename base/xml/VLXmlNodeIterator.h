// Walks the nodes of a node list and can remove and insert at its position.
#ifndef VLXMLNODEITERATOR_H
#define VLXMLNODEITERATOR_H

#include "base/xml/TVLXmlNodeIterator.h"

class CVLXmlNodeList;

class CVLXmlNodeIterator : public TVLXmlNodeIterator<VLXmlNodeSequence, VLXmlNodeSequence::iterator>
{
public:
    CVLXmlNodeIterator();
    CVLXmlNodeIterator(VLXmlNodeSequence* pSequence, CVLXmlNodeList* pList);
    virtual ~CVLXmlNodeIterator();

    // Disposes of the current node through the owning list (which deletes it
    // when it owns its nodes) and stands on the following node.
    virtual void Erase();
    // Inserts pNode before the current position and stands on it; a null
    // node is not inserted.
    virtual void Insert(IVLXmlNode* pNode);

protected:
    CVLXmlNodeList* m_pList;
};

#endif
