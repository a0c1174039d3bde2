// A receive thread of a socket instance, or of the shared socket: it waits
// on its one socket and queues every datagram with its sink until it is
// asked to end or its socket fails. A UDP socket is drained in batches, as fast as it fills;
// with bDropRepeats a datagram that its sender sent already since the
// instance's last send is dropped there, before anyone parses it.
#ifndef VLSOCKRECVTHREAD_H
#define VLSOCKRECVTHREAD_H

#include <atomic>
#include <vector>

#include "base/thread/VLThread.h"
#include "modules/sock/VLSockDatagramSink.h"
#include "modules/sock/VLSockRepeatMemory.h"

class CVLSockRecvThread : public CVLThread
{
public:
    CVLSockRecvThread(int eSocketMode, IVLSockDatagramSink* pSink, CVLSocket* pSocket, long nInterval,
                      VL_SIZE_T nBufferSize, bool bDropRepeats = false);
    // Does not end the thread: End is called before it is deleted.
    virtual ~CVLSockRecvThread();

    virtual void OnThread(void* pData) override;
    CVLSocket* GetSocket() const { return m_RecvData.m_pSocket; }
    // The thread ended because its socket failed.
    bool HasFailed() const { return m_bFailed.load(); }

private:
    // Reads what the UDP socket holds, batch after batch, and queues it.
    void DrainDatagrams();
    // Receives one TCP chunk and queues it.
    void ReceiveStream(std::vector<VL_BYTE>& scratch);
    // Queues one datagram (the thread's record is reused).
    void Queue(const VL_BYTE* pData, int nLength, const CVLSocketAddress& from);
    // True for a repeat from the same sender since the last send (traced).
    bool IsRepeat(const VL_BYTE* pData, int nLength, CVLSocketAddress& from);

    // The mode the instance gave; the receive loop is the same for every mode.
    [[maybe_unused]] int m_eSocketMode;
    IVLSockDatagramSink* m_pSink;
    std::atomic<bool> m_bFailed;
    long m_nInterval;
    VLMDSOCK_RECV_DATA m_RecvData;
    bool m_bDropRepeats;
    CVLSockRepeatMemory m_Repeats;
    // The instance's write count when the memory was last emptied.
    unsigned long m_nWritesSeen;
    unsigned long m_nRepeats;
    // The batch slots and their memory.
    std::vector<VLSOCKET_DATAGRAM> m_Slots;
    std::vector<VL_BYTE> m_SlotMemory;
};

#endif
