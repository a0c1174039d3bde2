// Makes threads fail to start, as when pthread_create fails for want of
// resources: while an object lives, every thread of class T (or of a class
// derived from it) fails to start with the error number given, or only the
// first nCount of them. One at a time.
#ifndef THREADSTARTFAULT_H
#define THREADSTARTFAULT_H

#include <atomic>

#include "base/thread/VLThread.h"
#include "base/thread/VLThreadController.h"

template <class T>
class TThreadStartFault
{
public:
    explicit TThreadStartFault(int nError, int nCount = -1)
    {
        s_nError = nError;
        s_nLeft = nCount;
        CVLThreadController::SetStartFault(Fault);
    }
    ~TThreadStartFault() { CVLThreadController::SetStartFault(nullptr); }
    TThreadStartFault(const TThreadStartFault&) = delete;
    TThreadStartFault& operator=(const TThreadStartFault&) = delete;

private:
    static int Fault(CVLThread* pOwner)
    {
        if (dynamic_cast<T*>(pOwner) == nullptr)
            return 0;
        // A negative count fails every start.
        int nLeft = s_nLeft.load();
        while (nLeft != 0) {
            if (nLeft < 0 || s_nLeft.compare_exchange_weak(nLeft, nLeft - 1))
                return s_nError.load();
        }
        return 0;
    }
    static inline std::atomic<int> s_nError{0};
    static inline std::atomic<int> s_nLeft{0};
};

#endif
