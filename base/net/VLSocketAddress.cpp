#include "base/net/VLSocketAddress.h"

#include <arpa/inet.h>
#include <netdb.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "base/core/VLCommunicationException.h"
#include "base/core/VLException.h"
#include "base/core/VLInvalidParamException.h"
#include "base/platform/VLPlatformErrno.h"
#include "base/platform/VLPlatformInterfaces.h"

// Throw-site codes: fixed numbers that identify each site in traces and
// results; they are not line numbers and never change.
const int kSiteResolve = 264;

#define VL_ADDRESS_LADDER(line) \
    catch (...) { VLRethrowAsFramework(VLSTD_MODULE, "VLSocketAddress", line); }

namespace {

bool IsIPv4Protocol(int eProtocol)
{
    return eProtocol == 0 || eProtocol == 1;
}

// A text the strict reading refused that is still a number: only digits and
// dots, or an address in the C library's other forms.
bool IsOtherNumber(const char* szHost)
{
    in_addr addr;
    return std::strspn(szHost, "0123456789.") == std::strlen(szHost) || inet_aton(szHost, &addr) != 0;
}

// Looks a host name up; false when it does not resolve.
bool LookUpHostName(const char* szHost, in_addr& addr, int& nError)
{
    struct addrinfo hints;
    std::memset(&hints, 0, sizeof(hints));
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM;
    struct addrinfo* pResult = nullptr;
    int nResult = getaddrinfo(szHost, nullptr, &hints, &pResult);
    if (nResult != 0 || pResult == nullptr) {
        nError = (nResult == EAI_SYSTEM && errno != 0) ? VLPlatformLastError() : VLPlatformErrorCode(EADDRNOTAVAIL);
        if (pResult != nullptr)
            freeaddrinfo(pResult);
        return false;
    }
    bool bFound = false;
    for (struct addrinfo* p = pResult; p != nullptr; p = p->ai_next) {
        if (p->ai_family == AF_INET && p->ai_addr != nullptr && p->ai_addrlen >= sizeof(sockaddr_in)) {
            addr = reinterpret_cast<const sockaddr_in*>(p->ai_addr)->sin_addr;
            bFound = true;
            break;
        }
    }
    freeaddrinfo(pResult);
    if (!bFound)
        nError = VLPlatformErrorCode(EADDRNOTAVAIL);
    return bFound;
}

}  // namespace

CVLSocketAddress::CVLSocketAddress()
    : m_eFormat(1), m_strHost("0.0.0.0", VL_CHARSET_UTF8), m_nPort(0), m_eProtocol(0), m_bSockAddrValid(false)
{
    std::memset(&m_SockAddr, 0, sizeof(m_SockAddr));
}

CVLSocketAddress::CVLSocketAddress(int eProtocol, const char* szHost, int nPort)
    : m_eFormat(1), m_strHost(VL_CHARSET_UTF8), m_nPort(0), m_eProtocol(0), m_bSockAddrValid(false)
{
    std::memset(&m_SockAddr, 0, sizeof(m_SockAddr));
    Set(0, eProtocol, szHost, nPort);
}

CVLSocketAddress::CVLSocketAddress(const CVLSocketAddress& other)
    : m_eFormat(other.m_eFormat)
    , m_strHost(other.m_strHost)
    , m_nPort(other.m_nPort)
    , m_eProtocol(other.m_eProtocol)
    , m_bSockAddrValid(other.m_bSockAddrValid)
{
    std::memcpy(&m_SockAddr, &other.m_SockAddr, sizeof(m_SockAddr));
}

CVLSocketAddress::~CVLSocketAddress()
{
}

CVLSocketAddress& CVLSocketAddress::operator=(const CVLSocketAddress& other)
{
    try {
        if (this != &other) {
            m_eFormat = other.m_eFormat;
            m_eProtocol = other.m_eProtocol;
            m_nPort = other.m_nPort;
            m_strHost = other.m_strHost;
            m_bSockAddrValid = other.m_bSockAddrValid;
            std::memcpy(&m_SockAddr, &other.m_SockAddr, sizeof(m_SockAddr));
        }
        return *this;
    }
    VL_ADDRESS_LADDER(68)
}

