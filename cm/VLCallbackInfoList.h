// The owning first-in, first-out list of callback records: the module
// controller's queue. Records are deleted with the list, by DeleteAll and
// by Remove.
#ifndef VLCALLBACKINFOLIST_H
#define VLCALLBACKINFOLIST_H

#include "base/core/TVLObjectList.h"
#include "cm/VLCallbackInfo.h"

class CVLCallbackInfoIterator : public TVLObjectListIterator<CVLCallbackInfo>
{
public:
    using TVLObjectListIterator<CVLCallbackInfo>::TVLObjectListIterator;
};

class CVLCallbackInfoConstIterator : public TVLObjectListConstIterator<CVLCallbackInfo>
{
public:
    using TVLObjectListConstIterator<CVLCallbackInfo>::TVLObjectListConstIterator;
};

class CVLCallbackInfoList
    : public TVLObjectList<CVLCallbackInfo, CVLCallbackInfoIterator, CVLCallbackInfoConstIterator>
{
public:
    typedef TVLObjectList<CVLCallbackInfo, CVLCallbackInfoIterator, CVLCallbackInfoConstIterator> Base;

    CVLCallbackInfoList();
    virtual ~CVLCallbackInfoList();

    // A new default record (a user record with nothing set).
    virtual CVLCallbackInfo* CreateElement() override;
    virtual void DeleteElement(CVLCallbackInfo* p) override;

    // Appends a new default record and returns it; EVLMemoryAllocException
    // when none can be made.
    virtual CVLCallbackInfo* AddNew();
    // Deletes every record of pInstance, of pTarget or of pCallbackParam
    // (null arguments match nothing); the others keep their order. The
    // queued bytes of the records deleted.
    virtual size_t Remove(CVLModuleInstance* pInstance, CVLTarget* pTarget, void* pCallbackParam);
    // Appends pInfo, which the list owns from now on (deleted if the append fails).
    virtual void Push(CVLCallbackInfo* pInfo);
    // The head record, now the caller's, or null when the list is empty.
    virtual CVLCallbackInfo* Pop();

private:
    // Records own their exceptions and cannot be copied, so neither can the list.
    CVLCallbackInfoList(const CVLCallbackInfoList&) = delete;
    CVLCallbackInfoList& operator=(const CVLCallbackInfoList&) = delete;
};

#endif
