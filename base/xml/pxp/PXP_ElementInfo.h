// One open element on the parser's element stack.
#ifndef PXP_ELEMENTINFO_H
#define PXP_ELEMENTINFO_H

#include <cstdint>

#include "base/xml/pxp/PXP_EntityInfo.h"
#include "base/xml/pxp/PXP_NamespaceInfo.h"
#include "base/xml/pxp/PXP_Object.h"

#define PXP_MAX_NAME_LENGTH 32

class PXP_ElementInfo : public PXP_Object
{
public:
    PXP_ElementInfo();
    PXP_ElementInfo(const PXP_ElementInfo& other);
    PXP_ElementInfo& operator=(const PXP_ElementInfo& other) = default;
    virtual ~PXP_ElementInfo();

    char* GetNameBuffer() { return m_szName; }
    const char* GetName() const { return m_szName; }
    void Set(PXP_NamespaceInfo* pNamespace, int32_t nDeclared, PXP_EntityInfo* pEntity)
    {
        m_pNamespace = pNamespace;
        m_nDeclared = nDeclared;
        m_pEntity = pEntity;
    }
    PXP_NamespaceInfo* GetNamespace() const { return m_pNamespace; }
    int32_t GetDeclaredCount() const { return m_nDeclared; }
    PXP_EntityInfo* GetEntity() const { return m_pEntity; }
    const char* GetPrefix() const { return m_pNamespace != nullptr ? m_pNamespace->GetPrefix() : nullptr; }
    // The line of its start tag, for an error that names the element.
    uint32_t GetLine() const { return m_nLine; }
    void SetLine(uint32_t nLine) { m_nLine = nLine; }

private:
    char m_szName[PXP_MAX_NAME_LENGTH + 1];
    int32_t m_nDeclared;
    PXP_NamespaceInfo* m_pNamespace;
    PXP_EntityInfo* m_pEntity;
    uint32_t m_nLine;
};

#endif
