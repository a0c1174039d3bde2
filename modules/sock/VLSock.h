// The socket module's instance: a byte stream over UDP or TCP sockets, set
// up by definition constants that a call may override. Its parent (the VLPC
// module) takes the stream with GetSendStream, opens it, writes datagrams to
// the destination in effect and reads replies, one datagram per Read. With
// several sockets, receive threads queue what arrives. In "shared" mode (UDP
// unicast) it has no socket of its own: it sends through the one its bind
// address shares with the other shared instances (CVLSockShared), whose
// thread queues here what comes from the address it last sent to. A UDP
// unicast instance reads replies only from that address, and from a second
// one that the call may name (VLCM_PARAM_ALSO_REPLIES_FROM).
//
// Locks: the instance lock (sockets and open state) comes before a target's
// lock; the received-datagram lock comes before a target's lock; the
// receive-thread list lock is never held together with the others.
#ifndef VLSOCK_H
#define VLSOCK_H

#include <atomic>
#include <condition_variable>
#include <list>
#include <mutex>
#include <vector>

#include "base/core/VLByteArray.h"
#include "base/core/VLStream.h"
#include "base/core/VLThreadSync.h"
#include "base/net/VLSocket.h"
#include "base/net/VLSocketAddress.h"
#include "base/thread/VLLockableObject.h"
#include "base/thread/VLSemaphore.h"
#include "cm/VLModInstanceIF.h"
#include "modules/sock/VLSockDatagramSink.h"

#define VLMDSOCK_MODULE "VLMDSock"

class CVLModuleController;
class CVLSockRecvThread;

enum VLMDSOCK_PROTOCOL
{
    VLMDSOCK_PROTOCOL_UDP = 0,
    VLMDSOCK_PROTOCOL_TCP = 1,
    VLMDSOCK_PROTOCOL_IPX = 2
};

enum VLMDSOCK_CAST_TYPE
{
    VLMDSOCK_CAST_UNICAST = 0,
    VLMDSOCK_CAST_BROADCAST = 1,
    VLMDSOCK_CAST_MULTICAST = 2
};

enum VLMDSOCK_SOCKET_MODE
{
    VLMDSOCK_MODE_SINGLE = 0,
    VLMDSOCK_MODE_MULTI = 1,
    VLMDSOCK_MODE_MULTISELECT = 2,
    VLMDSOCK_MODE_SHARED = 3
};

typedef std::list<CVLSocket*> VLMDSOCK_SOCKET_LIST;

class CVLSock;
class CVLSockShared;

// Told, on the thread that queued it, that a datagram waits for Read.
class IVLSockArrivalListener
{
public:
    virtual void OnSockArrival(CVLSock* pSock) = 0;

protected:
    ~IVLSockArrivalListener() {}
};

class CVLSock : public IVLModInstanceIF, public IVLStream, public CVLLockableObject, public IVLSockDatagramSink
{
public:
    CVLSock();
    // Neither closes sockets nor ends threads: DestroyInstance has closed.
    virtual ~CVLSock();

    // The socket that carries an instance's exchanges: the instance's own
    // implementation when it is a socket, else its first child's; null when
    // neither is.
    static CVLSock* Of(CVLModuleInstance* pInstance);
    // Set in the parameters of a socket instance's call, or of the call of
    // the module above it, which hands its parameters on: the first asks
    // for the shared socket ("shared" mode), the second how many sends in
    // all a failed send gets when the definitions retry its error.
    static void AskShared(CVLModuleParamCollection* pParams);
    static void SetSendAttempts(CVLModuleParamCollection* pParams, long nAttempts);

    // IVLModInstanceIF
    virtual void CreateInstance(CVLModuleInstance* pInstance, CVLModuleParamCollection* pParams) override;
    virtual void DestroyInstance(CVLModuleInstance* pInstance, CVLModuleParamCollection* pParams) override;
    virtual IVLStream* GetSendStream(CVLModuleParamCollection* pParams) override;
    virtual IVLStream* GetSendStream() override;
    // No method can be called by name: EVLUnsupportedException.
    virtual void CallMethod(CVLModuleInstance* pInstance, CVLModuleParamCollection* pParams) override;
    // Marks the instance stopped for good and closes it.
    virtual void Stop(CVLModuleInstance* pInstance, CVLModuleParamCollection* pParams) override;
    // multiSelect: status 0 keeps only the socket that heard the device and
    // records its address in the device's properties.
    virtual void SetLastPacketStatus(VLCM_PACKET_STATUS eStatus) override;

