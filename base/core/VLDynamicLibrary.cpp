#include "base/core/VLDynamicLibrary.h"

#include "base/core/VLFileSystem.h"
#include "base/core/VLOpenException.h"
#include "base/platform/VLPlatformLoader.h"
#include "base/core/VLString.h"
#include "base/core/VLTrace.h"
#include "base/core/VLUnsupportedException.h"

// Throw-site codes: fixed numbers that identify each site in traces and
// results; they are not line numbers and never change.
const int kSiteLoad = 195;
const int kSiteGetSymbol = 250;

CVLDynamicLibrary::CVLDynamicLibrary() : m_pImage(nullptr), m_pBundle(nullptr)
{
}

CVLDynamicLibrary::~CVLDynamicLibrary()
{
    CVLDynamicLibrary::Unload();
}

void CVLDynamicLibrary::GetCandidates(const char* szName, const CVLString& strExecutablePath,
                                      CVLString* pCandidates, int nMax, int& nCount)
{
    // The install folder: the executable's folder without a trailing "/bin"
    // (PREFIX for PREFIX/bin, as installed and as built); any other folder
    // is used whole.
    CVLString strBase(strExecutablePath);
    const char* szSuffix = "/bin";
    int nSuffix = CVLString::GetTextLength(szSuffix);
    int nPos = strBase.Find(szSuffix, strBase.GetLength() - nSuffix);
    if (nPos >= 0)
        strBase = strBase.Mid(0, nPos);

    CVLString strName(szName, VL_CHARSET_UTF8);
    CVLString strLibName("lib", VL_CHARSET_UTF8);
    strLibName += strName;
    strLibName += VL_SHARED_LIBRARY_SUFFIX;

    // The install's library folder, then the programs' private one below
    // it, each with the bare name and then lib<name>.so; then the loader's
    // own search. Never the current folder: whoever can write there (/tmp)
    // would have their code run by the program, as root for a probe. The
    // install's folders only when the executable's folder is known as an
    // absolute path, for the same reason.
    CVLString list[kMaxCandidates];
    int nList = 0;
    if (strBase.GetLength() > 0 && strBase.GetAt(0) == '/') {
        const char* aszFolders[] = {"/lib/", "/lib/vlnet/"};
        for (const char* szFolder : aszFolders) {
            list[nList] = strBase;
            list[nList] += szFolder;
            list[nList++] += strName;
            list[nList] = strBase;
            list[nList] += szFolder;
            list[nList++] += strLibName;
        }
    }
    list[nList++] = strName;
    list[nList++] = strLibName;
    nCount = 0;
    for (int i = 0; i < nList && nCount < nMax; ++i)
        pCandidates[nCount++] = list[i];
}

void CVLDynamicLibrary::Load(const char* szName)
{
    Unload();
    if (szName == nullptr)
        szName = "";
    CVLString candidates[kMaxCandidates];
    int nCount = 0;
    GetCandidates(szName, VLGetExecutablePath(), candidates, kMaxCandidates, nCount);
    for (int i = 0; i < nCount; ++i) {
        m_pImage = VLPlatformOpenImage(candidates[i].GetString());
        if (m_pImage != nullptr)
            return;
        CVLTrace::Output(VLSTD_MODULE, "VLDynamicLibrary", __LINE__, 1, "CVLDynamicLibrary::Load() - %s",
                         candidates[i].GetString());
    }
    m_pBundle = VLPlatformCreateBundle(szName);
    if (m_pBundle == nullptr)
        throw new EVLOpenException(VLSTD_MODULE, "VLDynamicLibrary", kSiteLoad, szName, 0);
}

void* CVLDynamicLibrary::GetSymbol(const char* szName)
{
    void* pAddress = nullptr;
    if (m_pBundle != nullptr)
        pAddress = VLPlatformBundleSymbol(m_pBundle, szName);
    else
        pAddress = VLPlatformLookupSymbol(m_pImage, szName);
    if (pAddress == nullptr)
        throw new EVLUnsupportedException(VLSTD_MODULE, "VLDynamicLibrary", kSiteGetSymbol, "");
    return pAddress;
}

void CVLDynamicLibrary::Unload()
{
    if (m_pBundle != nullptr)
        VLPlatformReleaseBundle(m_pBundle);
    m_pBundle = nullptr;
    m_pImage = nullptr;
}
