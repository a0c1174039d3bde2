#include "script/VLScriptException.h"

#include "script/VLScriptDefs.h"
#include "base/core/VLTrace.h"

namespace {
struct SErrorName
{
    int nCode;
    const char* szName;
    const char* szText;
};

const SErrorName g_RunErrors[] = {
    {1000, "NOT_SCRIPT_CODE", "not a compiled script (no script magic)"},
    {1001, "UNSUPPORTED_VERSION", "a compiled script of a later version"},
    {1002, "INVALID_SIZE", "a compiled script of a wrong size"},
    {1003, "INVALID_POINTER", "a compiled script whose sections lie outside it"},
    {3000, "NO_CODE", "no code loaded"},
    {3001, "PARAMS_COUNT_ERROR", "a function called with a wrong number of arguments"},
    {3002, "PARAMS_STACK_ERROR", "an argument outside a call"},
    {3003, "STACK_ERROR", "an operator without its operand"},
    {3004, "NO_VARIABLE_ERROR", "a name that is no variable"},
    {3005, "NO_FUNCTION_ERROR", "a name that is no function"},
    {3006, "NULL_OBJECT_ERROR", "a missing object"},
    {9999, "UNEXPECTED_ERROR", "the run failed"},
};
}  // namespace

EVLScriptException::EVLScriptException(const char* szModule, const char* szFile, int nLine, int nErrorCode,
                                       const char* szScriptName, int nScriptLine, bool bTrace)
    : EVLException(szModule, szFile, nLine), m_strScriptName(szScriptName, VL_CHARSET_UTF8), m_nScriptLine(nScriptLine),
      m_nErrorCode(nErrorCode)
{
    if (bTrace)
        CVLTrace::OutputException(VLSCRIPT_MODULE, "VLScriptException", __LINE__, this);
}

EVLScriptException::~EVLScriptException()
{
}

CVLString EVLScriptException::GetClassName() const
{
    return CVLString("EVLScriptException", VL_CHARSET_UTF8);
}

void EVLScriptException::SetScriptName(const char* szName)
{
    m_strScriptName = szName;
}

EVLScriptException* EVLScriptException::SetScriptLine(int nLine)
{
    m_nScriptLine = nLine;
    return this;
}

const char* EVLScriptException::GetErrorName(int nErrorCode)
{
    for (const SErrorName& e : g_RunErrors) {
        if (e.nCode == nErrorCode)
            return e.szName;
    }
    return nullptr;
}

const char* EVLScriptException::GetErrorText(int nErrorCode)
{
    for (const SErrorName& e : g_RunErrors) {
        if (e.nCode == nErrorCode)
            return e.szText;
    }
    return nullptr;
}

EVLScriptException* EVLScriptException::SetReason(const char* szReason)
{
    m_strReason = szReason != nullptr ? szReason : "";
    return this;
}

EVLScriptException* EVLScriptException::SetReason(const std::string& strReason)
{
    m_strReason = strReason;
    return this;
}

std::string EVLScriptException::GetMessage() const
{
    const std::string strCode = " (error " + std::to_string(m_nErrorCode) + ")";
    if (!m_strReason.empty())
        return m_nErrorCode == VLSCR_ERR_UNEXPECTED ? m_strReason : m_strReason + strCode;
    const char* szText = GetErrorText(m_nErrorCode);
    return (szText != nullptr ? szText : "the run failed") + strCode;
}

CVLString EVLScriptException::ToString() const
{
    CVLString str("EVLScriptException", VL_CHARSET_UTF8);
    CVLString strNumber(VL_CHARSET_UTF8);
    str += ": Script name=";
    str += m_strScriptName;
    str += ": Script line=";
    strNumber.SetULong(static_cast<VL_ULONG>(m_nScriptLine));
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
