#include "cm/VLSubnetInfoList.h"

CVLSubnetInfoList::CVLSubnetInfoList() {}

CVLSubnetInfoList::~CVLSubnetInfoList()
{
    DeleteAll();
}

void CVLSubnetInfoList::DeleteElement(CVLSubnetInfo* p)
{
    delete p;
}

CVLSubnetInfo* CVLSubnetInfoList::CreateElement()
{
    return new CVLSubnetInfo();
}

CVLSubnetInfoList& CVLSubnetInfoList::operator=(const CVLSubnetInfoList& src)
{
    Copy(src);
    return *this;
}
