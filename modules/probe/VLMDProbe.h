// The probe module, registered as "VLMDProbe": it makes one CVLProbe for
// each module instance of its functions.
#ifndef VLMDPROBE_H
#define VLMDPROBE_H

#include "cm/VLModule.h"

class CVLMDProbe : public CVLModule
{
public:
    CVLMDProbe();
    virtual ~CVLMDProbe();

protected:
    virtual IVLModInstanceIF* onNew() override;
    virtual void onDelete(IVLModInstanceIF* pInstanceIF) override;
};

#endif
