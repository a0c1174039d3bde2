#include "cm/VLCMApi.h"

#include <atomic>

#include "cm/VLCMDefs.h"
#include "base/core/VLException.h"
#include "base/core/VLInvalidParamException.h"
#include "base/core/VLTrace.h"
#include "cm/VLModuleController.h"

const char* const s_szFile = "VLCMApi";

namespace {
std::atomic<VLCM_MODULE_LIBRARIES_FUNC> s_pModuleLibraries(nullptr);
const char* const kProbeName = "Probe";
}  // namespace

// The controller knows its facade from the start, so that objects made
// through its factory hooks reach it before the framework is initialized.
CVLCMApi::CVLCMApi() : m_pModuleController(new CVLModuleController(this))
{
    CVLTrace::FunctionIn(VLCMAPI_MODULE, s_szFile, __LINE__, "CVLCMApi::CVLCMApi()");
    CVLTrace::FunctionOut(VLCMAPI_MODULE, s_szFile, __LINE__, "CVLCMApi::CVLCMApi()");
}

CVLCMApi::~CVLCMApi()
{
    CVLTrace::FunctionIn(VLCMAPI_MODULE, s_szFile, __LINE__, "CVLCMApi::~CVLCMApi()");
    CVLTrace::FunctionOut(VLCMAPI_MODULE, s_szFile, __LINE__, "CVLCMApi::~CVLCMApi()");
    // Last, as a member would be: the controller terminates itself if the owner did not.
    delete m_pModuleController;
}

void CVLCMApi::InitializeModuleLibraries(CVLCMApi& api)
{
    VLCM_MODULE_LIBRARIES_FUNC pFunc = s_pModuleLibraries.load();
    if (pFunc != nullptr)
        pFunc(api);
}

void CVLCMApi::SetModuleLibraries(VLCM_MODULE_LIBRARIES_FUNC pFunc)
{
    s_pModuleLibraries.store(pFunc);
}

VLCM_MODULE_LIBRARIES_FUNC CVLCMApi::GetModuleLibraries()
{
    return s_pModuleLibraries.load();
}

void CVLCMApi::Initialize(CVLCMApiConfig* pConfig, IVLCustomCallbackIF* pCustomCallbackIF)
{
    try {
        m_pModuleController->Initialize(this, pConfig, pCustomCallbackIF);
    }
    VL_CATCH_LADDER(VLCMAPI_MODULE, s_szFile)
}

void CVLCMApi::Terminate()
{
    try {
        m_pModuleController->Terminate();
    }
    VL_CATCH_LADDER(VLCMAPI_MODULE, s_szFile)
}

CVLXmlDocument* CVLCMApi::GetDefineDocument(VL_CONST_STR szName, bool bCreate)
{
    return m_pModuleController->GetDefineDocument(szName, bCreate);
}

void CVLCMApi::LockOptions()
{
    m_pModuleController->LockOptions();
}

void CVLCMApi::UnlockOptions()
{
    m_pModuleController->UnlockOptions();
}

CVLSubnetInfoList& CVLCMApi::GetSubnetInfoList()
{
    return m_pModuleController->GetSubnetInfoList();
}

CVLMargeConditionList* CVLCMApi::GetMargeConditionList()
{
    return m_pModuleController->GetMargeConditionList();
}

CVLProperty* CVLCMApi::GetOptions()
{
    return m_pModuleController->GetOptions();
}

void CVLCMApi::SetConst(VL_CONST_STR szConstName, VL_CONST_STR szValue, VL_CONST_STR szModuleName,
                        VL_CONST_STR szInstanceName)
{
    m_pModuleController->SetConst(szConstName, szValue, szModuleName, szInstanceName);
}

CVLString CVLCMApi::GetConst(VL_CONST_STR szConstName, VL_CONST_STR szModuleName, VL_CONST_STR szInstanceName)
{
    CVLString strValue(VL_CHARSET_UTF8);
    m_pModuleController->FindConst(szConstName, strValue, szModuleName, szInstanceName);
    return strValue;
}

void CVLCMApi::EnableModule(VL_CONST_STR szName, bool bEnable)
{
    m_pModuleController->EnableModule(szName, bEnable);
}

