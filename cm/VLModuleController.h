// The run-time state of one module framework, embedded in its facade
// CVLCMApi: the copied configuration, the loaded definitions and the tree of
// function definitions, the registered modules, the constants, the callback
// queue with its refusal maps, the option tree, the local subnets, the merge
// conditions, the enable maps and the eight factory hooks.
//
// Its operations are spread over source files by concern:
//   VLModuleController.cpp          construction, Initialize, Terminate, modules, property factory
//   VLModuleControllerInstance.cpp  module-instance creation and deletion, enable maps, packet counts
//   VLModuleControllerConst.cpp     constants, the "ModuleMapping" walk, module lookup, options
//   VLModuleControllerExec.cpp      function execution and script runs
//   VLModuleControllerQueue.cpp     the callback queue
//   VLModuleControllerTarget.cpp    targets and target lists
//
// Locks: the controller lock (the CVLLockableObject base, also taken by
// LockOptions) guards initialization, termination, the queue and its refusal
// maps; m_SyncOptions guards the constants and the option tree. The
// controller lock may be held while m_SyncOptions is taken, never the other
// way round.
#ifndef VLMODULECONTROLLER_H
#define VLMODULECONTROLLER_H

#include <condition_variable>
#include <list>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "cm/VLApiObject.h"
#include "cm/VLCMApiConfig.h"
#include "cm/VLCallbackInfo.h"
#include "cm/VLCallbackInfoList.h"
#include "cm/VLDefineLoader.h"
#include "cm/VLMargeConditionList.h"
#include "cm/VLModInstanceInfo.h"
#include "cm/VLSubnetInfoList.h"
#include "base/core/VLString.h"
#include "base/core/VLThreadSync.h"
#include "base/core/VLTypes.h"
#include "base/thread/VLLockableObject.h"
#include "base/thread/VLSemaphore.h"

class CVLModule;
class CVLModuleInstance;
class CVLModuleParamCollection;
class CVLProperty;
class CVLPropertyCollection;
class CVLScriptCollection;
class CVLScriptParams;
class CVLStreamCollection;
class CVLTarget;
class CVLTargetList;
class CVLXmlDocument;
class EVLException;
class IVLCustomCallbackIF;
class IVLFunctionListener;
class IVLProgressListener;
class IVLXmlNode;

class CVLModuleController : public CVLLockableObject, public CVLApiObject
{
public:
    // pApi is the embedding facade (null for a free-standing controller).
    explicit CVLModuleController(CVLCMApi* pApi);
    // Terminates a controller that is still initialized.
    virtual ~CVLModuleController();

    // --- initialization and termination ---------------------------------
    // Registers the modules, loads the definitions and walks the module
    // mapping. A failure undoes everything it did and rethrows; a controller
    // lock that cannot be taken throws EVLLockException.
    virtual void Initialize(CVLCMApi* pApi, CVLCMApiConfig* pConfig, IVLCustomCallbackIF* pCustomCallbackIF);
    // Stops and releases what still runs, then drops modules, definitions
    // and constants. The controller can be initialized again.
    virtual void Terminate();
    // Why the last Initialize failed, in words: for the definitions, the
    // file, the record or line, and what was wrong. Empty after a success.
    const std::string& GetInitializeErrorText() const { return m_strInitializeErrorText; }
    // Whether it failed reading the definitions (a file missing, cut or
    // damaged), which the text then names.
    bool DefinitionsFailed() const { return m_bDefinitionsFailed; }

    // --- options ---------------------------------------------------------
    virtual void LockOptions();
    virtual void UnlockOptions();
    virtual CVLMargeConditionList* GetMargeConditionList();
    virtual CVLProperty* GetOptions();

    // --- function execution ----------------------------------------------
    virtual CVLModuleInstance* ExecFunction(CVLTarget* pTarget, VL_CONST_STR szFunctionName,
                                            VL_CONST_STR szPacketListName, IVLFunctionListener* pListener,
                                            IVLProgressListener* pProgressListener, CVLTargetList* pTargetList,
                                            CVLModuleParamCollection* pInitParams,
                                            CVLStreamCollection* pStreamCollection, VL_CONST_STR szTemplateName);

