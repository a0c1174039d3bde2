#include "base/xml/pxp/PXP_ElementInfo.h"

#include <cstring>

PXP_ElementInfo::PXP_ElementInfo() : m_nDeclared(0), m_pNamespace(nullptr), m_pEntity(nullptr), m_nLine(0)
{
    m_szName[0] = 0;
}

PXP_ElementInfo::PXP_ElementInfo(const PXP_ElementInfo& other)
    : PXP_Object(), m_nDeclared(other.m_nDeclared), m_pNamespace(other.m_pNamespace), m_pEntity(other.m_pEntity),
      m_nLine(other.m_nLine)
{
    std::memcpy(m_szName, other.m_szName, sizeof(m_szName));
}

PXP_ElementInfo::~PXP_ElementInfo()
{
}
