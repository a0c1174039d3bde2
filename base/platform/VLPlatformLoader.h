// Loading shared libraries and finding their functions (dlopen/dlsym).
#ifndef VLPLATFORMLOADER_H
#define VLPLATFORMLOADER_H

// The file suffix of a shared library on this platform.
#define VL_SHARED_LIBRARY_SUFFIX ".so"

// Opens a library by path or by name (the loader's default search, then the
// programs' library folder beside the executable's); null on failure.
void* VLPlatformOpenImage(const char* szPath);
// The address of a function in an image; null when it is not there.
void* VLPlatformLookupSymbol(void* pImage, const char* szName);
// Bundles do not exist here: creating one always fails.
void* VLPlatformCreateBundle(const char* szPath);
void* VLPlatformBundleSymbol(void* pBundle, const char* szName);
void VLPlatformReleaseBundle(void* pBundle);

#endif