    // --- module instances ------------------------------------------------
    virtual CVLModuleInstance* CreateModuleInstance(CVLTarget* pTarget, VL_CONST_STR szFunctionName,
                                                    CVLModuleParamCollection* pInitParam);
    virtual bool CanCreateInstance(CVLModInstanceInfo* pInfo);
    virtual void EnableModule(VL_CONST_STR szName, bool bEnable);
    virtual void EnableInstance(VL_CONST_STR szName, bool bEnable);
    virtual void DeleteModuleInstance(CVLModuleInstance* pInstance);
    virtual int GetPacketCount(VL_CONST_STR szFunctionName, VL_CONST_STR szName);
    // What the definitions name, for a user of the framework to check a name
    // it was configured with: the top-level functions; the packet lists the
    // modules of a function's tree run (false when there is no such
    // function); what a packet list of a function's tree runs and sends
    // (see CVLModule::AddPacketListRequests); the full names of the
    // definitions below a function; the file the definitions were read from
    // (empty for bytes); the module that carries out a function (null when
    // there is no such function).
    std::vector<std::string> GetFunctionNames();
    bool GetPacketListNames(VL_CONST_STR szFunctionName, std::set<std::string>& names);
    SVLPacketListRequests GetPacketListRequests(VL_CONST_STR szFunctionName, VL_CONST_STR szName);
    std::vector<std::string> GetInstanceNames(VL_CONST_STR szFunctionName);
    std::string GetDefinitionsSource();
    CVLModule* GetFunctionModule(VL_CONST_STR szFunctionName);

    // --- targets and target lists ----------------------------------------
    virtual CVLTarget* CreateTarget();
    virtual void DeleteTarget(CVLTarget* pTarget, bool bRequestTargetList);
    virtual CVLTargetList* CreateTargetList();
    virtual void DeleteTargetList(CVLTargetList* pTargetList);

    // --- property factory ------------------------------------------------
    virtual CVLProperty* NewProperty(CVLProperty* pParent);
    virtual void DeleteProperty(CVLProperty* pProperty);
    virtual CVLPropertyCollection* NewPropertyCollection(CVLProperty* pOwner);
    virtual void DeletePropertyCollection(CVLPropertyCollection* pCollection);

    // --- constants and definitions ---------------------------------------
    virtual void SetConst(VL_CONST_STR szConstName, VL_CONST_STR szValue, VL_CONST_STR szModuleName,
                          VL_CONST_STR szInstanceName);
    virtual bool FindConst(VL_CONST_STR szConstName, CVLString& strValue, VL_CONST_STR szModuleName,
                           VL_CONST_STR szInstanceName);
    virtual CVLXmlDocument* GetDefineDocument(VL_CONST_STR szName, bool bCreate);
    // Why the loaded definitions cannot run the function szName, in words
    // with the file they came from (".../vlres200.dat: no function "Probe" is
    // defined: there is no "ModuleMapping" document"); empty when it is
    // defined. A user of the framework that needs a function says so at
    // once instead of failing each later call without a reason.
    std::string DescribeUndefinedFunction(VL_CONST_STR szName);
    // Takes ownership of pModule; a module already filed under the name is
    // terminated and deleted, or, while the framework is initialized (its
    // definitions and instances use it), kept until Terminate.
    virtual void AddModuleStaticLibrary(VL_CONST_STR szModuleName, CVLModule* pModule);
    virtual void RemoveAllModuleStaticLibraries();

    // --- callback queue ----------------------------------------------------
    virtual void DispatchCallback(long lTimeout);
    virtual void PostCallbackUser(CVLModuleInstance* pInstance, CVLTarget* pTarget, VLCM_USER_CALLBACK pCallback,
                                  long lCallbackId, void* pCallbackParam, EVLException* pException);
    virtual void PostCallbackUser(CVLCallbackInfo* pUserCallbackInfo);
    // A target list may take the record over (CVLTargetList::TakeCallback).
    virtual void PostCallbackProbe(CVLModuleInstance* pInstance, CVLModuleParamCollection* pParams, CVLTarget* pTarget,
                                   bool bMarge);
    // Queues a record the caller made (a probe record a target list took
    // over); false when the queue refused it, and then it is deleted.
    bool PostCallbackRecord(CVLCallbackInfo* pInfo);
    virtual void PostCallbackDone(CVLModuleInstance* pInstance, CVLModuleParamCollection* pParams, CVLTarget* pTarget);
    virtual void PostCallbackStop(CVLModuleInstance* pInstance, CVLModuleParamCollection* pParams, CVLTarget* pTarget);
    virtual void PostCallbackTimeout(CVLModuleInstance* pInstance, CVLModuleParamCollection* pParams,
                                     CVLTarget* pTarget);
    virtual void PostCallbackProgress(CVLModuleInstance* pInstance, CVLModuleParamCollection* pParams,
                                      CVLTarget* pTarget, VL_CONST_STR szEventCode, VL_SIZE_T nProgressValue);
    virtual void PostCallbackException(CVLModuleInstance* pInstance, CVLModuleParamCollection* pParams,
                                       CVLTarget* pTarget, EVLException* pException);
    virtual void RemoveCallbackInfo(CVLModuleInstance* pInstance, CVLTarget* pTarget, void* pCallbackParam);
    virtual void UnlockCallbackInfo(CVLModuleInstance* pInstance, CVLTarget* pTarget, void* pCallbackParam);

