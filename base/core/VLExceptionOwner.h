// Owns a caught framework exception and deletes it when the scope ends, on
// every path out of the catch block (a return, a throw, the end), so that a
// handler reads what it needs and leaves:
//
//   } catch (EVLException* pCaught) {
//       CVLExceptionOwner pException(pCaught);
//       return pException->GetClassName();
//   }
//
// Release() gives it up, to rethrow it or hand it on. Where every step runs
// even when one fails and the first failure is reported, KeepFirst takes each
// caught one and ThrowIfAny throws the first at the end. Exceptions are still
// thrown and caught as pointers; this only does the Delete.
#ifndef VLEXCEPTIONOWNER_H
#define VLEXCEPTIONOWNER_H

#include "base/core/VLException.h"

class CVLExceptionOwner
{
public:
    explicit CVLExceptionOwner(EVLException* pException = nullptr) : m_pException(pException) {}
    ~CVLExceptionOwner() { VLDeleteException(m_pException); }
    CVLExceptionOwner(const CVLExceptionOwner&) = delete;
    CVLExceptionOwner& operator=(const CVLExceptionOwner&) = delete;

    EVLException* Get() const { return m_pException; }
    EVLException* operator->() const { return m_pException; }
    EVLException* Release()
    {
        EVLException* p = m_pException;
        m_pException = nullptr;
        return p;
    }
    // Takes the exception when none is held yet; deletes it otherwise.
    void KeepFirst(EVLException* pException)
    {
        if (m_pException == nullptr)
            m_pException = pException;
        else
            VLDeleteException(pException);
    }
    // Throws the held exception, if any, giving it up.
    void ThrowIfAny()
    {
        if (m_pException != nullptr)
            throw Release();
    }

private:
    EVLException* m_pException;
};

// Inside a catch block that drops whatever it caught (catch (...)): frees a
// caught framework exception; anything else needs nothing.
inline void ReleaseCurrentException()
{
    try {
        throw;
    } catch (EVLException* pException) {
        VLDeleteException(pException);
    } catch (...) {
    }
}

#endif
