#include "cm/VLModule.h"

#include "cm/VLCMDefs.h"
#include "cm/VLModInstanceIF.h"
#include "base/core/VLException.h"
#include "base/core/VLMemoryAllocException.h"
#include "base/core/VLNullObjectException.h"
#include "base/core/VLTrace.h"

const char* const s_szFile = "VLModule";

CVLModule::CVLModule() : m_bInit(false), m_strModuleName(VL_CHARSET_UTF8)
{
}

CVLModule::~CVLModule()
{
    CVLTrace::FunctionIn(VLCMAPI_MODULE, s_szFile, __LINE__, "CVLModule::~CVLModule()");
    CVLTrace::FunctionOut(VLCMAPI_MODULE, s_szFile, __LINE__, "CVLModule::~CVLModule()");
}

void CVLModule::SetModuleName(VL_CONST_STR szModuleName)
{
    m_strModuleName = szModuleName;
}

CVLString CVLModule::GetModuleName()
{
    return m_strModuleName;
}

void CVLModule::Initialize(CVLModuleParamCollection* pParams)
{
    static const char* const kSignature = "void CVLModule::Initialize(CVLModuleParamCollection* pParams)";
    CVLTrace::FunctionIn(VLCMAPI_MODULE, s_szFile, __LINE__, kSignature);
    try {
        if (!m_bInit) {
            onInitialize(pParams);
            m_bInit = true;
        }
    }
    VL_CATCH_LADDER(VLCMAPI_MODULE, s_szFile)
    CVLTrace::FunctionOut(VLCMAPI_MODULE, s_szFile, __LINE__, kSignature);
}

void CVLModule::Terminate(CVLModuleParamCollection* pParams)
{
    static const char* const kSignature = "void CVLModule::Terminate(CVLModuleParamCollection* pParams)";
    CVLTrace::FunctionIn(VLCMAPI_MODULE, s_szFile, __LINE__, kSignature);
    try {
        onTerminate(pParams);
        m_bInit = false;
    }
    VL_CATCH_LADDER(VLCMAPI_MODULE, s_szFile)
    CVLTrace::FunctionOut(VLCMAPI_MODULE, s_szFile, __LINE__, kSignature);
}

IVLModInstanceIF* CVLModule::CreateInstance(CVLModInstanceInfo* pInstanceInfo, CVLModuleParamCollection* pParams)
{
    static const char* const kSignature =
        "IVLModInstanceIF* CVLModule::CreateInstance(CVLModInstanceInfo* pInstanceInfo, "
        "CVLModuleParamCollection* pParams)";
    (void)pInstanceInfo;
    (void)pParams;
    CVLTrace::FunctionIn(VLCMAPI_MODULE, s_szFile, __LINE__, kSignature);
    IVLModInstanceIF* pInstanceIF = nullptr;
    try {
        pInstanceIF = onNew();
        if (pInstanceIF == nullptr)
            throw new EVLMemoryAllocException(VLCMAPI_MODULE, s_szFile, __LINE__);
    }
    VL_CATCH_LADDER(VLCMAPI_MODULE, s_szFile)
    CVLTrace::FunctionOut(VLCMAPI_MODULE, s_szFile, __LINE__, kSignature);
    return pInstanceIF;
}

void CVLModule::DestroyInstance(IVLModInstanceIF* pInstanceIF, CVLModuleInstance* pInstance,
                                CVLModuleParamCollection* pParams)
{
    static const char* const kSignature =
        "void CVLModule::DestroyInstance(IVLModInstanceIF* pInstanceIF, CVLModuleInstance* pInstance, "
        "CVLModuleParamCollection* pParams)";
    CVLTrace::FunctionIn(VLCMAPI_MODULE, s_szFile, __LINE__, kSignature);
    try {
        if (pInstanceIF == nullptr || pInstance == nullptr)
            throw new EVLNullObjectException(VLCMAPI_MODULE, s_szFile, __LINE__);
        // The object is deleted even when its own clean-up fails.
        try {
            pInstanceIF->DestroyInstance(pInstance, pParams);
        } catch (...) {
            onDelete(pInstanceIF);
            throw;
        }
        onDelete(pInstanceIF);
    }
    VL_CATCH_LADDER(VLCMAPI_MODULE, s_szFile)
    CVLTrace::FunctionOut(VLCMAPI_MODULE, s_szFile, __LINE__, kSignature);
}

int CVLModule::GetPacketCount(VL_CONST_STR szName)
{
    (void)szName;
    return 0;
}

void CVLModule::AddPacketListNames(std::set<std::string>& names)
{
    (void)names;
}

void CVLModule::AddPacketListRequests(CVLModuleController* pController, const CVLModInstanceInfo* pInfo,
                                      VL_CONST_STR szName, SVLPacketListRequests& list)
{
    (void)pController;
    (void)pInfo;
    (void)szName;
    (void)list;
}

bool CVLModule::IsInit()
{
    return m_bInit;
}

void CVLModule::onInitialize(CVLModuleParamCollection* pParams)
{
    (void)pParams;
}

void CVLModule::onTerminate(CVLModuleParamCollection* pParams)
{
    (void)pParams;
}
