#ifndef VLNULLOBJECTEXCEPTION_H
#define VLNULLOBJECTEXCEPTION_H

#include "base/core/VLException.h"

class EVLNullObjectException : public EVLException
{
public:
    EVLNullObjectException(const char* szModule, const char* szFile, int nLine);
    virtual ~EVLNullObjectException();
    virtual CVLString GetClassName() const override;
    virtual CVLString ToString() const override;
};

#endif