void CVLCMApi::EnableInstance(VL_CONST_STR szName, bool bEnable)
{
    m_pModuleController->EnableInstance(szName, bEnable);
}

CVLTarget* CVLCMApi::CreateTarget()
{
    return m_pModuleController->CreateTarget();
}

CVLTargetList* CVLCMApi::CreateTargetList()
{
    return m_pModuleController->CreateTargetList();
}

CVLProperty* CVLCMApi::NewProperty(CVLProperty* pParent)
{
    return m_pModuleController->NewProperty(pParent);
}

CVLPropertyCollection* CVLCMApi::NewPropertyCollection(CVLProperty* pOwner)
{
    return m_pModuleController->NewPropertyCollection(pOwner);
}

void CVLCMApi::PostCallbackUser(CVLModuleInstance* pInstance, CVLTarget* pTarget, VLCM_USER_CALLBACK pCallback,
                                long lCallbackId, void* pCallbackParam, EVLException* pException)
{
    m_pModuleController->PostCallbackUser(pInstance, pTarget, pCallback, lCallbackId, pCallbackParam, pException);
}

void CVLCMApi::PostCallbackUser(CVLCallbackInfo* pUserCallbackInfo)
{
    m_pModuleController->PostCallbackUser(pUserCallbackInfo);
}

void CVLCMApi::RemoveCallbackInfo(void* pCallbackParam)
{
    m_pModuleController->RemoveCallbackInfo(nullptr, nullptr, pCallbackParam);
}

CVLModuleInstance* CVLCMApi::Probe(IVLFunctionListener* pListener, CVLTargetList* pTargetList,
                                   VL_CONST_STR szPacketListName, VL_CONST_STR szFunctionName,
                                   CVLModuleParamCollection* pInitParams)
{
    static const char* const kSignature =
        "CVLModuleInstance* CVLCMApi::Probe(IVLFunctionListener* pListener, CVLTargetList* pTargetList, "
        "VL_CONST_STR szPacketListName, VL_CONST_STR szFunctionName, CVLModuleParamCollection* pInitParams)";
    CVLTrace::FunctionIn(VLCMAPI_MODULE, s_szFile, __LINE__, kSignature);
    CVLModuleInstance* pInstance = nullptr;
    try {
        if (pListener == nullptr)
            throw new EVLInvalidParamException(VLCMAPI_MODULE, s_szFile, __LINE__);
        if (szPacketListName == nullptr)
            szPacketListName = kProbeName;
        if (szFunctionName == nullptr)
            szFunctionName = kProbeName;
        pInstance = m_pModuleController->ExecFunction(nullptr, szFunctionName, szPacketListName, pListener, nullptr,
                                                      pTargetList, pInitParams, nullptr, nullptr);
    }
    VL_CATCH_LADDER(VLCMAPI_MODULE, s_szFile)
    CVLTrace::FunctionOut(VLCMAPI_MODULE, s_szFile, __LINE__, kSignature);
    return pInstance;
}

int CVLCMApi::GetPacketCount(VL_CONST_STR szFunctionName, VL_CONST_STR szPacketListName)
{
    return m_pModuleController->GetPacketCount(szFunctionName, szPacketListName);
}

void CVLCMApi::GetFlags(bool* pbFirst, bool* pbSecond)
{
    if (pbFirst == nullptr || pbSecond == nullptr)
        throw new EVLInvalidParamException(VLCMAPI_MODULE, s_szFile, __LINE__);
    *pbFirst = true;
    *pbSecond = false;
}

void CVLCMApi::DispatchCallback(long lTimeout)
{
    m_pModuleController->DispatchCallback(lTimeout);
}

void CVLCMApi::AddModuleStaticLibrary(VL_CONST_STR szModuleName, CVLModule* pModule)
{
    try {
        m_pModuleController->AddModuleStaticLibrary(szModuleName, pModule);
    }
    VL_CATCH_LADDER(VLCMAPI_MODULE, s_szFile)
}

CVLModuleController* CVLCMApi::GetModuleController()
{
    return m_pModuleController;
}
