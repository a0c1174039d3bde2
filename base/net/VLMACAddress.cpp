#include "base/net/VLMACAddress.h"

#include <cstring>

#include "base/core/VLStdRuntime.h"

namespace {
int HexDigitValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}
}  // namespace

CVLMACAddress::CVLMACAddress()
{
    Clear();
}

CVLMACAddress::CVLMACAddress(const unsigned char* pBytes)
{
    Clear();
    SetBytes(pBytes);
}

CVLMACAddress::CVLMACAddress(const CVLMACAddress& other)
{
    Clear();
    Assign(other);
}

CVLMACAddress::~CVLMACAddress()
{
}

CVLMACAddress& CVLMACAddress::Assign(const CVLMACAddress& other)
{
    VLStdMemcpy(m_Address, other.m_Address, sizeof(m_Address));
    return *this;
}

void CVLMACAddress::Clear()
{
    VLStdMemset(m_Address, 0, sizeof(m_Address));
}

bool CVLMACAddress::IsEmpty() const
{
    for (unsigned char b : m_Address) {
        if (b != 0)
            return false;
    }
    return true;
}

void CVLMACAddress::Parse(const char* szText)
{
    CVLString text(szText == nullptr ? "" : szText, VL_CHARSET_UTF8);
    text.Replace(":", "");
    text.Replace("-", "");
    text.HexToBytes(m_Address, 6);
}

bool CVLMACAddress::ParseStrict(const char* szText, CVLMACAddress& address)
{
    if (szText == nullptr)
        return false;
    const size_t nLength = std::strlen(szText);
    const size_t nBytes = sizeof(address.m_Address);
    const bool bSeparated = nLength == 3 * nBytes - 1;
    if (nLength != 2 * nBytes && !bSeparated)
        return false;
    const char cSeparator = bSeparated ? szText[2] : '\0';
    if (bSeparated && cSeparator != ':' && cSeparator != '-')
        return false;
    unsigned char bytes[sizeof(address.m_Address)];
    const char* p = szText;
    for (size_t i = 0; i < nBytes; ++i) {
        if (i > 0 && bSeparated && *p++ != cSeparator)
            return false;
        int nHigh = HexDigitValue(*p++);
        int nLow = HexDigitValue(*p++);
        if (nHigh < 0 || nLow < 0)
            return false;
        bytes[i] = static_cast<unsigned char>(nHigh * 16 + nLow);
    }
    address.SetBytes(bytes);
    return true;
}

CVLString CVLMACAddress::Normalize(const char* szText, const char* szSeparator)
{
    CVLMACAddress address;
    if (!ParseStrict(szText, address))
        return CVLString(VL_CHARSET_UTF8);
    return address.ToString(szSeparator, true);
}

void CVLMACAddress::SetBytes(const unsigned char* pBytes)
{
    if (pBytes != nullptr)
        VLStdMemcpy(m_Address, pBytes, sizeof(m_Address));
}

CVLString CVLMACAddress::ToString(const char* szSeparator, bool bUpper) const
{
    CVLString result(VL_CHARSET_UTF8);
    for (int i = 0; i < 6; ++i) {
        if (i > 0 && szSeparator != nullptr)
            result += szSeparator;
        CVLString hex(VL_CHARSET_UTF8);
        hex.SetHexByte(m_Address[i], bUpper);
        result += hex;
    }
    return result;
}

const unsigned char* CVLMACAddress::GetBytes() const
{
    return m_Address;
}
