#include "base/net/VLInterfaceAddress.h"

#include <cstring>

#include <net/if.h>

#include "base/platform/VLPlatformInterfaces.h"

bool VLListInterfaceAddresses(std::vector<VLInterfaceAddress>& list)
{
    std::vector<VLPlatformIPv4Address> entries;
    if (!VLPlatformListIPv4Addresses(entries))
        return false;
    for (const VLPlatformIPv4Address& e : entries) {
        VLInterfaceAddress a;
        a.strName = e.strName;
        a.strInterface = e.strInterface;
        memcpy(a.address, e.address, sizeof(a.address));
        memcpy(a.netmask, e.netmask, sizeof(a.netmask));
        a.bUp = e.bUp;
        a.bLoopback = e.bLoopback;
        a.bFirstOfInterface = e.bFirstOfInterface;
        a.nFlags = e.nFlags;
        list.push_back(a);
    }
    return true;
}

bool VLHasNoCarrier(const VLInterfaceAddress& entry)
{
    return entry.bUp && !entry.bLoopback && (entry.nFlags & IFF_UP) != 0 && (entry.nFlags & IFF_RUNNING) == 0;
}

bool VLListUnaddressedInterfaces(std::vector<std::string>& names)
{
    return VLPlatformListUnaddressedLinks(names);
}
