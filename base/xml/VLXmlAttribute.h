// An attribute node (type 2): a name and a value. Its parent stays null;
// the element's attribute map that stores it owns it.
#ifndef VLXMLATTRIBUTE_H
#define VLXMLATTRIBUTE_H

#include "base/xml/VLXmlNode.h"

class CVLXmlAttribute : public IVLXmlNode
{
public:
    CVLXmlAttribute();
    virtual ~CVLXmlAttribute();

    virtual int GetNodeType() const override { return VLXML_NODE_ATTRIBUTE; }
    virtual CVLString GetNodeName() const override { return m_strName; }
    virtual CVLString GetNodeValue() const override { return m_strValue; }
    virtual void SetNodeValue(const char* szValue) override;
    virtual void Delete() override;
    virtual void Clear() override;
    virtual void WriteXml(IVLStream* pStream, int nIndentLevel, bool bShallow, bool bInline) const override;
    // Renaming an attribute that a map stores moves its entry in the map.
    virtual void SetNodeName(const char* szName) override;
    virtual CVLXmlAttribute& operator=(const CVLXmlAttribute& other);
    using IVLXmlNode::operator=;

    const CVLString& GetName() const { return m_strName; }
    const CVLString& GetValue() const { return m_strValue; }
    // Fast paths for the document reader.
    void AssignName(const char* p, int nLength) { m_strName.Assign(p, nLength, VL_CHARSET_UTF8); }
    void AssignValue(const char* p, int nLength) { m_strValue.Assign(p, nLength, VL_CHARSET_UTF8); }

    // The owning attribute map that stores this node, or null.
    CVLXmlNamedNodeMap* GetOwnerMap() const { return m_pOwnerMap; }
    void SetOwnerMap(CVLXmlNamedNodeMap* pMap) { m_pOwnerMap = pMap; }

protected:
    CVLString m_strName;
    CVLString m_strValue;
    CVLXmlNamedNodeMap* m_pOwnerMap;
};

#endif
