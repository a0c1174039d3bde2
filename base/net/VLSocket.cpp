#include "base/net/VLSocket.h"

#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <set>
#include <vector>

#include "base/core/VLCommunicationException.h"
#include "base/core/VLInvalidParamException.h"
#include "base/core/VLOpenException.h"
#include "base/net/VLInterfaceAddress.h"
#include "base/platform/VLPlatformErrno.h"
#include "base/platform/VLPlatformSocket.h"
#include "base/core/VLTimeoutException.h"

// Throw-site codes: fixed numbers that identify each site in traces and
// results; they are not line numbers and never change.
const int kSiteCreate = 169;
const int kSiteSendBufferSize = 202;
const int kSiteRecvBufferSize = 224;
const int kSiteBind = 317;
const int kSiteListen = 344;
const int kSiteAccept = 381;
const int kSiteMulticastInterface = 408;
const int kSiteMulticastTTL = 425;
const int kSiteBroadcast = 456;
const int kSiteBroadcastTTL = 473;
const int kSiteConnect = 496;
const int kSiteSend = 515;
const int kSiteReceive = 534;
const int kSiteReceiveClosed = 537;
const int kSiteSendTo = 582;
const int kSiteReceiveFrom = 635;
const int kSiteReceiveFromEmpty = 638;
const int kSiteReceiveBatch = 650;
const int kSiteSelect = 700;
const int kSiteSelectTimeout = 711;

namespace {

std::atomic<bool> s_bStarted(false);

[[noreturn]] void ThrowCommunication(int nSite, const char* szAddress)
{
    throw new EVLCommunicationException(VLSTD_MODULE, "VLSocket", nSite, VLPlatformLastError(), szAddress, false);
}

[[noreturn]] void ThrowCommunicationCode(int nSite, int nErrno, const char* szAddress)
{
    throw new EVLCommunicationException(VLSTD_MODULE, "VLSocket", nSite, VLPlatformErrorCode(nErrno), szAddress, false);
}

void CheckBuffer(const void* p, int nLength, int nSite)
{
    if (nLength < 0 || (p == nullptr && nLength > 0))
        throw new EVLInvalidParamException(VLSTD_MODULE, "VLSocket", nSite);
}

long long MonotonicMs()
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<long long>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

// Raises a socket buffer to nWanted bytes; never lowers it.
bool RaiseBuffer(int nSocket, int nOption, int nWanted)
{
    int nCurrent = 0;
    socklen_t nSize = sizeof(nCurrent);
    if (getsockopt(nSocket, SOL_SOCKET, nOption, &nCurrent, &nSize) != 0)
        return false;
    if (nWanted > nCurrent && setsockopt(nSocket, SOL_SOCKET, nOption, &nWanted, sizeof(nWanted)) != 0)
        return false;
    return true;
}

}  // namespace

const int CVLSocket::MAX_BATCH = VLPLATFORM_MAX_BATCH;

CVLSocket::CVLSocket() : m_nSocket(-1), m_bClosed(false), m_bBound(false), m_eProtocol(0), m_nDrops(0)
{
}

CVLSocket::CVLSocket(const CVLSocket& other)
    : m_nSocket(other.m_nSocket), m_bClosed(other.m_bClosed), m_bBound(other.m_bBound),
      m_LocalAddress(other.m_LocalAddress), m_eProtocol(other.m_eProtocol), m_RemoteAddress(other.m_RemoteAddress),
      m_nDrops(other.m_nDrops.load())
{
}

CVLSocket& CVLSocket::operator=(const CVLSocket& other)
{
    if (this != &other) {
        m_nSocket = other.m_nSocket;
        m_bClosed = other.m_bClosed;
        m_bBound = other.m_bBound;
        m_LocalAddress = other.m_LocalAddress;
        m_eProtocol = other.m_eProtocol;
        m_RemoteAddress = other.m_RemoteAddress;
        m_nDrops = other.m_nDrops.load();
    }
    return *this;
}

CVLSocket::~CVLSocket()
{
}

