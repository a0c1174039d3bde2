#include "modules/sock/VLSockShared.h"

#include <atomic>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "base/core/VLCharset.h"
#include "base/core/VLCommunicationException.h"
#include "base/core/VLException.h"
#include "base/core/VLExceptionOwner.h"
#include "base/core/VLMemoryAllocException.h"
#include "base/core/VLOpenException.h"
#include "base/core/VLTimeoutException.h"
#include "base/core/VLTrace.h"
#include "modules/sock/VLSock.h"

namespace {

const char* const s_szFile = "VLSockShared";
const char kAnyAddress[] = "0.0.0.0";
// Every device asked at once may answer at once: room for their replies
// while the thread hands them on.
const int kSharedRecvBufferSize = 1024 * 1024;
// Longest single wait of the thread, so that its end request is seen soon.
const int kWaitSliceMs = 100;
// Datagrams handed on in a row before the end request is looked at again.
const int kDatagramsPerPass = 256;
// The largest UDP payload.
const int kMaxDatagram = 65536;

// What the shared sockets' buffers dropped, each counted when seen.
std::atomic<unsigned long> s_nDropped{0};

// The shared sockets by bind address, under the table lock.
std::mutex& TableMutex()
{
    static std::mutex s_Mutex;
    return s_Mutex;
}

std::map<std::string, CVLSockShared*>& Table()
{
    static std::map<std::string, CVLSockShared*> s_Table;
    return s_Table;
}

// The IPv4 address in network order, 0 when it has none.
uint32_t AddressOf(CVLSocketAddress& address)
{
    uint32_t nAddress = 0;
    try {
        const unsigned char* pBytes = address.GetAddressBytes();
        if (pBytes != nullptr && address.GetAddressLength() == 4)
            std::memcpy(&nAddress, pBytes, sizeof(nAddress));
    } catch (...) {
        ReleaseCurrentException();
    }
    return nAddress;
}

}  // namespace

CVLSockShared::CVLSockShared(const CVLString& strKey) : m_strKey(strKey), m_nUsers(0)
{
}

CVLSockShared::~CVLSockShared()
{
}

CVLSockShared* CVLSockShared::Attach(CVLSock* pSock, const CVLString& strBindAddress)
{
    try {
        std::string strKey = strBindAddress.GetLength() > 0 ? strBindAddress.GetString() : kAnyAddress;
        std::lock_guard<std::mutex> table(TableMutex());
        auto it = Table().find(strKey);
        CVLSockShared* pShared = it != Table().end() ? it->second : nullptr;
        if (pShared == nullptr) {
            pShared = new (std::nothrow) CVLSockShared(CVLString(strKey.c_str(), VL_CHARSET_UTF8));
            if (pShared == nullptr)
                throw new EVLMemoryAllocException(VLMDSOCK_MODULE, s_szFile, __LINE__);
            try {
                pShared->m_Socket.Create(VLMDSOCK_PROTOCOL_UDP, kSharedRecvBufferSize, 0);
                if (!pShared->m_Socket.IsValid())
                    throw new EVLCommunicationException(VLMDSOCK_MODULE, s_szFile, __LINE__, 0, strKey.c_str(), false);
                pShared->m_Socket.RaiseReceiveBuffer(kSharedRecvBufferSize);
                pShared->m_Socket.EnableDropCount();
                CVLSocketAddress local(VLMDSOCK_PROTOCOL_UDP, strKey.c_str(), 0);
                pShared->m_Socket.Bind(&local);
                pShared->Start(nullptr);
            } catch (...) {
                pShared->m_Socket.Close();
                delete pShared;
                throw;
            }
            Table()[strKey] = pShared;
        }
        ++pShared->m_nUsers;
        std::lock_guard<std::mutex> users(pShared->m_UsersMutex);
        pShared->m_Destinations[pSock] = 0;
        return pShared;
    }
    VL_CATCH_LADDER(VLMDSOCK_MODULE, s_szFile)
}

