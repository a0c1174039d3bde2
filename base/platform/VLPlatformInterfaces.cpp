#include "base/platform/VLPlatformInterfaces.h"

#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstring>

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