void CVLSocket::Create(int eProtocol, int nRecvBufferSize, int nSendBufferSize)
{
    if (m_nSocket != -1)
        return;
    m_eProtocol = eProtocol;
    m_bClosed = false;
    m_bBound = false;
    if (eProtocol == 2)
        ThrowCommunicationCode(kSiteCreate, EAFNOSUPPORT, nullptr);
    if (eProtocol != 0 && eProtocol != 1)
        return;
    int nSocket = socket(AF_INET, (eProtocol == 1 ? SOCK_STREAM : SOCK_DGRAM) | SOCK_CLOEXEC, 0);
    if (nSocket == -1)
        ThrowCommunication(kSiteCreate, nullptr);
    m_nSocket = nSocket;
    if (eProtocol == 0) {
        if (!RaiseBuffer(m_nSocket, SO_SNDBUF, nSendBufferSize))
            ThrowCommunication(kSiteSendBufferSize, nullptr);
        if (!RaiseBuffer(m_nSocket, SO_RCVBUF, nRecvBufferSize))
            ThrowCommunication(kSiteRecvBufferSize, nullptr);
    }
    // TCP: Linux has no per-socket SIGPIPE switch; every send passes
    // MSG_NOSIGNAL instead, so writing to a closed connection fails with EPIPE.
}

void CVLSocket::Close()
{
    if (m_nSocket == -1)
        return;
    m_bClosed = true;
    close(m_nSocket);
    m_nSocket = -1;
}

void CVLSocket::Shutdown()
{
    if (m_nSocket == -1)
        return;
    // An unconnected UDP socket answers ENOTCONN but is shut down (and its
    // waiters woken) all the same.
    shutdown(m_nSocket, SHUT_RDWR);
}

void CVLSocket::Bind(const CVLSocketAddress* pAddress)
{
    if (m_bBound)
        return;
    CVLSocketAddress address(m_eProtocol, "", 0);
    if (pAddress != nullptr)
        address = *pAddress;
    const sockaddr* pSockAddr = address.GetSockAddr();
    if (bind(m_nSocket, pSockAddr, static_cast<socklen_t>(address.GetSockAddrLength())) != 0)
        ThrowCommunication(kSiteBind, address.GetHost().GetString());
    m_LocalAddress = address;
    m_bBound = true;
}

void CVLSocket::SetMulticast(int nTTL, const char* szInterfaceAddress)
{
    if (szInterfaceAddress != nullptr && szInterfaceAddress[0] != '\0') {
        CVLSocketAddress address(m_eProtocol, szInterfaceAddress, 0);
        struct in_addr addr;
        addr.s_addr = htonl(INADDR_ANY);
        const unsigned char* pBytes = address.GetAddressBytes();
        if (pBytes != nullptr)
            std::copy(pBytes, pBytes + 4, reinterpret_cast<unsigned char*>(&addr));
        if (setsockopt(m_nSocket, IPPROTO_IP, IP_MULTICAST_IF, &addr, sizeof(addr)) != 0)
            ThrowCommunication(kSiteMulticastInterface, szInterfaceAddress);
    }
    int nValue = nTTL;
    if (setsockopt(m_nSocket, IPPROTO_IP, IP_MULTICAST_TTL, &nValue, sizeof(nValue)) != 0)
        ThrowCommunication(kSiteMulticastTTL, szInterfaceAddress);
}

void CVLSocket::SetBroadcast(int nTTL, bool bEnable)
{
    int nValue = bEnable ? 1 : 0;
    if (setsockopt(m_nSocket, SOL_SOCKET, SO_BROADCAST, &nValue, sizeof(nValue)) != 0)
        ThrowCommunication(kSiteBroadcast, nullptr);
    nValue = nTTL;
    if (setsockopt(m_nSocket, IPPROTO_IP, IP_TTL, &nValue, sizeof(nValue)) != 0)
        ThrowCommunication(kSiteBroadcastTTL, nullptr);
}

