#ifndef VLINVALIDCALLEXCEPTION_H
#define VLINVALIDCALLEXCEPTION_H

#include "base/core/VLException.h"

class EVLInvalidCallException : public EVLException
{
public:
    EVLInvalidCallException(const char* szModule, const char* szFile, int nLine);
    virtual ~EVLInvalidCallException();
    virtual CVLString GetClassName() const override;
    virtual CVLString ToString() const override;
};

#endif
