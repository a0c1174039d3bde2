// A request that the call was not allowed to send (see
// CVLModuleParamCollection::SetAllowedRequests), refused before it left:
// the reason names the packet list and the request.
#ifndef VLREFUSEDREQUESTEXCEPTION_H
#define VLREFUSEDREQUESTEXCEPTION_H

#include "base/core/VLException.h"

class EVLRefusedRequestException : public EVLException
{
public:
    EVLRefusedRequestException(const char* szModule, const char* szFile, int nLine, const char* szReason);
    virtual ~EVLRefusedRequestException();
    virtual CVLString GetClassName() const override;
    virtual CVLString ToString() const override;
    virtual const CVLString& GetReason() const { return m_strReason; }

protected:
    CVLString m_strReason;
};

#endif
