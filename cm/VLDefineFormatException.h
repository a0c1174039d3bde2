// Thrown by the definition readers for an element that lacks a required
// attribute or carries a bad one.
#ifndef VLDEFINEFORMATEXCEPTION_H
#define VLDEFINEFORMATEXCEPTION_H

#include "base/core/VLException.h"

class EVLDefineFormatException : public EVLException
{
public:
    EVLDefineFormatException(const char* szModule, const char* szFile, int nLine, const char* szTagName,
                             const char* szAttributeName);
    virtual ~EVLDefineFormatException();
    virtual CVLString GetClassName() const override;
    virtual CVLString ToString() const override;
    virtual const CVLString& GetTagName() const { return m_strTagName; }
    virtual const CVLString& GetAttributeName() const { return m_strAttributeName; }

protected:
    CVLString m_strTagName;
    CVLString m_strAttributeName;
};

#endif
