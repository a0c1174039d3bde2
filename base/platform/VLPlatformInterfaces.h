// The computer's IPv4 interface addresses as the kernel lists them.
#ifndef VLPLATFORMINTERFACES_H
#define VLPLATFORMINTERFACES_H

#include <string>
#include <vector>

struct VLPlatformIPv4Address
{
    std::string strName;        // the kernel's name of the entry, e.g. "eth0" or "eth0:1"
    std::string strInterface;   // the interface it belongs to: the name up to a ':' label
    unsigned char address[4];   // network order
    unsigned char netmask[4];   // network order; all zero when the kernel gave none
    bool bUp;                   // IFF_UP
    bool bLoopback;             // IFF_LOOPBACK
    bool bFirstOfInterface;     // the interface's first IPv4 address in the list
    unsigned int nFlags;        // the interface flags (IFF_*)
};

// Appends every IPv4 address of every interface, in the kernel's order. Returns
// false (and appends nothing) when the list cannot be read.
bool VLPlatformListIPv4Addresses(std::vector<VLPlatformIPv4Address>& list);

// Appends the broadcast links that are up without an IPv4 address, in the
// kernel's order, leaving out the ports of a bridge or bond (they carry
// their master's network). False when the list cannot be read.
bool VLPlatformListUnaddressedLinks(std::vector<std::string>& names);

#endif
