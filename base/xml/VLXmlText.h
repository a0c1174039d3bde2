// A text node (type 3).
#ifndef VLXMLTEXT_H
#define VLXMLTEXT_H

#include "base/xml/VLXmlCharacterData.h"

class CVLXmlText : public CVLXmlCharacterData
{
public:
    CVLXmlText();
    virtual ~CVLXmlText();

    virtual int GetNodeType() const override { return VLXML_NODE_TEXT; }
    virtual CVLString GetNodeName() const override { return CVLString("#text", VL_CHARSET_UTF8); }
    virtual void Delete() override;
    virtual void WriteXml(IVLStream* pStream, int nIndentLevel, bool bShallow, bool bInline) const override;
    virtual CVLXmlText& operator=(const CVLXmlText& other);
    using IVLXmlNode::operator=;
};

#endif
