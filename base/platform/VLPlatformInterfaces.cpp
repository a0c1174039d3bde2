#include "base/platform/VLPlatformInterfaces.h"

#include <ifaddrs.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cstring>
#include <set>

bool VLPlatformListIPv4Addresses(std::vector<VLPlatformIPv4Address>& list)
{
    struct ifaddrs* pFirst = nullptr;
    if (getifaddrs(&pFirst) != 0)
        return false;
    std::vector<VLPlatformIPv4Address> found;
    for (struct ifaddrs* p = pFirst; p != nullptr; p = p->ifa_next) {
        if (p->ifa_addr == nullptr || p->ifa_addr->sa_family != AF_INET || p->ifa_name == nullptr)
            continue;
        VLPlatformIPv4Address entry;
        entry.strName = p->ifa_name;
        entry.strInterface = entry.strName.substr(0, entry.strName.find(':'));
        const sockaddr_in* pAddr = reinterpret_cast<const sockaddr_in*>(p->ifa_addr);
        std::memcpy(entry.address, &pAddr->sin_addr, 4);
        std::memset(entry.netmask, 0, 4);
        if (p->ifa_netmask != nullptr && p->ifa_netmask->sa_family == AF_INET) {
            const sockaddr_in* pMask = reinterpret_cast<const sockaddr_in*>(p->ifa_netmask);
            std::memcpy(entry.netmask, &pMask->sin_addr, 4);
        }
        entry.bUp = (p->ifa_flags & IFF_UP) != 0;
        entry.bLoopback = (p->ifa_flags & IFF_LOOPBACK) != 0;
        entry.nFlags = p->ifa_flags;
        entry.bFirstOfInterface = true;
        for (const VLPlatformIPv4Address& earlier : found) {
            if (earlier.strInterface == entry.strInterface) {
                entry.bFirstOfInterface = false;
                break;
            }
        }
        found.push_back(entry);
    }
    freeifaddrs(pFirst);
    list.insert(list.end(), found.begin(), found.end());
    return true;
}

namespace {
// Room for one read of the kernel's link table, and how long a read of it
// may wait.
const size_t kLinkTableBytes = 32768;
const long kLinkTableWaitMicroseconds = 500000;

// NLMSG_OK, without its comparison of a signed length with the header's
// unsigned one.
bool MessageFits(const struct nlmsghdr* pHeader, int nLeft)
{
    return nLeft >= static_cast<int>(sizeof(struct nlmsghdr)) && pHeader->nlmsg_len >= sizeof(struct nlmsghdr) &&
           pHeader->nlmsg_len <= static_cast<unsigned int>(nLeft);
}

// The links that are a port of a bridge or bond (they carry their
// master's network), read from the kernel's link table of this process's
// network namespace; none when it cannot be read.
std::set<std::string> PortLinks()
{
    std::set<std::string> ports;
    const int fd = socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE);
    if (fd < 0)
        return ports;
    struct timeval wait = {0, kLinkTableWaitMicroseconds};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof(wait));
    struct
    {
        struct nlmsghdr header;
        struct ifinfomsg info;
    } request = {};
    request.header.nlmsg_len = sizeof(request);
    request.header.nlmsg_type = RTM_GETLINK;
    request.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
    request.header.nlmsg_seq = 1;
    request.info.ifi_family = AF_UNSPEC;
    std::vector<char> buffer(kLinkTableBytes);
    bool bDone = send(fd, &request, sizeof(request), 0) < 0;
    while (!bDone) {
        const ssize_t nRead = recv(fd, buffer.data(), buffer.size(), 0);
        if (nRead <= 0)
            break;
        int nLeft = static_cast<int>(nRead);
        for (struct nlmsghdr* pHeader = reinterpret_cast<struct nlmsghdr*>(buffer.data()); MessageFits(pHeader, nLeft);
             pHeader = NLMSG_NEXT(pHeader, nLeft)) {
            if (pHeader->nlmsg_type == NLMSG_DONE || pHeader->nlmsg_type == NLMSG_ERROR) {
                bDone = true;
                break;
            }
            if (pHeader->nlmsg_type != RTM_NEWLINK)
                continue;
            struct ifinfomsg* pInfo = static_cast<struct ifinfomsg*>(NLMSG_DATA(pHeader));
            int nAttributes = static_cast<int>(IFLA_PAYLOAD(pHeader));
            std::string strName;
            bool bPort = false;
            for (struct rtattr* pAttribute = IFLA_RTA(pInfo); RTA_OK(pAttribute, nAttributes);
                 pAttribute = RTA_NEXT(pAttribute, nAttributes)) {
                const char* pData = static_cast<const char*>(RTA_DATA(pAttribute));
                if (pAttribute->rta_type == IFLA_IFNAME)
                    strName.assign(pData, strnlen(pData, RTA_PAYLOAD(pAttribute)));
                else if (pAttribute->rta_type == IFLA_MASTER)
                    bPort = true;
            }
            if (bPort && !strName.empty())
                ports.insert(strName);
        }
    }
    close(fd);
    return ports;
}
}  // namespace

bool VLPlatformListUnaddressedLinks(std::vector<std::string>& names)
{
    struct ifaddrs* pList = nullptr;
    if (getifaddrs(&pList) != 0)
        return false;
    const std::set<std::string> ports = PortLinks();
    std::set<std::string> addressed;
    for (const struct ifaddrs* p = pList; p != nullptr; p = p->ifa_next) {
        if (p->ifa_addr != nullptr && p->ifa_addr->sa_family == AF_INET)
            addressed.insert(p->ifa_name);
    }
    for (const struct ifaddrs* p = pList; p != nullptr; p = p->ifa_next) {
        // Each link once (its packet entry); a port of a bridge or bond
        // carries its master's network, not one of its own.
        const unsigned int nFlags = p->ifa_flags;
        if (p->ifa_addr == nullptr || p->ifa_addr->sa_family != AF_PACKET || (nFlags & IFF_UP) == 0 ||
            (nFlags & IFF_LOOPBACK) != 0 || (nFlags & IFF_BROADCAST) == 0 || addressed.count(p->ifa_name) != 0 ||
            ports.count(p->ifa_name) != 0)
            continue;
        names.push_back(p->ifa_name);
    }
    freeifaddrs(pList);
    return true;
}
