#include "cm/VLModuleController.h"

#include <new>

#include "cm/VLCMApi.h"
#include "cm/VLCMDefs.h"
#include "cm/VLDefineFormatException.h"
#include "cm/VLModule.h"
#include "cm/VLModuleInstance.h"
#include "cm/VLModuleParamCollection.h"
#include "cm/VLProperty.h"
#include "cm/VLPropertyCollection.h"
#include "cm/VLTarget.h"
#include "cm/VLTargetList.h"
#include "base/core/VLException.h"
#include "base/core/VLExceptionOwner.h"
#include "base/core/VLFileSystem.h"
#include "base/core/VLInvalidParamException.h"
#include "base/core/VLLockException.h"
#include "base/core/VLMemoryAllocException.h"
#include "base/core/VLOpenException.h"
#include "base/core/VLThreadLock.h"
#include "base/core/VLTrace.h"
#include "base/xml/VLXmlDocument.h"

const char* const s_szFile = "VLModuleController";

namespace {

// The queue's semaphore counts up to the largest signed 32-bit value.
const int kCallbackSemaphoreMax = 2147483647;
// VLFileExists: a file or a directory.
const int kExistsFileOrDirectory = 2;

// The default factory hooks make the framework's own classes.
CVLTarget* DefaultNewTarget(CVLCMApi* pApi)
{
    return new CVLTarget(pApi);
}

CVLTargetList* DefaultNewTargetList(CVLCMApi* pApi)
{
    return new CVLTargetList(pApi);
}

CVLProperty* DefaultNewProperty(CVLCMApi* pApi, CVLProperty* pParent)
{
    return new CVLProperty(pApi, pParent);
}

CVLPropertyCollection* DefaultNewPropertyCollection(CVLCMApi* pApi, CVLProperty* pOwner)
{
    return new CVLPropertyCollection(pApi, pOwner);
}

void DefaultDeleteTarget(CVLCMApi*, CVLTarget* pTarget)
{
    delete pTarget;
}

void DefaultDeleteTargetList(CVLCMApi*, CVLTargetList* pTargetList)
{
    delete pTargetList;
}

void DefaultDeleteProperty(CVLCMApi*, CVLProperty* pProperty)
{
    delete pProperty;
}

void DefaultDeletePropertyCollection(CVLCMApi*, CVLPropertyCollection* pCollection)
{
    delete pCollection;
}

std::string ExceptionText(EVLException* pException)
{
    CVLString str = pException->ToString().ConvertTo(VL_CHARSET_UTF8, true);
    return std::string(str.GetBuffer(), static_cast<size_t>(str.GetLength()));
}

}  // namespace

CVLModuleController::CVLModuleController(CVLCMApi* pApi)
    : CVLLockableObject(), CVLApiObject(pApi), m_bInitFlag(false), m_pPropertyTreeDocument(nullptr),
      m_pCustomCallbackIF(nullptr), m_pOptionRoot(nullptr), m_pNewTargetFunc(DefaultNewTarget),
      m_pNewTargetListFunc(DefaultNewTargetList), m_pNewPropertyFunc(DefaultNewProperty),
      m_pNewPropertyCollectionFunc(DefaultNewPropertyCollection), m_pDeleteTargetFunc(DefaultDeleteTarget),
      m_pDeleteTargetListFunc(DefaultDeleteTargetList), m_pDeletePropertyFunc(DefaultDeleteProperty),
      m_pDeletePropertyCollectionFunc(DefaultDeletePropertyCollection)
{
    m_CallbackSemaphore.Initialize(kCallbackSemaphoreMax, 0);
}

CVLModuleController::~CVLModuleController()
{
    // Modules registered at destruction are terminated and deleted too, and
    // no instance is left pointing at them.
    try {
        Terminate();
    } catch (...) {
        ReleaseCurrentException();
    }
    if (m_pOptionRoot != nullptr) {
        try {
            m_pOptionRoot->Destroy();
        } catch (...) {
            ReleaseCurrentException();
        }
        m_pOptionRoot = nullptr;
    }
}

bool CVLModuleController::IsInitialized()
{
    CVLThreadLock lock(&m_ThreadSync);
    return lock.Lock() && m_bInitFlag;
}

