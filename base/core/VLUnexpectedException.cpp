#include "base/core/VLUnexpectedException.h"
#include "base/core/VLTrace.h"

EVLUnexpectedException::EVLUnexpectedException(const char* szModule, const char* szFile, int nLine)
    : EVLException(szModule, szFile, nLine), m_nUnsignedErrorCode(0), m_nSignedErrorCode(0),
      m_strMessage(VL_CHARSET_UTF8)
{
    CVLTrace::OutputException(VLSTD_MODULE, "VLUnexpectedException", 34, this);
}

EVLUnexpectedException::EVLUnexpectedException(const char* szModule, const char* szFile, int nLine,
                                               const char* szMessage)
    : EVLException(szModule, szFile, nLine), m_nUnsignedErrorCode(0), m_nSignedErrorCode(0),
      m_strMessage(VL_CHARSET_UTF8)
{
    m_strMessage = szMessage;
    CVLTrace::OutputException(VLSTD_MODULE, "VLUnexpectedException", 45, this);
}

EVLUnexpectedException::EVLUnexpectedException(const char* szModule, const char* szFile, int nLine,
                                               VL_LONG nErrorCode)
    : EVLException(szModule, szFile, nLine), m_nUnsignedErrorCode(0), m_nSignedErrorCode(nErrorCode),
      m_strMessage(VL_CHARSET_UTF8)
{
    CVLTrace::OutputException(VLSTD_MODULE, "VLUnexpectedException", 55, this);
}

EVLUnexpectedException::EVLUnexpectedException(const char* szModule, const char* szFile, int nLine,
                                               VL_ULONG nErrorCode)
    : EVLException(szModule, szFile, nLine), m_nUnsignedErrorCode(nErrorCode), m_nSignedErrorCode(0),
      m_strMessage(VL_CHARSET_UTF8)
{
    CVLTrace::OutputException(VLSTD_MODULE, "VLUnexpectedException", 65, this);
}

EVLUnexpectedException::~EVLUnexpectedException()
{
}

CVLString EVLUnexpectedException::GetClassName() const
{
    return CVLString("EVLUnexpectedException", VL_CHARSET_UTF8);
}

CVLString EVLUnexpectedException::ToString() const
{
    CVLString str("EVLUnexpectedException", VL_CHARSET_UTF8);
    CVLString strCode(VL_CHARSET_UTF8);
    if (m_nUnsignedErrorCode != 0) {
        strCode.SetULong(m_nUnsignedErrorCode);
        str += ": Error code=";
        str += strCode;
    }
    if (m_nSignedErrorCode != 0) {
        strCode.SetLong(m_nSignedErrorCode);
        str += ": Error code=";
        str += strCode;
    }
    if (m_strMessage.GetLength() > 0) {
        str += " : ";
        str += m_strMessage;
    }
    return str;
}
