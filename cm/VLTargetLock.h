// Holds the lock of one target for the life of a block. Unlock and Lock in
// between release and retake it; the guard remembers whether it holds the
// lock, so its destructor releases exactly what it took. Never throws.
#ifndef VLTARGETLOCK_H
#define VLTARGETLOCK_H

class CVLTarget;

class CVLTargetLock
{
public:
    explicit CVLTargetLock(CVLTarget* pTarget);
    virtual ~CVLTargetLock();

    virtual void Lock();
    virtual void Unlock();

    bool IsHeld() const { return m_bHeld; }

private:
    CVLTargetLock(const CVLTargetLock&) = delete;
    CVLTargetLock& operator=(const CVLTargetLock&) = delete;

    CVLTarget* m_pTarget;
    bool m_bHeld;
};

#endif
