// The common part of text and comment nodes: their data.
#ifndef VLXMLCHARACTERDATA_H
#define VLXMLCHARACTERDATA_H

#include "base/xml/VLXmlNode.h"

class CVLXmlCharacterData : public IVLXmlNode
{
public:
    CVLXmlCharacterData();
    virtual ~CVLXmlCharacterData();

    virtual CVLString GetNodeValue() const override { return m_strData; }
    virtual void SetNodeValue(const char* szValue) override;
    virtual void Clear() override;

    const CVLString& GetData() const { return m_strData; }
    void AssignData(const char* p, int nLength) { m_strData.Assign(p, nLength, VL_CHARSET_UTF8); }

protected:
    CVLString m_strData;
};

#endif
