// The base of every object that other code locks from outside. Derived
// classes guard their own state with a CVLThreadLock over m_ThreadSync;
// callers outside use Lock()/Unlock(). Both reach the same recursive mutex,
// so the two ways nest on one thread.
#ifndef VLLOCKABLEOBJECT_H
#define VLLOCKABLEOBJECT_H

#include "base/core/VLThreadSync.h"

class CVLLockableObject
{
public:
    CVLLockableObject();
    virtual ~CVLLockableObject();

    // Both return true or throw: EVLLockException / EVLUnlockException.
    virtual bool Lock();
    virtual bool Unlock();

protected:
    CVLThreadSync m_ThreadSync;

private:
    CVLLockableObject(const CVLLockableObject&) = delete;
    CVLLockableObject& operator=(const CVLLockableObject&) = delete;
};

#endif
