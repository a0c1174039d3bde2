#ifndef VLMEMORYALLOCEXCEPTION_H
#define VLMEMORYALLOCEXCEPTION_H

#include "base/core/VLException.h"

class EVLMemoryAllocException : public EVLException
{
public:
    EVLMemoryAllocException(const char* szModule, const char* szFile, int nLine);
    virtual ~EVLMemoryAllocException();
    virtual CVLString GetClassName() const override;
    virtual CVLString ToString() const override;
};

#endif
