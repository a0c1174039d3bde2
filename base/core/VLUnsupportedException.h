#ifndef VLUNSUPPORTEDEXCEPTION_H
#define VLUNSUPPORTEDEXCEPTION_H

#include "base/core/VLException.h"

class EVLUnsupportedException : public EVLException
{
public:
    EVLUnsupportedException(const char* szModule, const char* szFile, int nLine, const char* szMethodName);
    virtual ~EVLUnsupportedException();
    virtual CVLString GetClassName() const override;
    virtual CVLString ToString() const override;
    virtual const CVLString& GetMethodName() const { return m_strMethodName; }

protected:
    CVLString m_strMethodName;
};

#endif
