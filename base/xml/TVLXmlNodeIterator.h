// Iterator over the node sequence of a node list, over a constant or a
// mutable sequence. A null sequence gives an iterator that is always at its end.
#ifndef TVLXMLNODEITERATOR_H
#define TVLXMLNODEITERATOR_H

#include <list>

#include "base/xml/TVLXmlNodeAllocator.h"

class IVLXmlNode;

typedef std::list<IVLXmlNode*, TVLXmlNodeAllocator<IVLXmlNode*>> VLXmlNodeSequence;

template <class TSequence, class TPosition>
class TVLXmlNodeIterator
{
public:
    TVLXmlNodeIterator() : m_pSequence(nullptr) {}
    explicit TVLXmlNodeIterator(TSequence* pSequence)
        : m_pSequence(pSequence)
    {
        if (m_pSequence != nullptr)
            m_Position = m_pSequence->begin();
    }
    virtual ~TVLXmlNodeIterator() {}

    virtual bool IsEnd() const { return m_pSequence == nullptr || m_Position == m_pSequence->end(); }
    virtual void Next()
    {
        if (!IsEnd())
            ++m_Position;
    }
    virtual IVLXmlNode* Get() const { return IsEnd() ? nullptr : *m_Position; }

protected:
    TSequence* m_pSequence;
    TPosition m_Position;
};

#endif
