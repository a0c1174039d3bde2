// The function-execution module, registered as "VLMDExecFunc": it makes one
// CVLExecFunc for each module instance of its functions.
#ifndef VLMDEXECFUNC_H
#define VLMDEXECFUNC_H

#include "cm/VLModule.h"

class CVLMDExecFunc : public CVLModule
{
public:
    CVLMDExecFunc();
    virtual ~CVLMDExecFunc();

protected:
    virtual IVLModInstanceIF* onNew() override;
    virtual void onDelete(IVLModInstanceIF* pInstanceIF) override;
};

#endif
