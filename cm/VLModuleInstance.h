// One live execution of a function definition, usually on a target. The
// instances form the tree of the definitions: each owns its children by the
// full name of their definition and is paired with the implementation object
// that its module made. Stopping happens once and spreads to the children;
// afterwards the forwarding calls throw EVLStopFunctionException.
#ifndef VLMODULEINSTANCE_H
#define VLMODULEINSTANCE_H

#include "cm/VLApiObject.h"
#include "cm/VLModInstanceIF.h"
#include "cm/VLModuleParamCollection.h"
#include "base/core/TVLStringKeyCollection.h"
#include "base/core/VLString.h"
#include "base/thread/VLLockableObject.h"

class CVLModInstanceInfo;
class CVLModule;
class CVLModuleInstance;
class CVLTarget;
class IVLStream;

typedef TVLObjectListIterator<CVLModuleInstance> CVLModuleInstanceIterator;
typedef TVLObjectListConstIterator<CVLModuleInstance> CVLModuleInstanceConstIterator;

class CVLModuleInstance : public CVLApiObject,
                          public CVLLockableObject,
                          public TVLStringKeyCollection<CVLModuleInstance, CVLModuleInstanceIterator,
                                                        CVLModuleInstanceConstIterator, CVLString, const char*>
{
public:
    typedef TVLStringKeyCollection<CVLModuleInstance, CVLModuleInstanceIterator, CVLModuleInstanceConstIterator,
                                   CVLString, const char*>
        Base;
    using Base::Add;

    CVLModuleInstance();
    explicit CVLModuleInstance(CVLCMApi* pApi);
    // Deletes the children; stops and releases nothing (the controller does).
    virtual ~CVLModuleInstance();

    // Has the controller delete this top-level instance (a child goes with
    // its parent: EVLInvalidParamException).
    virtual void Destroy();
    virtual const CVLString& GetName();
    virtual const CVLString& GetModuleName();
    virtual IVLStream* GetSendStream(CVLModuleParamCollection* pParams);
    virtual IVLStream* GetSendStream();
    // Start script, the implementation's CallMethod, end script. No lock is
    // held meanwhile, so Stop may come from another thread.
    virtual void CallMethod();
    // Children first, then this implementation; at most once.
    virtual void Stop();
    virtual void SetLastPacketStatus(VLCM_PACKET_STATUS eStatus);
    virtual void SetImplementation(IVLModInstanceIF* pInstanceIF);
    virtual IVLModInstanceIF* GetImplementation();
    virtual CVLModInstanceInfo* GetFunctionInfo();
    virtual bool IsStopped();
    virtual void SetStopped(bool bStop);
    virtual CVLModuleParamCollection* GetParams();
    virtual CVLModuleInstance* GetFirstChild();
    // Copies the facade, module, implementation, stopped flag, definition and
    // parameters; not the target, not the children.
    virtual CVLModuleInstance& operator=(const CVLModuleInstance& src);
    virtual CVLModuleInstance* CreateObject();
    virtual void DeleteObject(CVLModuleInstance* pInstance);
    // Binds the implementation, copies the parameters and has the
    // implementation make the children.
    virtual void Initialize(IVLModInstanceIF* pInstanceIF, CVLModInstanceInfo* pInstanceInfo,
                            CVLModuleParamCollection* pParams);
    // Hands every implementation of the tree back to its module, once.
    virtual void Release();

    void SetTarget(CVLTarget* pTarget);
    CVLTarget* GetTarget();
    // The instance whose child this is; null for a top-level instance.
    void SetParent(CVLModuleInstance* pParent) { m_pParent = pParent; }
    CVLModuleInstance* GetParent() const { return m_pParent; }

    // The collection's element hooks.
    virtual CVLModuleInstance* CreateElement(const char* szKey) override;
    virtual void DeleteElement(CVLModuleInstance* p) override;

protected:
    // The implementation, checked for the forwarding calls: null and stopped
    // instances throw.
    IVLModInstanceIF* GuardedImplementation();

    CVLModule* m_pModule;
    CVLTarget* m_pTarget;
    IVLModInstanceIF* m_pInstanceIF;
    bool m_bStop;
    CVLModInstanceInfo* m_pInstanceInfo;
    CVLModuleParamCollection m_Params;
    CVLModuleInstance* m_pParent = nullptr;

private:
    CVLModuleInstance(const CVLModuleInstance&) = delete;
};

#endif
