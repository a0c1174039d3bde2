#ifndef VLNOTEXISTEXCEPTION_H
#define VLNOTEXISTEXCEPTION_H

#include "base/core/VLException.h"

class EVLNotExistException : public EVLException
{
public:
    EVLNotExistException(const char* szModule, const char* szFile, int nLine, const char* szName);
    virtual ~EVLNotExistException();
    virtual CVLString GetClassName() const override;
    virtual CVLString ToString() const override;

protected:
    CVLString m_strName;
};

#endif
