// CVLString: numbers, booleans and hexadecimal text. Parsing and formatting
// never depend on the process locale.
#include "base/core/VLString.h"

#include <cerrno>
#include <cinttypes>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <locale.h>
#include <string>

#include "base/core/VLByteOrder.h"

namespace {

locale_t CLocale()
{
    static locale_t s_Locale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
    return s_Locale;
}

// Case-insensitive ASCII equality.
bool EqualsNoCase(const std::string& a, const char* b)
{
    size_t n = strlen(b);
    if (a.size() != n)
        return false;
    for (size_t i = 0; i < n; ++i) {
        char c = a[i];
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c + 32);
        if (c != b[i])
            return false;
    }
    return true;
}

bool IsNumericText(const std::string& s)
{
    if (s.empty())
        return false;
    for (size_t i = 0; i < s.size(); ++i) {
        char c = s[i];
        if ((c == '+' || c == '-') && i == 0)
            continue;
        if ((c >= '0' && c <= '9') || c == '.' || c == ',')
            continue;
        return false;
    }
    return true;
}

int HexDigit(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Splits a numeric text into its sign and the magnitude that strtoull reads.
VL_ULONGLONG ParseMagnitude(const std::string& s, bool& bNegative, bool& bOverflow)
{
    const char* p = s.c_str();
    bNegative = false;
    if (*p == '+' || *p == '-') {
        bNegative = (*p == '-');
        ++p;
    }
    bOverflow = false;
    if (*p < '0' || *p > '9')
        return 0;
    errno = 0;
    unsigned long long v = strtoull(p, nullptr, 10);
    bOverflow = (errno == ERANGE);
    return v;
}

}  // namespace

bool CVLString::GetAsciiText(CVLString& strOut) const
{
    if (m_eCharset == VL_CHARSET_ASCII || m_eCharset == VL_CHARSET_UTF8) {
        strOut = *this;
        return true;
    }
    strOut = ConvertTo(VL_CHARSET_ASCII, true);
    if (strOut.GetCharset() == VL_CHARSET_ASCII)
        return true;
    // No converter: single-byte text is read as it stands.
    if (strOut.GetCharset() == m_eCharset && m_nCharSize == 1)
        return true;
    return false;
}

bool CVLString::IsNumeric() const
{
    CVLString strAscii(VL_CHARSET_UTF8);
    if (!GetAsciiText(strAscii))
        return false;
    return IsNumericText(std::string(strAscii.GetBuffer(), static_cast<size_t>(strAscii.GetLength())));
}

#define VL_NUMERIC_TEXT_OR(defaultValue)                                                 \
    CVLString strAscii(VL_CHARSET_UTF8);                                                 \
    if (!GetAsciiText(strAscii))                                                         \
        return defaultValue;                                                             \
    std::string text(strAscii.GetBuffer(), static_cast<size_t>(strAscii.GetLength()));  \
    if (!IsNumericText(text))                                                            \
        return defaultValue

VL_LONG CVLString::ToLong(VL_LONG nDefault) const
{
    VL_NUMERIC_TEXT_OR(nDefault);
    errno = 0;
    long long v = strtoll(text.c_str(), nullptr, 10);
    if (v > INT32_MAX)
        return INT32_MAX;
    if (v < INT32_MIN)
        return INT32_MIN;
    return static_cast<VL_LONG>(v);
}

VL_ULONG CVLString::ToULong(VL_ULONG nDefault) const
{
    VL_NUMERIC_TEXT_OR(nDefault);
    // As strtoul on a 32-bit host: saturate above the range, negate a
    // negative value in unsigned arithmetic.
    bool bNegative, bOverflow;
    VL_ULONGLONG v = ParseMagnitude(text, bNegative, bOverflow);
    if (bOverflow || v > UINT32_MAX)
        return UINT32_MAX;
    VL_ULONG n = static_cast<VL_ULONG>(v);
    return bNegative ? static_cast<VL_ULONG>(0u - n) : n;
}

VL_LONGLONG CVLString::ToLongLong(VL_LONGLONG nDefault) const
{
    VL_NUMERIC_TEXT_OR(nDefault);
    return static_cast<VL_LONGLONG>(strtoll(text.c_str(), nullptr, 10));
}

VL_ULONGLONG CVLString::ToULongLong(VL_ULONGLONG nDefault) const
{
    VL_NUMERIC_TEXT_OR(nDefault);
    return static_cast<VL_ULONGLONG>(strtoull(text.c_str(), nullptr, 10));
}

double CVLString::ToDouble(double dDefault) const
{
    VL_NUMERIC_TEXT_OR(dDefault);
    return strtod_l(text.c_str(), nullptr, CLocale());
}

#undef VL_NUMERIC_TEXT_OR

bool CVLString::ToBool(bool bDefault) const
{
    CVLString strAscii(VL_CHARSET_UTF8);
    if (GetLength() == 0 || !GetAsciiText(strAscii))
        return bDefault;
    std::string text(strAscii.GetBuffer(), static_cast<size_t>(strAscii.GetLength()));
    if (text.empty())
        return bDefault;
    if (EqualsNoCase(text, "true"))
        return true;
    if (EqualsNoCase(text, "false"))
        return false;
    return ToLong(bDefault ? 1 : 0) != 0;
}

