#include "cm/VLCMScriptExtend.h"

#include "cm/VLCMDefs.h"
#include "cm/VLModInstanceInfo.h"
#include "cm/VLModuleController.h"
#include "cm/VLModuleInstance.h"
#include "cm/VLModuleParamCollection.h"
#include "cm/VLProperty.h"
#include "cm/VLTarget.h"
#include "base/core/VLException.h"
#include "script/VLScriptDefs.h"
#include "script/VLScriptException.h"
#include "script/VLScriptParams.h"

const char* const s_szFile = "VLCMScriptExtend";

namespace {

[[noreturn]] void ThrowScriptError(int nCode, int nLine)
{
    throw new EVLScriptException(VLCMAPI_MODULE, s_szFile, nLine, nCode, nullptr, 0, false);
}

int ArgumentCount(CVLScriptParams* pParams)
{
    return pParams == nullptr ? 0 : pParams->GetCount();
}

// Argument n as text; an argument that is not there is empty.
CVLString ArgumentText(CVLScriptParams* pParams, int n)
{
    if (n >= ArgumentCount(pParams))
        return CVLString(VL_CHARSET_UTF8);
    return pParams->GetAt(n)->ToString(nullptr);
}

// The instance a parameter or method call names by its path, once the call
// has exactly nArguments; a wrong count or a path that names no instance is
// a script error.
CVLModuleInstance* CalledInstance(IVLScriptExtendIF* pExtend, const CVLString& strPath, CVLScriptParams* pParams,
                                  int nArguments)
{
    if (ArgumentCount(pParams) != nArguments)
        ThrowScriptError(VLSCR_ERR_PARAMS_COUNT, __LINE__);
    CVLModuleInstance* pInstance = static_cast<CVLCMScriptExtend*>(pExtend)->FindInstance(strPath);
    if (pInstance == nullptr)
        ThrowScriptError(VLSCR_ERR_NULL_OBJECT, __LINE__);
    return pInstance;
}

}  // namespace

CVLCMScriptExtend::CVLCMScriptExtend(CVLModuleController* pController, CVLModuleInstance* pInstance,
                                     CVLModuleParamCollection* pParams, CVLTarget* pTarget)
    : IVLScriptExtendIF(nullptr, nullptr), m_pController(pController), m_pInstance(pInstance), m_pParams(pParams),
      m_pTarget(pTarget)
{
    // The head is spelled so in the definitions' scripts.
    m_PropertyMap[CVLString("Prooerties", VL_CHARSET_UTF8)] = OnProperties;
    m_MethodMap[CVLString("SetConst", VL_CHARSET_UTF8)] = OnSetConst;
    m_MethodMap[CVLString("GetConst", VL_CHARSET_UTF8)] = OnGetConst;
    m_MethodMap[CVLString("SetParameter", VL_CHARSET_UTF8)] = OnSetParameter;
    m_MethodMap[CVLString("GetParameter", VL_CHARSET_UTF8)] = OnGetParameter;
    m_MethodMap[CVLString("CallMethod", VL_CHARSET_UTF8)] = OnCallMethod;
}

CVLCMScriptExtend::~CVLCMScriptExtend()
{
}

CVLString CVLCMScriptExtend::GetContextText()
{
    if (m_pTarget == nullptr)
        return CVLString(VL_CHARSET_UTF8);
    return m_pTarget->GetPropertiesText(nullptr);
}

CVLModuleInstance* CVLCMScriptExtend::FindInstance(const CVLString& strPath)
{
    try {
        if (strPath.GetLength() == 0)
            return m_pInstance;
        if (m_pInstance == nullptr)
            return nullptr;
        for (CVLModuleInstanceIterator it = m_pInstance->Begin(); !it.IsEnd(); it.Next()) {
            CVLModuleInstance* pChild = it.Get();
            CVLModInstanceInfo* pInfo = pChild->GetFunctionInfo();
            if (pInfo != nullptr && pInfo->GetLocalName() == strPath)
                return pChild;
        }
        return nullptr;
    }
    VL_CATCH_LADDER(VLCMAPI_MODULE, s_szFile)
}

IVLVariantObjectIF* CVLCMScriptExtend::OnProperties(IVLScriptExtendIF* pExtend, const CVLString& strHead,
                                                    const CVLString& strRest)
{
    (void)strHead;
    try {
        CVLCMScriptExtend* pThis = static_cast<CVLCMScriptExtend*>(pExtend);
        if (pThis->m_pTarget == nullptr)
            return nullptr;
        CVLProperty* pRoot = pThis->m_pTarget->GetProperties();
        if (pRoot == nullptr)
            return nullptr;
        CVLProperty* pProperty = pRoot->GetProperty(strRest.GetBuffer(), false);
        return pProperty == nullptr ? nullptr : static_cast<IVLVariantObjectIF*>(pProperty);
    }
    VL_CATCH_LADDER(VLCMAPI_MODULE, s_szFile)
}

