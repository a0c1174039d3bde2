#include "cm/VLTarget.h"

#include "base/core/VLExceptionOwner.h"
#include "base/core/VLMemoryAllocException.h"
#include "base/core/VLNullObjectException.h"
#include "base/core/VLThreadLock.h"
#include "cm/VLCMDefs.h"
#include "cm/VLModuleController.h"
#include "cm/VLModuleInstance.h"
#include "cm/VLProperty.h"

CVLTarget::CVLTarget() : CVLTarget(nullptr)
{
}

CVLTarget::CVLTarget(CVLCMApi* pApi)
    : CVLApiObject(pApi), m_pProperties(nullptr), m_pOwnerList(nullptr), m_nUserValue(0)
{
}

CVLTarget::~CVLTarget()
{
    if (m_pProperties != nullptr) {
        CVLProperty* p = m_pProperties;
        m_pProperties = nullptr;
        try {
            p->Destroy();
        } catch (...) {
            // A destructor does not throw; the tree is lost either way.
            ReleaseCurrentException();
        }
    }
}

void CVLTarget::Destroy(bool bRequestTargetList)
{
    try {
        CVLModuleController* pController = GetModuleController();
        if (pController == nullptr)
            throw new EVLNullObjectException(VLCMAPI_MODULE, "VLTarget", __LINE__);
        pController->DeleteTarget(this, bRequestTargetList);
    }
    VL_CATCH_LADDER(VLCMAPI_MODULE, "VLTarget")
}

void CVLTarget::Clear()
{
    try {
        if (m_pProperties != nullptr)
            m_pProperties->Clear();
    }
    VL_CATCH_LADDER(VLCMAPI_MODULE, "VLTarget")
}

void CVLTarget::ResetModify()
{
    try {
        if (m_pProperties != nullptr)
            m_pProperties->ResetModify();
    }
    VL_CATCH_LADDER(VLCMAPI_MODULE, "VLTarget")
}

CVLModuleInstance* CVLTarget::ExecFunction(VL_CONST_STR szFunctionName, VL_CONST_STR szPacketListName,
                                           IVLFunctionListener* pListener, IVLProgressListener* pProgressListener,
                                           CVLTargetList* pTargetList, CVLModuleParamCollection* pInitParams,
                                           CVLStreamCollection* pStreamCollection, VL_CONST_STR szTemplateName)
{
    try {
        CVLModuleController* pController = GetModuleController();
        if (pController == nullptr)
            throw new EVLNullObjectException(VLCMAPI_MODULE, "VLTarget", __LINE__);
        VL_CONST_STR szPacketList = szPacketListName != nullptr ? szPacketListName : szFunctionName;
        return pController->ExecFunction(this, szFunctionName, szPacketList, pListener, pProgressListener,
                                         pTargetList, pInitParams, pStreamCollection, szTemplateName);
    }
    VL_CATCH_LADDER(VLCMAPI_MODULE, "VLTarget")
}

CVLProperty* CVLTarget::GetProperties()
{
    if (m_pProperties == nullptr) {
        CVLModuleController* pController = GetModuleController();
        if (pController == nullptr)
            throw new EVLNullObjectException(VLCMAPI_MODULE, "VLTarget", __LINE__);
        m_pProperties = pController->NewRootProperty();
    }
    return m_pProperties;
}

void CVLTarget::Marge(const CVLTarget* pSrcTarget)
{
    if (pSrcTarget == nullptr || pSrcTarget == this || pSrcTarget->m_pProperties == nullptr)
        return;
    GetProperties()->Merge(pSrcTarget->m_pProperties);
}

CVLTarget& CVLTarget::operator=(const CVLTarget& src)
{
    CopyFrom(&src);
    return *this;
}

void CVLTarget::CopyFrom(const CVLTarget* pSrcTarget)
{
    if (pSrcTarget == nullptr || pSrcTarget == this)
        return;
    if (pSrcTarget->m_pProperties == nullptr) {
        if (m_pProperties != nullptr) {
            CVLProperty* p = m_pProperties;
            m_pProperties = nullptr;
            p->Destroy();
        }
    } else {
        CVLProperty* pNew = nullptr;
        if (m_pProperties == nullptr) {
            CVLModuleController* pController = GetModuleController();
            if (pController == nullptr)
                throw new EVLNullObjectException(VLCMAPI_MODULE, "VLTarget", __LINE__);
            // Without a property factory there is nothing to copy into:
            // fail before anything has changed.
            pNew = pController->NewProperty(nullptr);
            if (pNew == nullptr)
                throw new EVLMemoryAllocException(VLCMAPI_MODULE, "VLTarget", __LINE__);
        }
        try {
            *(pNew != nullptr ? pNew : m_pProperties) = *pSrcTarget->m_pProperties;
        } catch (...) {
            if (pNew != nullptr)
                pNew->Destroy();
            throw;
        }
        if (pNew != nullptr)
            m_pProperties = pNew;
    }
    m_nUserValue = pSrcTarget->m_nUserValue;
    OnCopyFrom(pSrcTarget->GetSelf());
}

void CVLTarget::Stop()
{
    try {
        std::list<CVLModuleInstance*> stopping;
        CVLModuleController* pController = GetModuleController();
        {
            CVLThreadLock lock(&m_ThreadSync);
            if (!lock.Lock())
                return;
            // Held before they are detached: a deletion that finds one
            // without a target waits until it has been stopped here.
            for (CVLModuleInstance* pInstance : m_InstanceList) {
                if (pController != nullptr)
                    pController->HoldStoppingInstance(pInstance);
                pInstance->SetTarget(nullptr);
            }
            stopping.swap(m_InstanceList);
        }
        // Stopping joins module threads, which may be waiting for this
        // target's lock; so the lock is released first. Every instance is
        // stopped even when one fails; the first failure is reported.
        CVLExceptionOwner first;
        for (CVLModuleInstance* pInstance : stopping) {
            try {
                pInstance->Stop();
            } catch (...) {
                try {
                    VLRethrowAsFramework(VLCMAPI_MODULE, "VLTarget", __LINE__);
                } catch (EVLException* e) {
                    first.KeepFirst(e);
                }
            }
            if (pController != nullptr)
                pController->ReleaseStoppingInstance(pInstance);
        }
        first.ThrowIfAny();
    }
    VL_CATCH_LADDER(VLCMAPI_MODULE, "VLTarget")
}

void CVLTarget::SetAuxText(VL_CONST_STR sz)
{
    try {
        m_strAuxText = sz;
    }
    VL_CATCH_LADDER(VLCMAPI_MODULE, "VLTarget")
}

void CVLTarget::SetCurrentPassword(VL_CONST_STR sz)
{
    try {
        m_strCurrentPassword = sz;
    }
    VL_CATCH_LADDER(VLCMAPI_MODULE, "VLTarget")
}

void CVLTarget::SetNewPassword(VL_CONST_STR sz)
{
    try {
        m_strNewPassword = sz;
    }
    VL_CATCH_LADDER(VLCMAPI_MODULE, "VLTarget")
}

CVLString CVLTarget::GetPropertiesText(VL_CONST_STR szHeader)
{
    try {
        CVLString strText;
        CVLThreadLock lock(&m_ThreadSync);
        if (!lock.Lock())
            return strText;
        if (szHeader != nullptr) {
            strText = szHeader;
            if (strText.GetLength() > 0)
                strText += '\n';
        }
        if (m_pProperties != nullptr)
            strText += m_pProperties->Dump(0, "Properties");
        return strText;
    }
    VL_CATCH_LADDER(VLCMAPI_MODULE, "VLTarget")
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
