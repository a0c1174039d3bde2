#include "cm/VLCMApi.h"

// The controller knows its facade from the start, so objects made through its
// factory hooks can reach it before the framework is initialized.
CVLCMApi::CVLCMApi() : m_ModuleController(this) {}

CVLCMApi::~CVLCMApi() {}

CVLSubnetInfoList& CVLCMApi::GetSubnetInfoList()
{
    return m_ModuleController.GetSubnetInfoList();
}

CVLProperty* CVLCMApi::NewProperty(CVLProperty* pParent)
{
    return m_ModuleController.NewProperty(pParent);
}

CVLPropertyCollection* CVLCMApi::NewPropertyCollection(CVLProperty* pOwner)
{
    return m_ModuleController.NewPropertyCollection(pOwner);
}

CVLModuleController* CVLCMApi::GetModuleController()
{
    return &m_ModuleController;
}
