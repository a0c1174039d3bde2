#include "cm/VLSubnetInfo.h"

#include <cstring>

#include "base/core/VLCharset.h"
#include "base/net/VLSocketAddress.h"

namespace {

const int kAddressBytes = 4;

void ParseAddress(const CVLString& strText, unsigned char* pBytes)
{
    if (strText.GetLength() == 0)
        std::memset(pBytes, 0, kAddressBytes);
    else if (!CVLSocketAddress::ParseDottedQuad(strText.GetString(), pBytes))
        std::memset(pBytes, 0xff, kAddressBytes);
}

}  // namespace

CVLSubnetInfo::CVLSubnetInfo() : m_strIPAddress(VL_CHARSET_UTF8), m_strSubnetMask(VL_CHARSET_UTF8) {}

CVLSubnetInfo::~CVLSubnetInfo() {}

CVLString& CVLSubnetInfo::GetIPAddress()
{
    return m_strIPAddress;
}

void CVLSubnetInfo::SetIPAddress(const char* szAddress)
{
    m_strIPAddress = szAddress;
}

CVLString& CVLSubnetInfo::GetSubnetMask()
{
    return m_strSubnetMask;
}

void CVLSubnetInfo::SetSubnetMask(const char* szMask)
{
    m_strSubnetMask = szMask;
}

CVLSubnetInfo& CVLSubnetInfo::operator=(const CVLSubnetInfo& src)
{
    if (&src != this) {
        m_strIPAddress = src.m_strIPAddress;
        m_strSubnetMask = src.m_strSubnetMask;
    }
    return *this;
}

CVLString CVLSubnetInfo::GetBroadcastAddress() const
{
    unsigned char address[kAddressBytes];
    unsigned char mask[kAddressBytes];
    ParseAddress(m_strIPAddress, address);
    ParseAddress(m_strSubnetMask, mask);
    for (int i = 0; i < kAddressBytes; ++i)
        address[i] = static_cast<unsigned char>(address[i] | ~mask[i]);
    return CVLSocketAddress::FormatDottedQuad(address);
}
