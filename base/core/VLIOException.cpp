#include "base/core/VLIOException.h"
#include "base/core/VLTrace.h"

EVLIOException::EVLIOException(const char* szModule, const char* szFile, int nLine, const char* szFilePath, VL_LONG nSystemErrorCode)
    : EVLException(szModule, szFile, nLine)
    , m_strFilePath(szFilePath, VL_CHARSET_UTF8)
    , m_nSystemErrorCode(nSystemErrorCode)
{
    CVLTrace::OutputException(VLSTD_MODULE, "VLIOException", 34, this);
}

EVLIOException::~EVLIOException()
{
}

CVLString EVLIOException::GetClassName() const
{
    return CVLString("EVLIOException", VL_CHARSET_UTF8);
}

CVLString EVLIOException::ToString() const
{
    CVLString str("EVLIOException", VL_CHARSET_UTF8);
    CVLString strCode(VL_CHARSET_UTF8);
    strCode.SetLong(m_nSystemErrorCode);
    str += ": File Path=";
    str += m_strFilePath;
    str += ": System ErrorCode=";
    str += strCode;
    return str;
}
