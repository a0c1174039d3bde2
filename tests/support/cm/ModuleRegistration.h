// Installs a module registration for the lifetime of a scope and restores
// the one installed before, so no test leaves its modules to the next.
#ifndef MODULEREGISTRATION_H
#define MODULEREGISTRATION_H

#include <functional>

#include "cm/VLCMApi.h"

class CModuleRegistration
{
public:
    typedef std::function<void(CVLCMApi&)> TRegister;

    // An empty function installs no registration.
    explicit CModuleRegistration(TRegister fnRegister);
    ~CModuleRegistration();
    CModuleRegistration(const CModuleRegistration&) = delete;
    CModuleRegistration& operator=(const CModuleRegistration&) = delete;

    // Installs another registration for the rest of the scope.
    void Replace(TRegister fnRegister);

private:
    VLCM_MODULE_LIBRARIES_FUNC m_pPrevious;
    TRegister m_fnPrevious;
};

#endif