void CVLString::AssignFormatted(const char* szText)
{
    if (m_eCharset == VL_CHARSET_ASCII || m_eCharset == VL_CHARSET_UTF8) {
        operator=(szText);
        return;
    }
    CVLString strUtf8(szText, VL_CHARSET_UTF8);
    *this = strUtf8.ConvertTo(m_eCharset, true);
}

void CVLString::SetLong(VL_LONG nValue)
{
    char buf[32] = {0};
    snprintf(buf, sizeof(buf), "%" PRId32, nValue);
    AssignFormatted(buf);
}

void CVLString::SetULong(VL_ULONG nValue)
{
    char buf[32] = {0};
    snprintf(buf, sizeof(buf), "%" PRIu32, nValue);
    AssignFormatted(buf);
}

void CVLString::SetLongLong(VL_LONGLONG nValue)
{
    char buf[32] = {0};
    snprintf(buf, sizeof(buf), "%" PRId64, nValue);
    AssignFormatted(buf);
}

void CVLString::SetULongLong(VL_ULONGLONG nValue)
{
    char buf[32] = {0};
    snprintf(buf, sizeof(buf), "%" PRIu64, nValue);
    AssignFormatted(buf);
}

void CVLString::SetDouble(double dValue)
{
    // Large enough for every "%f" text of a double (up to 309 integer digits).
    char buf[400] = {0};
    locale_t old = uselocale(CLocale());
    snprintf(buf, sizeof(buf), "%f", dValue);
    uselocale(old);
    char* pPoint = strchr(buf, '.');
    if (pPoint != nullptr) {
        size_t n = strlen(buf);
        while (n > static_cast<size_t>(pPoint - buf) + 2 && buf[n - 1] == '0')
            buf[--n] = 0;
    }
    AssignFormatted(buf);
}

void CVLString::SetBool(bool bValue)
{
    AssignFormatted(bValue ? "true" : "false");
}

void CVLString::SetHex(const VL_BYTE* pData, int nLength, bool bUpper)
{
    if (pData == nullptr || nLength <= 0)
        return;
    const char* digits = bUpper ? "0123456789ABCDEF" : "0123456789abcdef";
    std::string text;
    text.reserve(static_cast<size_t>(nLength) * 2);
    for (int i = 0; i < nLength; ++i) {
        text += digits[pData[i] >> 4];
        text += digits[pData[i] & 0x0F];
    }
    AssignFormatted(text.c_str());
}

void CVLString::SetHexByte(VL_BYTE nValue, bool bUpper)
{
    SetHex(&nValue, 1, bUpper);
}

void CVLString::SetHexDWord(VL_ULONG nValue, int eByteOrder, bool bUpper)
{
    VL_BYTE bytes[4];
    CVLByteOrder::SetUInt32(nValue, eByteOrder == 1 ? 1 : 2, bytes);
    SetHex(bytes, 4, bUpper);
}

int CVLString::HexToBytes(VL_BYTE* pBuffer, int nSize) const
{
    if (pBuffer == nullptr || nSize <= 0)
        return 0;
    memset(pBuffer, 0, static_cast<size_t>(nSize));
    CVLString strAscii(VL_CHARSET_UTF8);
    if (!GetAsciiText(strAscii))
        return 0;
    std::string text(strAscii.GetBuffer(), static_cast<size_t>(strAscii.GetLength()));
    std::string work;
    if (text.size() % 2 != 0)
        work += '0';
    if (text.compare(0, 2, "0x") == 0) {
        if (text.size() == 2)
            return 0;
        work += text.substr(2);
    } else {
        work += text;
    }
    int nCount = 0;
    bool bHigh = true;
    for (size_t i = 0; i < work.size() && nCount < nSize && work[i] != 0; ++i) {
        int d = HexDigit(work[i]);
        if (d < 0)
            return 0;
        if (bHigh) {
            pBuffer[nCount] = static_cast<VL_BYTE>(d << 4);
        } else {
            pBuffer[nCount] = static_cast<VL_BYTE>(pBuffer[nCount] | d);
            ++nCount;
        }
        bHigh = !bHigh;
    }
    return nCount;
}

bool CVLString::HexToBytesRight(VL_BYTE* pBuffer, VL_BYTE* pScratch, int nSize) const
{
    if (pBuffer == nullptr || pScratch == nullptr || nSize <= 0)
        return false;
    memset(pBuffer, 0, static_cast<size_t>(nSize));
    int n = HexToBytes(pScratch, nSize);
    if (n <= 0)
        return false;
    memcpy(pBuffer + (nSize - n), pScratch, static_cast<size_t>(n));
    return true;
}

bool CVLString::HexToDWord(VL_ULONG& nValue) const
{
    nValue = 0;
    VL_BYTE bytes[4], scratch[4];
    if (!HexToBytesRight(bytes, scratch, 4))
        return false;
    nValue = CVLByteOrder::GetUInt32(2, bytes);
    return true;
}

bool CVLString::HexToByte(VL_BYTE* pValue) const
{
    if (pValue == nullptr)
        return false;
    return HexToBytes(pValue, 1) > 0;
}
