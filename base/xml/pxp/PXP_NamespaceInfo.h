// One namespace binding in scope.
#ifndef PXP_NAMESPACEINFO_H
#define PXP_NAMESPACEINFO_H

#include "base/xml/pxp/PXP_Object.h"

#define PXP_MAX_PREFIX_LENGTH 16
#define PXP_MAX_URI_LENGTH 128

class PXP_NamespaceInfo : public PXP_Object
{
public:
    PXP_NamespaceInfo();
    virtual ~PXP_NamespaceInfo();

    const char* GetPrefix() const { return m_pPrefix; }  // null: the default namespace
    const char* GetURI() const { return m_pURI; }
    char* GetPrefixBuffer() { return m_szPrefix; }
    char* GetURIBuffer() { return m_szURI; }
    void Set(const char* pPrefix, const char* pURI)
    {
        m_pPrefix = pPrefix;
        m_pURI = pURI;
    }

private:
    const char* m_pPrefix;
    const char* m_pURI;
    char m_szPrefix[PXP_MAX_PREFIX_LENGTH + 1];
    char m_szURI[PXP_MAX_URI_LENGTH + 1];
};

#endif
