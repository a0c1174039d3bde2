#include "VLPlatformLoader.h"

#include <dlfcn.h>

void* VLPlatformOpenImage(const char* szPath)
{
    if (szPath == nullptr || *szPath == 0)
        return nullptr;
    return dlopen(szPath, RTLD_NOW | RTLD_LOCAL);
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
