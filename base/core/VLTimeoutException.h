#ifndef VLTIMEOUTEXCEPTION_H
#define VLTIMEOUTEXCEPTION_H

#include "base/core/VLException.h"

class EVLTimeoutException : public EVLException
{
public:
    EVLTimeoutException(const char* szModule, const char* szFile, int nLine, bool bTrace);
    virtual ~EVLTimeoutException();
    virtual CVLString GetClassName() const override;
    virtual CVLString ToString() const override;
};

#endif
