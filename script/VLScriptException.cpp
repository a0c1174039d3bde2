#include "script/VLScriptException.h"

#include "script/VLScriptDefs.h"
#include "base/core/VLTrace.h"

namespace {
struct SErrorName
{
    int nCode;
    const char* szName;
};

const SErrorName g_RunErrors[] = {
    {1000, "NOT_SCRIPT_CODE"},
    {1001, "UNSUPPORTED_VERSION"},
    {1002, "INVALID_SIZE"},
    {1003, "INVALID_POINTER"},
    {3000, "NO_CODE"},
    {3001, "PARAMS_COUNT_ERROR"},
    {3002, "PARAMS_STACK_ERROR"},
    {3003, "STACK_ERROR"},
    {3004, "NO_VARIABLE_ERROR"},
    {3005, "NO_FUNCTION_ERROR"},
    {3006, "NULL_OBJECT_ERROR"},
    {9999, "UNEXPECTED_ERROR"},
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
