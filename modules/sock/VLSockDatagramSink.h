// Where a receive thread (CVLSockRecvThread) queues what it reads: a socket
// instance's own queue, or the shared socket, which hands each datagram on
// to the instances that wait for its sender.
#ifndef VLSOCKDATAGRAMSINK_H
#define VLSOCKDATAGRAMSINK_H

#include "base/core/VLByteArray.h"
#include "base/net/VLSocket.h"
#include "base/net/VLSocketAddress.h"

// One received datagram: its sender, the socket that took it, its bytes.
struct VLMDSOCK_RECV_DATA
{
    CVLSocketAddress m_FromAddress;
    CVLSocket* m_pSocket = nullptr;
    CVLByteArray m_Data;
};

class IVLSockDatagramSink
{
public:
    // Takes a copy of the datagram (the record is the thread's, reused).
    virtual void pushRecvData(const VLMDSOCK_RECV_DATA& data) = 0;
    // Sends begun so far: a receive thread that drops repeats forgets what
    // it heard at each new send.
    virtual unsigned long GetWriteCount() const = 0;

protected:
    ~IVLSockDatagramSink() {}
};

#endif
