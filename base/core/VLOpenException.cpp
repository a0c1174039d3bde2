#include "base/core/VLOpenException.h"
#include "base/core/VLTrace.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

EVLOpenException::EVLOpenException(const char* szModule, const char* szFile, int nLine, const char* szFilePath, VL_LONG nSystemErrorCode)
    : EVLException(szModule, szFile, nLine)
    , m_strFilePath(szFilePath, VL_CHARSET_UTF8)
    , m_nSystemErrorCode(nSystemErrorCode)
{
    CVLTrace::OutputException(VLSTD_MODULE, "VLOpenException", 34, this);
}

EVLOpenException::~EVLOpenException()
{
}

CVLString EVLOpenException::GetClassName() const
{
    return CVLString("EVLOpenException", VL_CHARSET_UTF8);
}

CVLString EVLOpenException::ToString() const
{
    CVLString str("EVLOpenException", VL_CHARSET_UTF8);
    CVLString strCode(VL_CHARSET_UTF8);
    strCode.SetLong(m_nSystemErrorCode);
    str += ": File path=";
    str += m_strFilePath;
    str += ": System ErrorCode=";
    str += strCode;
    return str;
}

bool EVLOpenException::IsNotRegularFile() const
{
    // The file streams refuse what is not a regular file as an invalid
    // argument.
    struct stat info;
    const char* szPath = m_strFilePath.GetBuffer();
    return m_nSystemErrorCode == EINVAL && szPath != nullptr && stat(szPath, &info) == 0 && !S_ISREG(info.st_mode);
}

std::string EVLOpenException::GetReason() const
{
    return IsNotRegularFile() ? "not a regular file" : strerror(static_cast<int>(m_nSystemErrorCode));
}