void CVLModuleController::Initialize(CVLCMApi* pApi, CVLCMApiConfig* pConfig, IVLCustomCallbackIF* pCustomCallbackIF)
{
    static const char* const kSignature =
        "void CVLModuleController::Initialize(CVLCMApi* pApi, CVLCMApiConfig* pConfig, "
        "IVLCustomCallbackIF* pCustomCallbackIF)";
    CVLTrace::FunctionIn(VLCMAPI_MODULE, s_szFile, __LINE__, kSignature);
    try {
        CVLThreadLock lock(&m_ThreadSync);
        if (!lock.Lock())
            throw new EVLLockException(VLCMAPI_MODULE, s_szFile, __LINE__);
        if (m_bInitFlag) {
            CVLTrace::FunctionOut(VLCMAPI_MODULE, s_szFile, __LINE__, kSignature);
            return;
        }
        if (pApi == nullptr)
            throw new EVLInvalidParamException(VLCMAPI_MODULE, s_szFile, __LINE__);
        m_strInitializeErrorText.clear();
        m_bDefinitionsFailed = false;
        bool bLoadingDefinitions = false;
        CVLString strMissingResource(VL_CHARSET_UTF8);
        try {
            SetApi(pApi);
            m_pCustomCallbackIF = pCustomCallbackIF;
            if (pConfig != nullptr)
                m_Config = *pConfig;
            if (m_Config.GetNewTargetFunc() != nullptr)
                m_pNewTargetFunc = m_Config.GetNewTargetFunc();
            if (m_Config.GetNewTargetListFunc() != nullptr)
                m_pNewTargetListFunc = m_Config.GetNewTargetListFunc();
            if (m_Config.GetNewPropertyFunc() != nullptr)
                m_pNewPropertyFunc = m_Config.GetNewPropertyFunc();
            if (m_Config.GetNewPropertyCollectionFunc() != nullptr)
                m_pNewPropertyCollectionFunc = m_Config.GetNewPropertyCollectionFunc();
            if (m_Config.GetDeleteTargetFunc() != nullptr)
                m_pDeleteTargetFunc = m_Config.GetDeleteTargetFunc();
            if (m_Config.GetDeleteTargetListFunc() != nullptr)
                m_pDeleteTargetListFunc = m_Config.GetDeleteTargetListFunc();
            if (m_Config.GetDeletePropertyFunc() != nullptr)
                m_pDeletePropertyFunc = m_Config.GetDeletePropertyFunc();
            if (m_Config.GetDeletePropertyCollectionFunc() != nullptr)
                m_pDeletePropertyCollectionFunc = m_Config.GetDeletePropertyCollectionFunc();

            CVLCMApi::InitializeModuleLibraries(*pApi);

            bLoadingDefinitions = true;
            // The resource that is missing, when its list is read instead.
            strMissingResource.Empty();
            m_DefineLoader.SetListName(
                m_Config.GetFileListName().GetBuffer() != nullptr ? m_Config.GetFileListName().GetBuffer() : "");
            if (m_Config.GetDefineData() != nullptr && m_Config.GetDefineDataSize() > 0)
                m_DefineLoader.Load(m_Config.GetDefineData(), static_cast<VL_SIZE_T>(m_Config.GetDefineDataSize()));
            else if (m_Config.GetDefineFilePath().GetLength() > 0 &&
                     VLFileExists(m_Config.GetDefineFilePath().GetBuffer(), kExistsFileOrDirectory))
                m_DefineLoader.Load(m_Config.GetDefineFilePath().GetBuffer());
            else if (m_Config.GetFileListName().GetLength() > 0) {
                strMissingResource = m_Config.GetDefineFilePath();
                m_DefineLoader.LoadFiles(m_Config.GetPathInfo(), m_Config.GetFileListName().GetBuffer());
            }
            bLoadingDefinitions = false;

            m_pPropertyTreeDocument = GetDefineDocument("PropertyRoot", false);
            OnDefineLoaded();

            CVLXmlDocument* pMapping = GetDefineDocument("ModuleMapping", false);
            if (pMapping != nullptr && pMapping->GetDocumentElement() != nullptr)
                LoadConsts(nullptr, &m_Functions, pMapping->GetDocumentElement(), nullptr);
            m_bInitFlag = true;
        } catch (...) {
            // A failed start leaves nothing behind, so that a retry starts
            // clean; constants set before it stay for that retry.
            try {
                throw;
            } catch (EVLException* pException) {
                // A definition a module's reader refused is the file's fault
                // too, named with its place.
                const EVLDefineFormatException* pFormat = dynamic_cast<EVLDefineFormatException*>(pException);
                m_bDefinitionsFailed = bLoadingDefinitions || pFormat != nullptr;
                m_strInitializeErrorText = pFormat != nullptr       ? m_DefineLoader.DescribeFormat(pFormat)
                                           : bLoadingDefinitions ? m_DefineLoader.DescribeFailure(pException)
                                                                 : ExceptionText(pException);
                // Neither form of the definitions is there: both are named.
                if (bLoadingDefinitions && strMissingResource.GetLength() > 0 &&
                    dynamic_cast<EVLOpenException*>(pException) != nullptr &&
                    !VLFileExists(m_DefineLoader.GetSourcePath().GetBuffer(), kExistsFileOrDirectory))
                    m_strInitializeErrorText += std::string("; ") + strMissingResource.GetBuffer() +
                                                " does not exist either";
            } catch (...) {
                m_strInitializeErrorText = "an unexpected failure";
            }
            Cleanup(true);
            throw;
        }
    }
    VL_CATCH_LADDER(VLCMAPI_MODULE, s_szFile)
    CVLTrace::FunctionOut(VLCMAPI_MODULE, s_szFile, __LINE__, kSignature);
}

