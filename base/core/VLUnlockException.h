#ifndef VLUNLOCKEXCEPTION_H
#define VLUNLOCKEXCEPTION_H

#include "base/core/VLException.h"

class EVLUnlockException : public EVLException
{
public:
    EVLUnlockException(const char* szModule, const char* szFile, int nLine);
    virtual ~EVLUnlockException();
    virtual CVLString GetClassName() const override;
    virtual CVLString ToString() const override;
};

#endif
