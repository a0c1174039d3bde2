// The socket module "VLMDSock": makes and deletes the socket instances and
// starts and cleans up the socket layer.
#ifndef VLMDSOCK_H
#define VLMDSOCK_H

#include "cm/VLModule.h"

class CVLMDSock : public CVLModule
{
public:
    CVLMDSock();
    virtual ~CVLMDSock();

protected:
    virtual void onInitialize(CVLModuleParamCollection* pParams) override;
    virtual void onTerminate(CVLModuleParamCollection* pParams) override;
    virtual IVLModInstanceIF* onNew() override;
    virtual void onDelete(IVLModInstanceIF* pInstanceIF) override;
};

#endif
