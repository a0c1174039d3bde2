#include "VLFileSystem.h"

#include <cstring>
#include <sys/stat.h>

#include "VLPlatformPaths.h"
#include "VLStdRuntime.h"

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

CVLString VLGetExecutablePath()
{
    std::string folder = VLPlatformExecutableFolder();
    return CVLString(folder.c_str(), 72);
}

CVLString VLCombinePath(const char* szFolder, const char* szName)
{
    CVLString result(szFolder, 72);
    int n = result.GetLength();
    if (n > 0 && result.GetAt(n - 1) != '/')
        result += "/";
    result += szName;
    return result;
}
