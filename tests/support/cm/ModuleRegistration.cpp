#include "tests/support/cm/ModuleRegistration.h"

#include <mutex>

namespace {
// The framework takes a plain function; it calls the scope's registration.
std::mutex s_Mutex;
CModuleRegistration::TRegister s_fnCurrent;

void RegisterCurrent(CVLCMApi& api)
{
    CModuleRegistration::TRegister fnRegister;
    {
        std::lock_guard<std::mutex> lock(s_Mutex);
        fnRegister = s_fnCurrent;
    }
    if (fnRegister)
        fnRegister(api);
}

void Install(CModuleRegistration::TRegister fnRegister)
{
    bool bAny = static_cast<bool>(fnRegister);
    {
        std::lock_guard<std::mutex> lock(s_Mutex);
        s_fnCurrent = std::move(fnRegister);
    }
    CVLCMApi::SetModuleLibraries(bAny ? RegisterCurrent : nullptr);
}
}  // namespace

CModuleRegistration::CModuleRegistration(TRegister fnRegister) : m_pPrevious(CVLCMApi::GetModuleLibraries())
{
    {
        std::lock_guard<std::mutex> lock(s_Mutex);
        m_fnPrevious = s_fnCurrent;
    }
    Install(std::move(fnRegister));
}

CModuleRegistration::~CModuleRegistration()
{
    {
        std::lock_guard<std::mutex> lock(s_Mutex);
        s_fnCurrent = m_fnPrevious;
    }
    CVLCMApi::SetModuleLibraries(m_pPrevious);
}

void CModuleRegistration::Replace(TRegister fnRegister)
{
    Install(std::move(fnRegister));
}
