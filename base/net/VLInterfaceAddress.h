// The computer's IPv4 interface addresses, as the kernel lists them: what the
// socket layer's local address list and the device manager's search for
// local networks are built on.
#ifndef VLINTERFACEADDRESS_H
#define VLINTERFACEADDRESS_H

#include <string>
#include <vector>

struct VLInterfaceAddress
{
    std::string strName;        // the kernel's name of the entry, e.g. "eth0" or "eth0:1"
    std::string strInterface;   // the interface it belongs to: the name up to a ':' label
    unsigned char address[4];   // network order
    unsigned char netmask[4];   // network order; all zero when the kernel gave none
    bool bUp;                   // the interface is up
    bool bLoopback;             // a loopback interface
    bool bFirstOfInterface;     // the interface's first IPv4 address in the list
    unsigned int nFlags;        // the interface flags (IFF_*)
};

// True when the interface is up but has no carrier (a cable out, the other
// end of its link down): the kernel marks its network's route down, so
// nothing sent there arrives. An entry whose flags were not read (no IFF_UP
// among them) is taken to have carrier.
bool VLHasNoCarrier(const VLInterfaceAddress& entry);

// Appends every IPv4 address of every interface, in the kernel's order.
// Returns false (and appends nothing) when the list cannot be read.
bool VLListInterfaceAddresses(std::vector<VLInterfaceAddress>& list);

// Appends the interfaces that are up and could broadcast but have no IPv4
// address (not the ports of a bridge or bond, which carry their master's
// network), in the kernel's order. False when they cannot be read.
bool VLListUnaddressedInterfaces(std::vector<std::string>& names);

#endif
