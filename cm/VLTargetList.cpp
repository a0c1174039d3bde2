#include "cm/VLTargetList.h"

CVLTargetList::CVLTargetList() : CVLTargetList(nullptr)
{
}

CVLTargetList::CVLTargetList(CVLCMApi* pApi) : CVLApiObject(pApi)
{
}

CVLTargetList::~CVLTargetList()
{
}
