// The compiled scripts of one set of definitions, filed by name in insertion
// order. The collection owns its scripts.
#ifndef VLSCRIPTCOLLECTION_H
#define VLSCRIPTCOLLECTION_H

#include "base/core/TVLStringKeyCollection.h"
#include "script/VLScript.h"

typedef TVLObjectListIterator<CVLScript> CVLScriptIterator;
typedef TVLObjectListConstIterator<CVLScript> CVLScriptConstIterator;

class CVLScriptCollection
    : public TVLStringKeyCollection<CVLScript, CVLScriptIterator, CVLScriptConstIterator, CVLString, const char*>
{
public:
    typedef TVLStringKeyCollection<CVLScript, CVLScriptIterator, CVLScriptConstIterator, CVLString, const char*>
        Base;
    using Base::Add;
    using Base::operator=;

    CVLScriptCollection();
    virtual ~CVLScriptCollection();

    // Files p under the key, replacing what the key named. A script that is
    // filed already is not listed a second time.
    virtual CVLScript* Add(const char* szKey, CVLScript* p) override;
    virtual void DeleteElement(CVLScript* p) override;
    virtual CVLScript* CreateElement(const char* szKey) override;

    virtual CVLString& GetName();
    virtual void SetName(const char* szName);

    // A number that no other collection and no other state of this one
    // has: it changes whenever a script is filed, created or deleted, so
    // that a run may keep what a name found while it stays the same.
    VL_ULONGLONG GetStamp() const { return m_nStamp; }

protected:
    void Touch();

    CVLString m_strName;
    VL_ULONGLONG m_nStamp;
};

#endif
