#ifndef VLCOMMUNICATIONEXCEPTION_H
#define VLCOMMUNICATIONEXCEPTION_H

#include <string>

#include "base/core/VLException.h"

class EVLCommunicationException : public EVLException
{
public:
    EVLCommunicationException(const char* szModule, const char* szFile, int nLine,
                              VL_LONG nSystemErrorCode, const char* szExceptionAddress, bool bTrace);
    virtual ~EVLCommunicationException();
    virtual CVLString GetClassName() const override;
    virtual CVLString ToString() const override;
    virtual VL_LONG GetSystemErrorCode() const { return m_nSystemErrorCode; }
    virtual const CVLString& GetExceptionAddress() const { return m_strExceptionAddress; }
    // The system's reason for the stored error number, in words.
    std::string GetReason() const;

protected:
    CVLString m_strExceptionAddress;
    VL_LONG m_nSystemErrorCode;
};

#endif
