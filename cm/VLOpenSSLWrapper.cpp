#include "cm/VLOpenSSLWrapper.h"

#include "base/core/VLException.h"
#include "base/core/VLExceptionOwner.h"

namespace {

// The names of the system's crypto library, newest first.
const char* const s_aszLibraryNames[] = {"libcrypto.so.3", "libcrypto.so"};

// The program's instance, made with the other static objects.
CVLOpenSSLWrapper s_Wrapper;

}  // namespace

// Named to the linker by the library's build, so that the instance above is
// part of every program that links the framework, although nothing calls it.
extern "C" {
extern const void* const VLOpenSSLWrapperAnchor;
const void* const VLOpenSSLWrapperAnchor = &s_Wrapper;
}

CVLOpenSSLWrapper::CVLOpenSSLWrapper()
{
    for (const char* szName : s_aszLibraryNames) {
        try {
            Load(szName);
            return;
        } catch (...) {
            ReleaseCurrentException();
        }
    }
}

CVLOpenSSLWrapper::~CVLOpenSSLWrapper() {}

void* CVLOpenSSLWrapper::GetFunction(const char* szName)
{
    return s_Wrapper.GetSymbol(szName);
}

bool CVLOpenSSLWrapper::IsLoaded()
{
    return s_Wrapper.IsImageLoaded();
}
