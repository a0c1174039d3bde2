#include "base/net/VLNeighbourEntry.h"

#include "base/platform/VLPlatformNeighbours.h"

bool VLFindResolvedNeighbour(const unsigned char address[4], VLNeighbourEntry& entry)
{
    return VLPlatformFindResolvedNeighbour(address, entry.strLinkAddress, entry.strInterface);
}
