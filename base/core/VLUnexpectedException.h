#ifndef VLUNEXPECTEDEXCEPTION_H
#define VLUNEXPECTEDEXCEPTION_H

#include "base/core/VLException.h"

class EVLUnexpectedException : public EVLException
{
public:
    EVLUnexpectedException(const char* szModule, const char* szFile, int nLine);
    EVLUnexpectedException(const char* szModule, const char* szFile, int nLine, const char* szMessage);
    EVLUnexpectedException(const char* szModule, const char* szFile, int nLine, VL_LONG nErrorCode);
    EVLUnexpectedException(const char* szModule, const char* szFile, int nLine, VL_ULONG nErrorCode);
    virtual ~EVLUnexpectedException();
    virtual CVLString GetClassName() const override;
    virtual CVLString ToString() const override;

    VL_ULONG GetUnsignedErrorCode() const { return m_nUnsignedErrorCode; }
    VL_LONG GetSignedErrorCode() const { return m_nSignedErrorCode; }
    const CVLString& GetMessage() const { return m_strMessage; }

protected:
    VL_ULONG m_nUnsignedErrorCode;
    VL_LONG m_nSignedErrorCode;
    CVLString m_strMessage;
};

#endif
