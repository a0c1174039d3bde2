#include "base/xml/pxp/PXP_AttributeInfo.h"

PXP_AttributeInfo::PXP_AttributeInfo()
    : m_pName(nullptr), m_pValue(nullptr), m_bPrefixed(0), m_pNamespace(nullptr), m_nValueLength(0)
{
}

PXP_AttributeInfo::PXP_AttributeInfo(const PXP_AttributeInfo& other)
    : PXP_Object()
    , m_pName(other.m_pName)
    , m_pValue(other.m_pValue)
    , m_bPrefixed(other.m_bPrefixed)
    , m_pNamespace(other.m_pNamespace)
    , m_nValueLength(other.m_nValueLength)
{
}

PXP_AttributeInfo::~PXP_AttributeInfo()
{
}
