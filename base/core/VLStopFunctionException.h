#ifndef VLSTOPFUNCTIONEXCEPTION_H
#define VLSTOPFUNCTIONEXCEPTION_H

#include "base/core/VLException.h"

class EVLStopFunctionException : public EVLException
{
public:
    EVLStopFunctionException(const char* szModule, const char* szFile, int nLine);
    virtual ~EVLStopFunctionException();
    virtual CVLString GetClassName() const override;
    virtual CVLString ToString() const override;
};

#endif
