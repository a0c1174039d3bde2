// The computer's interfaces as the tests of the probe's local networks
// give them.
#ifndef LOCALINTERFACES_H
#define LOCALINTERFACES_H

#include <algorithm>
#include <string>
#include <vector>

#include "base/net/VLInterfaceAddress.h"

// Networks 10.1.0.0 ... 10.N.0.0, the computer holding address .1 of each
// on interface "vl1" ... "vlN", with nMaskBytes bytes of network mask (3:
// a /24, 2: a /16).
inline std::vector<VLInterfaceAddress> LocalInterfaces(int nNetworks, int nMaskBytes)
{
    std::vector<VLInterfaceAddress> addresses(static_cast<size_t>(nNetworks));
    for (int i = 0; i < nNetworks; ++i) {
        VLInterfaceAddress& a = addresses[static_cast<size_t>(i)];
        a.strName = a.strInterface = "vl" + std::to_string(i + 1);
        const unsigned char address[4] = {10, static_cast<unsigned char>(i + 1), 0, 1};
        for (int n = 0; n < 4; ++n)
            a.netmask[n] = n < nMaskBytes ? 255 : 0;
        std::copy(address, address + 4, a.address);
        a.bUp = true;
        a.bLoopback = false;
        a.bFirstOfInterface = true;
        a.nFlags = 0;
    }
    return addresses;
}

#endif