void CVLSocket::Connect(const CVLSocketAddress& address)
{
    m_RemoteAddress = address;
    const sockaddr* pSockAddr = m_RemoteAddress.GetSockAddr();
    const char* szHost = m_RemoteAddress.GetHost().GetString();
    if (connect(m_nSocket, pSockAddr, static_cast<socklen_t>(m_RemoteAddress.GetSockAddrLength())) == 0)
        return;
    if (errno != EINTR)
        ThrowCommunication(kSiteConnect, szHost);
    // An interrupted connect goes on in the background: wait for its outcome.
    struct pollfd pfd;
    pfd.fd = m_nSocket;
    pfd.events = POLLOUT;
    pfd.revents = 0;
    int nResult;
    do {
        nResult = poll(&pfd, 1, -1);
    } while (nResult == -1 && errno == EINTR);
    if (nResult == -1)
        ThrowCommunication(kSiteConnect, szHost);
    int nError = 0;
    socklen_t nSize = sizeof(nError);
    if (getsockopt(m_nSocket, SOL_SOCKET, SO_ERROR, &nError, &nSize) != 0)
        ThrowCommunication(kSiteConnect, szHost);
    if (nError != 0)
        ThrowCommunicationCode(kSiteConnect, nError, szHost);
}

void CVLSocket::Listen(int nBacklog)
{
    if (listen(m_nSocket, nBacklog) != 0)
        ThrowCommunication(kSiteListen, nullptr);
}

CVLSocket CVLSocket::Accept()
{
    int nSocket;
    do {
        nSocket = accept4(m_nSocket, nullptr, nullptr, SOCK_CLOEXEC);
    } while (nSocket == -1 && errno == EINTR);
    if (nSocket == -1)
        ThrowCommunication(kSiteAccept, nullptr);
    CVLSocket accepted;
    accepted.m_nSocket = nSocket;
    return accepted;
}

int CVLSocket::Send(const void* pData, int nLength)
{
    CheckBuffer(pData, nLength, kSiteSend);
    ssize_t nSent;
    do {
        nSent = send(m_nSocket, pData, static_cast<size_t>(nLength), MSG_NOSIGNAL);
    } while (nSent == -1 && errno == EINTR);
    if (nSent == -1)
        ThrowCommunication(kSiteSend, m_RemoteAddress.GetHost().GetString());
    return static_cast<int>(nSent);
}

int CVLSocket::Receive(void* pBuffer, int nLength)
{
    CheckBuffer(pBuffer, nLength, kSiteReceive);
    ssize_t nReceived;
    do {
        nReceived = recv(m_nSocket, pBuffer, static_cast<size_t>(nLength), 0);
    } while (nReceived == -1 && errno == EINTR);
    if (nReceived == -1)
        ThrowCommunication(kSiteReceive, m_RemoteAddress.GetHost().GetString());
    if (nReceived == 0)
        throw new EVLOpenException(VLSTD_MODULE, "VLSocket", kSiteReceiveClosed, m_RemoteAddress.GetHost().GetString(),
                                   0);
    return static_cast<int>(nReceived);
}

int CVLSocket::SendTo(const void* pData, int nLength, CVLSocketAddress& address)
{
    CheckBuffer(pData, nLength, kSiteSendTo);
    const sockaddr* pSockAddr = address.GetSockAddr();
    ssize_t nSent;
    do {
        nSent = sendto(m_nSocket, pData, static_cast<size_t>(nLength), MSG_NOSIGNAL, pSockAddr,
                       static_cast<socklen_t>(address.GetSockAddrLength()));
    } while (nSent == -1 && errno == EINTR);
    if (nSent == -1)
        ThrowCommunication(kSiteSendTo, address.GetHost().GetString());
    return static_cast<int>(nSent);
}

bool CVLSocket::TrySendTo(const void* pData, int nLength, CVLSocketAddress& address)
{
    CheckBuffer(pData, nLength, kSiteSendTo);
    const sockaddr* pSockAddr = address.GetSockAddr();
    ssize_t nSent;
    do {
        nSent = sendto(m_nSocket, pData, static_cast<size_t>(nLength), MSG_NOSIGNAL | MSG_DONTWAIT, pSockAddr,
                       static_cast<socklen_t>(address.GetSockAddrLength()));
    } while (nSent == -1 && errno == EINTR);
    if (nSent == -1 && (errno == EAGAIN || errno == EWOULDBLOCK))
        return false;
    if (nSent == -1)
        ThrowCommunication(kSiteSendTo, address.GetHost().GetString());
    return true;
}

