// A socket instance with one socket per interface: multicast sent from both
// interfaces of a test host, replies taken from both through the receive
// threads, and multiSelect keeping the interface that heard the device. Two
// namespaces of the test's own, joined by two veth pairs.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <sched.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>
#include <thread>

#include "base/core/VLException.h"
#include "cm/VLCMApi.h"
#include "cm/VLModuleParamCollection.h"
#include "cm/VLProperty.h"
#include "cm/VLTarget.h"
#include "modules/sock/VLSock.h"
#include "tests/support/TestNetwork.h"

namespace {

const char kGroup[] = "239.255.77.77";
const int kDevicePort = 39123;
const char* const kDeviceAddresses[] = {"10.201.1.2", "10.201.2.2"};

// The device: joins the group on both interfaces, and once it has heard the
// request on both, answers "one" on the first and "two" on the second.
std::string RunDevice()
{
    int nFd = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(kDevicePort);
    if (bind(nFd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0)
        return "FAIL:bind";
    for (const char* szInterface : kDeviceAddresses) {
        ip_mreq request{};
        request.imr_multiaddr.s_addr = inet_addr(kGroup);
        request.imr_interface.s_addr = inet_addr(szInterface);
        if (setsockopt(nFd, IPPROTO_IP, IP_ADD_MEMBERSHIP, &request, sizeof(request)) != 0)
            return "FAIL:join";
    }
    sockaddr_in senders[2]{};
    bool bHeard[2] = {false, false};
    for (int nWaits = 0; nWaits < 100 && !(bHeard[0] && bHeard[1]); ++nWaits) {
        pollfd pfd{nFd, POLLIN, 0};
        if (poll(&pfd, 1, 100) <= 0)
            continue;
        char buf[512];
        sockaddr_in from{};
        socklen_t nLen = sizeof(from);
        if (recvfrom(nFd, buf, sizeof(buf), 0, reinterpret_cast<sockaddr*>(&from), &nLen) < 0)
            continue;
        int nNet = (ntohl(from.sin_addr.s_addr) >> 8) & 0xFF; // 10.201.<net>.1
        if (nNet == 1 || nNet == 2) {
            senders[nNet - 1] = from;
            bHeard[nNet - 1] = true;
        }
    }
    if (!(bHeard[0] && bHeard[1]))
        return "FAIL:not heard on both";
    sendto(nFd, "one", 3, 0, reinterpret_cast<sockaddr*>(&senders[0]), sizeof(senders[0]));
    sendto(nFd, "two", 3, 0, reinterpret_cast<sockaddr*>(&senders[1]), sizeof(senders[1]));
    close(nFd);
    return "ok";
}

std::string Text(CVLTarget* pTarget, const char* szPath)
{
    CVLProperty* p = pTarget->GetProperties()->GetProperty(szPath, false);
    if (p == nullptr)
        return "<none>";
    return p->GetType() == 17 ? p->GetSocketAddress().GetHost().GetString() : p->ToString("").GetString();
}

// The host under test: sends until the device answers, reads both answers,
// then keeps the interface of the last one. Returns what it saw.
std::string RunHost()
{
    std::string strResult;
    CVLCMApi api;
    try {
        CVLModuleController* pController = api.GetModuleController();
        pController->SetConst("socketMode", "multiSelect", nullptr, nullptr);
        pController->SetConst("castType", "multicast", nullptr, nullptr);
        pController->SetConst("toAddress", kGroup, nullptr, nullptr);
        pController->SetConst("toPort", std::to_string(kDevicePort).c_str(), nullptr, nullptr);
        pController->SetConst("bindAddressPath", "Net.Bind", nullptr, nullptr);
        pController->SetConst("fromAddressPath", "Net.From", nullptr, nullptr);
        pController->SetConst("timeout", "200", nullptr, nullptr);
        CVLTarget* pTarget = pController->CreateTarget();
        CVLModuleParamCollection params;
        params.SetController(pController);
        params.SetTarget(pTarget);
        CVLSock sock;
        sock.CreateInstance(nullptr, &params);
        sock.Open(VL_OPEN_WRITE);
        std::string strReplies, strLastFrom;
        VL_BYTE buf[512];
        for (int nTries = 0; nTries < 50 && strReplies.size() < 6; ++nTries) {
            if (strReplies.empty())
                sock.Write(reinterpret_cast<const VL_BYTE*>("probe"), 5);
            VL_SIZE_T n = sock.Read(buf, sizeof(buf));
            if (n > 0) {
                strReplies += std::string(reinterpret_cast<char*>(buf), n);
                strLastFrom = Text(pTarget, "Net.From");
            }
        }
        sock.SetLastPacketStatus(VLCM_PACKET_STATUS_ACCEPTED);
        // The interface that heard the last reply is kept: it is the one on
        // the device's network.
        std::string strBind = Text(pTarget, "Net.Bind");
        std::string strLast = strReplies.size() >= 6 ? strReplies.substr(3) : "";
        bool bConsistent = (strLast == "one" && strBind == "10.201.1.1" && strLastFrom == "10.201.1.2") ||
                           (strLast == "two" && strBind == "10.201.2.1" && strLastFrom == "10.201.2.2");
        bool bBoth = strReplies == "onetwo" || strReplies == "twoone";
        strResult = std::string(bBoth ? "both" : "replies:" + strReplies) + (bConsistent ? " kept" : " bind:" + strBind);
        sock.DestroyInstance(nullptr, &params);
        pTarget->Destroy(false);
    } catch (EVLException* e) {
        strResult = std::string("FAIL:") + e->ToString().GetString();
        e->Delete();
    }
    return strResult;
}

} // namespace

TEST(SockMultiTest, MulticastFromBothInterfacesAndTheAnsweringOneKept)
{
    std::string strWhy = CTestNetwork::Unavailable();
    if (!strWhy.empty())
        GTEST_SKIP() << strWhy;
    CTestNetwork net;
    ASSERT_TRUE(net.AddHost("host"));
    ASSERT_TRUE(net.AddHost("dev"));
    ASSERT_TRUE(net.Link("host", "va", {"10.201.1.1/24"}, "dev", "vb", {"10.201.1.2/24"}));
    ASSERT_TRUE(net.Link("host", "vc", {"10.201.2.1/24"}, "dev", "vd", {"10.201.2.2/24"}));
    // Both sides run in the one child process (the test program forks only
    // while it has a single thread): the device on a thread of its own that
    // has entered the device's namespace.
    std::string strDeviceNamespace = "/run/netns/" + net.Namespace("dev");
    std::string strResult = net.RunIn("host", [&]() {
        std::string strDevice = "FAIL:setns";
        std::thread device([&]() {
            int nFd = open(strDeviceNamespace.c_str(), O_RDONLY);
            if (nFd >= 0 && setns(nFd, CLONE_NEWNET) == 0)
                strDevice = RunDevice();
            if (nFd >= 0)
                close(nFd);
        });
        std::string strHost = RunHost();
        device.join();
        return strDevice + " " + strHost;
    });
    EXPECT_EQ("ok both kept", strResult);
}
