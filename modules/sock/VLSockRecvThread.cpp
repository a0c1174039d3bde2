#include "modules/sock/VLSockRecvThread.h"

#include <cstring>
#include <vector>

#include "base/core/VLCommunicationException.h"
#include "base/core/VLOpenException.h"
#include "base/core/VLTimeoutException.h"
#include "base/core/VLTrace.h"

namespace {
const char* const s_szFile = "VLSock";
// Datagrams are received whole; one longer than the reader's buffer is dropped.
const int kMaxDatagram = 65536;
} // namespace

CVLSockRecvThread::CVLSockRecvThread(int eSocketMode, CVLSock* pSock, CVLSocket* pSocket, long nInterval,
                                     VL_SIZE_T nBufferSize)
    : m_eSocketMode(eSocketMode), m_pSock(pSock), m_nInterval(nInterval)
{
    m_RecvData.m_pSocket = pSocket;
    m_RecvData.m_Data.Allocate(static_cast<int>(nBufferSize));
}

CVLSockRecvThread::~CVLSockRecvThread()
{
}

void CVLSockRecvThread::OnThread(void* pData)
{
    (void)pData;
    CVLSocket* pSocket = m_RecvData.m_pSocket;
    const int nCapacity = m_RecvData.m_Data.GetCapacity();
    std::vector<VL_BYTE> scratch(kMaxDatagram);
    try {
        while (!IsRequestEnd()) {
            try {
                pSocket->Select(static_cast<int>(m_nInterval), nullptr);
                int nReceived;
                if (pSocket->GetProtocol() == VLMDSOCK_PROTOCOL_TCP) {
                    nReceived = pSocket->Receive(scratch.data(), kMaxDatagram);
                    // The peer the socket was connected to: the destination
                    // in effect when it was opened.
                    CVLSocketAddress peer = pSocket->GetRemoteAddress();
                    CVLTrace::Output(VLMDSOCK_MODULE, s_szFile, __LINE__, 1, "Recv:IP address=%s Port=%ld",
                                     peer.GetHost().GetString(), static_cast<long>(peer.GetPort()));
                } else {
                    nReceived = pSocket->ReceiveFrom(scratch.data(), kMaxDatagram, &m_RecvData.m_FromAddress);
                    CVLTrace::Output(VLMDSOCK_MODULE, s_szFile, __LINE__, 1, "RecvFrom:IP address=%s Port=%ld",
                                     m_RecvData.m_FromAddress.GetHost().GetString(),
                                     static_cast<long>(m_RecvData.m_FromAddress.GetPort()));
                }
                if (nReceived > nCapacity) {
                    CVLTrace::Output(VLMDSOCK_MODULE, s_szFile, __LINE__, 1, "datagram of %d bytes dropped, buffer %d",
                                     nReceived, nCapacity);
                    continue;
                }
                std::memset(m_RecvData.m_Data.GetData(), 0, static_cast<size_t>(nCapacity));
                std::memcpy(m_RecvData.m_Data.GetData(), scratch.data(), static_cast<size_t>(nReceived));
                m_RecvData.m_Data.SetSize(nReceived);
                m_pSock->pushRecvData(m_RecvData);
            } catch (EVLTimeoutException* e) {
                e->Delete();
            } catch (EVLOpenException* e) {
                e->Delete();
                // An empty UDP datagram is skipped; a TCP peer that closed ends the thread.
                if (pSocket->GetProtocol() == VLMDSOCK_PROTOCOL_TCP)
                    return;
            } catch (EVLCommunicationException* e) {
                CVLTrace::OutputException(VLMDSOCK_MODULE, s_szFile, __LINE__, e);
                e->Delete();
                return;
            }
        }
    }
    VL_CATCH_LADDER(VLMDSOCK_MODULE, s_szFile)
}
