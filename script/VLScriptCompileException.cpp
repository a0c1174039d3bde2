#include "script/VLScriptCompileException.h"

#include "script/VLScriptDefs.h"
#include "base/core/VLTrace.h"

namespace {
struct SErrorName
{
    int nCode;
    const char* szName;
};

const SErrorName g_CompileErrors[] = {
    {1001, "SYNTAX_ERROR"},
    {1002, "NOT_VARIABLE_ERROR"},
    {1003, "NOT_FUNCTION_NAME_ERROR"},
    {1004, "NOT_START_PER_ERROR"},
    {1005, "NOT_END_PER_ERROR"},
    {1006, "NOT_START_BLOCK_ERROR"},
    {1007, "NOT_END_BLOCK_ERROR"},
    {1008, "NOT_PARAM_NAME_ERROR"},
    {1009, "DOUBLE_NAME_ERROR"},
    {1010, "NOT_CONMA_ERROR"},
    {1011, "NOT_DEFAULT_VALUE_ERROR"},
    {1012, "NOT_VARIABLE_NAME_ERROR"},
    {1013, "NOT_SEMICOLON_ERROR"},
    {1014, "NOT_DOUBLE_QUOTATION_ERROR"},
    {1015, "DOUBLE_ELSE_ERROR"},
    {1016, "BAD_BREAK_ERROR"},
    {1017, "NOT_RETURN_ERROR"},
    {1018, "NOT_RETURN_VALUE_ERROR"},
    {1100, "PER_COUNT_ERROR"},
    {1500, "ASSIGNMENT_OPERATOR_ERROR"},
    {1501, "BAD_EOF_ERROR"},
    {9999, "UNEXPECTED_ERROR"},
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
