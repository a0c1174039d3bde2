// A comment node (type 4).
#ifndef VLXMLCOMMENT_H
#define VLXMLCOMMENT_H

#include "base/xml/VLXmlCharacterData.h"

class CVLXmlComment : public CVLXmlCharacterData
{
public:
    CVLXmlComment();
    virtual ~CVLXmlComment();

    virtual int GetNodeType() const override { return VLXML_NODE_COMMENT; }
    virtual CVLString GetNodeName() const override { return CVLString("#comment", VL_CHARSET_UTF8); }
    virtual void Delete() override;
    virtual void WriteXml(IVLStream* pStream, int nIndentLevel, bool bShallow, bool bInline) const override;
    virtual CVLXmlComment& operator=(const CVLXmlComment& other);
    using IVLXmlNode::operator=;
};

#endif
