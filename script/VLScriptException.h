// A compiled image that cannot be loaded, or a script run that fails: script
// name, the script line that was running and a run-time error code.
#ifndef VLSCRIPTEXCEPTION_H
#define VLSCRIPTEXCEPTION_H

#include <string>

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
    // What a run-time error code means, in words for a user ("a name that
    // is no variable"); null for a code outside the table.
    static const char* GetErrorText(int nErrorCode);
    // The failure in words when the thrower knows more than its code
    // ("division by zero" for an unexpected error); empty otherwise.
    const std::string& GetReason() const { return m_strReason; }
    EVLScriptException* SetReason(const char* szReason);
    EVLScriptException* SetReason(const std::string& strReason);
    // What failed in words for a user: the reason, with the code unless it
    // is the unexpected error's, which says nothing more ("'x' is not a
    // variable (error 3004)", "division by zero"); else what the code means
    // with the code.
    std::string GetMessage() const;

protected:
    CVLString m_strScriptName;
    int m_nScriptLine;
    int m_nErrorCode;
    std::string m_strReason;
};

#endif
