// A script text that the compiler refuses: script name, line, position in the
// line and a compile error code.
#ifndef VLSCRIPTCOMPILEEXCEPTION_H
#define VLSCRIPTCOMPILEEXCEPTION_H

#include <string>

#include "base/core/VLException.h"

class EVLScriptCompileException : public EVLException
{
public:
    // Always writes itself to the tracer.
    EVLScriptCompileException(const char* szModule, const char* szFile, int nLine, const char* szScriptName,
                              int nScriptLine, int nPosition, int nErrorCode);
    virtual ~EVLScriptCompileException();

    virtual CVLString GetClassName() const override;
    virtual CVLString ToString() const override;
    virtual const CVLString& GetScriptName() const { return m_strScriptName; }
    virtual int GetScriptLine() const { return m_nScriptLine; }
    virtual int GetPosition() const { return m_nPosition; }
    virtual int GetErrorCode() const { return m_nErrorCode; }

    // The name of a compile error code, or null for a code outside the table.
    static const char* GetErrorName(int nErrorCode);
    // What a compile error code means, in words for a user ("';' was
    // expected"); null for a code outside the table.
    static const char* GetErrorText(int nErrorCode);
    // What was wrong when the compiler knows more than its code says ("the
    // file ends where '}' was expected"); empty otherwise.
    const std::string& GetReason() const { return m_strReason; }
    EVLScriptCompileException* SetReason(const std::string& strReason);
    // What was wrong in words for a user, with the code: the reason, or
    // what the code means ("';' was expected (error 1013)").
    std::string GetMessage() const;

protected:
    CVLString m_strScriptName;
    int m_nScriptLine;
    int m_nPosition;
    int m_nErrorCode;
    std::string m_strReason;
};

#endif
