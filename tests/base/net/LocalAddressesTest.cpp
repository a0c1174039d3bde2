// The local interface list, read inside a network namespace of the test's
// own with dummy interfaces (veth pairs where the kernel has no dummy
// driver).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/NeedsNamespaces.h"
#include "tests/support/TestNetwork.h"
#include "tests/support/TestSupport.h"
#include "base/core/VLCommunicationException.h"
#include "base/platform/VLPlatformInterfaces.h"
#include "base/net/VLSocket.h"
#include "base/net/VLSocketAddress.h"

namespace {

std::string Join(const std::vector<CVLSocketAddress>& list)
{
    std::string s;
    for (const CVLSocketAddress& a : list)
        s += Bytes(a.GetHost()) + " ";
    return s;
}

#define CHECK_RESULT(result)                      \
    do {                                          \
        if ((result).compare(0, 5, "SKIP:") == 0) \
            VL_NO_NAMESPACES((result).substr(5)); \
    } while (0)

}  // namespace

TEST(LocalAddresses, OnlyLoopbackListsNothing)
{
    std::string strResult = RunInNamespace({}, [] {
        std::vector<CVLSocketAddress> list;
        CVLSocketAddress::GetLocalAddresses(list);
        return "[" + Join(list) + "]";
    });
    CHECK_RESULT(strResult);
    EXPECT_EQ(strResult, "[]");
}

TEST(LocalAddresses, SubnetsSecondaryAndDown)
{
    std::vector<std::string> commands = {
        "ip addr add 127.0.0.2/8 dev lo",  // only the text 127.0.0.1 is dropped; lo's first stays 127.0.0.1
        "ip link add vlt0 type dummy || ip link add vlt0 type veth peer name vlt0p",
        "ip addr add 10.1.0.5/24 dev vlt0",
        "ip addr add 10.1.0.6/24 dev vlt0",               // secondary
        "ip addr add 10.9.0.1/16 dev vlt0 label vlt0:1",  // labelled alias of the same interface
        "ip link set vlt0 up",
        "ip link add vlt1 type dummy || ip link add vlt1 type veth peer name vlt1p",
        "ip addr add 172.16.5.1/12 dev vlt1",
        "ip link set vlt1 up",
        "ip link add vlt2 type dummy || ip link add vlt2 type veth peer name vlt2p",
        "ip addr add 192.168.77.9/24 dev vlt2",  // stays down
    };
    std::string strResult = RunInNamespace(commands, [] {
        std::vector<CVLSocketAddress> list;
        CVLSocketAddress::GetLocalAddresses(list);
        std::string s = "[" + Join(list) + "]";
        // A second call on the same list appends nothing new but "0.0.0.0" is
        // already there too, so nothing at all.
        CVLSocketAddress::GetLocalAddresses(list);
        s += "[" + Join(list) + "]";
        // An entry already in the list stays and takes part in the test.
        std::vector<CVLSocketAddress> preset;
        preset.push_back(CVLSocketAddress(0, "172.16.5.1", 0));
        CVLSocketAddress::GetLocalAddresses(preset);
        s += "[" + Join(preset) + "]";
        // The raw entries: masks, flags, labels.
        std::vector<VLPlatformIPv4Address> entries;
        VLPlatformListIPv4Addresses(entries);
        for (const VLPlatformIPv4Address& e : entries) {
            char sz[128];
            snprintf(sz, sizeof(sz), "%s/%s/%d.%d.%d.%d/%d.%d.%d.%d/%c%c ", e.strName.c_str(),
                     e.strInterface.c_str(), e.address[0], e.address[1], e.address[2], e.address[3],
                     e.netmask[0], e.netmask[1], e.netmask[2], e.netmask[3], e.bUp ? 'u' : 'd',
                     e.bFirstOfInterface ? 'f' : 's');
            s += sz;
        }
        // The directed broadcast of each subnet.
        CVLSocketAddress b(0, "172.16.5.1", 0);
        b.MakeBroadcastAddress("255.240.0.0");
        s += "|" + Bytes(b.GetHost());
        return s;
    });
    CHECK_RESULT(strResult);
    EXPECT_EQ(strResult.substr(0, strResult.find("][") + 1),
              "[10.1.0.5 172.16.5.1 192.168.77.9 0.0.0.0 ]");
    std::string strRest = strResult.substr(strResult.find("][") + 1);
    EXPECT_EQ(strRest.substr(0, strRest.find("lo/")),
              "[10.1.0.5 172.16.5.1 192.168.77.9 0.0.0.0 ][172.16.5.1 10.1.0.5 192.168.77.9 0.0.0.0 ]");
    EXPECT_NE(strResult.find("lo/lo/127.0.0.1/255.0.0.0/uf lo/lo/127.0.0.2/255.0.0.0/us "), std::string::npos)
        << strResult;
    EXPECT_NE(strResult.find("vlt0/vlt0/10.1.0.5/255.255.255.0/uf "), std::string::npos) << strResult;
    EXPECT_NE(strResult.find("vlt0/vlt0/10.1.0.6/255.255.255.0/us "), std::string::npos) << strResult;
    EXPECT_NE(strResult.find("vlt0:1/vlt0/10.9.0.1/255.255.0.0/us "), std::string::npos) << strResult;
    EXPECT_NE(strResult.find("vlt2/vlt2/192.168.77.9/255.255.255.0/df "), std::string::npos) << strResult;
    EXPECT_NE(strResult.find("|172.31.255.255"), std::string::npos) << strResult;
}

// The limited broadcast goes out once through each LAN interface and never
// into a point-to-point link (a tun device, as a VPN makes); a send the
// system refuses (no SO_BROADCAST: EACCES on each) is a failure, not a send.
TEST(LocalAddresses, TheLimitedBroadcastGoesOnlyIntoLANs)
{
    if (access("/dev/net/tun", R_OK | W_OK) != 0)
        VL_NO_NAMESPACES("needs /dev/net/tun for a point-to-point interface");
    std::vector<std::string> commands = {
        "ip link set lo up",
        "ip link add vla type veth peer name vlb",
        "ip addr add 10.77.1.1/24 dev vla",
        "ip link set vla up",
        "ip link set vlb up",
        "ip tuntap add dev vlt mode tun",
        "ip addr add 10.77.2.1/24 dev vlt",
        "ip link set vlt up",
    };
    std::string strResult = RunInNamespace(commands, [] {
        std::string s;
        CVLSocketAddress to(0, "255.255.255.255", 9);
        for (bool bBroadcast : {true, false}) {
            CVLSocket socket;
            socket.Create(0, 0, 0);
            socket.Bind(nullptr);
            socket.SetBroadcast(1, bBroadcast);
            try {
                s += "sent " + std::to_string(socket.SendToEachInterface("x", 1, to)) + ";";
            } catch (EVLCommunicationException* e) {
                s += "refused " + std::to_string(e->GetSystemErrorCode()) + ";";
                e->Delete();
            }
            socket.Close();
        }
        return s;
    });
    CHECK_RESULT(strResult);
    EXPECT_EQ(strResult, "sent 1;refused 13;");
}