void CVLModuleController::StopLiveInstances()
{
    // Stop and release without the controller lock: module threads that are
    // being ended may still post callbacks, which take it. Instances made
    // meanwhile are caught by the next round.
    CVLThreadLock end(&m_EndSync);
    end.Lock();
    for (;;) {
        std::map<CVLModuleInstance*, CVLModuleInstance*> live;
        {
            CVLThreadLock lock(&m_ThreadSync);
            if (!lock.Lock())
                return;
            live = m_LiveInstanceMap;
        }
        if (live.empty())
            return;
        for (auto& entry : live) {
            CVLModuleInstance* pInstance = entry.first;
            try {
                pInstance->Stop();
            } catch (EVLException* pException) {
                pException->Delete();
            }
            try {
                pInstance->Release();
            } catch (EVLException* pException) {
                pException->Delete();
            }
        }
        CVLThreadLock lock(&m_ThreadSync);
        if (!lock.Lock())
            return;
        for (auto& entry : live)
            m_LiveInstanceMap.erase(entry.first);
    }
}

void CVLModuleController::Cleanup(bool bKeepUserConsts)
{
    // Constant lookups read the definitions by path and their modules under
    // the options lock: the path map goes first, under that lock, before
    // anything it points at is deleted.
    {
        CVLThreadLock options(&m_SyncOptions);
        options.Lock();
        m_InstancePathMap.clear();
    }
    // Every step runs even when one before it fails.
    try {
        m_CallbackInfoList.DeleteAll();
    } catch (EVLException* pException) {
        pException->Delete();
    }
    try {
        RemoveAllModuleStaticLibraries();
    } catch (EVLException* pException) {
        pException->Delete();
    }
    m_Functions.RemoveAll();
    {
        CVLThreadLock options(&m_SyncOptions);
        options.Lock();
        m_ConstMap.clear();
        if (!bKeepUserConsts)
            m_UserConstMap.clear();
    }
    try {
        m_DefineLoader.Clear();
    } catch (EVLException* pException) {
        pException->Delete();
    }
    m_pPropertyTreeDocument = nullptr;
    // Records posted while the instances were being ended.
    try {
        m_CallbackInfoList.DeleteAll();
    } catch (EVLException* pException) {
        pException->Delete();
    }
    m_bInitFlag = false;
}

void CVLModuleController::Terminate()
{
    static const char* const kSignature = "void CVLModuleController::Terminate()";
    CVLTrace::FunctionIn(VLCMAPI_MODULE, s_szFile, __LINE__, kSignature);
    try {
        // Instances still alive point at the modules: end them first.
        StopLiveInstances();
        CVLThreadLock lock(&m_ThreadSync);
        if (lock.Lock()) {
            m_CallbackInfoList.DeleteAll();
            Cleanup(false);
        }
    }
    VL_CATCH_LADDER(VLCMAPI_MODULE, s_szFile)
    CVLTrace::FunctionOut(VLCMAPI_MODULE, s_szFile, __LINE__, kSignature);
}

CVLXmlDocument* CVLModuleController::GetDefineDocument(VL_CONST_STR szName, bool bCreate)
{
    return m_DefineLoader.GetDocument(szName, bCreate);
}

std::string CVLModuleController::DescribeUndefinedFunction(VL_CONST_STR szName)
{
    CVLThreadLock lock(&m_ThreadSync);
    if (!lock.Lock() || m_Functions.Find(szName) != nullptr)
        return std::string();
    const CVLString& strSource = m_DefineLoader.GetSourcePath();
    std::string strText = strSource.GetLength() > 0 ? strSource.GetBuffer() : "the definitions";
    strText += std::string(": no function \"") + szName + "\" is defined";
    if (GetDefineDocument("ModuleMapping", false) == nullptr)
        strText += ": there is no \"ModuleMapping\" document";
    // What the list left out may be what is missing.
    for (const std::string& strPassed : m_DefineLoader.GetPassedOver())
        strText += "; passed over: " + strPassed;
    return strText;
}

