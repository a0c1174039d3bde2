#include "base/net/VLMACAddress.h"

#include <cctype>
#include <cstring>
#include <string>

#include "base/core/VLStdRuntime.h"

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
    std::string strDigits;
    for (size_t i = 0; i < nLength; ++i) {
        if (bSeparated && i % 3 == 2) {
            if (szText[i] != cSeparator)
                return false;
        } else if (std::isxdigit(static_cast<unsigned char>(szText[i]))) {
            strDigits += szText[i];
        } else {
            return false;
        }
    }
    CVLString(strDigits.c_str(), VL_CHARSET_UTF8).HexToBytes(address.m_Address, static_cast<int>(nBytes));
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
