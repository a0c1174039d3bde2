// Presents a variant held elsewhere through the object-value interface. The
// adapter never owns the variant it is attached to.
#ifndef VLVARIANTADAPTER_H
#define VLVARIANTADAPTER_H

#include "base/value/VLVariantObjectIF.h"

class CVLVariantAdapter : public IVLVariantObjectIF
{
public:
    explicit CVLVariantAdapter(CVLVariant* pVariant = nullptr);
    virtual ~CVLVariantAdapter();

    // The attached variant's type, 0 when none is attached.
    virtual int GetType() const override;
    // Assigns src to the attached variant; nothing when none is attached.
    virtual void SetValue(const CVLVariant& src) override;
    // Assigns the attached variant to out, or empties out.
    virtual void GetValue(CVLVariant& out) const override;

    CVLVariantAdapter* SetVariant(CVLVariant* pVariant);

private:
    CVLVariant* m_pVariant;
};

#endif
