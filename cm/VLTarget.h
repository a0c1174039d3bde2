// One device as the module framework sees it: its property tree and the
// module instances running on it.
#ifndef VLTARGET_H
#define VLTARGET_H

#include <list>

#include "cm/VLApiObject.h"
#include "base/core/VLString.h"
#include "base/core/VLTypes.h"
#include "base/thread/VLLockableObject.h"

class CVLModuleInstance;
class CVLProperty;

class CVLTarget : public CVLLockableObject, public CVLApiObject
{
public:
    CVLTarget();
    explicit CVLTarget(CVLCMApi* pApi);
    virtual ~CVLTarget();

    // The root property, made on first use; never null.
    virtual CVLProperty* GetProperties();
    virtual CVLString GetPropertiesText(VL_CONST_STR szHeader);
    virtual void AddInstance(CVLModuleInstance* pInstance);
    virtual void RemoveInstance(CVLModuleInstance* pInstance);
    int GetInstanceCount();

private:
    CVLTarget(const CVLTarget&) = delete;
    CVLTarget& operator=(const CVLTarget&) = delete;

    std::list<CVLModuleInstance*> m_InstanceList;
    CVLProperty* m_pProperties;
};

#endif
