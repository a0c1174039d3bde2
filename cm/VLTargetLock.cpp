#include "cm/VLTargetLock.h"

#include "cm/VLTarget.h"
#include "base/core/VLException.h"

CVLTargetLock::CVLTargetLock(CVLTarget* pTarget) : m_pTarget(pTarget), m_bHeld(false)
{
    Lock();
}

CVLTargetLock::~CVLTargetLock()
{
    Unlock();
}

void CVLTargetLock::Lock()
{
    if (m_pTarget == nullptr || m_bHeld)
        return;
    try {
        m_pTarget->Lock();
        m_bHeld = true;
    } catch (EVLException* pException) {
        // A mutex that cannot be taken: the guard stays empty.
        pException->Delete();
    }
}

void CVLTargetLock::Unlock()
{
    if (m_pTarget == nullptr || !m_bHeld)
        return;
    m_bHeld = false;
    try {
        m_pTarget->Unlock();
    } catch (EVLException* pException) {
        pException->Delete();
    }
}
