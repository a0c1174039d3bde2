#include "modules/execfunc/VLExecFunc.h"

#include <cstdint>

#include "cm/VLModInstanceInfo.h"
#include "cm/VLModuleController.h"
#include "cm/VLModuleInstance.h"
#include "cm/VLModuleParamCollection.h"
#include "base/core/VLAlreadyExecException.h"
#include "base/core/VLException.h"
#include "base/core/VLNullObjectException.h"
#include "base/core/VLThreadLock.h"
#include "base/core/VLTimeoutException.h"
#include "base/core/VLTrace.h"
#include "base/core/VLUnexpectedException.h"
#include "base/core/VLUnsupportedException.h"

#define VLEXECFUNC_MODULE "VLExecFunc"
const char* const s_szFile = "VLExecFunc";
// Throw-site codes: fixed numbers that identify each site in traces and
// results; they are not line numbers and never change.
const int kSiteCallMethodNull = 55;
const int kSiteCallMethodUnsupported = 69;
const int kSiteStopNull = 99;
const int kSiteRunUnexpected = 190;

namespace {
// The one method this module carries out.
const char* const kMethodExecFunction = "ExecFunction";

unsigned int TracePointer(const void* p)
{
    return static_cast<unsigned int>(reinterpret_cast<uintptr_t>(p));
}
}  // namespace

CVLExecFunc::CVLExecFunc() : m_pInstance(nullptr), m_pParams(nullptr), m_pModuleController(nullptr), m_bRunning(false)
{
}

CVLExecFunc::~CVLExecFunc()
{
    // Normally DestroyInstance has waited already; a thread left running
    // would go on with a deleted object.
    try {
        End();
    } catch (EVLException* pException) {
        pException->Delete();
    }
}

void CVLExecFunc::DestroyInstance(CVLModuleInstance* pInstance, CVLModuleParamCollection* pParams)
{
    static const char* const kSignature =
        "void CVLExecFunc::DestroyInstance(CVLModuleInstance* pInstance, CVLModuleParamCollection* pParams)";
    (void)pInstance, (void)pParams;
    CVLTrace::FunctionIn(VLEXECFUNC_MODULE, s_szFile, __LINE__, kSignature);
    try {
        End();
    }
    VL_CATCH_LADDER(VLEXECFUNC_MODULE, s_szFile)
    CVLTrace::FunctionOut(VLEXECFUNC_MODULE, s_szFile, __LINE__, kSignature);
}

void CVLExecFunc::CallMethod(CVLModuleInstance* pInstance, CVLModuleParamCollection* pParams)
{
    static const char* const kSignature =
        "void CVLExecFunc::CallMethod(CVLModuleInstance* pInstance, CVLModuleParamCollection* pParams)";
    CVLTrace::FunctionIn(VLEXECFUNC_MODULE, s_szFile, __LINE__, kSignature);
    try {
        if (pInstance == nullptr || pParams == nullptr)
            throw new EVLNullObjectException(VLEXECFUNC_MODULE, s_szFile, kSiteCallMethodNull);
        CVLTrace::OutputFunction(VLEXECFUNC_MODULE, s_szFile, __LINE__, kSignature, "Instance=%08x, MethodName=%s",
                                 TracePointer(pInstance->GetImplementation()), pParams->GetMethodName().GetBuffer());
        if (!(pParams->GetMethodName() == kMethodExecFunction))
            throw new EVLUnsupportedException(VLEXECFUNC_MODULE, s_szFile, kSiteCallMethodUnsupported,
                                              pParams->GetMethodName().GetBuffer());
        ExecFunction(pInstance, pParams);
    }
    VL_CATCH_LADDER(VLEXECFUNC_MODULE, s_szFile)
    CVLTrace::FunctionOut(VLEXECFUNC_MODULE, s_szFile, __LINE__, kSignature);
}

void CVLExecFunc::Stop(CVLModuleInstance* pInstance, CVLModuleParamCollection* pParams)
{
    static const char* const kSignature =
        "void CVLExecFunc::Stop(CVLModuleInstance* pInstance, CVLModuleParamCollection* pParams)";
    CVLTrace::FunctionIn(VLEXECFUNC_MODULE, s_szFile, __LINE__, kSignature);
    try {
        if (pInstance == nullptr || pParams == nullptr)
            throw new EVLNullObjectException(VLEXECFUNC_MODULE, s_szFile, kSiteStopNull);
        CVLTrace::OutputFunction(VLEXECFUNC_MODULE, s_szFile, __LINE__, kSignature, "Instance=%08x, MethodName=%s",
                                 TracePointer(pInstance->GetImplementation()), pParams->GetMethodName().GetBuffer());
        End();
    }
    VL_CATCH_LADDER(VLEXECFUNC_MODULE, s_szFile)
    CVLTrace::FunctionOut(VLEXECFUNC_MODULE, s_szFile, __LINE__, kSignature);
}

