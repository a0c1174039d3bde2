// A thin wrapper over one IPv4 socket descriptor (UDP or TCP, blocking). Every
// failing call throws: EVLCommunicationException with the error number and the
// address concerned, EVLOpenException when a peer closed the connection or an
// empty datagram arrived, EVLTimeoutException when Select waited in vain.
//
// Copies share the descriptor; the destructor never closes it. Whoever owns
// the socket calls Close.
#ifndef VLSOCKET_H
#define VLSOCKET_H

#include <atomic>

#include "base/net/VLSocketAddress.h"

// One slot of a batched read (ReceiveBatch): the caller's buffer, and what
// arrived in it.
struct VLSOCKET_DATAGRAM
{
    unsigned char* pBuffer = nullptr;
    int nCapacity = 0;
    int nLength = 0;          // bytes received, at most nCapacity
    bool bTruncated = false;  // the datagram was longer than the buffer
    CVLSocketAddress from;
};

class CVLSocket
{
public:
    CVLSocket();
    CVLSocket(const CVLSocket& other);
    virtual CVLSocket& operator=(const CVLSocket& other);
    virtual ~CVLSocket();

    // 0 UDP, 1 TCP; 2 (IPX) fails; any other kind opens nothing. Does nothing
    // while a descriptor is open. UDP buffers are raised to the given sizes,
    // never lowered.
    virtual void Create(int eProtocol, int nRecvBufferSize, int nSendBufferSize);
    virtual bool IsValid() const { return m_nSocket != -1; }
    virtual int GetProtocol() const { return m_eProtocol; }
    virtual void Close();
    // Wakes every wait on the socket (Select returns, a receive reports no
    // data) without closing the descriptor, so that a thread waiting on it
    // can be joined before Close; failures are ignored.
    virtual void Shutdown();
    // Binds to the address, or to 0.0.0.0 port 0 for null; nothing once bound.
    virtual void Bind(const CVLSocketAddress* pAddress);
    // The address given to Bind (not asked of the system).
    virtual CVLSocketAddress GetLocalAddress() const { return m_LocalAddress; }
    virtual void SetMulticast(int nTTL, const char* szInterfaceAddress);
    virtual void SetBroadcast(int nTTL, bool bEnable);
    virtual void Connect(const CVLSocketAddress& address);
    // The address given to Connect.
    virtual CVLSocketAddress GetRemoteAddress() const { return m_RemoteAddress; }
    virtual void Listen(int nBacklog);
    virtual CVLSocket Accept();
    // One send call; returns the bytes the system took.
    virtual int Send(const void* pData, int nLength);
    // One receive call; returns more than 0 bytes or throws.
    virtual int Receive(void* pBuffer, int nLength);
    virtual int SendTo(const void* pData, int nLength, CVLSocketAddress& address);
    // SendTo without waiting for room in the send buffer: false, with
    // nothing sent, while the buffer is full (of datagrams the system holds,
    // e.g. for addresses whose link-layer address it is still asking for).
    virtual bool TrySendTo(const void* pData, int nLength, CVLSocketAddress& address);
    // Sends one datagram out of every local IPv4 interface that is up, can
    // broadcast and is neither a loopback nor a point-to-point link, from its
    // first address, whether or not a route leads
    // there (the limited broadcast of a network without a gateway). Returns
    // the number of interfaces it left through; throws the first failure
    // when it left through none. Without such an interface it is SendTo.
    virtual int SendToEachInterface(const void* pData, int nLength, CVLSocketAddress& address);
    // The sender's address goes to pFrom when it is given.
    virtual int ReceiveFrom(void* pBuffer, int nLength, CVLSocketAddress* pFrom);
    // Asks for a UDP receive buffer of nBytes, beyond the system's default
    // ceiling when the process may; never lowers it. Returns the size the
    // system reports (twice what it holds in datagrams), 0 when unknown.
    virtual int RaiseReceiveBuffer(int nBytes);
    // The same for the UDP send buffer.
    virtual int RaiseSendBuffer(int nBytes);
    // Has the system count the datagrams it drops for a full receive buffer
    // (GetDropCount); false when it cannot.
    virtual bool EnableDropCount();
    // Reads up to nSlots datagrams already queued, without waiting; returns
    // how many (0: none). A datagram longer than its slot is cut and marked.
    virtual int ReceiveBatch(VLSOCKET_DATAGRAM* pSlots, int nSlots);
    // The most datagrams ReceiveBatch reads with one system call: a batch of
    // this size costs one call.
    static const int MAX_BATCH;
    // Datagrams the system dropped for a full receive buffer, as now: also
    // the drops at the end of a burst that no datagram queued since carried.
    virtual unsigned long GetDropCount();
    // Waits at most nTimeoutMs (0 polls) until the socket is readable; true
    // then, EVLTimeoutException otherwise. szAddress names the socket in the
    // exception of a failed wait.
    virtual bool Select(int nTimeoutMs, const char* szAddress);

    static void Startup();
    static void Cleanup();

private:
    int m_nSocket;
    bool m_bClosed;
    bool m_bBound;
    CVLSocketAddress m_LocalAddress;
    int m_eProtocol;
    CVLSocketAddress m_RemoteAddress;
    // Written by the reader, read by whoever reports losses.
    std::atomic<unsigned long> m_nDrops;
};

#endif
