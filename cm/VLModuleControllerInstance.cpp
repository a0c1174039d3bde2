// Module instances: made from the top-level function definitions, deleted
// with their queued callbacks withdrawn first; the enable maps and the
// packet counts.
#include "cm/VLModuleController.h"

#include <mutex>
#include <thread>
#include <vector>

#include "cm/VLCMDefs.h"
#include "cm/VLModuleInstance.h"
#include "cm/VLModuleParamCollection.h"
#include "cm/VLTarget.h"
#include "base/core/VLException.h"
#include "base/core/VLExceptionOwner.h"
#include "base/core/VLInvalidParamException.h"
#include "base/core/VLNotExistException.h"
#include "base/core/VLThreadLock.h"
#include "base/core/VLTrace.h"

const char* const s_szFile = "VLModuleController";

namespace {
// The instance and all its descendants, parents first; walked without
// recursion so a deep tree cannot exhaust the stack.
std::vector<CVLModuleInstance*> CollectInstanceTree(CVLModuleInstance* pRoot)
{
    std::vector<CVLModuleInstance*> tree(1, pRoot);
    for (size_t i = 0; i < tree.size(); ++i)
        for (CVLModuleInstanceIterator it = tree[i]->Begin(); !it.IsEnd(); it.Next())
            tree.push_back(it.Get());
    return tree;
}
}  // namespace

CVLModuleInstance* CVLModuleController::CreateModuleInstance(CVLTarget* pTarget, VL_CONST_STR szFunctionName,
                                                             CVLModuleParamCollection* pInitParam)
{
    try {
        CVLModInstanceInfo* pInfo = m_Functions.Find(szFunctionName);
        if (pInfo == nullptr)
            throw new EVLNotExistException(VLCMAPI_MODULE, s_szFile, __LINE__, szFunctionName);
        CVLModuleParamCollection params;
        if (pInitParam != nullptr)
            params = *pInitParam;
        params.SetController(this);
        params.SetTarget(pTarget);
        CVLModuleInstance* pInstance = pInfo->CreateInstance(&params, nullptr);
        if (pInstance == nullptr)
            return nullptr;
        {
            CVLThreadLock lock(&m_ThreadSync);
            if (lock.Lock())
                m_LiveInstanceMap[pInstance] = pInstance;
        }
        try {
            pInstance->SetTarget(pTarget);
            if (pTarget != nullptr)
                pTarget->AddInstance(pInstance);
            CVLModuleParamCollection* pParams = pInstance->GetParams();
            if (pInitParam != nullptr)
                *pParams = *pInitParam;
            pParams->SetController(this);
            pParams->SetInstance(pInstance);
            pParams->SetTarget(pTarget);
            pParams->SetFunctionName(szFunctionName);
            pParams->SetMethodName(pInfo->GetMethod().GetBuffer());
        } catch (...) {
            try {
                DeleteModuleInstance(pInstance);
            } catch (EVLException* pException) {
                pException->Delete();
            }
            throw;
        }
        return pInstance;
    }
    VL_CATCH_LADDER(VLCMAPI_MODULE, s_szFile)
}

void CVLModuleController::DeleteModuleInstance(CVLModuleInstance* pInstance)
{
    static const char* const kSignature =
        "void CVLModuleController::DeleteModuleInstance(CVLModuleInstance* pInstance)";
    if (pInstance == nullptr)
        return;
    CVLTrace::FunctionIn(VLCMAPI_MODULE, s_szFile, __LINE__, kSignature);
    try {
        // A child is owned by its parent's collection and deleted with it.
        if (pInstance->GetParent() != nullptr)
            throw new EVLInvalidParamException(VLCMAPI_MODULE, s_szFile, __LINE__);
        // The children post too (a probe's receive threads in their name):
        // their records go with the root's, and are refused until the
        // instances are gone.
        const std::vector<CVLModuleInstance*> tree = CollectInstanceTree(pInstance);
        {
            CVLThreadLock lock(&m_ThreadSync);
            if (lock.Lock())
                for (CVLModuleInstance* p : tree)
                    removeCallbackInfo(p, nullptr, nullptr);
        }
        // Detached from its target without the controller lock: module code
        // may post callbacks while it holds the target's lock.
        CVLTarget* pTarget = pInstance->GetTarget();
        if (pTarget != nullptr) {
            pTarget->RemoveInstance(pInstance);
            pInstance->SetTarget(nullptr);
        }
        // A target's Stop may have detached it already and still be about
        // to stop it.
        WaitForStoppingInstance(pInstance);
        // The instance goes even when ending it fails; the first failure is
        // reported afterwards.
        CVLExceptionOwner failure;
        try {
            pInstance->Stop();
        } catch (EVLException* pException) {
            failure.KeepFirst(pException);
        }
        try {
            pInstance->Release();
        } catch (EVLException* pException) {
            failure.KeepFirst(pException);
        }
        {
            // Waits while Terminate is ending the live instances.
            CVLThreadLock end(&m_EndSync);
            end.Lock();
            CVLThreadLock lock(&m_ThreadSync);
            if (lock.Lock())
                m_LiveInstanceMap.erase(pInstance);
        }
        for (CVLModuleInstance* p : tree)
            UnlockCallbackInfo(p, nullptr, nullptr);
        delete pInstance;
        failure.ThrowIfAny();
    }
    VL_CATCH_LADDER(VLCMAPI_MODULE, s_szFile)
    CVLTrace::FunctionOut(VLCMAPI_MODULE, s_szFile, __LINE__, kSignature);
}

