// Loads the system's crypto library when the program starts and looks its
// functions up by name. Nothing depends on it: when the library is missing
// the program runs the same.
#ifndef VLOPENSSLWRAPPER_H
#define VLOPENSSLWRAPPER_H

#include "base/core/VLDynamicLibrary.h"

class CVLOpenSSLWrapper : public CVLDynamicLibrary
{
public:
    // Loads the library; a failure is dropped and leaves nothing loaded.
    CVLOpenSSLWrapper();
    virtual ~CVLOpenSSLWrapper();

    // The named function of the program's instance (EVLUnsupportedException
    // when it is not there or nothing was loaded).
    static void* GetFunction(const char* szName);
    // Whether the program's instance found the library.
    static bool IsLoaded();

private:
    bool IsImageLoaded() const { return m_pImage != nullptr || m_pBundle != nullptr; }
};

#endif
