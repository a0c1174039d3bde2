#ifndef VLSTARTTHREADEXCEPTION_H
#define VLSTARTTHREADEXCEPTION_H

#include "base/core/VLException.h"

// A thread that could not be created. The error number is the one
// pthread_create returned (errno's numbering, EAGAIN for want of
// resources); 0 when it is not known.
class EVLStartThreadException : public EVLException
{
public:
    EVLStartThreadException(const char* szModule, const char* szFile, int nLine, int nErrorNumber = 0);
    virtual ~EVLStartThreadException();
    virtual CVLString GetClassName() const override;
    virtual CVLString ToString() const override;
    int GetErrorNumber() const { return m_nErrorNumber; }

private:
    int m_nErrorNumber;
};

#endif
