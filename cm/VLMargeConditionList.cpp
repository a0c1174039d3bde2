#include "cm/VLMargeConditionList.h"

#include "cm/VLCMDefs.h"
#include "base/core/VLUnsupportedException.h"

CVLMargeConditionList::CVLMargeConditionList()
{
}

CVLMargeConditionList::~CVLMargeConditionList()
{
    DeleteAll();
}

void CVLMargeConditionList::DeleteElement(CVLMargeCondition* p)
{
    delete p;
}

CVLMargeCondition* CVLMargeConditionList::CreateElement()
{
    return new CVLMargeCondition();
}

CVLMargeConditionList& CVLMargeConditionList::operator=(const CVLMargeConditionList& src)
{
    if (&src != this) {
        DeleteAll();
        Append(src);
    }
    return *this;
}

bool CVLMargeConditionList::Match(CVLTarget* pSrcTarget, CVLTarget* pTarget)
{
    (void)pSrcTarget, (void)pTarget;
    throw new EVLUnsupportedException(VLCMAPI_MODULE, "VLMargeConditionList", __LINE__, "Match");
}
