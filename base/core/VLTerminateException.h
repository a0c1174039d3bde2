#ifndef VLTERMINATEEXCEPTION_H
#define VLTERMINATEEXCEPTION_H

#include "base/core/VLException.h"

class EVLTerminateException : public EVLException
{
public:
    EVLTerminateException(const char* szModule, const char* szFile, int nLine);
    virtual ~EVLTerminateException();
    virtual CVLString GetClassName() const override;
    virtual CVLString ToString() const override;
};

#endif
