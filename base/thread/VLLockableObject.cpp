#include "base/thread/VLLockableObject.h"

#include "base/core/VLLockException.h"
#include "base/core/VLTypes.h"
#include "base/core/VLUnlockException.h"

// Throw-site codes: fixed numbers that identify each site in traces and
// results; they are not line numbers and never change.
const int kSiteLock = 43;
const int kSiteUnlock = 52;

CVLLockableObject::CVLLockableObject()
{
}

CVLLockableObject::~CVLLockableObject()
{
}

bool CVLLockableObject::Lock()
{
    if (!m_ThreadSync.Lock())
        throw new EVLLockException(VLSTD_MODULE, "VLLockableObject", kSiteLock);
    return true;
}

bool CVLLockableObject::Unlock()
{
    if (!m_ThreadSync.Unlock())
        throw new EVLUnlockException(VLSTD_MODULE, "VLLockableObject", kSiteUnlock);
    return true;
}
