// A receive thread of a socket instance with several sockets: it waits on
// its one socket and queues every datagram with its instance until it is
// asked to end or its socket fails.
#ifndef VLSOCKRECVTHREAD_H
#define VLSOCKRECVTHREAD_H

#include "base/thread/VLThread.h"
#include "modules/sock/VLSock.h"

class CVLSockRecvThread : public CVLThread
{
public:
    CVLSockRecvThread(int eSocketMode, CVLSock* pSock, CVLSocket* pSocket, long nInterval, VL_SIZE_T nBufferSize);
    // Does not end the thread: End is called before it is deleted.
    virtual ~CVLSockRecvThread();

    virtual void OnThread(void* pData) override;
    CVLSocket* GetSocket() const { return m_RecvData.m_pSocket; }

private:
    // The mode the instance gave; the receive loop is the same for every mode.
    [[maybe_unused]] int m_eSocketMode;
    CVLSock* m_pSock;
    long m_nInterval;
    VLMDSOCK_RECV_DATA m_RecvData;
};

#endif