int CVLSocket::SendToEachInterface(const void* pData, int nLength, CVLSocketAddress& address)
{
    CheckBuffer(pData, nLength, kSiteSendTo);
    std::vector<VLInterfaceAddress> interfaces;
    VLListInterfaceAddresses(interfaces);
    int nSent = 0;
    int nFirstError = 0;
    std::set<unsigned int> done;
    for (const VLInterfaceAddress& entry : interfaces) {
        // Only a LAN takes a broadcast: a point-to-point link (a VPN, a tun
        // device) leads to one peer, not to devices.
        if (!entry.bUp || entry.bLoopback || !entry.bFirstOfInterface || (entry.nFlags & IFF_BROADCAST) == 0 ||
            (entry.nFlags & IFF_POINTOPOINT) != 0)
            continue;
        unsigned int nIndex = if_nametoindex(entry.strInterface.c_str());
        if (nIndex == 0 || !done.insert(nIndex).second)
            continue;
        // The interface and source address go with the datagram, so that
        // it leaves there without a route.
        struct in_pktinfo info;
        std::memset(&info, 0, sizeof(info));
        info.ipi_ifindex = static_cast<int>(nIndex);
        std::memcpy(&info.ipi_spec_dst, entry.address, 4);
        alignas(struct cmsghdr) unsigned char control[CMSG_SPACE(sizeof(info))];
        std::memset(control, 0, sizeof(control));
        struct iovec iov;
        iov.iov_base = const_cast<void*>(pData);
        iov.iov_len = static_cast<size_t>(nLength);
        struct msghdr msg;
        std::memset(&msg, 0, sizeof(msg));
        msg.msg_name = const_cast<sockaddr*>(address.GetSockAddr());
        msg.msg_namelen = static_cast<socklen_t>(address.GetSockAddrLength());
        msg.msg_iov = &iov;
        msg.msg_iovlen = 1;
        msg.msg_control = control;
        msg.msg_controllen = sizeof(control);
        struct cmsghdr* pHeader = CMSG_FIRSTHDR(&msg);
        pHeader->cmsg_level = IPPROTO_IP;
        pHeader->cmsg_type = IP_PKTINFO;
        pHeader->cmsg_len = CMSG_LEN(sizeof(info));
        std::memcpy(CMSG_DATA(pHeader), &info, sizeof(info));
        ssize_t nResult;
        do {
            nResult = sendmsg(m_nSocket, &msg, MSG_NOSIGNAL);
        } while (nResult == -1 && errno == EINTR);
        if (nResult == -1) {
            if (nFirstError == 0)
                nFirstError = errno;
            continue;
        }
        ++nSent;
    }
    if (nSent > 0)
        return nSent;
    if (nFirstError != 0)
        ThrowCommunicationCode(kSiteSendTo, nFirstError, address.GetHost().GetString());
    SendTo(pData, nLength, address);
    return 1;
}

int CVLSocket::ReceiveFrom(void* pBuffer, int nLength, CVLSocketAddress* pFrom)
{
    CheckBuffer(pBuffer, nLength, kSiteReceiveFrom);
    sockaddr_in from;
    std::fill(reinterpret_cast<unsigned char*>(&from), reinterpret_cast<unsigned char*>(&from) + sizeof(from), 0);
    ssize_t nReceived;
    do {
        socklen_t nSize = sizeof(from);
        nReceived = recvfrom(m_nSocket, pBuffer, static_cast<size_t>(nLength), 0,
                             reinterpret_cast<sockaddr*>(&from), &nSize);
    } while (nReceived == -1 && errno == EINTR);
    if (nReceived == -1)
        ThrowCommunication(kSiteReceiveFrom, nullptr);
    if (nReceived == 0)
        throw new EVLOpenException(VLSTD_MODULE, "VLSocket", kSiteReceiveFromEmpty, nullptr, 0);
    if (pFrom != nullptr)
        pFrom->SetSockAddr(reinterpret_cast<const sockaddr*>(&from));
    return static_cast<int>(nReceived);
}

