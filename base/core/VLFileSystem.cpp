#include "base/core/VLFileSystem.h"

#include <cerrno>
#include <cstring>
#include <string>
#include <sys/stat.h>

#include "base/platform/VLPlatformFiles.h"
#include "base/platform/VLPlatformPaths.h"
#include "base/core/VLStdRuntime.h"
#include "base/core/VLThreadLock.h"
#include "base/core/VLThreadSync.h"

bool VLFileExists(const char* szPath, int nKind)
{
    if (szPath == nullptr)
        return false;
    struct stat st;
    if (VLStdStat(szPath, &st) != 0)
        return false;
    bool bFolder = S_ISDIR(st.st_mode);
    if (nKind == 0)
        return !bFolder;
    if (nKind == 1)
        return bFolder;
    return true;
}

bool VLIsReadOnlyFile(const char* szPath)
{
    if (szPath == nullptr)
        return false;
    struct stat st;
    if (VLStdStat(szPath, &st) != 0)
        return false;
    return (st.st_mode & S_IRUSR) != 0 && (st.st_mode & S_IWUSR) == 0;
}

bool VLRemoveFile(const char* szPath, VL_ULONG* pErrorCode)
{
    if (szPath == nullptr) {
        if (pErrorCode != nullptr)
            *pErrorCode = EINVAL;
        return false;
    }
    if (VLStdRemove(szPath) == 0)
        return true;
    if (pErrorCode != nullptr)
        *pErrorCode = static_cast<VL_ULONG>(errno);
    return false;
}

bool VLRenameFile(const char* szNewPath, const char* szOldPath)
{
    if (szNewPath == nullptr || szOldPath == nullptr)
        return false;
    return VLStdRename(szOldPath, szNewPath) == 0;
}

bool VLMakeDirectories(const char* szPath)
{
    if (szPath == nullptr || szPath[0] == '\0')
        return false;
    std::string path(szPath);
    size_t nSearch = 0;
    for (;;) {
        size_t nSlash = path.find('/', nSearch);
        std::string part = nSlash == std::string::npos ? path : path.substr(0, nSlash);
        if (!part.empty()) {
            if (VLStdMkdir(part.c_str(), 0777) != 0) {
                // An existing name is accepted only when it is a folder.
                if (errno != EEXIST || !VLFileExists(part.c_str(), 1))
                    return false;
            }
        }
        if (nSlash == std::string::npos)
            return true;
        nSearch = nSlash + 1;
    }
}

bool VLRemoveDirectory(const char* szPath)
{
    if (szPath == nullptr)
        return false;
    return VLStdRmdir(szPath) == 0;
}

CVLString VLGetExecutablePath()
{
    std::string folder = VLPlatformExecutableFolder();
    return CVLString(folder.c_str(), VL_CHARSET_UTF8);
}

CVLString VLGetResourcesPath()
{
    CVLString exe = VLGetExecutablePath();
    int nSlash = exe.ReverseFind('/');
    if (nSlash < 0)
        return CVLString("Resources", VL_CHARSET_UTF8);
    CVLString result = exe.Mid(0, nSlash);
    result += "/Resources";
    return result;
}

CVLString VLGetPreferencesPath()
{
    std::string folder = VLPlatformPreferencesFolder();
    return CVLString(folder.c_str(), VL_CHARSET_UTF8);
}

namespace {

CVLThreadSync& StoredPathSync()
{
    static CVLThreadSync s_Sync;
    return s_Sync;
}

CVLString& StoredPath()
{
    static CVLString s_strPath(VL_CHARSET_UTF8);
    return s_strPath;
}

}  // namespace

CVLString VLGetStoredPath()
{
    CVLThreadLock guard(&StoredPathSync());
    guard.Lock();
    return StoredPath();
}

void VLSetStoredPath(const char* szPath)
{
    if (szPath == nullptr || szPath[0] == '\0')
        return;
    CVLThreadLock guard(&StoredPathSync());
    guard.Lock();
    StoredPath() = szPath;
}

CVLString VLCombinePath(const char* szFolder, const char* szName)
{
    CVLString result(szFolder, VL_CHARSET_UTF8);
    int n = result.GetLength();
    if (n > 0 && result.GetAt(n - 1) != '/')
        result += "/";
    result += szName;
    return result;
}

void VLSplitPath(const char* szPath, CVLString& strFolder, CVLString& strName)
{
    std::string path(szPath == nullptr ? "" : szPath);
    size_t nSlash = path.rfind('/');
    if (nSlash == std::string::npos || nSlash == 0) {
        strFolder = "";
        strName = path.c_str();
        return;
    }
    strFolder = path.substr(0, nSlash).c_str();
    strName = path.substr(nSlash + 1).c_str();
}

bool VLCheckFileAccess(const char* szPath, const char* szAccess)
{
    if (szPath == nullptr || szPath[0] == '\0')
        return false;
    const char* szA = szAccess == nullptr ? "" : szAccess;
    bool bRead = std::strchr(szA, 'R') != nullptr || std::strchr(szA, 'r') != nullptr;
    bool bWrite = std::strchr(szA, 'W') != nullptr || std::strchr(szA, 'w') != nullptr;
    if (VLFileExists(szPath, 2)) {
        struct stat st;
        if (VLStdStat(szPath, &st) != 0)
            return false;
        if (VLPlatformIsImmutable(szPath))
            return false;
        bool bOwnerRead = (st.st_mode & S_IRUSR) != 0;
        bool bOwnerWrite = (st.st_mode & S_IWUSR) != 0;
        if (bRead && bWrite)
            return bOwnerRead && bOwnerWrite;
        if (bRead)
            return bOwnerRead;
        if (bWrite)
            return bOwnerWrite;
        return false;
    }
    if (!bWrite)
        return false;
    CVLString strFolder(VL_CHARSET_UTF8), strName(VL_CHARSET_UTF8);
    VLSplitPath(szPath, strFolder, strName);
    if (strFolder.GetLength() > 0 && !VLMakeDirectories(strFolder.GetString()))
        return false;
    FILE* fp = VLStdFopen(szPath, "w");
    if (fp == nullptr)
        return false;
    return VLStdFclose(fp) == 0;
}

VL_ULONGLONG VLGetFreeDiskSpace(const char* szPath)
{
    if (szPath == nullptr)
        return 0;
    CVLString path = CVLString(szPath, VL_CHARSET_UTF8).ConvertTo(VL_CHARSET_UTF8, true);
    return VLPlatformFreeDiskSpace(path.GetString());
}
