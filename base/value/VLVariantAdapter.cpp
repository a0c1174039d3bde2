#include "base/value/VLVariantAdapter.h"

#include "base/value/VLVariant.h"

CVLVariantAdapter::CVLVariantAdapter(CVLVariant* pVariant) : m_pVariant(pVariant)
{
}

CVLVariantAdapter::~CVLVariantAdapter()
{
}

int CVLVariantAdapter::GetType() const
{
    return m_pVariant != nullptr ? m_pVariant->GetType() : 0;
}

void CVLVariantAdapter::SetValue(const CVLVariant& src)
{
    if (m_pVariant != nullptr)
        *m_pVariant = src;
}

void CVLVariantAdapter::GetValue(CVLVariant& out) const
{
    if (m_pVariant != nullptr)
        out = *m_pVariant;
    else
        out.SetType(0);
}

CVLVariantAdapter* CVLVariantAdapter::SetVariant(CVLVariant* pVariant)
{
    m_pVariant = pVariant;
    return this;
}
