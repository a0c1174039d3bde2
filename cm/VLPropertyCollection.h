// The children of one property node: found by name, kept in the order they
// were added. Elements are made and destroyed through the module controller's
// property hooks, so the embedding layer's node class is used throughout.
// The destructor frees only the list and the map: whoever destroys a
// collection removes its elements first (the controller's deletion does).
#ifndef VLPROPERTYCOLLECTION_H
#define VLPROPERTYCOLLECTION_H

#include "base/core/TVLStringKeyCollection.h"
#include "cm/VLApiObject.h"
#include "cm/VLProperty.h"
#include "cm/VLPropertyIterator.h"

class CVLPropertyCollection
    : public CVLApiObject,
      public TVLStringKeyCollection<CVLProperty, CVLPropertyIterator, CVLPropertyConstIterator, CVLString, const char*>
{
public:
    typedef TVLStringKeyCollection<CVLProperty, CVLPropertyIterator, CVLPropertyConstIterator, CVLString,
                                   const char*>
        Base;
    using Base::Add;
    using Base::Copy;
    using Base::operator=;

    CVLPropertyCollection(CVLCMApi* pApi, CVLProperty* pOwner);
    virtual ~CVLPropertyCollection();

    // Hands the collection to the module controller for deletion.
    virtual void Destroy();
    // A new, unfiled child of the owner named szName. A name holding "." or a
    // child beyond the depth limit is refused (EVLInvalidParamException).
    virtual CVLProperty* Create(const char* szName);
    // A new child of the owner named szName, filed at nPosition of the order
    // (at the end when beyond it). A taken or empty name is refused
    // (EVLInvalidParamException), as Create refuses its names.
    CVLProperty* Insert(int nPosition, const char* szName);
    // Destroys the element through its own Destroy.
    virtual void Delete(CVLProperty* pProperty);
    virtual void OnDelete();

    // The element filed under the key made a copy of pValue; a new element
    // is returned unfiled.
    virtual CVLProperty* SetAt(const char* szKey, const CVLProperty* pValue);
    // RemoveAll, then Copy.
    virtual void Assign(const CVLPropertyCollection& src);
    // Merges src's entries in: known keys are updated in place, new keys are
    // appended in src's order.
    virtual void Copy(const CVLPropertyCollection& src);
    virtual CVLPropertyCollection& operator=(const CVLPropertyCollection& src);

    virtual void DeleteElement(CVLProperty* p) override;
    virtual CVLProperty* CreateElement(const char* szKey) override;

    CVLProperty* GetOwnerProperty() const { return m_pOwnerProperty; }
    // Lookup by a key of known length, without making a string of it.
    CVLProperty* FindSegment(const char* pKey, int nLength) const;

protected:
    CVLProperty* m_pOwnerProperty;

private:
    CVLPropertyCollection(const CVLPropertyCollection&) = delete;
};

#endif
