#ifndef VLLOCKEXCEPTION_H
#define VLLOCKEXCEPTION_H

#include "base/core/VLException.h"

class EVLLockException : public EVLException
{
public:
    EVLLockException(const char* szModule, const char* szFile, int nLine);
    virtual ~EVLLockException();
    virtual CVLString GetClassName() const override;
    virtual CVLString ToString() const override;
};

#endif
