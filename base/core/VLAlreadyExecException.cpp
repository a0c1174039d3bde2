#include "base/core/VLAlreadyExecException.h"
#include "base/core/VLTrace.h"

EVLAlreadyExecException::EVLAlreadyExecException(const char* szModule, const char* szFile, int nLine, const char* szFunctionName)
    : EVLException(szModule, szFile, nLine)
    , m_strFunctionName(szFunctionName, VL_CHARSET_UTF8)
{
    CVLTrace::OutputException(VLSTD_MODULE, "VLAlreadyExecException", 33, this);
}

EVLAlreadyExecException::~EVLAlreadyExecException()
{
}

CVLString EVLAlreadyExecException::GetClassName() const
{
    return CVLString("EVLAlreadyExecException", VL_CHARSET_UTF8);
}

CVLString EVLAlreadyExecException::ToString() const
{
    CVLString str("EVLAlreadyExecException", VL_CHARSET_UTF8);
    str += ": Function name=";
    str += m_strFunctionName;
    return str;
}
