// The scoped guard over a CVLThreadSync. Construct it, call Lock() and run
// the guarded block only when Lock() returned true; the destructor unlocks.
#ifndef VLTHREADLOCK_H
#define VLTHREADLOCK_H

class CVLThreadSync;

class CVLThreadLock
{
public:
    explicit CVLThreadLock(CVLThreadSync* pSync);
    virtual ~CVLThreadLock();
    virtual bool Lock();
    virtual bool Unlock();

private:
    CVLThreadLock(const CVLThreadLock&) = delete;
    CVLThreadLock& operator=(const CVLThreadLock&) = delete;

    CVLThreadSync* m_pSync;
    int m_nHeld; // levels this guard holds, released by the destructor
};

#endif
