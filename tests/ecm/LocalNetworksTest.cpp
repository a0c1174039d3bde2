// The computer's local networks as a probe sees them.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "base/core/VLCharset.h"
#include "base/core/VLString.h"
#include "ecm/VLECMLocalNetworks.h"

namespace {
VLInterfaceAddress Entry(const std::string& strInterface, unsigned char nSecond, unsigned char nMaskBits)
{
    VLInterfaceAddress a;
    a.strName = a.strInterface = strInterface;
    const unsigned char address[4] = {10, nSecond, 0, 1};
    std::copy(address, address + 4, a.address);
    for (int i = 0; i < 4; ++i) {
        int nBits = nMaskBits - 8 * i;
        a.netmask[i] = static_cast<unsigned char>(nBits >= 8 ? 0xFF : nBits <= 0 ? 0 : 0xFF << (8 - nBits));
    }
    a.bUp = true;
    a.bLoopback = false;
    a.bFirstOfInterface = true;
    a.nFlags = 0;
    return a;
}

CVLString Text(const char* sz)
{
    return CVLString(sz, VL_CHARSET_UTF8);
}

std::string Std(const CVLString& str)
{
    return str.GetBuffer() != nullptr ? str.GetBuffer() : "";
}
}  // namespace

// 10.0.0.0/8 holds 10.1.0.0/16: an address in both belongs to the
// narrower, whichever the interfaces list first; the rest of 10/8 to the
// wider.
TEST(ECMLocalNetworks, OverlappingNetworksGiveAnAddressTheNarrowest)
{
    const std::vector<std::vector<VLInterfaceAddress>> orders = {{Entry("vl8", 0, 8), Entry("vl16", 1, 16)},
                                                                 {Entry("vl16", 1, 16), Entry("vl8", 0, 8)}};
    for (const auto& addresses : orders) {
        CVLECMLocalNetworks networks;
        networks.Set(addresses);
        SCOPED_TRACE(addresses[0].strInterface + " first");
        EXPECT_EQ("10.1.0.0/16", Std(networks.GetNetwork(Text("10.1.2.3"))));
        EXPECT_EQ("10.1.255.255", Std(networks.GetDirectedBroadcast(Text("10.1.2.3"))));
        EXPECT_EQ("10.0.0.0/8", Std(networks.GetNetwork(Text("10.2.2.3"))));
        EXPECT_EQ("10.255.255.255", Std(networks.GetDirectedBroadcast(Text("10.2.2.3"))));
    }
}
