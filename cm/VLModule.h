// A plug-in of the module framework: it carries out one kind of function
// definition. Registered with the module controller under a name, it is
// initialized when a definition first names it, makes one implementation
// object per module instance and is terminated with the framework.
#ifndef VLMODULE_H
#define VLMODULE_H

#include <set>
#include <string>
#include <vector>

#include "base/core/VLString.h"
#include "base/core/VLTypes.h"
#include "cm/VLPacketListRequests.h"

class CVLModInstanceInfo;
class CVLModuleController;
class CVLModuleInstance;
class CVLModuleParamCollection;
class IVLModInstanceIF;

class CVLModule
{
public:
    CVLModule();
    virtual ~CVLModule();

    virtual void SetModuleName(VL_CONST_STR szModuleName);
    virtual CVLString GetModuleName();
    // Runs onInitialize once; a failure leaves the module uninitialized.
    virtual void Initialize(CVLModuleParamCollection* pParams);
    // Runs onTerminate whether or not the module was initialized.
    virtual void Terminate(CVLModuleParamCollection* pParams);
    // A new implementation object, owned by the caller until DestroyInstance.
    virtual IVLModInstanceIF* CreateInstance(CVLModInstanceInfo* pInstanceInfo, CVLModuleParamCollection* pParams);
    virtual void DestroyInstance(IVLModInstanceIF* pInstanceIF, CVLModuleInstance* pInstance,
                                 CVLModuleParamCollection* pParams);
    virtual int GetPacketCount(VL_CONST_STR szName);
    virtual bool IsInit();

protected:
    virtual void onInitialize(CVLModuleParamCollection* pParams);
    virtual void onTerminate(CVLModuleParamCollection* pParams);
    virtual IVLModInstanceIF* onNew() = 0;
    virtual void onDelete(IVLModInstanceIF* pInstanceIF) = 0;

public:
    // Declared after the operations above, which keep their slots in the
    // virtual table.
    // Adds the names of the packet lists the module runs (none by default).
    virtual void AddPacketListNames(std::set<std::string>& names);
    // Adds what an instance of the definition pInfo runs when it is asked
    // to run the packet list szName: the name of the list it actually runs
    // (its constants may add to the name), whether the definitions lack it,
    // and each request of it that it can build. Nothing by default.
    virtual void AddPacketListRequests(CVLModuleController* pController, const CVLModInstanceInfo* pInfo,
                                       VL_CONST_STR szName, SVLPacketListRequests& list);

protected:
    bool m_bInit;
    CVLString m_strModuleName;

private:
    CVLModule(const CVLModule&) = delete;
    CVLModule& operator=(const CVLModule&) = delete;
};

#endif
