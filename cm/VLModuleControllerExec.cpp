// Function execution: a named function becomes a started module instance,
// and the scripts of the definitions run with the framework's script host.
#include "cm/VLModuleController.h"

#include "cm/VLCMDefs.h"
#include "cm/VLCMScriptExtend.h"
#include "cm/VLModuleInstance.h"
#include "cm/VLModuleParamCollection.h"
#include "base/core/VLException.h"
#include "base/core/VLTrace.h"
#include "script/VLScript.h"
#include "script/VLScriptCollection.h"
#include "script/VLScriptParams.h"
#include "script/VLScriptRun.h"

const char* const s_szFile = "VLModuleController";

CVLModuleInstance* CVLModuleController::ExecFunction(CVLTarget* pTarget, VL_CONST_STR szFunctionName,
                                                     VL_CONST_STR szPacketListName, IVLFunctionListener* pListener,
                                                     IVLProgressListener* pProgressListener, CVLTargetList* pTargetList,
                                                     CVLModuleParamCollection* pInitParams,
                                                     CVLStreamCollection* pStreamCollection,
                                                     VL_CONST_STR szTemplateName)
{
    static const char* const kSignature =
        "CVLModuleInstance* CVLModuleController::ExecFunction(CVLTarget* pTarget, VL_CONST_STR szFunctionName, "
        "VL_CONST_STR szPacketListName, IVLFunctionListener* pListener, IVLProgressListener* pProgressListener, "
        "CVLTargetList* pTargetList, CVLModuleParamCollection* pInitParams, CVLStreamCollection* pStreamCollection, "
        "VL_CONST_STR szTemplateName)";
    CVLTrace::FunctionIn(VLCMAPI_MODULE, s_szFile, __LINE__, kSignature);
    CVLModuleInstance* pResult = nullptr;
    try {
        CVLModuleInstance* pInstance = CreateModuleInstance(pTarget, szFunctionName, pInitParams);
        if (pInstance == nullptr) {
            // A disabled function runs nothing; the caller must not read the
            // result of an earlier call as this one's.
            if (pInitParams != nullptr)
                pInitParams->GetResult().Reset();
            CVLTrace::FunctionOut(VLCMAPI_MODULE, s_szFile, __LINE__, kSignature);
            return nullptr;
        }
        try {
            CVLModuleParamCollection* pParams = pInstance->GetParams();
            pParams->SetTargetList(pTargetList);
            pParams->SetStreamCollection(pStreamCollection);
            pParams->SetListener(pListener);
            pParams->SetProgressListener(pProgressListener);
            pParams->SetTemplateName(szTemplateName);
            pParams->SetPacketListName(szPacketListName);
            pParams->GetParam(VLCM_PARAM_PACKET_LIST_NAME, true)->SetString(szPacketListName, VL_CHARSET_UTF8);
            if (szTemplateName != nullptr)
                pParams->GetParam("templateName", true)->SetString(szTemplateName, VL_CHARSET_UTF8);
            pInstance->CallMethod();
            // With a listener the run may go on in the module's threads, which
            // write the result meanwhile: it is the caller's only without one.
            if (pInitParams != nullptr && pListener == nullptr)
                pInitParams->GetResult() = pParams->GetResult();
        } catch (...) {
            try {
                DeleteModuleInstance(pInstance);
            } catch (EVLException* pException) {
                pException->Delete();
            }
            throw;
        }
        if (pListener == nullptr)
            DeleteModuleInstance(pInstance);
        else
            pResult = pInstance;
    }
    VL_CATCH_LADDER(VLCMAPI_MODULE, s_szFile)
    CVLTrace::FunctionOut(VLCMAPI_MODULE, s_szFile, __LINE__, kSignature);
    return pResult;
}

namespace {
// A definition script runs within a budget of jumps and calls, so that one
// that loops fails (error 9999) instead of holding its thread for ever: a
// loop spends it in a few milliseconds, and the definitions' scripts need a
// few dozen. Set by the outermost run of a thread, for it and its nested calls.
const VL_ULONGLONG kDefinitionScriptSteps = 1000000;
thread_local int t_nScriptDepth = 0;

class CDefinitionScriptSteps
{
public:
    CDefinitionScriptSteps()
    {
        if (t_nScriptDepth++ == 0)
            CVLScriptRun::SetStepLimit(kDefinitionScriptSteps);
    }
    ~CDefinitionScriptSteps()
    {
        if (--t_nScriptDepth == 0)
            CVLScriptRun::SetStepLimit(0);
    }
};
}  // namespace

bool CVLModuleController::CreateScriptExtend(VL_CONST_STR szScriptName, CVLModuleInstance* pInstance,
                                             CVLModuleParamCollection* pParams, CVLScriptParams* pArgs)
{
    CVLString strName(szScriptName, VL_CHARSET_UTF8);
    if (strName.GetLength() == 0)
        return true;
    CVLScriptCollection& scripts = m_DefineLoader.GetScriptCollection();
    CVLScript* pScript = scripts.Find(strName.GetBuffer());
    if (pScript == nullptr) {
        recordScriptFailure("no script named " + std::string(strName.GetBuffer()));
        return false;
    }
    CVLCMScriptExtend host(this, pInstance, pParams, pParams == nullptr ? nullptr : pParams->GetTarget());
    CVLScriptParams args;
    try {
        if (pArgs != nullptr)
            args = *pArgs;
        CDefinitionScriptSteps steps;
        pScript->Execute(args, &scripts, &host, nullptr);
        return args.GetReturnValue().ToBool(false);
    } catch (EVLException* pException) {
        // A stop of the instance fails the script it interrupts; that is no
        // fault of the script.
        if (pInstance == nullptr || !pInstance->IsStopped()) {
            CVLString strWhat = pException->ToString();
            recordScriptFailure(std::string(strName.GetBuffer()) + ": " +
                                (strWhat.GetBuffer() != nullptr ? strWhat.GetBuffer() : ""));
        }
        pException->Delete();
        return false;
    }
}

void CVLModuleController::recordScriptFailure(const std::string& strWhat)
{
    std::lock_guard<std::mutex> lock(m_ScriptFailureMutex);
    if (m_nScriptFailures++ == 0)
        m_strFirstScriptFailure = strWhat;
}

unsigned long CVLModuleController::TakeScriptFailures(std::string& strFirst)
{
    std::lock_guard<std::mutex> lock(m_ScriptFailureMutex);
    unsigned long nFailures = m_nScriptFailures;
    strFirst = nFailures != 0 ? m_strFirstScriptFailure : std::string();
    m_nScriptFailures = 0;
    m_strFirstScriptFailure.clear();
    return nFailures;
}

CVLScriptCollection& CVLModuleController::GetScriptCollection()
{
    return m_DefineLoader.GetScriptCollection();
}
