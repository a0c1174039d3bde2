// The socket calls only Linux has: batched reads (recvmmsg), the count of
// datagrams the system dropped for a full buffer (SO_RXQ_OVFL), and receive
// and send buffers beyond the system's default ceiling (SO_RCVBUFFORCE,
// SO_SNDBUFFORCE).
#ifndef VLPLATFORMSOCKET_H
#define VLPLATFORMSOCKET_H

#include <netinet/in.h>

// The most datagrams one batched system call reads; a larger batch is read
// in several calls.
const int VLPLATFORM_MAX_BATCH = 64;

// One slot of a batched read: the caller's buffer, and what arrived in it.
struct VLPLATFORM_DATAGRAM
{
    unsigned char* pBuffer = nullptr;
    int nCapacity = 0;
    int nLength = 0;          // bytes received (at most nCapacity)
    bool bTruncated = false;  // the datagram was longer than the buffer
    sockaddr_in from;
};

// Asks for a receive buffer of nBytes: forced past the system's ceiling when
// the process may, else as far as the ceiling allows; never lowered. Returns
// the size the system reports afterwards (0 when it cannot be read).
int VLPlatformRaiseRecvBuffer(int nSocket, int nBytes);
// The same for the send buffer.
int VLPlatformRaiseSendBuffer(int nSocket, int nBytes);

// Has every received datagram carry the socket's drop count; false when the
// system refuses.
bool VLPlatformEnableDropCount(int nSocket);

// Reads the socket's drop count as it is now (SO_MEMINFO): also the drops
// no datagram queued since has carried. False when the system cannot say.
bool VLPlatformReadDropCount(int nSocket, unsigned long* pnDrops);

// Reads up to nSlots queued datagrams without waiting. Returns how many, 0
// when none was queued, -1 with errno on a failure. *pnDrops is raised to the
// largest drop count carried (it stays as it was without one).
int VLPlatformReceiveBatch(int nSocket, VLPLATFORM_DATAGRAM* pSlots, int nSlots, unsigned long* pnDrops);

#endif
