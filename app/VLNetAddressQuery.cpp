// Asks the network whether a host holds an address.
#include "app/VLNetAddressQuery.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

#include "app/VLNetSession.h"
#include "base/net/VLNeighbourEntry.h"
#include "base/net/VLSocketAddress.h"
#include "modules/vlpc/VLPCDefs.h"

namespace {
// How often the neighbour table is looked at while the wait runs.
const int kLookMilliseconds = 20;
const int kMillisecondsPerSecond = 1000;

// True when the datagram is a VLPC packet from the address's device port.
bool IsAnswer(const unsigned char* pData, ssize_t nLength, const sockaddr_in& from, const in_addr& address,
              unsigned short nPort)
{
    return nLength >= VLPC_HEADER_SIZE && memcmp(pData, VLPC_MAGIC, VLPC_MAGIC_LENGTH) == 0 &&
           from.sin_addr.s_addr == address.s_addr && ntohs(from.sin_port) == nPort;
}
}  // namespace

std::string CVLNetAddressQuery::FindHolder(const std::string& strAddress, const std::string& strRequest,
                                           unsigned short nPort, int nWaitMilliseconds)
{
    unsigned char bytes[4];
    if (!CVLSocketAddress::ParseDottedQuad(strAddress.c_str(), bytes))
        return std::string();
    in_addr address;
    memcpy(&address, bytes, sizeof(address));
    const int nSocket = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (nSocket >= 0 && !strRequest.empty()) {
        sockaddr_in to = {};
        to.sin_family = AF_INET;
        to.sin_port = htons(nPort);
        to.sin_addr = address;
        // A send that fails (no route) leaves the neighbour table to tell.
        (void)sendto(nSocket, strRequest.data(), strRequest.size(), 0, reinterpret_cast<const sockaddr*>(&to),
                     sizeof(to));
    }
    std::string strHolder;
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(nWaitMilliseconds);
    while (strHolder.empty() && !CVLNetSession::IsStopRequested()) {
        VLNeighbourEntry entry;
        if (VLFindResolvedNeighbour(bytes, entry)) {
            strHolder =
                "a host at link address " + entry.strLinkAddress + " on " + entry.strInterface + " answered for it";
            break;
        }
        const auto now = std::chrono::steady_clock::now();
        if (now >= end)
            break;
        const long nLeft = std::chrono::duration_cast<std::chrono::milliseconds>(end - now).count();
        const int nLook = static_cast<int>(std::min<long>(nLeft, kLookMilliseconds));
        if (nSocket < 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(nLook));
            continue;
        }
        pollfd wait = {nSocket, POLLIN, 0};
        if (poll(&wait, 1, nLook) <= 0)
            continue;
        unsigned char buffer[VLPC_PACKET_CAPACITY];
        sockaddr_in from = {};
        socklen_t nFrom = sizeof(from);
        ssize_t nLength;
        while ((nLength = recvfrom(nSocket, buffer, sizeof(buffer), 0, reinterpret_cast<sockaddr*>(&from), &nFrom)) >=
               0) {
            if (IsAnswer(buffer, nLength, from, address, nPort)) {
                strHolder = "a VLPC device answered a probe sent to it";
                break;
            }
            nFrom = sizeof(from);
        }
    }
    if (nSocket >= 0)
        close(nSocket);
    return strHolder;
}

std::string CVLNetAddressQuery::WaitText(int nWaitMilliseconds)
{
    return nWaitMilliseconds % kMillisecondsPerSecond == 0
               ? std::to_string(nWaitMilliseconds / kMillisecondsPerSecond) + " s"
               : std::to_string(nWaitMilliseconds) + " ms";
}
