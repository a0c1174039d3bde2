// The owning list of local subnets that the module controller keeps.
#ifndef VLSUBNETINFOLIST_H
#define VLSUBNETINFOLIST_H

#include "base/core/TVLObjectList.h"
#include "cm/VLSubnetInfo.h"

class CVLSubnetInfoIterator : public TVLObjectListIterator<CVLSubnetInfo>
{
public:
    using TVLObjectListIterator<CVLSubnetInfo>::TVLObjectListIterator;
};

class CVLSubnetInfoConstIterator : public TVLObjectListConstIterator<CVLSubnetInfo>
{
public:
    using TVLObjectListConstIterator<CVLSubnetInfo>::TVLObjectListConstIterator;
};

class CVLSubnetInfoList : public TVLObjectList<CVLSubnetInfo, CVLSubnetInfoIterator, CVLSubnetInfoConstIterator>
{
public:
    using TVLObjectList<CVLSubnetInfo, CVLSubnetInfoIterator, CVLSubnetInfoConstIterator>::operator=;

    CVLSubnetInfoList();
    virtual ~CVLSubnetInfoList();

    virtual void DeleteElement(CVLSubnetInfo* p) override;
    virtual CVLSubnetInfo* CreateElement() override;
    virtual CVLSubnetInfoList& operator=(const CVLSubnetInfoList& src);

private:
    CVLSubnetInfoList(const CVLSubnetInfoList&) = delete;
};

#endif