void CVLSocketAddress::Set(int eProtocol, const char* szHost, int nPort)
{
    Set(0, eProtocol, szHost, nPort);
}

void CVLSocketAddress::Set(int eFormat, int eProtocol, const char* szHost, int nPort)
{
    try {
        if (eFormat == 0)
            eFormat = (eProtocol == 2) ? 3 : 1;
        SetFormat(eFormat);
        SetProtocol(eProtocol);
        SetPort(nPort);
        SetHost(szHost);
    }
    VL_ADDRESS_LADDER(100)
}

void CVLSocketAddress::SetFormat(int eFormat)
{
    m_eFormat = eFormat;
    m_bSockAddrValid = false;
}

void CVLSocketAddress::SetProtocol(int eProtocol)
{
    m_eProtocol = eProtocol;
    m_bSockAddrValid = false;
}

void CVLSocketAddress::SetHost(const char* szHost)
{
    m_strHost = (szHost != nullptr) ? szHost : "";
    if (m_strHost.GetLength() == 0 && m_eFormat == 1)
        m_strHost = "0.0.0.0";
    m_bSockAddrValid = false;
}

void CVLSocketAddress::SetPort(int nPort)
{
    m_nPort = nPort;
    m_bSockAddrValid = false;
}

const sockaddr* CVLSocketAddress::GetSockAddr()
{
    try {
        if (!m_bSockAddrValid) {
            Resolve(reinterpret_cast<sockaddr*>(&m_SockAddr), sizeof(m_SockAddr), *this);
            m_bSockAddrValid = true;
        }
        return reinterpret_cast<const sockaddr*>(&m_SockAddr);
    }
    VL_ADDRESS_LADDER(212)
}

void CVLSocketAddress::Resolve(sockaddr* pOut, int nSize, const CVLSocketAddress& address)
{
    try {
        if (pOut == nullptr || nSize < static_cast<int>(sizeof(sockaddr_in)))
            throw new EVLInvalidParamException(VLSTD_MODULE, "VLSocketAddress", kSiteResolve);
        std::memset(pOut, 0, static_cast<size_t>(nSize));
        if (!IsIPv4Protocol(address.m_eProtocol))
            return;
        sockaddr_in* pIn = reinterpret_cast<sockaddr_in*>(pOut);
        pIn->sin_family = AF_INET;
        pIn->sin_port = htons(static_cast<uint16_t>(address.m_nPort & 0xffff));
        const char* szHost = address.m_strHost.GetString();
        if (address.m_strHost.GetLength() == 0) {
            pIn->sin_addr.s_addr = htonl(INADDR_ANY);
            return;
        }
        // An address is read by the program's one rule, so that a text means
        // here what it means to the value checks ("010.1.1.1" is 10.1.1.1).
        unsigned char bytes[4];
        if (ParseDottedQuad(szHost, bytes)) {
            std::memcpy(&pIn->sin_addr, bytes, sizeof(bytes));
            return;
        }
        // Any other number is refused: the resolver would read it in the C
        // library's other forms (shortened, octal, hexadecimal parts) or, for
        // digits and dots that make no address, send it to a name server.
        // A name that does not resolve is an error too: it must never turn
        // into the limited broadcast address.
        if (IsOtherNumber(szHost)) {
            pIn->sin_addr.s_addr = htonl(INADDR_ANY);
            throw new EVLCommunicationException(VLSTD_MODULE, "VLSocketAddress", kSiteResolve,
                                                VLPlatformErrorCode(EINVAL), szHost, false);
        }
        int nError = 0;
        if (!LookUpHostName(szHost, pIn->sin_addr, nError)) {
            pIn->sin_addr.s_addr = htonl(INADDR_ANY);
            throw new EVLCommunicationException(VLSTD_MODULE, "VLSocketAddress", kSiteResolve, nError, szHost, false);
        }
    }
    VL_ADDRESS_LADDER(264)
}

