// How the computer's networks are named to a user (CVLECM::IsOnLocalNetwork,
// which vlnet quotes when it refuses an address), read from real interfaces
// with several addresses each, inside a network namespace of the test's own.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/core/VLCharset.h"
#include "ecm/VLECM.h"
#include "tests/support/NeedsNamespaces.h"
#include "tests/support/TestNetwork.h"

namespace {
// Whether the address is on a local network, and every network's name.
std::string Networks(const char* szAddress)
{
    std::vector<std::string> names;
    std::string strResult = CVLECM::IsOnLocalNetwork(CVLString(szAddress, VL_CHARSET_UTF8), names) ? "on" : "off";
    for (const std::string& strName : names)
        strResult += "|" + strName;
    return strResult;
}
}  // namespace

// vlt1, made first, holds 10.2.0.1/24 and, as a further address, 10.1.0.7/24;
// vlt0 holds 10.1.0.5/24 first, a secondary 10.1.0.6/24 and a labelled
// 10.9.0.1/16. Each network is named once, by its network address, and
// after the interface whose first address is on it (the one the probe sends
// its directed broadcast for), never a label.
TEST(ECMLocalNetworksNaming, ANetworkIsNamedAfterTheInterfaceOfItsPrimaryAddress)
{
    const std::vector<std::string> commands = {
        "ip link add vlt1 type dummy || ip link add vlt1 type veth peer name vlt1p",
        "ip addr add 10.2.0.1/24 dev vlt1",
        "ip addr add 10.1.0.7/24 dev vlt1",
        "ip link set vlt1 up",
        "ip link set vlt1p up 2>/dev/null || true",
        "ip link add vlt0 type dummy || ip link add vlt0 type veth peer name vlt0p",
        "ip addr add 10.1.0.5/24 dev vlt0",
        "ip addr add 10.1.0.6/24 dev vlt0",
        "ip addr add 10.9.0.1/16 dev vlt0 label vlt0:1",
        "ip link set vlt0 up",
        "ip link set vlt0p up 2>/dev/null || true",
    };
    std::string strResult = RunInNamespace(commands, [] {
        std::string s;
        for (const char* szAddress : {"10.1.0.200", "10.9.200.1", "10.3.0.1"})
            s += std::string(szAddress) + ":" + Networks(szAddress) + "\n";
        return s;
    });
    if (strResult.compare(0, 5, "SKIP:") == 0)
        VL_NO_NAMESPACES(strResult.substr(5));
    const std::string strNames = "|10.2.0.0/24 (vlt1)|10.1.0.0/24 (vlt0)|10.9.0.0/16 (vlt0)\n";
    EXPECT_EQ("10.1.0.200:on" + strNames + "10.9.200.1:on" + strNames + "10.3.0.1:off" + strNames, strResult);
}
