#include "cm/VLMargeConditionList.h"

#include <new>

#include "cm/VLProperty.h"
#include "cm/VLTarget.h"

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
    return new (std::nothrow) CVLMargeCondition();
}

CVLMargeConditionList& CVLMargeConditionList::operator=(const CVLMargeConditionList& src)
{
    Base::Copy(src);
    return *this;
}

bool CVLMargeConditionList::Match(CVLTarget* pSrcTarget, CVLTarget* pTarget)
{
    if (pSrcTarget == nullptr || pTarget == nullptr)
        return false;
    for (CVLMargeConditionConstIterator it = ConstBegin(); !it.IsEnd(); it.Next()) {
        const char* szPath = it.Get()->GetPath().GetString();
        CVLProperty* pSrc = pSrcTarget->GetProperties()->GetProperty(szPath, false);
        CVLProperty* pDst = pTarget->GetProperties()->GetProperty(szPath, false);
        if (pSrc == nullptr || pDst == nullptr)
            return false;
        if (!pSrc->IsEqual(*pDst))
            return false;
    }
    pTarget->Marge(pSrcTarget);
    return true;
}
