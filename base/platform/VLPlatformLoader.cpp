#include "base/platform/VLPlatformLoader.h"

#include <cstring>
#include <dlfcn.h>
#include <string>

#include "base/platform/VLPlatformPaths.h"

void* VLPlatformOpenImage(const char* szPath)
{
    if (szPath == nullptr || *szPath == 0)
        return nullptr;
    void* pImage = dlopen(szPath, RTLD_NOW | RTLD_LOCAL);
    if (pImage != nullptr || strchr(szPath, '/') != nullptr)
        return pImage;
    // A bare name is also looked up in the programs' library folder
    // (<executable folder>/../lib), as the programs' run path says; the
    // loader does not always apply that run path to dlopen (sanitizer
    // runtimes intercept the call).
    std::string folder = VLPlatformExecutableFolder();
    if (folder.empty())
        return nullptr;
    std::string path = folder + "/../lib/" + szPath;
    return dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
}

void* VLPlatformLookupSymbol(void* pImage, const char* szName)
{
    if (pImage == nullptr || szName == nullptr)
        return nullptr;
    return dlsym(pImage, szName);
}

void* VLPlatformCreateBundle(const char*)
{
    return nullptr;
}

void* VLPlatformBundleSymbol(void*, const char*)
{
    return nullptr;
}

void VLPlatformReleaseBundle(void*)
{
}
