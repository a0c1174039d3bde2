#ifndef VLIOEXCEPTION_H
#define VLIOEXCEPTION_H

#include "base/core/VLException.h"

class EVLIOException : public EVLException
{
public:
    EVLIOException(const char* szModule, const char* szFile, int nLine, const char* szFilePath, VL_LONG nSystemErrorCode);
    virtual ~EVLIOException();
    virtual CVLString GetClassName() const override;
    virtual CVLString ToString() const override;
    virtual const CVLString& GetFilePath() const { return m_strFilePath; }
    virtual VL_LONG GetSystemErrorCode() const { return m_nSystemErrorCode; }

protected:
    CVLString m_strFilePath;
    VL_LONG m_nSystemErrorCode;
};

#endif