void CVLModuleController::OnDefineLoaded()
{
}

void CVLModuleController::AddModuleStaticLibrary(VL_CONST_STR szModuleName, CVLModule* pModule)
{
    try {
        if (szModuleName == nullptr || pModule == nullptr)
            return;
        CVLModule* pOld = nullptr;
        {
            CVLThreadLock lock(&m_ThreadSync);
            lock.Lock();
            try {
                CVLString strName(szModuleName, VL_CHARSET_UTF8);
                CVLModule*& pEntry = m_StaticModuleMap[strName];
                pOld = pEntry == pModule ? nullptr : pEntry;
                pEntry = pModule;
                pModule->SetModuleName(szModuleName);
                // Function definitions and live instances of an initialized
                // framework still point at the module replaced: it stays
                // until Terminate. The name refers to the new one.
                if (pOld != nullptr && m_bInitFlag) {
                    m_RetiredModuleList.push_back(pOld);
                    pOld = nullptr;
                }
            } catch (...) {
                // The module was handed over: it does not outlive a failed filing.
                auto it = m_StaticModuleMap.find(CVLString(szModuleName, VL_CHARSET_UTF8));
                if (it == m_StaticModuleMap.end() || it->second != pModule)
                    delete pModule;
                throw;
            }
        }
        if (pOld != nullptr) {
            // A replaced module is ended like any other at termination.
            CVLModuleParamCollection params;
            params.SetController(this);
            try {
                pOld->Terminate(&params);
            } catch (...) {
                delete pOld;
                throw;
            }
            delete pOld;
        }
    }
    VL_CATCH_LADDER(VLCMAPI_MODULE, s_szFile)
}

CVLProperty* CVLModuleController::NewProperty(CVLProperty* pParent)
{
    try {
        if (m_pNewPropertyFunc == nullptr)
            return nullptr;
        CVLProperty* pProperty = m_pNewPropertyFunc(GetApi(), pParent);
        if (pProperty == nullptr)
            throw new EVLMemoryAllocException(VLCMAPI_MODULE, s_szFile, __LINE__);
        return pProperty;
    }
    VL_CATCH_LADDER(VLCMAPI_MODULE, s_szFile)
}

void CVLModuleController::DeleteProperty(CVLProperty* pProperty)
{
    try {
        if (pProperty == nullptr)
            return;
        pProperty->OnDelete();
        if (m_pDeletePropertyFunc != nullptr)
            m_pDeletePropertyFunc(GetApi(), pProperty);
    }
    VL_CATCH_LADDER(VLCMAPI_MODULE, s_szFile)
}

CVLPropertyCollection* CVLModuleController::NewPropertyCollection(CVLProperty* pOwner)
{
    try {
        if (m_pNewPropertyCollectionFunc == nullptr)
            return nullptr;
        CVLPropertyCollection* pCollection = m_pNewPropertyCollectionFunc(GetApi(), pOwner);
        if (pCollection == nullptr)
            throw new EVLMemoryAllocException(VLCMAPI_MODULE, s_szFile, __LINE__);
        return pCollection;
    }
    VL_CATCH_LADDER(VLCMAPI_MODULE, s_szFile)
}

void CVLModuleController::DeletePropertyCollection(CVLPropertyCollection* pCollection)
{
    try {
        if (pCollection == nullptr)
            return;
        pCollection->RemoveAll();
        pCollection->OnDelete();
        if (m_pDeletePropertyCollectionFunc != nullptr)
            m_pDeletePropertyCollectionFunc(GetApi(), pCollection);
    }
    VL_CATCH_LADDER(VLCMAPI_MODULE, s_szFile)
}

CVLProperty* CVLModuleController::NewRootProperty()
{
    CVLProperty* pRoot = NewProperty(nullptr);
    if (pRoot == nullptr)
        throw new EVLMemoryAllocException(VLCMAPI_MODULE, s_szFile, __LINE__);
    if (m_pPropertyTreeDocument != nullptr) {
        try {
            pRoot->SetDefinition(m_pPropertyTreeDocument->GetDocumentElement());
        } catch (...) {
            pRoot->Destroy();
            throw;
        }
    }
    return pRoot;
}

CVLSubnetInfoList& CVLModuleController::GetSubnetInfoList()
{
    return m_SubnetInfoList;
}

CVLMargeConditionList* CVLModuleController::GetMargeConditionList()
{
    return &m_MargeConditionList;
}
