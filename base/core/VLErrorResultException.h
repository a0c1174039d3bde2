#ifndef VLERRORRESULTEXCEPTION_H
#define VLERRORRESULTEXCEPTION_H

#include "base/core/VLException.h"

class EVLErrorResultException : public EVLException
{
public:
    EVLErrorResultException(const char* szModule, const char* szFile, int nLine,
                            const char* szProtocolName, VL_LONG nResultCode);
    virtual ~EVLErrorResultException();
    virtual CVLString GetClassName() const override;
    virtual CVLString ToString() const override;
    virtual const CVLString& GetProtocolName() const { return m_strProtocolName; }
    virtual VL_LONG GetResultCode() const { return m_nResultCode; }

protected:
    CVLString m_strProtocolName;
    VL_LONG m_nResultCode;
};

#endif
