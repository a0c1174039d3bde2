#include "ecm/core/VLECMProperty.h"

CVLECMProperty::CVLECMProperty(CVLCMApi* pApi, CVLProperty* pParent) : CVLProperty(pApi, pParent)
{
}

CVLECMProperty::~CVLECMProperty()
{
}
