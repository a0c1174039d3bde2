// A node of a device record's property tree, made by the device manager's
// property factory hook.
#ifndef VLECMPROPERTY_H
#define VLECMPROPERTY_H

#include "cm/VLProperty.h"

class CVLECMProperty : public CVLProperty
{
public:
    CVLECMProperty(CVLCMApi* pApi, CVLProperty* pParent);
    virtual ~CVLECMProperty();
};

#endif
