#include "base/core/VLAlreadyExecException.h"
#include "base/core/VLTrace.h"

EVLAlreadyExecException::EVLAlreadyExecException(const char* szModule, const char* szFile, int nLine, const char* szFunctionName)
    : EVLException(szModule, szFile, nLine)
    , m_strFunctionName(szFunctionName, 72)
{
    CVLTrace::OutputException(VLSTD_MODULE, "VLAlreadyExecException", 33, this);
}

EVLAlreadyExecException::~EVLAlreadyExecException()
{
}

CVLString EVLAlreadyExecException::GetClassName() const
{
    return CVLString("EVLAlreadyExecException", 72);
}

CVLString EVLAlreadyExecException::ToString() const
{
    CVLString str("EVLAlreadyExecException", 72);
    str += ": Function name=";
    str += m_strFunctionName;
    return str;
}
