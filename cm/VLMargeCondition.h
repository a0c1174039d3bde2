// One merge condition: the dotted path of a property that two targets must
// both hold, with equal values, to be taken for the same device.
#ifndef VLMARGECONDITION_H
#define VLMARGECONDITION_H

#include "base/core/VLString.h"

class CVLMargeCondition
{
public:
    CVLMargeCondition();
    virtual ~CVLMargeCondition();

    // The path, modifiable: callers set a condition through it.
    virtual CVLString& GetPath() { return m_strPath; }
    virtual void Clear();
    virtual CVLMargeCondition& operator=(const CVLMargeCondition& src);

private:
    CVLMargeCondition(const CVLMargeCondition&) = delete;

    CVLString m_strPath;
};

#endif