void CVLSocketAddress::SetSockAddr(const sockaddr* pAddr)
{
    try {
        m_bSockAddrValid = false;
        if (pAddr == nullptr)
            return;
        std::memcpy(&m_SockAddr, pAddr, sizeof(m_SockAddr));
        int nFamily = m_SockAddr.sin_family;
        if (nFamily == AF_INET && IsIPv4Protocol(m_eProtocol))
            m_nPort = ntohs(m_SockAddr.sin_port);
        if (nFamily == AF_INET || nFamily == AF_IPX) {
            FormatAddress(GetSockAddrBytes());
            m_bSockAddrValid = true;
        }
    }
    VL_ADDRESS_LADDER(313)
}

const unsigned char* CVLSocketAddress::GetSockAddrBytes() const
{
    if (!IsIPv4Protocol(m_eProtocol))
        return nullptr;
    return reinterpret_cast<const unsigned char*>(&m_SockAddr.sin_addr);
}

const unsigned char* CVLSocketAddress::GetAddressBytes()
{
    try {
        GetSockAddr();
        return GetSockAddrBytes();
    }
    VL_ADDRESS_LADDER(331)
}

int CVLSocketAddress::GetAddressLength()
{
    try {
        GetSockAddr();
        return IsIPv4Protocol(m_eProtocol) ? 4 : 0;
    }
    VL_ADDRESS_LADDER(368)
}

bool CVLSocketAddress::IsEqual(const CVLSocketAddress& other) const
{
    try {
        if (m_eProtocol != other.m_eProtocol || m_nPort != other.m_nPort)
            return false;
        sockaddr_in own, theirs;
        Resolve(reinterpret_cast<sockaddr*>(&own), sizeof(own), *this);
        Resolve(reinterpret_cast<sockaddr*>(&theirs), sizeof(theirs), other);
        return std::memcmp(&own, &theirs, sizeof(own)) == 0;
    }
    VL_ADDRESS_LADDER(388)
}

int CVLSocketAddress::Compare(const CVLSocketAddress& other) const
{
    try {
        CVLSocketAddress own(*this);
        CVLSocketAddress theirs(other);
        int nOwnLength = own.GetAddressLength();
        int nOtherLength = theirs.GetAddressLength();
        if (nOwnLength != nOtherLength)
            return nOwnLength - nOtherLength;
        if (nOwnLength == 0)
            return 0;
        return std::memcmp(own.GetAddressBytes(), theirs.GetAddressBytes(), static_cast<size_t>(nOwnLength));
    }
    VL_ADDRESS_LADDER(406)
}

void CVLSocketAddress::FormatAddress(const unsigned char* pBytes)
{
    try {
        if (pBytes == nullptr) {
            m_strHost = "0.0.0.0";
            return;
        }
        m_eFormat = 1;
        m_strHost = FormatDottedQuad(pBytes);
    }
    VL_ADDRESS_LADDER(424)
}

void CVLSocketAddress::SetAddressBytes(const unsigned char* pBytes)
{
    try {
        FormatAddress(pBytes);
        m_bSockAddrValid = false;
    }
    VL_ADDRESS_LADDER(434)
}

void CVLSocketAddress::MakeBroadcastAddress(const char* szMask)
{
    try {
        CVLSocketAddress mask;
        mask.SetHost(szMask);
        MakeBroadcastAddress(mask);
    }
    VL_ADDRESS_LADDER(445)
}

void CVLSocketAddress::ApplyMask(const CVLSocketAddress& mask, bool bBroadcast)
{
    CVLSocketAddress maskCopy(mask);
    int nLength = GetAddressLength();
    int nMaskLength = maskCopy.GetAddressLength();
    if (nMaskLength < nLength)
        nLength = nMaskLength;
    // The bytes are changed inside the cache, which stays valid and agrees
    // with the host text written below.
    unsigned char* pOwn = const_cast<unsigned char*>(GetAddressBytes());
    const unsigned char* pMask = maskCopy.GetAddressBytes();
    for (int i = 0; i < nLength; ++i) {
        pOwn[i] = bBroadcast ? static_cast<unsigned char>(pOwn[i] | static_cast<unsigned char>(~pMask[i]))
                             : static_cast<unsigned char>(pOwn[i] & pMask[i]);
    }
    FormatAddress(pOwn);
}

