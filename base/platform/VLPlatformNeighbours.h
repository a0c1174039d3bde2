// The kernel's IPv4 neighbour table (ARP), as this network namespace has it.
#ifndef VLPLATFORMNEIGHBOURS_H
#define VLPLATFORMNEIGHBOURS_H

#include <string>

// True when the table holds a resolved entry for the address (network
// order): a host answered for it (or it was entered by hand); its link
// address and interface are then set. False when there is none, it is not
// resolved (yet), or the table cannot be read.
bool VLPlatformFindResolvedNeighbour(const unsigned char address[4], std::string& strLinkAddress,
                                     std::string& strInterface);

#endif
