#include "base/thread/VLLockableObject.h"

#include "base/core/VLLockException.h"
#include "base/core/VLTypes.h"
#include "base/core/VLUnlockException.h"

CVLLockableObject::CVLLockableObject()
{
}

CVLLockableObject::~CVLLockableObject()
{
}

bool CVLLockableObject::Lock()
{
    if (!m_ThreadSync.Lock())
        throw new EVLLockException(VLSTD_MODULE, "VLLockableObject", 43);
    return true;
}

bool CVLLockableObject::Unlock()
{
    if (!m_ThreadSync.Unlock())
        throw new EVLUnlockException(VLSTD_MODULE, "VLLockableObject", 52);
    return true;
}
