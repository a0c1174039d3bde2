// The facade of the module framework. It embeds the module controller and
// hands each call on to it.
#ifndef VLCMAPI_H
#define VLCMAPI_H

#include "cm/VLModuleController.h"

class CVLCMApi
{
public:
    CVLCMApi();
    virtual ~CVLCMApi();

    virtual CVLSubnetInfoList& GetSubnetInfoList();
    virtual CVLProperty* NewProperty(CVLProperty* pParent);
    virtual CVLPropertyCollection* NewPropertyCollection(CVLProperty* pOwner);
    virtual CVLModuleController* GetModuleController();

protected:
    CVLModuleController m_ModuleController;

private:
    CVLCMApi(const CVLCMApi&) = delete;
    CVLCMApi& operator=(const CVLCMApi&) = delete;
};

#endif
