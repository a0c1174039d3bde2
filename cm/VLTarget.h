// One device as the module framework sees it: its property tree, the module
// instances running on it, the list that owns it, a value for its users and
// the texts of the device commands (auxiliary text, current and new password).
//
// Targets are made and deleted only by the module controller, through its
// factory hooks: Destroy hands a target back to the controller.
//
// Locks: the controller lock may not be taken while a target lock is held by
// the controller itself, but module code may post callbacks while holding a
// target lock; a target lock comes before an instance's lock. Stop releases
// the target lock before it stops the instances, whose threads may be
// waiting for it.
#ifndef VLTARGET_H
#define VLTARGET_H

#include <atomic>
#include <cstddef>
#include <list>

#include "base/core/VLString.h"
#include "base/core/VLTypes.h"
#include "base/thread/VLLockableObject.h"
#include "cm/VLApiObject.h"

class CVLModuleInstance;
class CVLModuleParamCollection;
class CVLProperty;
class CVLStreamCollection;
class CVLTargetList;
class IVLFunctionListener;
class IVLProgressListener;

class CVLTarget : public CVLLockableObject, public CVLApiObject
{
public:
    CVLTarget();
    explicit CVLTarget(CVLCMApi* pApi);
    // Destroys the property tree; the running instances are left alone.
    virtual ~CVLTarget();

    // Hands the target to the controller's DeleteTarget. A target list
    // passes true (it unlinks the target itself); other callers pass false.
    virtual void Destroy(bool bRequestTargetList);
    // Clears every value of the tree.
    virtual void Clear();
    virtual void ResetModify();
    // Runs a function on this target through the controller; a null
    // packet-list name means the function name.
    virtual CVLModuleInstance* ExecFunction(VL_CONST_STR szFunctionName, VL_CONST_STR szPacketListName,
                                            IVLFunctionListener* pListener, IVLProgressListener* pProgressListener,
                                            CVLTargetList* pTargetList, CVLModuleParamCollection* pInitParams,
                                            CVLStreamCollection* pStreamCollection, VL_CONST_STR szTemplateName);
    // The root property, made on first use bound to the tree's definition;
    // never null.
    virtual CVLProperty* GetProperties();
    virtual CVLTargetList* GetOwnerList() const { return m_pOwnerList; }
    // Overlays the source's tree on this one (the source wins node by node).
    virtual void Marge(const CVLTarget* pSrcTarget);
    virtual CVLTarget& operator=(const CVLTarget& src);
    // Copies tree, user value and derived data (OnCopyFrom); texts, owner
    // list and instances stay. A failure leaves this target as it was.
    virtual void CopyFrom(const CVLTarget* pSrcTarget);
    virtual CVLTarget* GetSelf() { return this; }
    virtual const CVLTarget* GetSelf() const { return this; }
    // The bytes the target's data takes as its list measured them, which the
    // callback queue counts while a record of the target waits there; 0
    // when not measured.
    void SetFootprint(size_t nBytes) { m_nFootprint = nBytes; }
    size_t GetFootprint() const { return m_nFootprint; }
    // The error reply that names no device which the last try of a request
    // to the target held (any host could have sent it: it is the answer
    // only if no reply naming the device comes before the try ends); 0
    // when none. Read while the request waits, to tell what came.
    void SetHeldResult(unsigned nResult) { m_nHeldResult = nResult; }
    unsigned GetHeldResult() const { return m_nHeldResult; }
    // Requests that left for the target (their socket open, their thread
    // running): what runs for it holds what it needs from then on.
    void NoteRequestSent() { ++m_nRequestsSent; }
    unsigned long GetRequestsSent() const { return m_nRequestsSent; }
    virtual void SetUserValue(VL_ULONG nValue) { m_nUserValue = nValue; }
    virtual VL_ULONG GetUserValue() const { return m_nUserValue; }
    // Detaches every running instance, then stops them without the target
    // lock; deleting one of them meanwhile waits until it has been stopped.
    virtual void Stop();
    virtual void SetAuxText(VL_CONST_STR sz);
    virtual CVLString& GetAuxText() { return m_strAuxText; }
    virtual void SetCurrentPassword(VL_CONST_STR sz);
    virtual CVLString& GetCurrentPassword() { return m_strCurrentPassword; }
    virtual void SetNewPassword(VL_CONST_STR sz);
    virtual CVLString& GetNewPassword() { return m_strNewPassword; }
    // szHeader (and a line feed when it is not empty), then the tree's dump
    // with the root labelled "Properties".
    virtual CVLString GetPropertiesText(VL_CONST_STR szHeader);
    // Run by the controller just before the delete hook.
    virtual void OnDelete() {}
    // Run at the end of CopyFrom with the source; derived classes copy their data.
    virtual void OnCopyFrom(const CVLTarget* pSrcTarget) { (void)pSrcTarget; }
    virtual void AddInstance(CVLModuleInstance* pInstance);
    // Removes every entry of pInstance.
    virtual void RemoveInstance(CVLModuleInstance* pInstance);

    // The number of running instances listed (for tests and diagnostics).
    int GetInstanceCount();

private:
    friend class CVLTargetList;

    CVLTarget(const CVLTarget&) = delete;

    std::list<CVLModuleInstance*> m_InstanceList;
    CVLProperty* m_pProperties;
    CVLTargetList* m_pOwnerList;
    VL_ULONG m_nUserValue;
    std::atomic<size_t> m_nFootprint{0};
    std::atomic<unsigned> m_nHeldResult{0};
    std::atomic<unsigned long> m_nRequestsSent{0};
    CVLString m_strAuxText;
    CVLString m_strCurrentPassword;
    CVLString m_strNewPassword;
};

#endif
