// A compiled image that cannot be loaded, or a script run that fails: script
// name, the script line that was running and a run-time error code.
#ifndef VLSCRIPTEXCEPTION_H
#define VLSCRIPTEXCEPTION_H

#include "base/core/VLException.h"

class EVLScriptException : public EVLException
{
public:
    // With bTrace the exception writes itself to the tracer.
    EVLScriptException(const char* szModule, const char* szFile, int nLine, int nErrorCode,
                       const char* szScriptName, int nScriptLine, bool bTrace);
    virtual ~EVLScriptException();

    virtual CVLString GetClassName() const override;
    virtual CVLString ToString() const override;
    virtual const CVLString& GetScriptName() const { return m_strScriptName; }
    virtual void SetScriptName(const char* szName);
    virtual int GetScriptLine() const { return m_nScriptLine; }
    virtual EVLScriptException* SetScriptLine(int nLine);
    virtual int GetErrorCode() const { return m_nErrorCode; }

    // The name of a run-time error code, or null for a code outside the table.
    static const char* GetErrorName(int nErrorCode);

protected:
    CVLString m_strScriptName;
    int m_nScriptLine;
    int m_nErrorCode;
};

#endif
