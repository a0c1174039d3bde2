// The computer's neighbour table: which link address answered for an
// address on a local network.
#ifndef VLNEIGHBOURENTRY_H
#define VLNEIGHBOURENTRY_H

#include <string>

struct VLNeighbourEntry
{
    std::string strLinkAddress;  // "02:00:0a:c9:03:0c"
    std::string strInterface;
};

// True when the table holds a resolved entry for the address (network
// order), filled in entry; false when it holds none (or none resolved yet,
// or it cannot be read).
bool VLFindResolvedNeighbour(const unsigned char address[4], VLNeighbourEntry& entry);

#endif
