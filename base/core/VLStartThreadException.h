#ifndef VLSTARTTHREADEXCEPTION_H
#define VLSTARTTHREADEXCEPTION_H

#include "base/core/VLException.h"

class EVLStartThreadException : public EVLException
{
public:
    EVLStartThreadException(const char* szModule, const char* szFile, int nLine);
    virtual ~EVLStartThreadException();
    virtual CVLString GetClassName() const override;
    virtual CVLString ToString() const override;
};

#endif
