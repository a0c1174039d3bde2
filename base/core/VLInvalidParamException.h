#ifndef VLINVALIDPARAMEXCEPTION_H
#define VLINVALIDPARAMEXCEPTION_H

#include "base/core/VLException.h"

class EVLInvalidParamException : public EVLException
{
public:
    EVLInvalidParamException(const char* szModule, const char* szFile, int nLine);
    virtual ~EVLInvalidParamException();
    virtual CVLString GetClassName() const override;
    virtual CVLString ToString() const override;
};

#endif
