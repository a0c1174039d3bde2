#include "ecm/VLECMApi.h"

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
    m_ModuleController.RemoveCallbackInfo(nullptr, pTarget, nullptr);
}
