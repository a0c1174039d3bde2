#include "base/xml/pxp/PXP_EntityInfo.h"

PXP_EntityInfo::PXP_EntityInfo() : m_pSaved(nullptr), m_pPrevious(nullptr), m_bInUse(0)
{
    m_szName[0] = 0;
    m_szText[0] = 0;
}

PXP_EntityInfo::~PXP_EntityInfo()
{
}