void CVLSockShared::Detach(CVLSockShared* pShared, CVLSock* pSock)
{
    if (pShared == nullptr)
        return;
    {
        std::lock_guard<std::mutex> table(TableMutex());
        {
            std::lock_guard<std::mutex> users(pShared->m_UsersMutex);
            if (pShared->m_Destinations.erase(pSock) == 0)
                return;
        }
        if (--pShared->m_nUsers > 0)
            return;
        Table().erase(pShared->m_strKey.GetString());
    }
    // The last user: the thread ends before the descriptor is closed, so it
    // never waits on a closed (and perhaps reused) one.
    pShared->SetRequestEnd(true);
    pShared->m_Socket.Shutdown();
    pShared->End();
    pShared->m_Socket.Close();
    delete pShared;
}

unsigned long CVLSockShared::GetDropCount()
{
    return s_nDropped.load();
}

int CVLSockShared::GetOpenCount()
{
    std::lock_guard<std::mutex> table(TableMutex());
    return static_cast<int>(Table().size());
}

void CVLSockShared::SetDestination(CVLSock* pSock, CVLSocketAddress& destination)
{
    uint32_t nAddress = AddressOf(destination);
    std::lock_guard<std::mutex> users(m_UsersMutex);
    auto it = m_Destinations.find(pSock);
    if (it != m_Destinations.end())
        it->second = nAddress;
}

void CVLSockShared::Route(const VL_BYTE* pData, int nLength, CVLSocketAddress& from)
{
    uint32_t nFrom = AddressOf(from);
    if (nFrom == 0)
        return;
    VLMDSOCK_RECV_DATA data;
    data.m_FromAddress = from;
    data.m_pSocket = &m_Socket;
    bool bCopied = false;
    std::lock_guard<std::mutex> users(m_UsersMutex);
    for (const auto& entry : m_Destinations) {
        if (entry.second != nFrom)
            continue;
        if (!bCopied) {
            data.m_Data.Allocate(nLength);
            std::memcpy(data.m_Data.GetData(), pData, static_cast<size_t>(nLength));
            data.m_Data.SetSize(nLength);
            bCopied = true;
        }
        entry.first->pushRecvData(data);
    }
}

void CVLSockShared::OnThread(void* pData)
{
    (void)pData;
    try {
        std::vector<VL_BYTE> buffer(kMaxDatagram);
        unsigned long nSeen = 0;
        while (!IsRequestEnd()) {
            unsigned long nDrops = m_Socket.GetDropCount();
            if (nDrops > nSeen) {
                s_nDropped += nDrops - nSeen;
                nSeen = nDrops;
            }
            try {
                m_Socket.Select(kWaitSliceMs, nullptr);
            } catch (EVLTimeoutException* e) {
                e->Delete();
                continue;
            } catch (EVLCommunicationException* e) {
                CVLTrace::OutputException(VLMDSOCK_MODULE, s_szFile, __LINE__, e);
                e->Delete();
                return;
            }
            for (int n = 0; n < kDatagramsPerPass && !IsRequestEnd(); ++n) {
                CVLSocketAddress from(VLMDSOCK_PROTOCOL_UDP, kAnyAddress, 0);
                int nReceived = 0;
                try {
                    // Readable at the first pass; each further one only
                    // takes what is already there.
                    if (n > 0)
                        m_Socket.Select(0, nullptr);
                    nReceived = m_Socket.ReceiveFrom(buffer.data(), kMaxDatagram, &from);
                } catch (EVLTimeoutException* e) {
                    e->Delete();
                    break;
                } catch (EVLOpenException* e) {
                    // An empty datagram is no datagram: anyone could send one.
                    e->Delete();
                    continue;
                } catch (EVLCommunicationException* e) {
                    CVLTrace::OutputException(VLMDSOCK_MODULE, s_szFile, __LINE__, e);
                    e->Delete();
                    break;
                }
                CVLTrace::Output(VLMDSOCK_MODULE, s_szFile, __LINE__, 1, "RecvFrom:IP address=%s Port=%ld",
                                 from.GetHost().GetString(), static_cast<long>(from.GetPort()));
                Route(buffer.data(), nReceived, from);
            }
        }
    }
    VL_CATCH_LADDER(VLMDSOCK_MODULE, s_szFile)
}
