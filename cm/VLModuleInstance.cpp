#include "cm/VLModuleInstance.h"

#include "cm/VLCMDefs.h"
#include "cm/VLModInstanceInfo.h"
#include "cm/VLModule.h"
#include "cm/VLModuleController.h"
#include "base/core/VLException.h"
#include "base/core/VLNullObjectException.h"
#include "base/core/VLStopFunctionException.h"
#include "base/core/VLThreadLock.h"

const char* const s_szFile = "VLModuleInstance";

namespace {
const CVLString& EmptyText()
{
    static const CVLString s_strEmpty(VL_CHARSET_UTF8);
    return s_strEmpty;
}
}  // namespace

CVLModuleInstance::CVLModuleInstance() : CVLModuleInstance(nullptr)
{
}

CVLModuleInstance::CVLModuleInstance(CVLCMApi* pApi)
    : CVLApiObject(pApi), m_pModule(nullptr), m_pTarget(nullptr), m_pInstanceIF(nullptr), m_bStop(false),
      m_pInstanceInfo(nullptr)
{
    m_Params.SetOwnerInstance(this);
}

CVLModuleInstance::~CVLModuleInstance()
{
    RemoveAll();
}

void CVLModuleInstance::Destroy()
{
    try {
        CVLModuleController* pController = GetModuleController();
        if (pController == nullptr)
            throw new EVLNullObjectException(VLCMAPI_MODULE, s_szFile, __LINE__);
        pController->DeleteModuleInstance(this);
    }
    VL_CATCH_LADDER(VLCMAPI_MODULE, s_szFile)
}

const CVLString& CVLModuleInstance::GetName()
{
    return m_pInstanceInfo == nullptr ? EmptyText() : m_pInstanceInfo->GetName();
}

const CVLString& CVLModuleInstance::GetModuleName()
{
    return m_pInstanceInfo == nullptr ? EmptyText() : m_pInstanceInfo->GetModuleName();
}

IVLModInstanceIF* CVLModuleInstance::GuardedImplementation()
{
    IVLModInstanceIF* pInstanceIF = nullptr;
    bool bStop = false;
    CVLThreadLock lock(&m_ThreadSync);
    if (lock.Lock()) {
        pInstanceIF = m_pInstanceIF;
        bStop = m_bStop;
    }
    if (pInstanceIF == nullptr)
        throw new EVLNullObjectException(VLCMAPI_MODULE, s_szFile, __LINE__);
    if (bStop)
        throw new EVLStopFunctionException(VLCMAPI_MODULE, s_szFile, __LINE__);
    return pInstanceIF;
}

IVLStream* CVLModuleInstance::GetSendStream(CVLModuleParamCollection* pParams)
{
    return GuardedImplementation()->GetSendStream(pParams);
}

IVLStream* CVLModuleInstance::GetSendStream()
{
    return GuardedImplementation()->GetSendStream();
}

void CVLModuleInstance::CallMethod()
{
    try {
        IVLModInstanceIF* pInstanceIF = GuardedImplementation();
        CVLModuleController* pController = m_Params.GetController();
        if (pController != nullptr && m_pInstanceInfo != nullptr)
            pController->CreateScriptExtend(m_pInstanceInfo->GetOnStartMethod().GetBuffer(), this, &m_Params, nullptr);
        pInstanceIF->CallMethod(this, &m_Params);
        if (pController != nullptr && m_pInstanceInfo != nullptr)
            pController->CreateScriptExtend(m_pInstanceInfo->GetOnEndMethod().GetBuffer(), this, &m_Params, nullptr);
    }
    VL_CATCH_LADDER(VLCMAPI_MODULE, s_szFile)
}

void CVLModuleInstance::Stop()
{
    try {
        CVLThreadLock lock(&m_ThreadSync);
        if (!lock.Lock() || m_bStop)
            return;
        if (m_pInstanceIF == nullptr)
            throw new EVLNullObjectException(VLCMAPI_MODULE, s_szFile, __LINE__);
        for (CVLModuleInstanceIterator it = Begin(); !it.IsEnd(); it.Next())
            it.Get()->Stop();
        m_bStop = true;
        m_pInstanceIF->Stop(this, &m_Params);
    }
    VL_CATCH_LADDER(VLCMAPI_MODULE, s_szFile)
}