int CVLSocket::RaiseReceiveBuffer(int nBytes)
{
    if (m_nSocket == -1 || nBytes <= 0)
        return 0;
    return VLPlatformRaiseRecvBuffer(m_nSocket, nBytes);
}

int CVLSocket::RaiseSendBuffer(int nBytes)
{
    if (m_nSocket == -1 || nBytes <= 0)
        return 0;
    return VLPlatformRaiseSendBuffer(m_nSocket, nBytes);
}

bool CVLSocket::EnableDropCount()
{
    return m_nSocket != -1 && VLPlatformEnableDropCount(m_nSocket);
}

unsigned long CVLSocket::GetDropCount()
{
    unsigned long nNow = 0;
    unsigned long nCarried = m_nDrops.load();
    if (m_nSocket != -1 && VLPlatformReadDropCount(m_nSocket, &nNow) && nNow > nCarried)
        return nNow;
    return nCarried;
}

int CVLSocket::ReceiveBatch(VLSOCKET_DATAGRAM* pSlots, int nSlots)
{
    CheckBuffer(pSlots, nSlots, kSiteReceiveBatch);
    // Read in rounds of the platform's largest batch.
    const int kRound = VLPLATFORM_MAX_BATCH;
    VLPLATFORM_DATAGRAM round[kRound];
    int nDone = 0;
    while (nDone < nSlots) {
        int nCount = nSlots - nDone < kRound ? nSlots - nDone : kRound;
        for (int i = 0; i < nCount; ++i) {
            round[i].pBuffer = pSlots[nDone + i].pBuffer;
            round[i].nCapacity = pSlots[nDone + i].nCapacity;
        }
        unsigned long nDrops = m_nDrops.load();
        int nReceived = VLPlatformReceiveBatch(m_nSocket, round, nCount, &nDrops);
        if (nReceived == -1) {
            if (nDone > 0)
                break;
            ThrowCommunication(kSiteReceiveBatch, nullptr);
        }
        m_nDrops = nDrops;
        for (int i = 0; i < nReceived; ++i) {
            VLSOCKET_DATAGRAM& slot = pSlots[nDone + i];
            slot.nLength = round[i].nLength;
            slot.bTruncated = round[i].bTruncated;
            slot.from.SetSockAddr(reinterpret_cast<const sockaddr*>(&round[i].from));
        }
        nDone += nReceived;
        if (nReceived < nCount)
            break;
    }
    return nDone;
}

bool CVLSocket::Select(int nTimeoutMs, const char* szAddress)
{
    if (nTimeoutMs < 0)
        ThrowCommunicationCode(kSiteSelect, EINVAL, szAddress);
    if (m_nSocket == -1)
        ThrowCommunicationCode(kSiteSelect, EBADF, szAddress);
    long long nDeadline = MonotonicMs() + nTimeoutMs;
    int nWait = nTimeoutMs;
    for (;;) {
        struct pollfd pfd;
        pfd.fd = m_nSocket;
        pfd.events = POLLIN;
        pfd.revents = 0;
        int nResult = poll(&pfd, 1, nWait);
        if (nResult > 0) {
            if (pfd.revents & POLLNVAL)
                ThrowCommunicationCode(kSiteSelect, EBADF, szAddress);
            // Readable, or an error or hang-up that the next receive reports.
            return true;
        }
        if (nResult == 0)
            break;
        if (errno != EINTR)
            ThrowCommunication(kSiteSelect, szAddress);
        long long nLeft = nDeadline - MonotonicMs();
        nWait = nLeft > 0 ? static_cast<int>(nLeft) : 0;
    }
    throw new EVLTimeoutException(VLSTD_MODULE, "VLSocket", kSiteSelectTimeout, false);
}

void CVLSocket::Startup()
{
    s_bStarted = true;
}

void CVLSocket::Cleanup()
{
    s_bStarted = false;
}
