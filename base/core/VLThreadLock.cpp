#include "base/core/VLThreadLock.h"

#include "base/core/VLThreadSync.h"

CVLThreadLock::CVLThreadLock(CVLThreadSync* pSync) : m_pSync(pSync), m_nHeld(0)
{
}

CVLThreadLock::~CVLThreadLock()
{
    // Release only what this guard took, so an outer hold of the same
    // recursive mutex stays intact.
    while (m_pSync != nullptr && m_nHeld > 0) {
        m_pSync->Unlock();
        --m_nHeld;
    }
}

bool CVLThreadLock::Lock()
{
    if (m_pSync == nullptr || !m_pSync->Lock())
        return false;
    ++m_nHeld;
    return true;
}

bool CVLThreadLock::Unlock()
{
    if (m_pSync == nullptr || m_nHeld == 0 || !m_pSync->Unlock())
        return false;
    --m_nHeld;
    return true;
}
