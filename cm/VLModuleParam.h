// A named value of a module function call.
#ifndef VLMODULEPARAM_H
#define VLMODULEPARAM_H

#include "base/core/VLString.h"
#include "base/value/VLVariant.h"

class CVLModuleParam : public virtual CVLVariant
{
public:
    CVLModuleParam();
    virtual ~CVLModuleParam();

    virtual CVLString& GetName();
    virtual void SetName(const char* szName);
    // The value with its modified flag, then the name.
    virtual CVLModuleParam& operator=(const CVLModuleParam& src);

protected:
    CVLString m_strName;

private:
    CVLModuleParam(const CVLModuleParam&) = delete;
};

#endif
