#include "script/VLScriptExtendIF.h"

#include <cstring>
#include <new>

#include "script/VLScriptParams.h"

namespace {
// Kept object paths of one host at most; further paths are built per call.
const int kMaxKeptPaths = 64;
}  // namespace

int CVLScriptNameLess::CompareWide(const CVLString& a, const SVLScriptNamePiece& b)
{
    return a.CVLString::Compare(CVLString(b.p, b.n, VL_CHARSET_UTF8));
}

struct IVLScriptExtendIF::SPath
{
    SPath(const char* p, int n, SPath* pNextPath)
        : str(p, n, VL_CHARSET_UTF8), pBytes(str.CVLString::GetBuffer()), nLength(str.CVLString::GetLength()),
          nCount(pNextPath != nullptr ? pNextPath->nCount + 1 : 1), pNext(pNextPath)
    {
    }

    const CVLString str;
    const char* const pBytes;
    const int nLength;
    const int nCount;  // entries from this one to the oldest
    SPath* const pNext;
};

IVLScriptExtendIF::IVLScriptExtendIF(PropertyHandler pfnDefaultProperty, IVLScriptExtendIF* pNextExtend)
    : m_pfnDefaultProperty(pfnDefaultProperty), m_pNextExtend(pNextExtend), m_pPaths(nullptr)
{
}

IVLScriptExtendIF::~IVLScriptExtendIF()
{
    SPath* p = m_pPaths.load(std::memory_order_acquire);
    while (p != nullptr) {
        SPath* pNext = p->pNext;
        delete p;
        p = pNext;
    }
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

const CVLString* IVLScriptExtendIF::KeptPath(const char* p, int n)
{
    SPath* pHead = m_pPaths.load(std::memory_order_acquire);
    for (SPath* q = pHead; q != nullptr; q = q->pNext) {
        if (q->nLength == n && CVLScriptNameLess::CompareBytes(q->pBytes, p, n) == 0)
            return &q->str;
    }
    if (pHead != nullptr && pHead->nCount >= kMaxKeptPaths)
        return nullptr;
    SPath* pNew = new (std::nothrow) SPath(p, n, pHead);
    if (pNew == nullptr)
        return nullptr;
    // Another thread may have filed a path meanwhile: this one then stays
    // the caller's, for this call only.
    if (!m_pPaths.compare_exchange_strong(pHead, pNew, std::memory_order_acq_rel, std::memory_order_acquire)) {
        delete pNew;
        return nullptr;
    }
    return &pNew->str;
}

bool IVLScriptExtendIF::CallFunction(const char* szName, CVLScriptParams* pParams, IVLScriptExtendIF* pCaller,
                                     void* pContext)
{
    (void)pCaller;
    if (m_pNextExtend != nullptr && m_pNextExtend->CallFunction(szName, pParams, this, pContext))
        return true;
    if (pParams != nullptr)
        pParams->ClearReturnValue();
    // Split at the last ".": a name without one has an empty path. One pass
    // finds both the end and the dot.
    if (szName == nullptr)
        szName = "";
    const char* pDot = nullptr;
    const char* pEnd = szName;
    for (; *pEnd != '\0'; ++pEnd) {
        if (*pEnd == '.')
            pDot = pEnd;
    }
    int nPath = pDot != nullptr ? static_cast<int>(pDot - szName) : 0;
    const char* pMethod = pDot != nullptr ? pDot + 1 : szName;
    auto it = m_MethodMap.find(SVLScriptNamePiece{pMethod, static_cast<int>(pEnd - pMethod)});
    if (it == m_MethodMap.end() || it->second == nullptr)
        return false;
    if (pParams != nullptr)
        pParams->SetCaller(pCaller);
    MethodHandler pfn = it->second;
    const CVLString* pPath = KeptPath(szName, nPath);
    if (pPath != nullptr) {
        pfn(this, *pPath, pParams, pContext);
        return true;
    }
    CVLString strPath(szName, nPath, VL_CHARSET_UTF8);
    pfn(this, strPath, pParams, pContext);
    return true;
}
