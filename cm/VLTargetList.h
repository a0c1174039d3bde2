// An owning list of targets in the order they were added (a target may stand
// in it more than once). Its central operation merges a found target into the
// listed one that the merge conditions name as the same device, or adds a
// copy of it. Lists are made and deleted by the module controller.
//
// The list lock is never held while a target is destroyed: removal unlinks
// under the lock and destroys after releasing it, so the list lock and the
// controller lock are never held together from here.
#ifndef VLTARGETLIST_H
#define VLTARGETLIST_H

#include <list>

#include "base/core/TVLObjectList.h"
#include "base/thread/VLLockableObject.h"
#include "cm/VLApiObject.h"

class CVLModuleInstance;
class CVLModuleParamCollection;
class CVLTarget;

class CVLTargetIterator : public TVLObjectListIterator<CVLTarget>
{
public:
    using TVLObjectListIterator<CVLTarget>::TVLObjectListIterator;
};

class CVLTargetConstIterator : public TVLObjectListConstIterator<CVLTarget>
{
public:
    using TVLObjectListConstIterator<CVLTarget>::TVLObjectListConstIterator;
};

class CVLTargetList : public CVLApiObject, public CVLLockableObject
{
public:
    CVLTargetList();
    explicit CVLTargetList(CVLCMApi* pApi);
    // Releases the entries only; the controller's DeleteTargetList destroys
    // the targets first.
    virtual ~CVLTargetList();

    // Appends pObject and makes this list its owner; null adds nothing.
    virtual CVLTarget* Add(CVLTarget* pObject);
    // Destroys every listed target (each once) and empties the list.
    virtual void RemoveAll();
    // Unlinks the first entry of pTarget and, with bDestroyTarget, destroys
    // it. A target that is not listed is left alone.
    virtual void RemoveAt(CVLTarget* pTarget, bool bDestroyTarget);
    // The listed target that now holds pSrcTarget's data: the first one the
    // merge conditions match (bMarge true), or a new copy appended (bMarge
    // false). Null for a null source; the source stays the caller's.
    virtual CVLTarget* MargeOrAddTarget(CVLTarget* pSrcTarget, bool& bMarge);
    // The same for a reply that pReceiver's socket received, for a list
    // that tells replies apart by where they arrived.
    virtual CVLTarget* MargeOrAddReceived(CVLTarget* pSrcTarget, bool& bMarge, CVLModuleInstance* pReceiver);
    virtual int GetCount();
    // Without a lock: hold Lock() around a walk that others may disturb.
    virtual CVLTargetIterator Begin();
    virtual CVLTargetConstIterator ConstBegin() const;
    // Hands the list to the controller's DeleteTargetList.
    virtual void Destroy();
    // Run by the controller after RemoveAll, before the delete hook.
    virtual void OnDelete() {}
    // The callback queue refused a probe record of pTarget, a target of
    // this list (run without the controller's lock); bMarge as the record
    // had it: true when pTarget was listed before the reply came.
    virtual void OnCallbackRefused(CVLTarget* pTarget, bool bMarge)
    {
        (void)pTarget;
        (void)bMarge;
    }
    // Before a probe record of pTarget, a target of this list, is queued
    // (without the controller's lock): true when the list takes it over,
    // to queue it itself with PostCallbackRecord, now or later.
    virtual bool TakeCallback(CVLModuleInstance* pInstance, CVLModuleParamCollection* pParams, CVLTarget* pTarget,
                              bool bMarge)
    {
        (void)pInstance, (void)pParams, (void)pTarget, (void)bMarge;
        return false;
    }

private:
    CVLTargetList(const CVLTargetList&) = delete;
    CVLTargetList& operator=(const CVLTargetList&) = delete;

    // Unlinks the first entry of pTarget under the list lock; true when one
    // was listed. Throws EVLLockException when the lock cannot be taken.
    bool Unlink(CVLTarget* pTarget);
    friend class CVLModuleController;

    std::list<CVLTarget*> m_List;
};

#endif
