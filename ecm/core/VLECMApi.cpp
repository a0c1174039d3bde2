#include "ecm/core/VLECMApi.h"

#include "cm/VLModuleController.h"

CVLECMApi::CVLECMApi() : m_pOwnerVLECMInstance(nullptr)
{
}

CVLECMApi::~CVLECMApi()
{
}

void CVLECMApi::SetOwnerVLECMInstance(CVLECM* pOwner)
{
    m_pOwnerVLECMInstance = pOwner;
}

CVLECM* CVLECMApi::GetOwnerVLECMInstance()
{
    return m_pOwnerVLECMInstance;
}

void CVLECMApi::RemoveCallbackInfo(CVLTarget* pTarget)
{
    m_pModuleController->RemoveCallbackInfo(nullptr, pTarget, nullptr);
}
