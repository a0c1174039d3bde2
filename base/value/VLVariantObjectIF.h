// The interface of a value that lives in another object. A variant of the
// object type reads and writes its value through it without owning it.
#ifndef VLVARIANTOBJECTIF_H
#define VLVARIANTOBJECTIF_H

class CVLVariant;

class IVLVariantObjectIF
{
public:
    virtual ~IVLVariantObjectIF() {}

    // The type number of the value held.
    virtual int GetType() const = 0;
    // Stores src as the value.
    virtual void SetValue(const CVLVariant& src) = 0;
    // Writes the value into out.
    virtual void GetValue(CVLVariant& out) const = 0;
};

#endif
