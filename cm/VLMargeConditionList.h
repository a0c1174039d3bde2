// The merge conditions of a module controller, tested in list order. A found
// target is the same device as a known one when every condition's property
// exists in both trees with equal values.
#ifndef VLMARGECONDITIONLIST_H
#define VLMARGECONDITIONLIST_H

#include "base/core/TVLObjectList.h"
#include "cm/VLMargeCondition.h"

class CVLTarget;

class CVLMargeConditionIterator : public TVLObjectListIterator<CVLMargeCondition>
{
public:
    using TVLObjectListIterator<CVLMargeCondition>::TVLObjectListIterator;
};

class CVLMargeConditionConstIterator : public TVLObjectListConstIterator<CVLMargeCondition>
{
public:
    using TVLObjectListConstIterator<CVLMargeCondition>::TVLObjectListConstIterator;
};

class CVLMargeConditionList
    : public TVLObjectList<CVLMargeCondition, CVLMargeConditionIterator, CVLMargeConditionConstIterator>
{
public:
    typedef TVLObjectList<CVLMargeCondition, CVLMargeConditionIterator, CVLMargeConditionConstIterator> Base;

    CVLMargeConditionList();
    virtual ~CVLMargeConditionList();

    virtual void DeleteElement(CVLMargeCondition* p) override;
    virtual CVLMargeCondition* CreateElement() override;
    virtual CVLMargeConditionList& operator=(const CVLMargeConditionList& src);
    // True when pTarget is the device pSrcTarget found; pSrcTarget is then
    // merged into pTarget. False changes nothing. An empty list matches any pair.
    virtual bool Match(CVLTarget* pSrcTarget, CVLTarget* pTarget);

private:
    CVLMargeConditionList(const CVLMargeConditionList&) = delete;
};

#endif