void CVLCMScriptExtend::OnSetConst(IVLScriptExtendIF* pExtend, const CVLString& strPath, CVLScriptParams* pParams,
                                   void* pContext)
{
    (void)strPath, (void)pContext;
    try {
        CVLCMScriptExtend* pThis = static_cast<CVLCMScriptExtend*>(pExtend);
        if (ArgumentCount(pParams) < 2)
            ThrowScriptError(VLSCR_ERR_PARAMS_COUNT, __LINE__);
        CVLString strName = ArgumentText(pParams, 0);
        CVLString strValue = ArgumentText(pParams, 1);
        CVLString strInstance = ArgumentText(pParams, 2);
        CVLString strModule = ArgumentText(pParams, 3);
        // The script names the instance first; the controller takes the module first.
        pThis->m_pController->SetConst(strName.GetBuffer(), strValue.GetBuffer(), strModule.GetBuffer(),
                                       strInstance.GetBuffer());
    }
    VL_CATCH_LADDER(VLCMAPI_MODULE, s_szFile)
}

void CVLCMScriptExtend::OnGetConst(IVLScriptExtendIF* pExtend, const CVLString& strPath, CVLScriptParams* pParams,
                                   void* pContext)
{
    (void)strPath, (void)pContext;
    try {
        CVLCMScriptExtend* pThis = static_cast<CVLCMScriptExtend*>(pExtend);
        if (ArgumentCount(pParams) < 1)
            ThrowScriptError(VLSCR_ERR_PARAMS_COUNT, __LINE__);
        CVLString strName = ArgumentText(pParams, 0);
        CVLString strInstance = ArgumentText(pParams, 1);
        CVLString strModule = ArgumentText(pParams, 2);
        CVLString strValue(VL_CHARSET_UTF8);
        pThis->m_pController->FindConst(strName.GetBuffer(), strValue, strModule.GetBuffer(), strInstance.GetBuffer());
        pParams->GetReturnValue().SetString(strValue);
    }
    VL_CATCH_LADDER(VLCMAPI_MODULE, s_szFile)
}

void CVLCMScriptExtend::OnSetParameter(IVLScriptExtendIF* pExtend, const CVLString& strPath, CVLScriptParams* pParams,
                                       void* pContext)
{
    (void)pContext;
    try {
        CVLModuleInstance* pInstance = CalledInstance(pExtend, strPath, pParams, 2);
        CVLString strName = ArgumentText(pParams, 0);
        CVLModuleParam* pParam = pInstance->GetParams()->GetParam(strName.GetBuffer(), true);
        const CVLVariant& value = *pParams->GetAt(1);
        if (value.GetType() == VL_VARIANT_TYPE_REFERENCE || value.GetType() == VL_VARIANT_TYPE_OBJECT) {
            // The parameter keeps the value, not a link to a property or a
            // variable of the run, which it may outlive.
            CVLVariant copy;
            copy.SetValue(value);
            copy.SetModified(value.IsModified());
            pParam->Copy(copy, true);
        } else {
            pParam->Copy(value, true);
        }
    }
    VL_CATCH_LADDER(VLCMAPI_MODULE, s_szFile)
}

void CVLCMScriptExtend::OnGetParameter(IVLScriptExtendIF* pExtend, const CVLString& strPath, CVLScriptParams* pParams,
                                       void* pContext)
{
    (void)pContext;
    try {
        CVLModuleInstance* pInstance = CalledInstance(pExtend, strPath, pParams, 1);
        CVLString strName = ArgumentText(pParams, 0);
        CVLModuleParam* pParam = pInstance->GetParams()->GetParam(strName.GetBuffer(), false);
        if (pParam != nullptr)
            pParams->SetReturnValue(*pParam);
    }
    VL_CATCH_LADDER(VLCMAPI_MODULE, s_szFile)
}

void CVLCMScriptExtend::OnCallMethod(IVLScriptExtendIF* pExtend, const CVLString& strPath, CVLScriptParams* pParams,
                                     void* pContext)
{
    (void)pContext;
    try {
        CVLModuleInstance* pInstance = CalledInstance(pExtend, strPath, pParams, 1);
        CVLString strMethod = ArgumentText(pParams, 0);
        pInstance->GetParams()->SetMethodName(strMethod.GetBuffer());
        pInstance->CallMethod();
    }
    VL_CATCH_LADDER(VLCMAPI_MODULE, s_szFile)
}