void CVLSocketAddress::MakeBroadcastAddress(const CVLSocketAddress& mask)
{
    try {
        ApplyMask(mask, true);
    }
    VL_ADDRESS_LADDER(465)
}

void CVLSocketAddress::MakeNetworkAddress(const char* szMask)
{
    try {
        CVLSocketAddress mask;
        mask.SetHost(szMask);
        MakeNetworkAddress(mask);
    }
    VL_ADDRESS_LADDER(478)
}

void CVLSocketAddress::MakeNetworkAddress(const CVLSocketAddress& mask)
{
    try {
        ApplyMask(mask, false);
    }
    VL_ADDRESS_LADDER(497)
}

bool CVLSocketAddress::ParseDottedQuad(const char* szText, unsigned char bytes[4])
{
    if (szText == nullptr)
        return false;
    unsigned char parts[4];
    const char* p = szText;
    for (int i = 0; i < 4; ++i) {
        if (i > 0 && *p++ != '.')
            return false;
        int nValue = 0;
        int nDigits = 0;
        while (*p >= '0' && *p <= '9') {
            nValue = nValue * 10 + (*p++ - '0');
            if (++nDigits > 3 || nValue > 255)
                return false;
        }
        if (nDigits == 0)
            return false;
        parts[i] = static_cast<unsigned char>(nValue);
    }
    if (*p != '\0')
        return false;
    std::memcpy(bytes, parts, sizeof(parts));
    return true;
}

CVLString CVLSocketAddress::FormatDottedQuad(const unsigned char bytes[4])
{
    char szText[sizeof("255.255.255.255")];
    std::snprintf(szText, sizeof(szText), "%d.%d.%d.%d", bytes[0], bytes[1], bytes[2], bytes[3]);
    return CVLString(szText, VL_CHARSET_UTF8);
}

bool CVLSocketAddress::ParseDottedQuad(const char* szText, uint32_t& nAddress)
{
    unsigned char bytes[4];
    if (!ParseDottedQuad(szText, bytes))
        return false;
    nAddress = HostOrder(bytes);
    return true;
}

uint32_t CVLSocketAddress::HostOrder(const unsigned char bytes[4])
{
    return (uint32_t(bytes[0]) << 24) | (uint32_t(bytes[1]) << 16) | (uint32_t(bytes[2]) << 8) | bytes[3];
}

int CVLSocketAddress::PrefixLength(uint32_t nMask)
{
    const uint32_t nHostBits = ~nMask;
    if ((nHostBits & (nHostBits + 1)) != 0)
        return -1;
    int nBits = 0;
    for (uint32_t n = nMask; n != 0; n <<= 1)
        nBits++;
    return nBits;
}

CVLString CVLSocketAddress::FormatDottedQuad(uint32_t nAddress)
{
    const unsigned char bytes[4] = {static_cast<unsigned char>(nAddress >> 24),
                                    static_cast<unsigned char>(nAddress >> 16),
                                    static_cast<unsigned char>(nAddress >> 8), static_cast<unsigned char>(nAddress)};
    return FormatDottedQuad(bytes);
}

void CVLSocketAddress::GetLocalAddresses(std::vector<CVLSocketAddress>& list)
{
    try {
        std::vector<VLPlatformIPv4Address> entries;
        if (!VLPlatformListIPv4Addresses(entries))
            return;
        bool bAppended = false;
        for (const VLPlatformIPv4Address& entry : entries) {
            if (!entry.bFirstOfInterface)
                continue;
            CVLSocketAddress address;
            address.SetAddressBytes(entry.address);
            bool bKnown = false;
            for (const CVLSocketAddress& known : list) {
                if (known.IsEqual(address)) {
                    bKnown = true;
                    break;
                }
            }
            if (bKnown || address.GetHost() == "127.0.0.1")
                continue;
            list.push_back(address);
            bAppended = true;
        }
        if (bAppended) {
            const unsigned char any[4] = {0, 0, 0, 0};
            CVLSocketAddress address;
            address.SetAddressBytes(any);
            list.push_back(address);
        }
    }
    VL_ADDRESS_LADDER(737)
}
