#ifndef VLALREADYEXECEXCEPTION_H
#define VLALREADYEXECEXCEPTION_H

#include "base/core/VLException.h"

class EVLAlreadyExecException : public EVLException
{
public:
    EVLAlreadyExecException(const char* szModule, const char* szFile, int nLine, const char* szFunctionName);
    virtual ~EVLAlreadyExecException();
    virtual CVLString GetClassName() const override;
    virtual CVLString ToString() const override;
    virtual const CVLString& GetFunctionName() const { return m_strFunctionName; }

protected:
    CVLString m_strFunctionName;
};

#endif