void CVLExecFunc::ExecFunction(CVLModuleInstance* pInstance, CVLModuleParamCollection* pParams)
{
    static const char* const kSignature =
        "void CVLExecFunc::ExecFunction(CVLModuleInstance* pInstance, CVLModuleParamCollection* pParams)";
    CVLTrace::FunctionIn(VLEXECFUNC_MODULE, s_szFile, __LINE__, kSignature);
    try {
        CVLThreadLock lock(&m_RunSync);
        lock.Lock();
        // The running thread reads the recorded instance and parameters; a
        // second run may not change them under it.
        if (m_bRunning)
            throw new EVLAlreadyExecException(VLEXECFUNC_MODULE, s_szFile, __LINE__, kMethodExecFunction);
        m_pInstance = pInstance;
        m_pParams = pParams;
        m_pModuleController = pParams == nullptr ? nullptr : pParams->GetController();
        if (pParams == nullptr || pParams->GetListener() == nullptr) {
            lock.Unlock();
            RunSequence(false);
        } else {
            m_bRunning = true;
            try {
                // The last run is over, but its thread may not have returned
                // yet; Start would then do nothing and this run be lost.
                // Joining it here is quick: it takes no lock after its run.
                End();
                Start(nullptr);
            } catch (...) {
                m_bRunning = false;
                throw;
            }
        }
    }
    VL_CATCH_LADDER(VLEXECFUNC_MODULE, s_szFile)
    CVLTrace::FunctionOut(VLEXECFUNC_MODULE, s_szFile, __LINE__, kSignature);
}

void CVLExecFunc::OnThread(void* pData)
{
    static const char* const kSignature = "void CVLExecFunc::OnThread(void* pData)";
    (void)pData;
    CVLTrace::FunctionIn(VLEXECFUNC_MODULE, s_szFile, __LINE__, kSignature);
    // A failure that ends the run is reported to the listener, who would
    // otherwise wait for a callback that never comes.
    try {
        try {
            RunSequence(true);
        }
        VL_CATCH_LADDER(VLEXECFUNC_MODULE, s_szFile)
    } catch (EVLException* pException) {
        PostException(pException);
    }
    {
        CVLThreadLock lock(&m_RunSync);
        lock.Lock();
        m_bRunning = false;
    }
    CVLTrace::FunctionOut(VLEXECFUNC_MODULE, s_szFile, __LINE__, kSignature);
}

bool CVLExecFunc::StopOnTimeout(CVLModuleInstance* pInstance, bool bDefault)
{
    if (m_pModuleController == nullptr || pInstance == nullptr)
        return bDefault;
    CVLString strValue(72);
    if (!m_pModuleController->FindConst("onTimeout", strValue, pInstance->GetModuleName().GetBuffer(),
                                        pInstance->GetName().GetBuffer()))
        return bDefault;
    return strValue.ToBool(bDefault);
}

void CVLExecFunc::PostException(EVLException* pException)
{
    if (m_pModuleController == nullptr || m_pParams == nullptr) {
        VLDeleteException(pException);
        return;
    }
    try {
        m_pModuleController->PostCallbackException(m_pInstance, m_pParams, m_pParams->GetTarget(), pException);
    } catch (EVLException* pFailure) {
        // The queue took the exception over or released it; nothing is left
        // to report the failure to.
        VLDeleteException(pFailure);
    }
}

void CVLExecFunc::RunSequence(bool bThreaded)
{
    if (m_pInstance == nullptr || m_pParams == nullptr)
        throw new EVLNullObjectException(VLEXECFUNC_MODULE, s_szFile, __LINE__);
    CVLString strMethod(m_pParams->GetMethodName());
    if (!(strMethod == kMethodExecFunction)) {
        if (m_pModuleController != nullptr)
            m_pModuleController->CreateScriptExtend(strMethod.GetBuffer(), m_pInstance, m_pParams, nullptr);
        return;
    }
    bool bStopOnTimeout = StopOnTimeout(m_pInstance, true);
    for (CVLModuleInstanceIterator it = m_pInstance->Begin(); !it.IsEnd(); it.Next()) {
        // A stop asked for between two children ends the run there.
        if (bThreaded && IsRequestEnd())
            break;
        CVLModuleInstance* pChild = it.Get();
        try {
            CVLModInstanceInfo* pInfo = pChild->GetFunctionInfo();
            CVLModuleParamCollection* pChildParams = pChild->GetParams();
            *pChildParams = *m_pParams;
            if (pInfo != nullptr)
                pChildParams->SetMethodName(pInfo->GetMethod().GetBuffer());
            pChild->CallMethod();
            m_pParams->GetResult() = pChildParams->GetResult();
        } catch (EVLTimeoutException* pTimeout) {
            if (StopOnTimeout(pChild, bStopOnTimeout)) {
                CVLTrace::OutputException(VLEXECFUNC_MODULE, s_szFile, 174, pTimeout);
                throw;
            }
            pTimeout->Delete();
        } catch (EVLException* pException) {
            if (m_pParams->GetListener() == nullptr)
                throw;
            PostException(pException);
        } catch (...) {
            throw new EVLUnexpectedException(VLEXECFUNC_MODULE, s_szFile, kSiteRunUnexpected);
        }
    }
}
