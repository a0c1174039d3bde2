#include "script/VLScriptExtendIF.h"

#include "script/VLScriptParams.h"

IVLScriptExtendIF::IVLScriptExtendIF(PropertyHandler pfnDefaultProperty, IVLScriptExtendIF* pNextExtend)
    : m_pfnDefaultProperty(pfnDefaultProperty), m_pNextExtend(pNextExtend)
{
}

IVLScriptExtendIF::~IVLScriptExtendIF()
{
}

IVLVariantObjectIF* IVLScriptExtendIF::GetProperty(const char* szName)
{
    if (m_pNextExtend != nullptr) {
        IVLVariantObjectIF* p = m_pNextExtend->GetProperty(szName);
        if (p != nullptr)
            return p;
    }
    // Split at the first ".": a name without one has an empty head.
    CVLString strName(szName, 72);
    CVLString strHead(72);
    CVLString strRest(72);
    int nDot = strName.Find('.', 0);
    if (nDot < 0) {
        strRest = strName;
    } else {
        strHead = strName.Mid(0, nDot);
        strRest = strName.Mid(nDot + 1);
    }
    auto it = m_PropertyMap.find(strHead);
    if (it != m_PropertyMap.end() && it->second != nullptr)
        return it->second(this, strHead, strRest);
    if (m_pfnDefaultProperty != nullptr)
        return m_pfnDefaultProperty(this, strHead, strRest);
    return nullptr;
}

bool IVLScriptExtendIF::CallFunction(const char* szName, CVLScriptParams* pParams, IVLScriptExtendIF* pCaller,
                                     void* pContext)
{
    (void)pCaller;
    if (m_pNextExtend != nullptr && m_pNextExtend->CallFunction(szName, pParams, this, pContext))
        return true;
    if (pParams != nullptr)
        pParams->ClearReturnValue();
    // Split at the last ".": a name without one has an empty path.
    CVLString strName(szName, 72);
    CVLString strPath(72);
    CVLString strMethod(72);
    int nDot = strName.ReverseFind('.', -1);
    if (nDot < 0) {
        strMethod = strName;
    } else {
        strPath = strName.Mid(0, nDot);
        strMethod = strName.Mid(nDot + 1);
    }
    auto it = m_MethodMap.find(strMethod);
    if (it == m_MethodMap.end() || it->second == nullptr)
        return false;
    if (pParams != nullptr)
        pParams->SetCaller(pCaller);
    it->second(this, strPath, pParams, pContext);
    return true;
}
