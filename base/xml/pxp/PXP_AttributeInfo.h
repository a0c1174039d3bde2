// One attribute of the current start tag.
#ifndef PXP_ATTRIBUTEINFO_H
#define PXP_ATTRIBUTEINFO_H

#include "base/xml/pxp/PXP_NamespaceInfo.h"
#include "base/xml/pxp/PXP_Object.h"

class PXP_AttributeInfo : public PXP_Object
{
public:
    PXP_AttributeInfo();
    PXP_AttributeInfo(const PXP_AttributeInfo& other);
    PXP_AttributeInfo& operator=(const PXP_AttributeInfo& other) = default;
    virtual ~PXP_AttributeInfo();

    void Set(char* pName, char* pValue, char bPrefixed, PXP_NamespaceInfo* pNamespace)
    {
        m_pName = pName;
        m_pValue = pValue;
        m_bPrefixed = bPrefixed;
        m_pNamespace = pNamespace;
    }
    void SetName(char* pName) { m_pName = pName; }
    void SetNamespace(PXP_NamespaceInfo* pNamespace) { m_pNamespace = pNamespace; }
    char* GetName() const { return m_pName; }
    char* GetValue() const { return m_pValue; }
    PXP_NamespaceInfo* GetNamespace() const { return m_pNamespace; }
    char IsPrefixed() const { return m_bPrefixed; }
    // Bytes of the value before its NUL.
    unsigned int GetValueLength() const { return m_nValueLength; }
    void SetValueLength(unsigned int n) { m_nValueLength = n; }

private:
    char* m_pName;
    char* m_pValue;
    char m_bPrefixed;
    PXP_NamespaceInfo* m_pNamespace;
    unsigned int m_nValueLength;
};

#endif