    // IVLStream
    virtual CVLString GetClassName() const override;
    virtual VL_CONST_STR GetTypeName() const override;
    virtual void Open(VL_OPEN_MODE eMode) override;
    virtual bool IsOpen() override;
    // Open on the shared socket ("shared" mode took effect).
    bool IsShared();
    virtual bool IsStopRequested();
    // Wakes and joins the readers, then closes and deletes the sockets and
    // drops what is still queued.
    virtual void Close() override;
    // One datagram: its length (0 on the multi path when none came). A read
    // whose receive threads cannot start throws EVLStartThreadException; the
    // next read starts them anew.
    virtual VL_SIZE_T Read(VL_BYTE* pBuffer, VL_SIZE_T nBufferSize) override;
    // Sends the buffer once from every open socket to the destination in effect.
    virtual void Write(const VL_BYTE* pBuffer, VL_SIZE_T nBufferSize) override;
    virtual void Flush() override;
    virtual void Seek(VL_SIZE_T nPosition) override;
    virtual VL_SIZE_T GetSize() override;
    virtual void Clear() override;
    virtual void Destroy() override;

    // Queues a copy of a datagram (receive threads). Beyond the bound the
    // oldest is dropped. The arrival listener is told afterwards.
    virtual void pushRecvData(const VLMDSOCK_RECV_DATA& data) override;
    // Who is told of each datagram queued (null: nobody); it must outlive
    // the instance's open state.
    void SetArrivalListener(IVLSockArrivalListener* pListener) { m_pArrivalListener = pListener; }
    // Datagrams dropped because the queue was full, since construction.
    unsigned long GetDroppedDatagramCount();
    // Datagrams lost before anyone read them: dropped by the system for a
    // full receive buffer (broadcast sockets, while open) and by the queue.
    virtual unsigned long GetReceiveDropCount() override;
    // Datagrams queued now (for tests and diagnostics).
    int GetQueuedDatagramCount();
    // Datagrams from the addresses replies are taken from (every sender's,
    // on a socket that takes all), whole and not empty, that reached the
    // instance since construction: queued, or read on the one-socket path
    // alike, so that what was heard does not depend on the path.
    unsigned long GetHeardCount() const { return m_nHeard.load(); }
    // The definitions' retry of a send that failed: whether the error is
    // one to retry ("IsRetryForWriteError"), how many sends in all, and the
    // pause before each further one, in ms (a call's own override aside):
    // the definitions' values once the instance has opened, the built-in
    // ones before.
    bool IsRetryForWriteError(long nErrorCode);
    int GetDefinedError65RetryCount() const { return m_nError65RetryCount; }
    int GetDefinedError65RetryPause() const;
    // Writes begun since construction: the receive threads hear each
    // sender's replies to every send anew.
    unsigned long GetWriteCount() const override { return m_nWrites.load(); }
    // The last Write sent nothing because the shared socket's send buffer
    // was full: it failed at once, to be sent again later.
    virtual bool WasSendBufferFull() const { return m_bSendBufferFull.load(); }
    // The datagram the last Read returned came from the second address the
    // last send named, not from the one it went to. The reader's only.
    bool IsLastReadFromSecondAddress() const { return m_bLastReadFromSecond; }

protected:
    virtual void LoadParameters(CVLModuleController* pController, CVLModuleInstance* pInstance,
                                CVLModuleParamCollection* pParams);
    virtual void UpdateParameters(CVLModuleParamCollection* pParams);
    virtual void setBindAddress(const CVLSocketAddress& bindAddress) const;
    virtual void clearBindAddress() const;
    virtual VL_SIZE_T readSingle(VL_BYTE* pBuffer, VL_SIZE_T nBufferSize, CVLSocket* pSocket);
    virtual VL_SIZE_T readMulti(VL_BYTE* pBuffer, VL_SIZE_T nBufferSize, VLMDSOCK_SOCKET_LIST& listSockets);
    virtual void waitRecv(CVLSocket* pSocket);
    virtual void setFromAddress(const CVLSocketAddress& from);
    virtual void startRecvThreads(VL_SIZE_T nBufferSize, VLMDSOCK_SOCKET_LIST& listSockets);
    virtual void stopRecvThreads();
    // The oldest queued datagram that fits pBuffer; a longer one is dropped.
    virtual CVLSocket* popRecvData(VL_BYTE* pBuffer, VL_SIZE_T nBufferSize, VL_SIZE_T* pnSize);

private:
    CVLSock(const CVLSock&) = delete;
    CVLSock& operator=(const CVLSock&) = delete;