void CVLModuleInstance::SetLastPacketStatus(VLCM_PACKET_STATUS eStatus)
{
    GuardedImplementation()->SetLastPacketStatus(eStatus);
}

void CVLModuleInstance::SetImplementation(IVLModInstanceIF* pInstanceIF)
{
    CVLThreadLock lock(&m_ThreadSync);
    if (lock.Lock())
        m_pInstanceIF = pInstanceIF;
}

IVLModInstanceIF* CVLModuleInstance::GetImplementation()
{
    CVLThreadLock lock(&m_ThreadSync);
    return lock.Lock() ? m_pInstanceIF : nullptr;
}

CVLModInstanceInfo* CVLModuleInstance::GetFunctionInfo()
{
    return m_pInstanceInfo;
}

bool CVLModuleInstance::IsStopped()
{
    CVLThreadLock lock(&m_ThreadSync);
    return lock.Lock() ? m_bStop : false;
}

void CVLModuleInstance::SetStopped(bool bStop)
{
    CVLThreadLock lock(&m_ThreadSync);
    if (lock.Lock())
        m_bStop = bStop;
}

CVLModuleParamCollection* CVLModuleInstance::GetParams()
{
    return &m_Params;
}

CVLModuleInstance* CVLModuleInstance::GetFirstChild()
{
    return GetCount() == 0 ? nullptr : GetAt(0);
}

CVLModuleInstance& CVLModuleInstance::operator=(const CVLModuleInstance& src)
{
    if (&src == this)
        return *this;
    CopyApi(src);
    m_pModule = src.m_pModule;
    SetImplementation(src.m_pInstanceIF);
    SetStopped(src.m_bStop);
    m_pInstanceInfo = src.m_pInstanceInfo;
    m_Params = src.m_Params;
    return *this;
}

CVLModuleInstance* CVLModuleInstance::CreateObject()
{
    return new CVLModuleInstance(nullptr);
}

void CVLModuleInstance::DeleteObject(CVLModuleInstance* pInstance)
{
    delete pInstance;
}

CVLModuleInstance* CVLModuleInstance::CreateElement(const char* szKey)
{
    (void)szKey;
    return CreateObject();
}

void CVLModuleInstance::DeleteElement(CVLModuleInstance* p)
{
    DeleteObject(p);
}

void CVLModuleInstance::Initialize(IVLModInstanceIF* pInstanceIF, CVLModInstanceInfo* pInstanceInfo,
                                   CVLModuleParamCollection* pParams)
{
    try {
        if (pParams == nullptr)
            throw new EVLNullObjectException(VLCMAPI_MODULE, s_szFile, __LINE__);
        // The module is taken with the implementation, so that a failure
        // below can still hand the implementation back.
        m_pInstanceIF = pInstanceIF;
        m_pInstanceInfo = pInstanceInfo;
        m_pModule = pInstanceInfo == nullptr ? nullptr : pInstanceInfo->GetModule();
        m_Params = *pParams;
        if (pInstanceIF != nullptr)
            pInstanceIF->CreateInstance(this, &m_Params);
    }
    VL_CATCH_LADDER(VLCMAPI_MODULE, s_szFile)
}

void CVLModuleInstance::Release()
{
    try {
        CVLThreadLock lock(&m_ThreadSync);
        if (!lock.Lock())
            return;
        for (CVLModuleInstanceIterator it = Begin(); !it.IsEnd(); it.Next())
            it.Get()->Release();
        if (m_pInstanceIF != nullptr) {
            IVLModInstanceIF* pInstanceIF = m_pInstanceIF;
            m_pInstanceIF = nullptr;
            if (m_pModule != nullptr)
                m_pModule->DestroyInstance(pInstanceIF, this, &m_Params);
        }
    }
    VL_CATCH_LADDER(VLCMAPI_MODULE, s_szFile)
}

void CVLModuleInstance::SetTarget(CVLTarget* pTarget)
{
    CVLThreadLock lock(&m_ThreadSync);
    if (lock.Lock())
        m_pTarget = pTarget;
}

CVLTarget* CVLModuleInstance::GetTarget()
{
    CVLThreadLock lock(&m_ThreadSync);
    return lock.Lock() ? m_pTarget : nullptr;
}
