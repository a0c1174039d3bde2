#include "script/VLScriptExtendIF.h"

#include <cstring>

#include "script/VLScriptParams.h"

int CVLScriptNameLess::Compare(const CVLString& a, const SVLScriptNamePiece& b)
{
    if (a.GetCharSize() != 1)
        return a.Compare(CVLString(b.p, b.n, VL_CHARSET_UTF8));
    // As CVLString compares byte texts: an empty text first, then the bytes,
    // then the length.
    int nA = a.GetLength();
    if (b.n == 0)
        return nA != 0 ? 1 : 0;
    if (nA == 0)
        return -1;
    int r = std::memcmp(a.GetBuffer(), b.p, static_cast<size_t>(nA < b.n ? nA : b.n));
    return r != 0 ? r : nA - b.n;
}

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
    if (szName == nullptr)
        szName = "";
    int nLength = static_cast<int>(std::strlen(szName));
    const char* pDot = static_cast<const char*>(std::memchr(szName, '.', static_cast<size_t>(nLength)));
    int nHead = pDot != nullptr ? static_cast<int>(pDot - szName) : 0;
    int nRest = pDot != nullptr ? nLength - nHead - 1 : nLength;
    auto it = m_PropertyMap.find(SVLScriptNamePiece{szName, nHead});
    PropertyHandler pfn = (it != m_PropertyMap.end() && it->second != nullptr) ? it->second : m_pfnDefaultProperty;
    if (pfn == nullptr)
        return nullptr;
    CVLString strHead(szName, nHead, VL_CHARSET_UTF8);
    CVLString strRest(szName + nLength - nRest, nRest, VL_CHARSET_UTF8);
    return pfn(this, strHead, strRest);
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
    if (szName == nullptr)
        szName = "";
    int nLength = static_cast<int>(std::strlen(szName));
    const char* pDot = static_cast<const char*>(memrchr(szName, '.', static_cast<size_t>(nLength)));
    int nPath = pDot != nullptr ? static_cast<int>(pDot - szName) : 0;
    int nMethod = pDot != nullptr ? nLength - nPath - 1 : nLength;
    auto it = m_MethodMap.find(SVLScriptNamePiece{szName + nLength - nMethod, nMethod});
    if (it == m_MethodMap.end() || it->second == nullptr)
        return false;
    if (pParams != nullptr)
        pParams->SetCaller(pCaller);
    CVLString strPath(szName, nPath, VL_CHARSET_UTF8);
    it->second(this, strPath, pParams, pContext);
    return true;
}
