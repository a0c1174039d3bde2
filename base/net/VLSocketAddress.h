// One network endpoint: a host text (a dotted quad, a host name or empty), a
// port and a protocol kind (0 UDP, 1 TCP, 2 IPX; only UDP and TCP build an
// IPv4 address). The system's socket address is built lazily from the text and
// cached until a setter changes the address.
#ifndef VLSOCKETADDRESS_H
#define VLSOCKETADDRESS_H

#include <netinet/in.h>
#include <sys/socket.h>

#include <cstdint>
#include <vector>

#include "base/core/VLString.h"

class CVLSocketAddress
{
public:
    CVLSocketAddress();
    CVLSocketAddress(int eProtocol, const char* szHost, int nPort);
    CVLSocketAddress(const CVLSocketAddress& other);
    virtual ~CVLSocketAddress();

    virtual CVLSocketAddress& operator=(const CVLSocketAddress& other);
    virtual void Set(int eProtocol, const char* szHost, int nPort);
    // A format of 0 becomes 3 for IPX and 1 otherwise.
    virtual void Set(int eFormat, int eProtocol, const char* szHost, int nPort);
    virtual int GetFormat() const { return m_eFormat; }
    virtual void SetFormat(int eFormat);
    virtual int GetProtocol() const { return m_eProtocol; }
    virtual void SetProtocol(int eProtocol);
    virtual const CVLString& GetHost() const { return m_strHost; }
    // Takes the text as it is; an empty text in format 1 becomes "0.0.0.0".
    virtual void SetHost(const char* szHost);
    virtual int GetPort() const { return m_nPort; }
    virtual void SetPort(int nPort);

    // The system's socket address, resolved when the cache is not valid: a
    // dotted quad by ParseDottedQuad, else a host name. A number in another
    // form ("10.1", "0x7f.0.0.1", "256.1.1.1"; error EINVAL) and a name that
    // does not resolve throw EVLCommunicationException.
    virtual const sockaddr* GetSockAddr();
    virtual void SetSockAddr(const sockaddr* pAddr);
    virtual int GetSockAddrLength() const { return 16; }
    // The 4 address bytes (resolved first); null for IPX.
    virtual const unsigned char* GetAddressBytes();
    // 4 for UDP and TCP, 0 otherwise (resolves first).
    virtual int GetAddressLength();
    virtual void SetAddressBytes(const unsigned char* pBytes);

    virtual void MakeBroadcastAddress(const char* szMask);
    virtual void MakeBroadcastAddress(const CVLSocketAddress& mask);
    virtual void MakeNetworkAddress(const char* szMask);
    virtual void MakeNetworkAddress(const CVLSocketAddress& mask);

    // Protocol, port and the resolved address all equal.
    virtual bool IsEqual(const CVLSocketAddress& other) const;
    // Orders by the address bytes only (numerically); port and protocol do not count.
    virtual int Compare(const CVLSocketAddress& other) const;
    // The address bytes inside the cache, without resolving; null for IPX.
    virtual const unsigned char* GetSockAddrBytes() const;
    // Sets format 1 and the host "%d.%d.%d.%d"; null gives "0.0.0.0".
    // Leaves the cache flag as it is.
    virtual void FormatAddress(const unsigned char* pBytes);

    bool operator==(const CVLSocketAddress& other) const { return Compare(other) == 0; }
    bool operator!=(const CVLSocketAddress& other) const { return Compare(other) != 0; }
    bool operator<(const CVLSocketAddress& other) const { return Compare(other) < 0; }
    bool operator<=(const CVLSocketAddress& other) const { return Compare(other) <= 0; }
    bool operator>(const CVLSocketAddress& other) const { return Compare(other) > 0; }
    bool operator>=(const CVLSocketAddress& other) const { return Compare(other) >= 0; }

    // The one strict reading of an IPv4 address that a person gives: four
    // decimal parts of 0 to 255 (at most three digits each) between dots,
    // nothing else; never a host name or a short form. False (and bytes
    // untouched) otherwise.
    static bool ParseDottedQuad(const char* szText, unsigned char bytes[4]);
    // The 4 address bytes as plain decimal parts between dots ("10.1.2.3").
    static CVLString FormatDottedQuad(const unsigned char bytes[4]);
    // The same with the address as one number in host order ("10.1.2.3" is
    // 0x0A010203), so that masks apply to it: the same strict reading (false
    // and nAddress untouched otherwise), the bytes as that number, and the
    // number as text.
    static bool ParseDottedQuad(const char* szText, uint32_t& nAddress);
    static uint32_t HostOrder(const unsigned char bytes[4]);
    static CVLString FormatDottedQuad(uint32_t nAddress);
    // The prefix length of a mask in host order; -1 when its one-bits have
    // a gap (no subnet has such a mask).
    static int PrefixLength(uint32_t nMask);
    // Fills pOut (nSize bytes, at least 16) with the address's socket address:
    // all zero for a protocol other than UDP and TCP.
    static void Resolve(sockaddr* pOut, int nSize, const CVLSocketAddress& address);
    // Appends the first IPv4 address of each interface except "127.0.0.1", each
    // address once, then "0.0.0.0" when at least one was appended.
    static void GetLocalAddresses(std::vector<CVLSocketAddress>& list);

private:
    // Sets every address bit the mask clears (directed broadcast) or clears it (network).
    void ApplyMask(const CVLSocketAddress& mask, bool bBroadcast);
    int m_eFormat;
    CVLString m_strHost;
    int m_nPort;
    int m_eProtocol;
    bool m_bSockAddrValid;
    sockaddr_in m_SockAddr;
};

#endif
