#ifndef VLOPENEXCEPTION_H
#define VLOPENEXCEPTION_H

#include <string>

#include "base/core/VLException.h"

class EVLOpenException : public EVLException
{
public:
    EVLOpenException(const char* szModule, const char* szFile, int nLine, const char* szFilePath, VL_LONG nSystemErrorCode);
    virtual ~EVLOpenException();
    virtual CVLString GetClassName() const override;
    virtual CVLString ToString() const override;
    virtual const CVLString& GetFilePath() const { return m_strFilePath; }
    virtual VL_LONG GetSystemErrorCode() const { return m_nSystemErrorCode; }
    // Why the file could not be opened, in words: the system's reason, or
    // "not a regular file" for a folder, a FIFO or a device.
    std::string GetReason() const;
    bool IsNotRegularFile() const;

protected:
    CVLString m_strFilePath;
    VL_LONG m_nSystemErrorCode;
};

#endif
