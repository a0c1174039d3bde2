// An owning list of targets.
#ifndef VLTARGETLIST_H
#define VLTARGETLIST_H

#include "cm/VLApiObject.h"
#include "base/thread/VLLockableObject.h"

class CVLTargetList : public CVLLockableObject, public CVLApiObject
{
public:
    CVLTargetList();
    explicit CVLTargetList(CVLCMApi* pApi);
    virtual ~CVLTargetList();

private:
    CVLTargetList(const CVLTargetList&) = delete;
    CVLTargetList& operator=(const CVLTargetList&) = delete;
};

#endif
