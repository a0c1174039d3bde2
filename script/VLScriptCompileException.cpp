#include "script/VLScriptCompileException.h"

#include "script/VLScriptDefs.h"
#include "base/core/VLTrace.h"

namespace {
struct SErrorName
{
    int nCode;
    const char* szName;
    const char* szText;
};

const SErrorName g_CompileErrors[] = {
    {1001, "SYNTAX_ERROR", "syntax error"},
    {1002, "NOT_VARIABLE_ERROR",
     "a type name was expected (int, string, ...; void for a function), or a variable after '++' or '--'"},
    {1003, "NOT_FUNCTION_NAME_ERROR", "a function name was expected"},
    {1004, "NOT_START_PER_ERROR", "'(' was expected"},
    {1005, "NOT_END_PER_ERROR", "')' was expected"},
    {1006, "NOT_START_BLOCK_ERROR", "'{' was expected"},
    {1007, "NOT_END_BLOCK_ERROR", "'}' was expected"},
    {1008, "NOT_PARAM_NAME_ERROR", "a parameter name was expected"},
    {1009, "DOUBLE_NAME_ERROR", "a name declared twice"},
    {1010, "NOT_CONMA_ERROR", "',' was expected between parameters"},
    {1011, "NOT_DEFAULT_VALUE_ERROR", "a default value was expected"},
    {1012, "NOT_VARIABLE_NAME_ERROR", "a variable name was expected"},
    {1013, "NOT_SEMICOLON_ERROR", "';' was expected"},
    {1014, "NOT_DOUBLE_QUOTATION_ERROR", "a text without its closing '\"'"},
    {1015, "DOUBLE_ELSE_ERROR", "a second 'else' without 'if'"},
    {1016, "BAD_BREAK_ERROR", "'break' outside a loop"},
    {1017, "NOT_RETURN_ERROR", "a function that returns a value does not end with 'return'"},
    {1018, "NOT_RETURN_VALUE_ERROR", "'return' without the value the function returns"},
    {1100, "PER_COUNT_ERROR", "parentheses that do not match"},
    {1500, "ASSIGNMENT_OPERATOR_ERROR", "an assignment out of place"},
    {1501, "BAD_EOF_ERROR", "the text ends too early"},
    {9999, "UNEXPECTED_ERROR", "the compiler failed"},
};
}  // namespace

EVLScriptCompileException::EVLScriptCompileException(const char* szModule, const char* szFile, int nLine,
                                                     const char* szScriptName, int nScriptLine, int nPosition,
                                                     int nErrorCode)
    : EVLException(szModule, szFile, nLine), m_strScriptName(szScriptName, VL_CHARSET_UTF8), m_nScriptLine(nScriptLine),
      m_nPosition(nPosition), m_nErrorCode(nErrorCode)
{
    CVLTrace::OutputException(VLSCRIPT_MODULE, "VLScriptCompileException", __LINE__, this);
}

EVLScriptCompileException::~EVLScriptCompileException()
{
}

CVLString EVLScriptCompileException::GetClassName() const
{
    return CVLString("EVLScriptCompileException", VL_CHARSET_UTF8);
}

const char* EVLScriptCompileException::GetErrorName(int nErrorCode)
{
    for (const SErrorName& e : g_CompileErrors) {
        if (e.nCode == nErrorCode)
            return e.szName;
    }
    return nullptr;
}

const char* EVLScriptCompileException::GetErrorText(int nErrorCode)
{
    for (const SErrorName& e : g_CompileErrors) {
        if (e.nCode == nErrorCode)
            return e.szText;
    }
    return nullptr;
}

EVLScriptCompileException* EVLScriptCompileException::SetReason(const std::string& strReason)
{
    m_strReason = strReason;
    return this;
}

std::string EVLScriptCompileException::GetMessage() const
{
    const char* szText = GetErrorText(m_nErrorCode);
    std::string strWhat = !m_strReason.empty() ? m_strReason
                          : szText != nullptr  ? szText
                                               : "the script does not compile";
    return strWhat + " (error " + std::to_string(m_nErrorCode) + ")";
}

CVLString EVLScriptCompileException::ToString() const
{
    CVLString str("EVLScriptCompileException", VL_CHARSET_UTF8);
    CVLString strNumber(VL_CHARSET_UTF8);
    str += ": Script name=";
    str += m_strScriptName;
    str += ": Line=";
    strNumber.SetLong(m_nScriptLine);
    str += strNumber;
    str += ": Postion=";
    strNumber.SetLong(m_nPosition);
    str += strNumber;
    str += ": Error=";
    const char* szName = GetErrorName(m_nErrorCode);
    if (szName != nullptr)
        str += szName;
    str += "(";
    strNumber.SetLong(m_nErrorCode);
    str += strNumber;
    str += ")";
    return str;
}
