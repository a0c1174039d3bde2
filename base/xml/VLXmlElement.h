// An element node (type 1): a tag name, attributes in the order in which
// they were first set, and children. It owns both.
#ifndef VLXMLELEMENT_H
#define VLXMLELEMENT_H

#include "base/xml/VLXmlNamedNodeMap.h"
#include "base/xml/VLXmlNode.h"
#include "base/xml/VLXmlNodeList.h"

class CVLXmlElement : public IVLXmlNode
{
public:
    CVLXmlElement();
    virtual ~CVLXmlElement();

    virtual int GetNodeType() const override { return VLXML_NODE_ELEMENT; }
    virtual CVLString GetNodeName() const override { return m_strTagName; }
    virtual void SetNodeName(const char* szName) override;
    virtual const CVLXmlNamedNodeMap* GetAttributes() const override { return &m_Attributes; }
    virtual CVLXmlNamedNodeMap* GetAttributes() override { return &m_Attributes; }
    virtual CVLXmlNodeList* GetChildNodes() const override { return const_cast<CVLXmlNodeList*>(&m_Children); }
    virtual void Clear() override;
    virtual void Delete() override;
    virtual void WriteXml(IVLStream* pStream, int nIndentLevel, bool bShallow, bool bInline) const override;

    virtual void SetTagName(const char* szName);
    // Copies user data, tag name, attributes and a deep copy of the children;
    // assigning an element to itself changes nothing.
    virtual CVLXmlElement& operator=(const CVLXmlElement& src);
    using IVLXmlNode::operator=;
    virtual void CopyChildren(const CVLXmlElement& src, bool bClear);
    virtual void Merge(const CVLXmlElement* pSrc, const char* szKeyAttribute);
    virtual void RemoveElementsByAttribute(const char* szAttrName, const char* szValue, int nCompare);
    virtual CVLString GetTagName() const { return m_strTagName; }
    virtual CVLString GetAttribute(const char* szName) const;
    virtual VL_LONG GetAttributeLong(const char* szName, VL_LONG nDefault) const;
    virtual bool GetAttributeBool(const char* szName, bool bDefault) const;
    virtual IVLXmlNode* GetAttributeNode(const char* szName) const;
    virtual IVLXmlNode* RemoveAttribute(const char* szName);
    virtual void SetAttribute(const char* szName, const char* szValue);
    virtual IVLXmlNode* SetAttributeNode(IVLXmlNode* pAttr);
    virtual void GetElementsByTagName(const char* szName, CVLXmlNodeList* pResult) const;
    virtual CVLXmlElement* FindChildElement(const char* szName) const;
    virtual CVLXmlElement* GetElementByPath(const char* szPath, bool bCreate);
    virtual CVLXmlElement* FindChildElementByAttribute(const char* szName, const char* szAttrName,
                                                       const char* szAttrValue) const;
    virtual IVLXmlNode* GetFirstTextNode() const;
    virtual CVLString GetText() const;
    virtual void SetText(const char* szText);
    // Writes the element; with bEscape the five special characters are
    // escaped for this call. An operation of its own, apart from the node's
    // SaveXml(pStream, bShallow): with the same name and parameters it would
    // override that one, and a caller holding an IVLXmlNode* asking for the
    // shallow form would get the whole escaped element.
    virtual void SaveElementXml(IVLStream* pStream, bool bEscape) const;

    const CVLString& GetTagNameRef() const { return m_strTagName; }
    void AssignTagName(const char* p, int nLength) { m_strTagName.Assign(p, nLength, VL_CHARSET_UTF8); }
    // The line (from 1) its start tag ends on in the text it was loaded
    // from, for messages about it; 0 for an element built in memory. It is
    // kept in 24 bits: a line past kMaxLoadLine reads as kMaxLoadLine, so a
    // message showing kMaxLoadLine must say "or later" unless its text
    // cannot be that long.
    static constexpr VL_ULONG kMaxLoadLine = (VL_ULONG(1) << kLoadLineBits) - 1;
    VL_ULONG GetLoadLine() const { return m_nLoadLine; }
    void SetLoadLine(VL_ULONG nLine) { m_nLoadLine = nLine < kMaxLoadLine ? nLine : kMaxLoadLine; }

protected:
    friend class CVLXmlWriter;  // writes the tree as WriteXml does, without the calls
    // The start tag with the attributes (true when children follow: bText then
    // tells whether they are written inline), and the end tag.
    bool WriteStart(IVLStream* pStream, int nIndentLevel, bool bShallow, bool bInline, bool& bText) const;
    void WriteEnd(IVLStream* pStream, int nIndentLevel, bool bInline, bool bText) const;

    CVLString m_strTagName;
    CVLXmlNamedNodeMap m_Attributes;
    CVLXmlNodeList m_Children;
};

#endif
