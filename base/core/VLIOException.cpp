#include "base/core/VLIOException.h"
#include "base/core/VLTrace.h"

EVLIOException::EVLIOException(const char* szModule, const char* szFile, int nLine, const char* szFilePath, VL_LONG nSystemErrorCode)
    : EVLException(szModule, szFile, nLine)
    , m_strFilePath(szFilePath, 72)
    , m_nSystemErrorCode(nSystemErrorCode)
{
    CVLTrace::OutputException(VLSTD_MODULE, "VLIOException", 34, this);
}

EVLIOException::~EVLIOException()
{
}

CVLString EVLIOException::GetClassName() const
{
    return CVLString("EVLIOException", 72);
}

CVLString EVLIOException::ToString() const
{
    CVLString str("EVLIOException", 72);
    CVLString strCode(72);
    strCode.SetLong(m_nSystemErrorCode);
    str += ": File Path=";
    str += m_strFilePath;
    str += ": System ErrorCode=";
    str += strCode;
    return str;
}
