#include "base/xml/VLXmlNodeIterator.h"

#include "base/xml/VLXmlNodeList.h"

CVLXmlNodeIterator::CVLXmlNodeIterator() : m_pList(nullptr)
{
}

CVLXmlNodeIterator::CVLXmlNodeIterator(VLXmlNodeSequence* pSequence, CVLXmlNodeList* pList)
    : TVLXmlNodeIterator<VLXmlNodeSequence, VLXmlNodeSequence::iterator>(pSequence), m_pList(pList)
{
}

CVLXmlNodeIterator::~CVLXmlNodeIterator()
{
}

void CVLXmlNodeIterator::Erase()
{
    if (IsEnd())
        return;
    IVLXmlNode* pNode = *m_Position;
    m_Position = m_pSequence->erase(m_Position);
    if (m_pList != nullptr)
        m_pList->DeleteNode(pNode);
}

void CVLXmlNodeIterator::Insert(IVLXmlNode* pNode)
{
    // A null entry would be dereferenced by every later walk of the list.
    if (m_pSequence == nullptr || pNode == nullptr)
        return;
    m_Position = m_pSequence->insert(m_Position, pNode);
}
