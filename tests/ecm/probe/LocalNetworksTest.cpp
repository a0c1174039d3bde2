// The computer's local networks as a probe sees them.
#include <gtest/gtest.h>
#include <net/if.h>

#include <algorithm>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "base/core/VLCharset.h"
#include "base/core/VLString.h"
#include "ecm/probe/VLECMHandOnQueue.h"
#include "ecm/probe/VLECMLocalNetworks.h"
#include "ecm/probe/VLECMMACTable.h"
#include "ecm/probe/VLECMReplyFilter.h"

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
        CVLECMLocalNetworks networks(addresses);
        SCOPED_TRACE(addresses[0].strInterface + " first");
        EXPECT_EQ("10.1.0.0/16", Std(networks.GetNetwork(Text("10.1.2.3"))));
        EXPECT_EQ("10.1.255.255", Std(networks.GetDirectedBroadcast(Text("10.1.2.3"))));
        EXPECT_EQ("10.0.0.0/8", Std(networks.GetNetwork(Text("10.2.2.3"))));
        EXPECT_EQ("10.255.255.255", Std(networks.GetDirectedBroadcast(Text("10.2.2.3"))));
    }
}

// An address lies on a local network by the one rule the directed
// broadcasts follow too: up, not a loopback, with a mask that leaves a
// network. A further address of an interface has its network as well
// (only the directed broadcasts take one address an interface).
TEST(ECMLocalNetworks, AnAddressUpWithANetworkGivesOne)
{
    VLInterfaceAddress down = Entry("vldown", 2, 24);
    down.bUp = false;
    VLInterfaceAddress loopback = Entry("lo", 3, 16);
    loopback.bLoopback = true;
    const VLInterfaceAddress host = Entry("vlhost", 4, 32);
    const VLInterfaceAddress none = Entry("vlnone", 5, 0);
    VLInterfaceAddress second = Entry("vl1", 6, 24);
    second.bFirstOfInterface = false;
    EXPECT_EQ(CVLECMLocalNetworks::ADDRESS_DOWN, CVLECMLocalNetworks::Judge(down));
    EXPECT_EQ(CVLECMLocalNetworks::ADDRESS_LOOPBACK, CVLECMLocalNetworks::Judge(loopback));
    EXPECT_EQ(CVLECMLocalNetworks::ADDRESS_NO_NETWORK, CVLECMLocalNetworks::Judge(host));
    EXPECT_EQ(CVLECMLocalNetworks::ADDRESS_NO_NETWORK, CVLECMLocalNetworks::Judge(none));
    EXPECT_EQ(CVLECMLocalNetworks::ADDRESS_NETWORK, CVLECMLocalNetworks::Judge(second));
    // Up without carrier, by the kernel's flags: its route is down too.
    VLInterfaceAddress unplugged = Entry("vlunplugged", 7, 24);
    unplugged.nFlags = IFF_UP | IFF_BROADCAST;
    EXPECT_EQ(CVLECMLocalNetworks::ADDRESS_DOWN, CVLECMLocalNetworks::Judge(unplugged));
    VLInterfaceAddress running = unplugged;
    running.nFlags |= IFF_RUNNING;
    EXPECT_EQ(CVLECMLocalNetworks::ADDRESS_NETWORK, CVLECMLocalNetworks::Judge(running));
    CVLECMLocalNetworks networks({down, loopback, host, none, second, unplugged});
    for (const char* szFrom : {"10.2.0.1", "10.3.0.1", "10.4.0.1", "10.5.0.1", "10.7.0.1"})
        EXPECT_EQ("", Std(networks.GetNetwork(Text(szFrom)))) << szFrom;
    EXPECT_EQ("10.6.0.0/24", Std(networks.GetNetwork(Text("10.6.0.9"))));
}

// 10.0.0.130/25 beside 10.0.0.1/24, as a further address of the interface
// or as the first of an interface listed after it: an address in the /25
// belongs to the /25, the rest to the /24, and the socket of their one
// directed broadcast is the interface's whose first address the probe
// registered it for (a further address is not, nor a later duplicate). A
// device a bound refused on the /25 is reported with that network and
// interface.
TEST(ECMLocalNetworks, AFurtherAddressGivesItsNetworkAndTheBroadcastsInterface)
{
    VLInterfaceAddress first = Entry("vl0", 0, 24);
    VLInterfaceAddress secondary = Entry("vl0", 0, 25);
    secondary.address[3] = 130;
    secondary.strName = "vl0:1";
    secondary.bFirstOfInterface = false;
    VLInterfaceAddress other = secondary;
    other.strName = other.strInterface = "vl1";
    other.bFirstOfInterface = true;
    // The /25 as a further address of an interface whose first address is
    // elsewhere, and the /24 on an interface after it.
    VLInterfaceAddress elsewhere = Entry("vl0", 1, 24);
    VLInterfaceAddress later = first;
    later.strName = later.strInterface = "vl1";
    // A further address in the very network of vl1's first, listed before it.
    VLInterfaceAddress sameNetwork = first;
    sameNetwork.address[3] = 2;
    sameNetwork.strName = "vl0:2";
    sameNetwork.bFirstOfInterface = false;
    const struct
    {
        std::vector<VLInterfaceAddress> addresses;
        const char* szInterface;
    } kRows[] = {{{first, secondary}, "vl0"},
                 {{first, other}, "vl0"},
                 {{elsewhere, secondary, later}, "vl1"},
                 {{elsewhere, sameNetwork, secondary, later}, "vl1"}};
    const std::map<CVLString, CVLString> receivers = {{Text("Probe.VLPC_LocalNetworkDBC_1"), Text("10.0.0.255")}};
    for (const auto& row : kRows) {
        SCOPED_TRACE(row.addresses[1].strName + " second, " + std::to_string(row.addresses.size()) + " addresses");
        auto pNetworks = std::make_shared<const CVLECMLocalNetworks>(row.addresses, receivers);
        EXPECT_EQ("10.0.0.128/25", Std(pNetworks->GetNetwork(Text("10.0.0.140"))));
        EXPECT_EQ("10.0.0.0/24", Std(pNetworks->GetNetwork(Text("10.0.0.5"))));
        EXPECT_EQ(row.szInterface, Std(pNetworks->GetReceiverInterface(Text("VLPC_LocalNetworkDBC_1"))));

        CVLECMMACTable table;
        CVLECMHandOnQueue records(&table);
        CVLECMReplyFilter filter(records, table);
        filter.SetLocalNetworks(pNetworks);
        filter.SetDeviceBound(1);
        EXPECT_TRUE(filter.Admit(Text("0026AB000001"), Text("10.0.0.140"), 1, nullptr, Text("VLPC_LocalNetworkDBC_1")));
        EXPECT_FALSE(
            filter.Admit(Text("0026AB000002"), Text("10.0.0.141"), 1, nullptr, Text("VLPC_LocalNetworkDBC_1")));
        std::vector<SVLECMBoundReport> reports = filter.GetBoundReports();
        ASSERT_EQ(1u, reports.size());
        EXPECT_EQ("10.0.0.128/25", Std(reports[0].strNetwork));
        ASSERT_EQ(1u, reports[0].interfaces.size());
        EXPECT_EQ(row.szInterface, Std(reports[0].interfaces[0]));
        EXPECT_FALSE(reports[0].bMayBeForged);
    }
}
