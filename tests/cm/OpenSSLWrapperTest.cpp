#include <gtest/gtest.h>

#include "base/core/VLUnsupportedException.h"
#include "cm/VLOpenSSLWrapper.h"

namespace {

// The program's loader ran before main: with the library present its
// functions can be looked up, without it every lookup is refused cleanly.
TEST(OpenSSLWrapper, LooksUpOnlyWhatTheLoadedLibraryHas)
{
    if (CVLOpenSSLWrapper::IsLoaded()) {
        EXPECT_NE(nullptr, CVLOpenSSLWrapper::GetFunction("OPENSSL_init_crypto"));
    }
    try {
        CVLOpenSSLWrapper::GetFunction("VLNoSuchCryptoFunction");
        ADD_FAILURE() << "a missing function was found";
    } catch (EVLUnsupportedException* e) {
        e->Delete();
    }
}

}  // namespace
