#include "base/xml/VLXmlNodeConstIterator.h"

CVLXmlNodeConstIterator::CVLXmlNodeConstIterator()
{
}

CVLXmlNodeConstIterator::CVLXmlNodeConstIterator(const VLXmlNodeSequence* pSequence)
    : TVLXmlNodeIterator<const VLXmlNodeSequence, VLXmlNodeSequence::const_iterator>(pSequence)
{
}

CVLXmlNodeConstIterator::~CVLXmlNodeConstIterator()
{
}