    // One pass of Open over the local addresses; true when a failed entry
    // asks for a retry.
    bool OpenPass(const std::vector<CVLSocketAddress>& addresses);
    // Runs a retry script with the error number; false without a controller
    // or without such a script.
    bool AskRetry(const char* szScript, VL_LONG nErrorCode);
    // Five sleeps of the retry interval, each followed by a stop check.
    void RetryPause();
    // The destination is the limited broadcast, sent from the any address:
    // it leaves through every local interface, routed or not.
    bool IsLimitedBroadcast();
    // UDP broadcast (a probe's socket, which every device answers at once):
    // a thread of its own drains it in batches, with a larger buffer, and
    // drops exact repeats before anyone parses them.
    bool DrainsOnThread() const;
    // Waits on one socket for at most nTimeout ms in short slices, so that a
    // close is noticed: true when readable, false when the time ran out.
    bool WaitReadable(CVLSocket* pSocket, int nTimeout);
    // Empties the datagram queue.
    void DropRecvData();
    // A datagram that is no reply to this instance's unicast request: it
    // came from another address than the one the request went to (or the
    // second one it named). Anyone on the network can send to the
    // request's port; only the addressee answers for the device.
    bool IsStray(const CVLSocketAddress& from);
    // Notes whether a datagram handed to Read came from the second address
    // only (see IsLastReadFromSecondAddress).
    void noteSender(const CVLSocketAddress& from);
    // Reads a number or text constant of the definitions.
    bool FindConst(const char* szKey, CVLString& strValue);
    int GetTargetLong(const CVLString& strPath, int nDefault, bool* pbFound) const;
    CVLString GetTargetText(const CVLString& strPath) const;

    CVLModuleController* m_pController;
    CVLModuleInstance* m_pInstance;
    CVLModuleParamCollection* m_pParams;
    VLMDSOCK_SOCKET_LIST m_listSockets;
    // The shared socket in use in "shared" mode (with m_listSockets empty),
    // under the instance lock.
    CVLSockShared* m_pShared;
    std::atomic<IVLSockArrivalListener*> m_pArrivalListener;
    std::atomic<bool> m_bOpen;
    // Why the last open opened no socket (the system's error; 0: it did, or
    // none was asked for): a send then says so.
    std::atomic<VL_LONG> m_nOpenError{0};
    int m_eProtocol;
    int m_eCastType;
    int m_eSocketMode;
    int m_nTTL;
    int m_nCurTTL;
    CVLString m_strBindAddressPath;
    CVLString m_strBindAddress;
    CVLString m_strToAddressPath;
    CVLString m_strToAddress;
    CVLString m_strToPortPath;
    int m_nCurToPort;
    int m_nToPort;
    CVLSocketAddress m_DestAddress;
    CVLString m_strFromAddressPath;
    CVLString m_strFromPortPath;
    int m_nPort;
    int m_nCurTimeout;
    int m_nCurRetry;
    int m_nTimeout;
    int m_nRetry;
    int m_nRecvInterval;
    CVLSemaphore m_RecvSemaphore;
    std::list<VLMDSOCK_RECV_DATA> m_listRecvData;
    CVLThreadSync m_RecvDataSync;
    std::atomic<bool> m_bRecvThreadStarted;
    std::list<CVLSockRecvThread*> m_listRecvThreads;
    CVLThreadSync m_RecvThreadSync;
    std::atomic<CVLSocket*> m_pSelectedSocket;
    std::atomic<bool> m_bReading;
    std::atomic<bool> m_bStopRequest;
    // Set while Close runs: a waiting reader gives up within one slice.
    std::atomic<bool> m_bClosing;
    // Signalled when a read ends and when a close is over.
    std::mutex m_ReadingMutex;
    std::condition_variable m_ReadingCond;
    // Monotonic milliseconds at which the read under way gives up; -1: never.
    // The reader's only.
    long long m_nReadDeadline;
    int m_nCurError65RetryCount;
    int m_nCurError65RetryInterval;
    int m_nError65RetryCount;
    int m_nError65RetryInterval;
    unsigned long m_nDroppedDatagrams;
    std::atomic<unsigned long> m_nWrites{0};
    std::atomic<unsigned long> m_nHeard{0};
    std::atomic<bool> m_bSendBufferFull{false};
    // The IPv4 address (network order) the last unicast UDP send went to;
    // 0 before one, and for other sockets, which take every sender. And
    // the second address that send named, 0 when none.
    std::atomic<uint32_t> m_nRepliesFrom{0};
    std::atomic<uint32_t> m_nRepliesAlsoFrom{0};
    bool m_bLastReadFromSecond = false;
    // Receives whole datagrams on the one-socket path (the reader's only).
    std::vector<VL_BYTE> m_ReadScratch;
};

#endif
