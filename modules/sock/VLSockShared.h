// The UDP socket that the socket instances in "shared" mode send through, so
// that any number of requests waiting for their replies hold one descriptor
// between them. Its receive thread (the socket module's own, batched) hands
// each datagram to the instances whose last destination is the datagram's
// sender (one address may answer for several devices), or whose last send
// named it as its second address, and drops the others. One is made for
// the first user of a bind address and closed when the last one leaves;
// one whose thread ended on a failed socket is no longer given to new
// users. Its users' sends never wait for room in its send buffer
// (CVLSock::WasSendBufferFull): one user's requests to absent addresses
// must not hold up another's.
//
// Locks: the table lock (taken alone, by Attach and Detach) comes before the
// users lock; the users lock comes before an instance's received-datagram
// lock, which its thread takes to queue a datagram. The drop lock comes
// after every other.
#ifndef VLSOCKSHARED_H
#define VLSOCKSHARED_H

#include <cstdint>
#include <map>
#include <mutex>
#include <utility>

#include "base/core/VLString.h"
#include "base/net/VLSocket.h"
#include "modules/sock/VLSockDatagramSink.h"

class CVLSock;
class CVLSockRecvThread;

class CVLSockShared final : public IVLSockDatagramSink
{
public:
    // Adds the instance to the users of the bind address's socket (empty:
    // the any address), which is made, bound and given its thread for the
    // first one; throws what making the socket throws.
    static CVLSockShared* Attach(CVLSock* pSock, const CVLString& strBindAddress);
    // Takes the instance off: once it returns, no datagram reaches it. The
    // last user closes the socket after its thread has ended.
    static void Detach(CVLSockShared* pShared, CVLSock* pSock);
    // Shared sockets open now.
    static int GetOpenCount();
    // Datagrams the system dropped for a full receive buffer of a shared
    // socket, in all since the program started, as the system counts them
    // now: also those that nothing the thread read since has told of.
    static unsigned long GetDropCount();
    // The IPv4 address in network order, 0 when it has none: the key by
    // which replies find the requests sent to their sender.
    static uint32_t AddressOf(CVLSocketAddress& address);

    // The addresses whose datagrams go to the instance from now on: the
    // destination, and a second one in network order (0: none).
    void SetDestination(CVLSock* pSock, CVLSocketAddress& destination, uint32_t nAlsoFrom = 0);
    // The socket the users send through.
    CVLSocket* GetSocket() { return &m_Socket; }

    // IVLSockDatagramSink: queues the datagram with every user that sends
    // to its sender (the receive thread).
    void pushRecvData(const VLMDSOCK_RECV_DATA& data) override;
    unsigned long GetWriteCount() const override { return 0; }

private:
    explicit CVLSockShared(const CVLString& strKey);
    ~CVLSockShared();
    CVLSockShared(const CVLSockShared&) = delete;
    CVLSockShared& operator=(const CVLSockShared&) = delete;

    // Ends the receive thread and closes the socket, its drops counted.
    void Close();
    // Adds what the system dropped since the last count to the total, under
    // the drop lock.
    void countDrops();

    CVLString m_strKey;
    CVLSocket m_Socket;
    CVLSockRecvThread* m_pThread;
    // The system's drops counted into the program's total so far, under
    // the drop lock.
    unsigned long m_nDropsSeen;
    // Users under the table lock.
    int m_nUsers;
    // Each user's destination and second address (IPv4 addresses in network
    // order; 0 before its first send, and for no second one), under
    // m_UsersMutex.
    std::mutex m_UsersMutex;
    std::map<CVLSock*, std::pair<uint32_t, uint32_t>> m_Destinations;
};

#endif
