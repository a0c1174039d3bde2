#include "base/platform/VLPlatformSocket.h"

#include <linux/sock_diag.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

namespace {

// Raises the buffer nOption names, forced by nForceOption when the process may.
int RaiseBuffer(int nSocket, int nOption, int nForceOption, int nBytes)
{
    int nCurrent = 0;
    socklen_t nSize = sizeof(nCurrent);
    if (getsockopt(nSocket, SOL_SOCKET, nOption, &nCurrent, &nSize) != 0)
        return 0;
    // The system reports twice what was asked (its bookkeeping share).
    if (nCurrent >= 2 * static_cast<long long>(nBytes))
        return nCurrent;
    // Forcing needs CAP_NET_ADMIN; without it the plain request is capped
    // at the system's ceiling, which is all an ordinary user may have.
    bool bForced = geteuid() == 0 && setsockopt(nSocket, SOL_SOCKET, nForceOption, &nBytes, sizeof(nBytes)) == 0;
    if (!bForced)
        setsockopt(nSocket, SOL_SOCKET, nOption, &nBytes, sizeof(nBytes));
    nSize = sizeof(nCurrent);
    if (getsockopt(nSocket, SOL_SOCKET, nOption, &nCurrent, &nSize) != 0)
        return 0;
    return nCurrent;
}
}  // namespace

int VLPlatformRaiseRecvBuffer(int nSocket, int nBytes)
{
    return RaiseBuffer(nSocket, SO_RCVBUF, SO_RCVBUFFORCE, nBytes);
}

int VLPlatformRaiseSendBuffer(int nSocket, int nBytes)
{
    return RaiseBuffer(nSocket, SO_SNDBUF, SO_SNDBUFFORCE, nBytes);
}

bool VLPlatformEnableDropCount(int nSocket)
{
    int nOn = 1;
    return setsockopt(nSocket, SOL_SOCKET, SO_RXQ_OVFL, &nOn, sizeof(nOn)) == 0;
}

bool VLPlatformReadDropCount(int nSocket, unsigned long* pnDrops)
{
    uint32_t info[SK_MEMINFO_VARS];
    socklen_t nSize = sizeof(info);
    if (getsockopt(nSocket, SOL_SOCKET, SO_MEMINFO, info, &nSize) != 0 ||
        nSize < static_cast<socklen_t>(sizeof(uint32_t) * (SK_MEMINFO_DROPS + 1)))
        return false;
    *pnDrops = info[SK_MEMINFO_DROPS];
    return true;
}

int VLPlatformReceiveBatch(int nSocket, VLPLATFORM_DATAGRAM* pSlots, int nSlots, unsigned long* pnDrops)
{
    if (pSlots == nullptr || nSlots <= 0)
        return 0;
    if (nSlots > VLPLATFORM_MAX_BATCH)
        nSlots = VLPLATFORM_MAX_BATCH;
    struct mmsghdr headers[VLPLATFORM_MAX_BATCH];
    struct iovec vectors[VLPLATFORM_MAX_BATCH];
    alignas(struct cmsghdr) unsigned char control[VLPLATFORM_MAX_BATCH][CMSG_SPACE(sizeof(uint32_t))];
    std::memset(headers, 0, sizeof(headers[0]) * static_cast<size_t>(nSlots));
    for (int i = 0; i < nSlots; ++i) {
        vectors[i].iov_base = pSlots[i].pBuffer;
        vectors[i].iov_len = static_cast<size_t>(pSlots[i].nCapacity > 0 ? pSlots[i].nCapacity : 0);
        struct msghdr& msg = headers[i].msg_hdr;
        msg.msg_name = &pSlots[i].from;
        msg.msg_namelen = sizeof(pSlots[i].from);
        msg.msg_iov = &vectors[i];
        msg.msg_iovlen = 1;
        msg.msg_control = control[i];
        msg.msg_controllen = sizeof(control[i]);
    }
    int nReceived;
    do {
        nReceived = recvmmsg(nSocket, headers, static_cast<unsigned int>(nSlots), MSG_DONTWAIT, nullptr);
    } while (nReceived == -1 && errno == EINTR);
    if (nReceived == -1)
        return errno == EAGAIN || errno == EWOULDBLOCK ? 0 : -1;
    for (int i = 0; i < nReceived; ++i) {
        struct msghdr& msg = headers[i].msg_hdr;
        pSlots[i].nLength = static_cast<int>(headers[i].msg_len);
        pSlots[i].bTruncated = (msg.msg_flags & MSG_TRUNC) != 0;
        for (struct cmsghdr* p = CMSG_FIRSTHDR(&msg); p != nullptr; p = CMSG_NXTHDR(&msg, p)) {
            if (p->cmsg_level != SOL_SOCKET || p->cmsg_type != SO_RXQ_OVFL)
                continue;
            uint32_t nDrops = 0;
            std::memcpy(&nDrops, CMSG_DATA(p), sizeof(nDrops));
            if (pnDrops != nullptr && nDrops > *pnDrops)
                *pnDrops = nDrops;
        }
    }
    return nReceived;
}
