// The facade of the module framework. It embeds the module controller and
// hands every call on to it; the device manager derives its own facade from
// it and drains the callback queue through DispatchCallback.
#ifndef VLCMAPI_H
#define VLCMAPI_H

#include "base/core/VLString.h"
#include "base/core/VLTypes.h"
#include "cm/VLCallbackInfo.h"

class CVLCMApi;
class CVLCMApiConfig;
class CVLMargeConditionList;
class CVLModule;
class CVLModuleController;
class CVLModuleInstance;
class CVLModuleParamCollection;
class CVLProperty;
class CVLPropertyCollection;
class CVLSubnetInfoList;
class CVLTarget;
class CVLTargetList;
class CVLXmlDocument;
class EVLException;
class IVLCustomCallbackIF;
class IVLFunctionListener;

// Registers the modules of a program with a facade during its Initialize:
// one AddModuleStaticLibrary per module (VL_ADD_MODULE_STATIC_LIBRARY).
typedef void (*VLCM_MODULE_LIBRARIES_FUNC)(CVLCMApi& api);

#define VL_ADD_MODULE_STATIC_LIBRARY(api, name, cls) (api).AddModuleStaticLibrary((name), new cls())

class CVLCMApi
{
public:
    CVLCMApi();
    // Terminates the controller if the owner did not.
    virtual ~CVLCMApi();

    virtual void LockOptions();
    virtual void UnlockOptions();
    virtual CVLSubnetInfoList& GetSubnetInfoList();
    virtual CVLMargeConditionList* GetMargeConditionList();
    virtual CVLProperty* GetOptions();
    virtual void SetConst(VL_CONST_STR szConstName, VL_CONST_STR szValue, VL_CONST_STR szModuleName,
                          VL_CONST_STR szInstanceName);
    // The most specific constant of that name, or an empty text.
    virtual CVLString GetConst(VL_CONST_STR szConstName, VL_CONST_STR szModuleName, VL_CONST_STR szInstanceName);
    virtual void EnableModule(VL_CONST_STR szName, bool bEnable);
    virtual void EnableInstance(VL_CONST_STR szName, bool bEnable);
    virtual CVLTarget* CreateTarget();
    virtual CVLTargetList* CreateTargetList();
    virtual CVLProperty* NewProperty(CVLProperty* pParent);
    virtual CVLPropertyCollection* NewPropertyCollection(CVLProperty* pOwner);
    virtual void PostCallbackUser(CVLModuleInstance* pInstance, CVLTarget* pTarget, VLCM_USER_CALLBACK pCallback,
                                  long lCallbackId, void* pCallbackParam, EVLException* pException);
    virtual void PostCallbackUser(CVLCallbackInfo* pUserCallbackInfo);
    virtual void RemoveCallbackInfo(void* pCallbackParam);
    // Runs a function (default "Probe") of a packet list (default "Probe")
    // on no target, reporting to pListener, which must be given.
    virtual CVLModuleInstance* Probe(IVLFunctionListener* pListener, CVLTargetList* pTargetList,
                                     VL_CONST_STR szPacketListName, VL_CONST_STR szFunctionName,
                                     CVLModuleParamCollection* pInitParams);
    virtual int GetPacketCount(VL_CONST_STR szFunctionName, VL_CONST_STR szPacketListName);
    // Always true and false.
    virtual void GetFlags(bool* pbFirst, bool* pbSecond);
    virtual void DispatchCallback(long lTimeout);
    virtual void AddModuleStaticLibrary(VL_CONST_STR szModuleName, CVLModule* pModule);
    virtual CVLModuleController* GetModuleController();

    // The configuration is copied; the caller may drop it afterwards.
    void Initialize(CVLCMApiConfig* pConfig, IVLCustomCallbackIF* pCustomCallbackIF);
    void Terminate();
    CVLXmlDocument* GetDefineDocument(VL_CONST_STR szName, bool bCreate);

    // Registers the program's modules with api (Initialize calls it): the
    // function installed with SetModuleLibraries, or none. The modules live
    // in a layer above this one, which installs its registration here.
    static void InitializeModuleLibraries(CVLCMApi& api);
    static void SetModuleLibraries(VLCM_MODULE_LIBRARIES_FUNC pFunc);
    static VLCM_MODULE_LIBRARIES_FUNC GetModuleLibraries();

protected:
    // Owned, and held by pointer so that the facade's users need not see the
    // controller's header; never null.
    CVLModuleController* m_pModuleController;

private:
    CVLCMApi(const CVLCMApi&) = delete;
    CVLCMApi& operator=(const CVLCMApi&) = delete;
};

#endif
