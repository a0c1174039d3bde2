// Fakes and fixtures shared by the module framework's tests: modules that
// log what is done to them, and definition files written to a temporary
// folder and named in a file list, the framework's development form.
#ifndef CMTESTSUPPORT_H
#define CMTESTSUPPORT_H

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "cm/VLCMApi.h"
#include "cm/VLCMApiConfig.h"
#include "cm/VLModInstanceIF.h"
#include "cm/VLModule.h"
#include "tests/cm/DefinitionFiles.h"
#include "tests/support/TestSupport.h"
#include "base/core/VLException.h"

// Every event of the fakes in order ("init:ModA", "call:F.C", ...).
class CFakeLog
{
public:
    static void Add(const std::string& strEvent);
    static std::vector<std::string> Take();
    static int Count(const std::string& strPrefix);
};

// The implementation of a fake instance: logs calls with the instance's
// name; CallMethod sets the result to the parameter "answer" when present,
// and throws when the parameter "fail" is present.
class CFakeImpl : public IVLModInstanceIF
{
public:
    CFakeImpl();
    virtual ~CFakeImpl();
    virtual void DestroyInstance(CVLModuleInstance* pInstance, CVLModuleParamCollection* pParams) override;
    virtual void CallMethod(CVLModuleInstance* pInstance, CVLModuleParamCollection* pParams) override;
    virtual void Stop(CVLModuleInstance* pInstance, CVLModuleParamCollection* pParams) override;

    static std::atomic<int> s_nLive;
};

// A module that logs its life and reports nPackets packets for the packet
// list "P".
class CFakeModule : public CVLModule
{
public:
    explicit CFakeModule(int nPackets = 0);
    virtual ~CFakeModule();
    virtual int GetPacketCount(VL_CONST_STR szName) override;

    static std::atomic<int> s_nLive;

protected:
    virtual void onInitialize(CVLModuleParamCollection* pParams) override;
    virtual void onTerminate(CVLModuleParamCollection* pParams) override;
    virtual IVLModInstanceIF* onNew() override;
    virtual void onDelete(IVLModInstanceIF* pInstanceIF) override;

    int m_nPackets;
};

class CFakeModuleA : public CFakeModule
{
public:
    CFakeModuleA() : CFakeModule(1) {}
};

class CFakeModuleB : public CFakeModule
{
public:
    CFakeModuleB() : CFakeModule(2) {}
};

// Registers "ModB", then "ModA" (registration order differs from name order).
void VLRegisterFakeModules(CVLCMApi& api);

// A facade with the fake modules registered, initialized from a module
// mapping (and optional further files) and terminated at the end.
class CFakeFramework
{
public:
    CFakeFramework();
    ~CFakeFramework();
    // Initializes with the "ModuleMapping" document text.
    void Start(const std::string& strMapping);
    CVLCMApi m_Api;
    CDefinitionFiles m_Files;
    CVLModuleController* Controller() { return m_Api.GetModuleController(); }
};

#endif
