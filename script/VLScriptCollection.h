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

protected:
    CVLString m_strName;
};

#endif
