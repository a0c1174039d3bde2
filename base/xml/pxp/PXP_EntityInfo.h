// One entry of the entity table and, while it is expanded, of the entity
// stack. Nothing adds entries yet: a DOCTYPE's internal subset is skipped.
#ifndef PXP_ENTITYINFO_H
#define PXP_ENTITYINFO_H

#include "base/xml/pxp/PXP_Object.h"

#define PXP_MAX_ENTITY_NAME_LENGTH 32
#define PXP_MAX_ENTITY_TEXT_LENGTH 256

class PXP_EntityInfo : public PXP_Object
{
public:
    PXP_EntityInfo();
    virtual ~PXP_EntityInfo();

    char* GetName() { return m_szName; }
    char* GetText() { return m_szText; }
    // Returns the saved position and clears it.
    unsigned char* TakeSavedPosition()
    {
        unsigned char* p = m_pSaved;
        m_pSaved = nullptr;
        return p;
    }
    void SetSavedPosition(unsigned char* p) { m_pSaved = p; }
    PXP_EntityInfo* GetPrevious() const { return m_pPrevious; }
    void SetPrevious(PXP_EntityInfo* p) { m_pPrevious = p; }
    char IsInUse() const { return m_bInUse; }
    void SetInUse(char b) { m_bInUse = b; }

private:
    char m_szName[PXP_MAX_ENTITY_NAME_LENGTH + 1];
    char m_szText[PXP_MAX_ENTITY_TEXT_LENGTH + 1];
    unsigned char* m_pSaved;
    PXP_EntityInfo* m_pPrevious;
    char m_bInUse;
};

#endif