    // --- scripts -----------------------------------------------------------
    // Runs a script of the definitions with the framework's script host bound
    // to the instance; true when the name is empty, false when the script is
    // missing or fails, else its return value as a boolean.
    virtual bool CreateScriptExtend(VL_CONST_STR szScriptName, CVLModuleInstance* pInstance,
                                    CVLModuleParamCollection* pParams, CVLScriptParams* pArgs);

    // --- constants, the module mapping and modules -------------------------
    virtual bool GetConstValue(const CVLString& key, CVLString& strValue);
    virtual void LoadConsts(CVLModule* pModule, CVLModInstanceInfo* pParent, IVLXmlNode* pElement,
                            VL_CONST_STR szParentTag);
    virtual void OnDefineLoaded();
    virtual CVLModInstanceInfo* FindModule(VL_CONST_STR szInstancePath);
    virtual CVLModule* GetModule(VL_CONST_STR szModuleName);
    virtual void InitializeModule(CVLModule* pModule);

    // --- inner steps of the queue (the controller lock is held) ----------
    // The record queued (pInfo when given), or null when it was refused.
    virtual CVLCallbackInfo* PostCallback(int eType, CVLModuleInstance* pInstance, CVLModuleParamCollection* pParams,
                                          CVLTarget* pTarget, EVLException* pException, bool bMarge,
                                          VL_CONST_STR szEventCode, VL_SIZE_T nProgressValue,
                                          VLCM_USER_CALLBACK pCallback, long lCallbackId, void* pCallbackParam,
                                          CVLCallbackInfo* pInfo);
    virtual void removeCallbackInfo(CVLModuleInstance* pInstance, CVLTarget* pTarget, void* pCallbackParam);

    // Records dropped because the queue was full, since construction.
    unsigned long GetDroppedCallbackCount();

    // A parentless property bound to the "PropertyRoot" definition, when the
    // definitions have one.
    CVLProperty* NewRootProperty();
    CVLSubnetInfoList& GetSubnetInfoList();

    bool IsInitialized();

    // A target's Stop holds the instances it has detached until it has
    // stopped each of them; DeleteModuleInstance waits for that, because
    // the instance no longer names its target then. Holding nests (an
    // instance listed twice is stopped twice).
    void HoldStoppingInstance(CVLModuleInstance* pInstance);
    void ReleaseStoppingInstance(CVLModuleInstance* pInstance);
    void WaitForStoppingInstance(CVLModuleInstance* pInstance);
    // The compiled scripts of the definitions (modules run them by name).
    CVLScriptCollection& GetScriptCollection();

protected:
    // Everything Initialize built, dropped in the order Terminate drops it.
    void Cleanup(bool bKeepUserConsts);
    // Stops, unlinks and releases the instances that are still alive.
    void StopLiveInstances();
    // Builds a constant key of one level.
    static CVLString MakeCommonKey(const CVLString& strName);
    static CVLString MakeModuleKey(const CVLString& strModule, const CVLString& strName);
    static CVLString MakeInstanceKey(const CVLString& strInstance, const CVLString& strName);

