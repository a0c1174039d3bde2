#include "base/xml/pxp/PXP_NamespaceInfo.h"

PXP_NamespaceInfo::PXP_NamespaceInfo() : m_pPrefix(nullptr), m_pURI(nullptr)
{
    m_szPrefix[0] = 0;
    m_szURI[0] = 0;
}

PXP_NamespaceInfo::~PXP_NamespaceInfo()
{
}
