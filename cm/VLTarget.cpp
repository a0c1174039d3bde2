#include "cm/VLTarget.h"

#include "cm/VLCMDefs.h"
#include "cm/VLModuleController.h"
#include "cm/VLProperty.h"
#include "base/core/VLNullObjectException.h"
#include "base/core/VLThreadLock.h"

CVLTarget::CVLTarget() : CVLTarget(nullptr)
{
}

CVLTarget::CVLTarget(CVLCMApi* pApi) : CVLApiObject(pApi), m_pProperties(nullptr)
{
}

CVLTarget::~CVLTarget()
{
    if (m_pProperties != nullptr)
        m_pProperties->Destroy();
}

CVLProperty* CVLTarget::GetProperties()
{
    CVLThreadLock lock(&m_ThreadSync);
    lock.Lock();
    if (m_pProperties == nullptr) {
        CVLModuleController* pController = GetModuleController();
        if (pController == nullptr)
            throw new EVLNullObjectException(VLCMAPI_MODULE, "VLTarget", __LINE__);
        m_pProperties = pController->NewRootProperty();
    }
    return m_pProperties;
}

CVLString CVLTarget::GetPropertiesText(VL_CONST_STR szHeader)
{
    CVLString strText(szHeader, 72);
    if (strText.GetLength() > 0)
        strText += "\n";
    strText += GetProperties()->Dump(0, "Properties");
    return strText;
}

void CVLTarget::AddInstance(CVLModuleInstance* pInstance)
{
    CVLThreadLock lock(&m_ThreadSync);
    if (lock.Lock())
        m_InstanceList.push_back(pInstance);
}

void CVLTarget::RemoveInstance(CVLModuleInstance* pInstance)
{
    CVLThreadLock lock(&m_ThreadSync);
    if (lock.Lock())
        m_InstanceList.remove(pInstance);
}

int CVLTarget::GetInstanceCount()
{
    CVLThreadLock lock(&m_ThreadSync);
    return lock.Lock() ? static_cast<int>(m_InstanceList.size()) : 0;
}
