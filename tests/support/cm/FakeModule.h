// The one fake module of the tests: what it does is scripted, a function per
// method; an empty function does nothing. Register it under any name with
// api.AddModuleStaticLibrary(name, new CFakeModule(script)).
#ifndef FAKEMODULE_H
#define FAKEMODULE_H

#include <atomic>
#include <functional>
#include <memory>
#include <string>

#include "cm/VLModule.h"
#include "tests/support/cm/FakeInstance.h"

class CFakeModule : public CVLModule
{
public:
    struct SScript
    {
        std::function<void(CFakeModule&, CVLModuleParamCollection*)> OnInitialize;
        std::function<void(CFakeModule&, CVLModuleParamCollection*)> OnTerminate;
        std::function<int(const std::string&)> OnPacketCount;  // by packet list name; none: 0
        std::function<void(CFakeModule&)> OnDelete;            // the module is deleted
        // The instances' methods.
        CFakeInstance::TMethod OnCreate;
        CFakeInstance::TMethod OnCall;
        CFakeInstance::TMethod OnStop;
        CFakeInstance::TMethod OnDestroy;
        std::function<unsigned long()> OnDropCount;  // GetReceiveDropCount; none: 0
    };

    explicit CFakeModule(SScript script = SScript());
    virtual ~CFakeModule();
    virtual int GetPacketCount(VL_CONST_STR szName) override;
    std::string Name() const;

    static std::atomic<int> s_nLive;

protected:
    virtual void onInitialize(CVLModuleParamCollection* pParams) override;
    virtual void onTerminate(CVLModuleParamCollection* pParams) override;
    virtual IVLModInstanceIF* onNew() override;
    virtual void onDelete(IVLModInstanceIF* pInstanceIF) override;

    std::shared_ptr<const SScript> m_pScript;
};

#endif
