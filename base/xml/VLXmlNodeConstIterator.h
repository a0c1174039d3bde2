// Reads the nodes of a node list in order.
#ifndef VLXMLNODECONSTITERATOR_H
#define VLXMLNODECONSTITERATOR_H

#include "base/xml/TVLXmlNodeIterator.h"

class CVLXmlNodeConstIterator
    : public TVLXmlNodeIterator<const VLXmlNodeSequence, VLXmlNodeSequence::const_iterator>
{
public:
    CVLXmlNodeConstIterator();
    explicit CVLXmlNodeConstIterator(const VLXmlNodeSequence* pSequence);
    virtual ~CVLXmlNodeConstIterator();
};

#endif
