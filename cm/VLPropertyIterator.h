// Iterators over the children of a property, in creation order.
#ifndef VLPROPERTYITERATOR_H
#define VLPROPERTYITERATOR_H

#include "base/core/TVLObjectList.h"

class CVLProperty;

class CVLPropertyIterator : public TVLObjectListIterator<CVLProperty>
{
public:
    using TVLObjectListIterator<CVLProperty>::TVLObjectListIterator;
};

class CVLPropertyConstIterator : public TVLObjectListConstIterator<CVLProperty>
{
public:
    using TVLObjectListConstIterator<CVLProperty>::TVLObjectListConstIterator;
};

#endif
