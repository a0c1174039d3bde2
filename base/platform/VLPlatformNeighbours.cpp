#include "base/platform/VLPlatformNeighbours.h"

#include <arpa/inet.h>
#include <net/if_arp.h>

#include <cstdio>
#include <cstring>

namespace {
const char kArpTable[] = "/proc/net/arp";
// Longer lines than the table's are not its and are skipped whole.
const size_t kLineBytes = 256;
}  // namespace

bool VLPlatformFindResolvedNeighbour(const unsigned char address[4], std::string& strLinkAddress,
                                     std::string& strInterface)
{
    FILE* pFile = fopen(kArpTable, "re");
    if (pFile == nullptr)
        return false;
    char line[kLineBytes];
    bool bFound = false;
    // The first line names the columns.
    bool bHeader = true;
    while (!bFound && fgets(line, sizeof(line), pFile) != nullptr) {
        if (bHeader || strchr(line, '\n') == nullptr) {
            bHeader = false;
            continue;
        }
        char szIP[32], szType[16], szLink[64], szMask[32], szDevice[32];
        unsigned int nFlags = 0;
        if (sscanf(line, "%31s %15s %x %63s %31s %31s", szIP, szType, &nFlags, szLink, szMask, szDevice) != 6)
            continue;
        struct in_addr entry;
        if (inet_pton(AF_INET, szIP, &entry) != 1 || memcmp(&entry, address, sizeof(entry)) != 0 ||
            (nFlags & ATF_COM) == 0)
            continue;
        strLinkAddress = szLink;
        strInterface = szDevice;
        bFound = true;
    }
    fclose(pFile);
    return bFound;
}