    CVLCMApiConfig m_Config;
    bool m_bInitFlag;
    std::map<CVLString, CVLString> m_ConstMap;
    std::map<CVLString, CVLString> m_UserConstMap;
    std::map<CVLString, CVLModInstanceInfo*> m_InstancePathMap;
    CVLDefineLoader m_DefineLoader;
    CVLXmlDocument* m_pPropertyTreeDocument;
    CVLModInstanceInfo m_Functions;
    std::map<CVLString, CVLModule*> m_StaticModuleMap;
    // Modules replaced while initialized; owned, ended by Terminate.
    std::list<CVLModule*> m_RetiredModuleList;
    CVLCallbackInfoList m_CallbackInfoList;
    std::map<CVLTarget*, CVLTarget*> m_LockTargetMap;
    std::map<CVLModuleInstance*, CVLModuleInstance*> m_LockInstanceMap;
    std::map<void*, void*> m_LockCallbackParamMap;
    IVLCustomCallbackIF* m_pCustomCallbackIF;
    CVLSemaphore m_CallbackSemaphore;
    CVLProperty* m_pOptionRoot;
    CVLSubnetInfoList m_SubnetInfoList;
    CVLMargeConditionList m_MargeConditionList;
    std::map<CVLString, CVLString> m_NotCreateModuleMap;
    std::map<CVLString, CVLString> m_NotCreateInstanceMap;
    CVLThreadSync m_SyncOptions;
    VLCM_NEW_TARGET_FUNC m_pNewTargetFunc;
    VLCM_NEW_TARGETLIST_FUNC m_pNewTargetListFunc;
    VLCM_NEW_PROPERTY_FUNC m_pNewPropertyFunc;
    VLCM_NEW_PROPERTYCOLLECTION_FUNC m_pNewPropertyCollectionFunc;
    VLCM_DELETE_TARGET_FUNC m_pDeleteTargetFunc;
    VLCM_DELETE_TARGETLIST_FUNC m_pDeleteTargetListFunc;
    VLCM_DELETE_PROPERTY_FUNC m_pDeletePropertyFunc;
    VLCM_DELETE_PROPERTYCOLLECTION_FUNC m_pDeletePropertyCollectionFunc;

    // The top-level instances alive now (made by CreateModuleInstance, not yet
    // deleted), so that Terminate can stop them before their modules go.
    // Guarded by the controller lock.
    std::map<CVLModuleInstance*, CVLModuleInstance*> m_LiveInstanceMap;
    // Held while Terminate ends the live instances; DeleteModuleInstance takes
    // it before it lets an instance go, so Terminate never works on one that
    // another thread has deleted meanwhile.
    CVLThreadSync m_EndSync;
    // The instances held by a target's Stop, with the thread stopping them
    // and the nesting count. A lock of its own, innermost of all: it is
    // taken under a target lock and never held while another is taken.
    struct SStopping
    {
        std::thread::id m_Thread;
        int m_nCount;
    };
    std::map<CVLModuleInstance*, SStopping> m_StoppingMap;
    std::mutex m_StoppingMutex;
    std::condition_variable m_StoppingCond;

    // --- queue helpers (VLModuleControllerQueue.cpp) ---------------------
    // One event post: lock, PostCallback, unlock; false when the record was
    // not queued.
    bool PostEvent(int eType, CVLModuleInstance* pInstance, CVLModuleParamCollection* pParams, CVLTarget* pTarget,
                   EVLException* pException, bool bMarge, VL_CONST_STR szEventCode, VL_SIZE_T nProgressValue);
    // Lock held: true when a record of the instance or target is refused.
    bool IsCallbackRefused(CVLModuleInstance* pInstance, CVLTarget* pTarget) const;
    // Lock held: true (and the drop counted) when a record of this type no
    // longer fits the bounded queue.
    bool IsCallbackQueueFull(int eType);
    unsigned long m_nDroppedCallbacks = 0;
    // What the queued records hold, in bytes (their texts included), kept
    // with the queue under the controller lock.
    size_t m_nQueuedBytes = 0;
    std::string m_strInitializeErrorText;
    bool m_bDefinitionsFailed = false;

public:
    // The bytes a queued record is counted with.
    static size_t GetCallbackRecordBytes(CVLCallbackInfo* pInfo);
    // The bytes the queue holds now.
    size_t GetQueuedCallbackBytes();
    // How many definition scripts failed to run (a run-time error, a loop
    // that spent the step budget, a name without a script) since the last
    // call, and the first one's description. A failing condition reads as
    // false to its caller: this is how the front end still learns of it.
    unsigned long TakeScriptFailures(std::string& strFirst);

private:
    void recordScriptFailure(const std::string& strWhat);

    std::mutex m_ScriptFailureMutex;
    unsigned long m_nScriptFailures = 0;
    std::string m_strFirstScriptFailure;

private:
    CVLModuleController(const CVLModuleController&) = delete;
    CVLModuleController& operator=(const CVLModuleController&) = delete;
};

#endif
