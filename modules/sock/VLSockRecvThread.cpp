#include "modules/sock/VLSockRecvThread.h"

#include "modules/sock/VLSock.h"

#include <cstring>

#include "base/core/VLCommunicationException.h"
#include "base/core/VLOpenException.h"
#include "base/core/VLTimeoutException.h"
#include "base/core/VLTrace.h"

namespace {
const char* const s_szFile = "VLSock";
// Datagrams are received whole; one longer than the reader's buffer is dropped.
const int kMaxDatagram = 65536;
// Memory of one batch's slots; a batch has at most the slots that one
// system call reads.
const size_t kBatchBytes = 256 * 1024;
// Batches read in a row before the end request is looked at again.
const int kBatchesPerPass = 64;
} // namespace

CVLSockRecvThread::CVLSockRecvThread(int eSocketMode, IVLSockDatagramSink* pSink, CVLSocket* pSocket, long nInterval,
                                     VL_SIZE_T nBufferSize, bool bDropRepeats)
    : m_eSocketMode(eSocketMode), m_pSink(pSink), m_bFailed(false), m_nInterval(nInterval),
      m_bDropRepeats(bDropRepeats), m_nWritesSeen(0), m_nRepeats(0)
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
    std::vector<VL_BYTE> scratch;
    try {
        while (!IsRequestEnd()) {
            try {
                pSocket->Select(static_cast<int>(m_nInterval), nullptr);
                if (pSocket->GetProtocol() == VLMDSOCK_PROTOCOL_TCP)
                    ReceiveStream(scratch);
                else
                    DrainDatagrams();
            } catch (EVLTimeoutException* e) {
                e->Delete();
            } catch (EVLOpenException* e) {
                e->Delete();
                // A TCP peer that closed ends the thread.
                if (pSocket->GetProtocol() == VLMDSOCK_PROTOCOL_TCP)
                    return;
            } catch (EVLCommunicationException* e) {
                CVLTrace::OutputException(VLMDSOCK_MODULE, s_szFile, __LINE__, e);
                e->Delete();
                m_bFailed = true;
                return;
            }
        }
    }
    VL_CATCH_LADDER(VLMDSOCK_MODULE, s_szFile)
}

void CVLSockRecvThread::ReceiveStream(std::vector<VL_BYTE>& scratch)
{
    if (scratch.size() < static_cast<size_t>(kMaxDatagram))
        scratch.resize(kMaxDatagram);
    CVLSocket* pSocket = m_RecvData.m_pSocket;
    int nReceived = pSocket->Receive(scratch.data(), kMaxDatagram);
    // The peer the socket was connected to: the destination in effect when
    // it was opened.
    CVLSocketAddress peer = pSocket->GetRemoteAddress();
    CVLTrace::Output(VLMDSOCK_MODULE, s_szFile, __LINE__, 1, "Recv:IP address=%s Port=%ld", peer.GetHost().GetString(),
                     static_cast<long>(peer.GetPort()));
    Queue(scratch.data(), nReceived, peer);
}

void CVLSockRecvThread::DrainDatagrams()
{
    if (m_Slots.empty()) {
        // One byte more than the reader takes, so that a longer datagram is
        // seen cut and dropped rather than cut to fit.
        size_t nSlotSize = static_cast<size_t>(m_RecvData.m_Data.GetCapacity()) + 1;
        size_t nSlots = kBatchBytes / nSlotSize;
        const size_t nMaxSlots = static_cast<size_t>(CVLSocket::MAX_BATCH);
        nSlots = nSlots < 1 ? 1 : (nSlots > nMaxSlots ? nMaxSlots : nSlots);
        m_SlotMemory.resize(nSlots * nSlotSize);
        m_Slots.resize(nSlots);
        for (size_t i = 0; i < nSlots; ++i) {
            m_Slots[i].pBuffer = m_SlotMemory.data() + i * nSlotSize;
            m_Slots[i].nCapacity = static_cast<int>(nSlotSize);
        }
    }
    CVLSocket* pSocket = m_RecvData.m_pSocket;
    const int nCapacity = m_RecvData.m_Data.GetCapacity();
    for (int nBatch = 0; nBatch < kBatchesPerPass; ++nBatch) {
        int nReceived = pSocket->ReceiveBatch(m_Slots.data(), static_cast<int>(m_Slots.size()));
        // Read after the batch: the send a reply in it answers is counted.
        unsigned long nWrites = m_pSink->GetWriteCount();
        if (nWrites != m_nWritesSeen) {
            m_nWritesSeen = nWrites;
            m_Repeats.Forget();
        }
        for (int i = 0; i < nReceived; ++i) {
            VLSOCKET_DATAGRAM& slot = m_Slots[static_cast<size_t>(i)];
            // An empty datagram is no datagram: anyone could send one.
            if (slot.nLength == 0)
                continue;
            if (slot.bTruncated || slot.nLength > nCapacity) {
                CVLTrace::Output(VLMDSOCK_MODULE, s_szFile, __LINE__, 1, "datagram longer than %d bytes dropped",
                                 nCapacity);
                continue;
            }
            if (m_bDropRepeats && IsRepeat(slot.pBuffer, slot.nLength, slot.from))
                continue;
            CVLTrace::Output(VLMDSOCK_MODULE, s_szFile, __LINE__, 1, "RecvFrom:IP address=%s Port=%ld",
                             slot.from.GetHost().GetString(), static_cast<long>(slot.from.GetPort()));
            Queue(slot.pBuffer, slot.nLength, slot.from);
        }
        if (nReceived < static_cast<int>(m_Slots.size()) || IsRequestEnd())
            return;
    }
}

bool CVLSockRecvThread::IsRepeat(const VL_BYTE* pData, int nLength, CVLSocketAddress& from)
{
    if (!m_Repeats.IsRepeat(from, pData, nLength))
        return false;
    if (++m_nRepeats % 1000 == 1)
        CVLTrace::Output(VLMDSOCK_MODULE, s_szFile, __LINE__, 1, "repeats from %s dropped, %lu in all",
                         from.GetHost().GetString(), m_nRepeats);
    return true;
}

void CVLSockRecvThread::Queue(const VL_BYTE* pData, int nLength, const CVLSocketAddress& from)
{
    if (nLength > m_RecvData.m_Data.GetCapacity()) {
        CVLTrace::Output(VLMDSOCK_MODULE, s_szFile, __LINE__, 1, "datagram of %d bytes dropped, buffer %d", nLength,
                         m_RecvData.m_Data.GetCapacity());
        return;
    }
    std::memcpy(m_RecvData.m_Data.GetData(), pData, static_cast<size_t>(nLength));
    m_RecvData.m_Data.SetSize(nLength);
    m_RecvData.m_FromAddress = from;
    m_pSink->pushRecvData(m_RecvData);
}