void CVLModuleController::HoldStoppingInstance(CVLModuleInstance* pInstance)
{
    std::lock_guard<std::mutex> lock(m_StoppingMutex);
    auto it = m_StoppingMap.find(pInstance);
    if (it == m_StoppingMap.end())
        m_StoppingMap[pInstance] = SStopping{std::this_thread::get_id(), 1};
    else
        ++it->second.m_nCount;
}

void CVLModuleController::ReleaseStoppingInstance(CVLModuleInstance* pInstance)
{
    std::lock_guard<std::mutex> lock(m_StoppingMutex);
    auto it = m_StoppingMap.find(pInstance);
    if (it == m_StoppingMap.end())
        return;
    if (--it->second.m_nCount == 0) {
        m_StoppingMap.erase(it);
        m_StoppingCond.notify_all();
    }
}

void CVLModuleController::WaitForStoppingInstance(CVLModuleInstance* pInstance)
{
    std::unique_lock<std::mutex> lock(m_StoppingMutex);
    // The stopping thread itself (an instance deleted from inside a stop)
    // would wait for itself.
    m_StoppingCond.wait(lock, [this, pInstance]() {
        auto it = m_StoppingMap.find(pInstance);
        return it == m_StoppingMap.end() || it->second.m_Thread == std::this_thread::get_id();
    });
}

bool CVLModuleController::CanCreateInstance(CVLModInstanceInfo* pInfo)
{
    if (pInfo == nullptr)
        return false;
    CVLThreadLock lock(&m_SyncOptions);
    lock.Lock();
    return m_NotCreateModuleMap.find(pInfo->GetModuleName()) == m_NotCreateModuleMap.end() &&
           m_NotCreateInstanceMap.find(pInfo->GetLocalName()) == m_NotCreateInstanceMap.end() &&
           m_NotCreateInstanceMap.find(pInfo->GetName()) == m_NotCreateInstanceMap.end();
}

void CVLModuleController::EnableModule(VL_CONST_STR szName, bool bEnable)
{
    try {
        CVLString strName(szName, VL_CHARSET_UTF8);
        CVLThreadLock lock(&m_SyncOptions);
        lock.Lock();
        if (bEnable)
            m_NotCreateModuleMap.erase(strName);
        else
            m_NotCreateModuleMap[strName] = strName;
    }
    VL_CATCH_LADDER(VLCMAPI_MODULE, s_szFile)
}

void CVLModuleController::EnableInstance(VL_CONST_STR szName, bool bEnable)
{
    try {
        CVLString strName(szName, VL_CHARSET_UTF8);
        CVLThreadLock lock(&m_SyncOptions);
        lock.Lock();
        if (bEnable)
            m_NotCreateInstanceMap.erase(strName);
        else
            m_NotCreateInstanceMap[strName] = strName;
    }
    VL_CATCH_LADDER(VLCMAPI_MODULE, s_szFile)
}

int CVLModuleController::GetPacketCount(VL_CONST_STR szFunctionName, VL_CONST_STR szName)
{
    try {
        CVLModInstanceInfo* pInfo = m_Functions.Find(szFunctionName);
        return pInfo == nullptr ? 0 : pInfo->GetPacketCount(szName);
    }
    VL_CATCH_LADDER(VLCMAPI_MODULE, s_szFile)
}

// The definitions do not change between Initialize and Terminate, which
// take the controller lock; so does each of these.
std::vector<std::string> CVLModuleController::GetFunctionNames()
{
    std::vector<std::string> names;
    CVLThreadLock lock(&m_ThreadSync);
    if (!lock.Lock())
        return names;
    for (CVLModInstanceInfoConstIterator it = m_Functions.ConstBegin(); !it.IsEnd(); it.Next())
        names.push_back(it.Get()->GetName().GetString());
    return names;
}

bool CVLModuleController::GetPacketListNames(VL_CONST_STR szFunctionName, std::set<std::string>& names)
{
    CVLThreadLock lock(&m_ThreadSync);
    const CVLModInstanceInfo* pInfo = lock.Lock() ? m_Functions.Find(szFunctionName) : nullptr;
    if (pInfo == nullptr)
        return false;
    pInfo->AddPacketListNames(names);
    return true;
}

SVLPacketListRequests CVLModuleController::GetPacketListRequests(VL_CONST_STR szFunctionName, VL_CONST_STR szName)
{
    SVLPacketListRequests list;
    CVLThreadLock lock(&m_ThreadSync);
    const CVLModInstanceInfo* pInfo = lock.Lock() ? m_Functions.Find(szFunctionName) : nullptr;
    if (pInfo != nullptr)
        pInfo->AddPacketListRequests(this, szName, list);
    return list;
}

CVLModule* CVLModuleController::GetFunctionModule(VL_CONST_STR szFunctionName)
{
    CVLThreadLock lock(&m_ThreadSync);
    const CVLModInstanceInfo* pInfo = lock.Lock() ? m_Functions.Find(szFunctionName) : nullptr;
    return pInfo != nullptr ? pInfo->GetModule() : nullptr;
}

std::string CVLModuleController::GetDefinitionsSource()
{
    CVLThreadLock lock(&m_ThreadSync);
    if (!lock.Lock())
        return std::string();
    const CVLString& strSource = m_DefineLoader.GetSourcePath();
    return strSource.GetLength() > 0 ? strSource.GetBuffer() : std::string();
}

std::vector<std::string> CVLModuleController::GetInstanceNames(VL_CONST_STR szFunctionName)
{
    std::vector<std::string> names;
    CVLThreadLock lock(&m_ThreadSync);
    const CVLModInstanceInfo* pInfo = lock.Lock() ? m_Functions.Find(szFunctionName) : nullptr;
    if (pInfo != nullptr)
        pInfo->AddInstanceNames(names);
    return names;
}
