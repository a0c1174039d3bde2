#include "modules/sock/VLSockShared.h"

#include <cstring>
#include <new>
#include <set>
#include <string>

#include "base/core/VLCharset.h"
#include "base/core/VLCommunicationException.h"
#include "base/core/VLException.h"
#include "base/core/VLExceptionOwner.h"
#include "base/core/VLMemoryAllocException.h"
#include "base/core/VLTrace.h"
#include "modules/sock/VLSock.h"
#include "modules/sock/VLSockRecvThread.h"

namespace {

const char* const s_szFile = "VLSockShared";
const char kAnyAddress[] = "0.0.0.0";
// Every device asked at once may answer at once: room for their replies
// while the thread hands them on.
const int kSharedRecvBufferSize = 1024 * 1024;
// A request to an address whose link-layer address the system is still
// asking for stays in the send buffer until it leaves or the address is
// found absent (some 3 s): room for a request to every device checked at
// once (a small datagram takes some 800 bytes of it) however many of them
// are absent. Beyond the system's ceiling only when the process may.
const int kSharedSendBufferSize = 1024 * 1024;
// Longest single wait of the thread, so that its end request is seen soon.
const int kWaitSliceMs = 100;
// The longest datagram handed on: far above a reply (512 bytes), which a
// reader's buffer takes whole; a longer one is dropped unread.
const int kMaxDatagram = 4096;

// What the shared sockets' buffers dropped, and the open sockets whose
// drops are read whenever the total is asked for, under the drop lock. It
// is taken last: under any other lock, and no other is taken under it.
unsigned long s_nDropped = 0;

std::mutex& DropMutex()
{
    static std::mutex s_Mutex;
    return s_Mutex;
}

std::set<CVLSockShared*>& DropCounted()
{
    static std::set<CVLSockShared*> s_Counted;
    return s_Counted;
}

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

}  // namespace

CVLSockShared::CVLSockShared(const CVLString& strKey)
    : m_strKey(strKey), m_pThread(nullptr), m_nDropsSeen(0), m_nUsers(0)
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
        // A socket whose thread ended on a failure hears nothing more: its
        // users keep it until they leave, new ones get a new one.
        if (pShared != nullptr && pShared->m_pThread->HasFailed()) {
            Table().erase(it);
            pShared = nullptr;
        }
        if (pShared == nullptr) {
            pShared = new (std::nothrow) CVLSockShared(CVLString(strKey.c_str(), VL_CHARSET_UTF8));
            if (pShared == nullptr)
                throw new EVLMemoryAllocException(VLMDSOCK_MODULE, s_szFile, __LINE__);
            try {
                pShared->m_Socket.Create(VLMDSOCK_PROTOCOL_UDP, kSharedRecvBufferSize, 0);
                if (!pShared->m_Socket.IsValid())
                    throw new EVLCommunicationException(VLMDSOCK_MODULE, s_szFile, __LINE__, 0, strKey.c_str(), false);
                pShared->m_Socket.RaiseReceiveBuffer(kSharedRecvBufferSize);
                pShared->m_Socket.RaiseSendBuffer(kSharedSendBufferSize);
                pShared->m_Socket.EnableDropCount();
                CVLSocketAddress local(VLMDSOCK_PROTOCOL_UDP, strKey.c_str(), 0);
                pShared->m_Socket.Bind(&local);
                pShared->m_pThread = new (std::nothrow) CVLSockRecvThread(
                    VLMDSOCK_MODE_SHARED, pShared, &pShared->m_Socket, kWaitSliceMs, kMaxDatagram, false);
                if (pShared->m_pThread == nullptr)
                    throw new EVLMemoryAllocException(VLMDSOCK_MODULE, s_szFile, __LINE__);
                pShared->m_pThread->Start(nullptr);
                std::lock_guard<std::mutex> drops(DropMutex());
                DropCounted().insert(pShared);
            } catch (...) {
                pShared->Close();
                delete pShared;
                throw;
            }
            Table()[strKey] = pShared;
        }
        ++pShared->m_nUsers;
        std::lock_guard<std::mutex> users(pShared->m_UsersMutex);
        pShared->m_Destinations[pSock] = std::make_pair(0u, 0u);
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
        auto it = Table().find(pShared->m_strKey.GetString());
        if (it != Table().end() && it->second == pShared)
            Table().erase(it);
    }
    pShared->Close();
    delete pShared;
}

void CVLSockShared::Close()
{
    {
        std::lock_guard<std::mutex> drops(DropMutex());
        if (DropCounted().erase(this) != 0)
            countDrops();
    }
    // The thread ends before the descriptor is closed, so it never waits on
    // a closed (and perhaps reused) one.
    if (m_pThread != nullptr) {
        m_pThread->SetRequestEnd(true);
        m_Socket.Shutdown();
        m_pThread->End();
        delete m_pThread;
        m_pThread = nullptr;
    }
    m_Socket.Close();
}

unsigned long CVLSockShared::GetDropCount()
{
    std::lock_guard<std::mutex> drops(DropMutex());
    for (CVLSockShared* pShared : DropCounted())
        pShared->countDrops();
    return s_nDropped;
}

void CVLSockShared::countDrops()
{
    unsigned long nDrops = m_Socket.GetDropCount();
    if (nDrops > m_nDropsSeen) {
        s_nDropped += nDrops - m_nDropsSeen;
        m_nDropsSeen = nDrops;
    }
}

int CVLSockShared::GetOpenCount()
{
    std::lock_guard<std::mutex> table(TableMutex());
    return static_cast<int>(Table().size());
}

void CVLSockShared::SetDestination(CVLSock* pSock, CVLSocketAddress& destination, uint32_t nAlsoFrom)
{
    uint32_t nAddress = AddressOf(destination);
    std::lock_guard<std::mutex> users(m_UsersMutex);
    auto it = m_Destinations.find(pSock);
    if (it != m_Destinations.end())
        it->second = std::make_pair(nAddress, nAlsoFrom);
}

void CVLSockShared::pushRecvData(const VLMDSOCK_RECV_DATA& data)
{
    // The system's drops, seen as the thread reads.
    {
        std::lock_guard<std::mutex> drops(DropMutex());
        countDrops();
    }
    CVLSocketAddress from = data.m_FromAddress;
    uint32_t nFrom = AddressOf(from);
    if (nFrom == 0)
        return;
    std::lock_guard<std::mutex> users(m_UsersMutex);
    for (const auto& entry : m_Destinations) {
        if (entry.second.first == nFrom || entry.second.second == nFrom)
            entry.first->pushRecvData(data);
    }
}

uint32_t CVLSockShared::AddressOf(CVLSocketAddress& address)
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
