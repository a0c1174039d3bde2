#include "cm/VLApiObject.h"

#include "cm/VLCMApi.h"

CVLApiObject::CVLApiObject(CVLCMApi* pApi) : m_pApi(pApi)
{
}

CVLApiObject::~CVLApiObject()
{
}

void CVLApiObject::SetApi(CVLCMApi* pApi)
{
    m_pApi = pApi;
}

CVLCMApi* CVLApiObject::GetApi() const
{
    return m_pApi;
}

void CVLApiObject::CopyApi(const CVLApiObject& other)
{
    m_pApi = other.m_pApi;
}

CVLModuleController* CVLApiObject::GetModuleController() const
{
    return m_pApi == nullptr ? nullptr : m_pApi->GetModuleController();
}
