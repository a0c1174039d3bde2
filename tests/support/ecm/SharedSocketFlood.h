// A shared socket that drops datagrams, for the tests of what a probe says
// its unicast checks may have lost.
#ifndef SHAREDSOCKETFLOOD_H
#define SHAREDSOCKETFLOOD_H

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <condition_variable>
#include <mutex>

#include "base/net/VLSocketAddress.h"
#include "modules/sock/VLMDSock.h"
#include "modules/sock/VLSock.h"
#include "modules/sock/VLSockShared.h"

// Makes a shared socket of its own drop datagrams: its thread is held in
// the first arrival while a peer on loopback sends it far more than its
// buffer (2 MiB at most) holds. The drops count in the shared sockets'
// total (CVLSockShared::GetDropCount), as a check's socket's would.
class CSharedSocketFlood : public IVLSockArrivalListener
{
public:
    CSharedSocketFlood()
    {
        m_Sock.SetArrivalListener(this);
        m_pShared = CVLSockShared::Attach(&m_Sock, CVLString("127.0.0.1", 72));
        m_nPeer = socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in peer{};
        peer.sin_family = AF_INET;
        peer.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t nLength = sizeof(peer);
        bind(m_nPeer, reinterpret_cast<sockaddr*>(&peer), sizeof(peer));
        getsockname(m_nPeer, reinterpret_cast<sockaddr*>(&peer), &nLength);
        CVLSocketAddress peerAddress(VLMDSOCK_PROTOCOL_UDP, "127.0.0.1", ntohs(peer.sin_port));
        m_pShared->SetDestination(&m_Sock, peerAddress);
        // The peer learns the shared socket's port from a request.
        m_pShared->GetSocket()->SendTo("request", 7, peerAddress);
        char buffer[16];
        sockaddr_in shared{};
        nLength = sizeof(shared);
        recvfrom(m_nPeer, buffer, sizeof(buffer), 0, reinterpret_cast<sockaddr*>(&shared), &nLength);
        sendto(m_nPeer, "answer", 6, 0, reinterpret_cast<sockaddr*>(&shared), sizeof(shared));
        {
            std::unique_lock<std::mutex> lock(m_Mutex);
            m_Cond.wait(lock, [this]() { return m_bEntered; });
        }
        for (int i = 0; i < kFlood; ++i)
            sendto(m_nPeer, "", 0, 0, reinterpret_cast<sockaddr*>(&shared), sizeof(shared));
    }
    ~CSharedSocketFlood()
    {
        {
            std::lock_guard<std::mutex> lock(m_Mutex);
            m_bReleased = true;
            m_Cond.notify_all();
        }
        CVLSockShared::Detach(m_pShared, &m_Sock);
        close(m_nPeer);
    }
    void OnSockArrival(CVLSock*) override
    {
        std::unique_lock<std::mutex> lock(m_Mutex);
        m_bEntered = true;
        m_Cond.notify_all();
        m_Cond.wait(lock, [this]() { return m_bReleased; });
    }

private:
    static const int kFlood = 20000;
    CVLSock m_Sock;
    CVLSockShared* m_pShared = nullptr;
    int m_nPeer = -1;
    std::mutex m_Mutex;
    std::condition_variable m_Cond;
    bool m_bEntered = false;
    bool m_bReleased = false;
};

#endif
