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

#include <algorithm>
#include <atomic>
#include <cstring>
#include <initializer_list>
#include <string>
#include <thread>
#include <utility>

#include "base/core/VLException.h"
#include "cm/VLCMApi.h"
#include "cm/VLModuleController.h"
#include "cm/VLModuleParamCollection.h"
#include "cm/VLProperty.h"
#include "cm/VLTarget.h"
#include "modules/sock/VLSock.h"
#include "tests/support/NeedsNamespaces.h"
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

// Sets the socket instance's constants, name and value, in order.
void SetConsts(CVLModuleController* pController, std::initializer_list<std::pair<const char*, std::string>> consts)
{
    for (const auto& c : consts)
        pController->SetConst(c.first, c.second.c_str(), nullptr, nullptr);
}

std::string Text(CVLTarget* pTarget, const char* szPath)
{
    CVLProperty* p = pTarget->GetProperties()->GetProperty(szPath, false);
    if (p == nullptr)
        return "<none>";
    return p->GetType() == VL_VARIANT_TYPE_SOCKET_ADDRESS ? p->GetSocketAddress().GetHost().GetString()
                                                          : p->ToString("").GetString();
}

// The host under test: sends until the device answers, reads both answers,
// then keeps the interface of the last one. Returns what it saw.
std::string RunHost()
{
    std::string strResult;
    CVLCMApi api;
    try {
        CVLModuleController* pController = api.GetModuleController();
        SetConsts(pController, {{"socketMode", "multiSelect"},
                                {"castType", "multicast"},
                                {"toAddress", kGroup},
                                {"toPort", std::to_string(kDevicePort)},
                                {"bindAddressPath", "Net.Bind"},
                                {"fromAddressPath", "Net.From"},
                                {"timeout", "200"}});
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

// Runs the device on a thread that has entered the device's namespace, and
// the host's side on the calling thread, both in one child process inside
// the host's namespace (the test program forks only while it has a single
// thread). Returns "<device> <host>".
std::string RunPair(CTestNetwork& net, std::string (*pfnDevice)(), std::string (*pfnHost)())
{
    std::string strDeviceNamespace = "/run/netns/" + net.Namespace("dev");
    return net.RunIn("host", [&]() {
        std::string strDevice = "FAIL:setns";
        std::thread device([&]() {
            int nFd = open(strDeviceNamespace.c_str(), O_RDONLY);
            if (nFd >= 0 && setns(nFd, CLONE_NEWNET) == 0)
                strDevice = pfnDevice();
            if (nFd >= 0)
                close(nFd);
        });
        std::string strHost = pfnHost();
        device.join();
        return strDevice + " " + strHost;
    });
}

// The device for the broadcast case: answers the first datagram with "ack"
// and reports the TTL it arrived with.
std::string RunBroadcastDevice()
{
    int nFd = socket(AF_INET, SOCK_DGRAM, 0);
    int nOn = 1;
    setsockopt(nFd, IPPROTO_IP, IP_RECVTTL, &nOn, sizeof(nOn));
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(kDevicePort);
    if (bind(nFd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0)
        return "FAIL:bind";
    for (int nWaits = 0; nWaits < 100; ++nWaits) {
        pollfd pfd{nFd, POLLIN, 0};
        if (poll(&pfd, 1, 100) <= 0)
            continue;
        char buf[512];
        char control[256];
        sockaddr_in from{};
        iovec iov{buf, sizeof(buf)};
        msghdr msg{};
        msg.msg_name = &from;
        msg.msg_namelen = sizeof(from);
        msg.msg_iov = &iov;
        msg.msg_iovlen = 1;
        msg.msg_control = control;
        msg.msg_controllen = sizeof(control);
        if (recvmsg(nFd, &msg, 0) < 0)
            continue;
        int nTTL = -1;
        for (cmsghdr* c = CMSG_FIRSTHDR(&msg); c != nullptr; c = CMSG_NXTHDR(&msg, c)) {
            if (c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_TTL)
                std::memcpy(&nTTL, CMSG_DATA(c), sizeof(nTTL));
        }
        sendto(nFd, "ack", 3, 0, reinterpret_cast<sockaddr*>(&from), sizeof(from));
        close(nFd);
        return "ttl=" + std::to_string(nTTL);
    }
    close(nFd);
    return "FAIL:nothing heard";
}

// Multi mode, broadcast: one socket on the any address, with SO_BROADCAST
// (else the directed broadcast would be refused) and the TTL in effect.
std::string RunBroadcastHost()
{
    std::string strResult = "no ack";
    CVLCMApi api;
    try {
        CVLModuleController* pController = api.GetModuleController();
        SetConsts(pController, {{"socketMode", "multi"},
                                {"castType", "broadcast"},
                                {"TTL", "7"},
                                {"toAddress", "10.201.1.255"},
                                {"toPort", std::to_string(kDevicePort)},
                                {"timeout", "200"}});
        CVLModuleParamCollection params;
        params.SetController(pController);
        CVLSock sock;
        sock.CreateInstance(nullptr, &params);
        sock.Open(VL_OPEN_WRITE);
        VL_BYTE buf[512];
        for (int nTries = 0; nTries < 20; ++nTries) {
            sock.Write(reinterpret_cast<const VL_BYTE*>("b"), 1);
            try {
                if (sock.Read(buf, sizeof(buf)) == 3) {
                    strResult = "acked";
                    break;
                }
            } catch (EVLException* e) {
                e->Delete();
            }
        }
        sock.DestroyInstance(nullptr, &params);
    } catch (EVLException* e) {
        strResult = std::string("FAIL:") + e->ToString().GetString();
        e->Delete();
    }
    return strResult;
}

// The flooding device: once it hears the host on the first network, sends
// it ten thousand datagrams.
std::string RunFloodDevice()
{
    int nFd = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(kDevicePort);
    if (bind(nFd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0)
        return "FAIL:bind";
    ip_mreq request{};
    request.imr_multiaddr.s_addr = inet_addr(kGroup);
    request.imr_interface.s_addr = inet_addr(kDeviceAddresses[0]);
    setsockopt(nFd, IPPROTO_IP, IP_ADD_MEMBERSHIP, &request, sizeof(request));
    for (int nWaits = 0; nWaits < 100; ++nWaits) {
        pollfd pfd{nFd, POLLIN, 0};
        if (poll(&pfd, 1, 100) <= 0)
            continue;
        char buf[512];
        sockaddr_in from{};
        socklen_t nLen = sizeof(from);
        if (recvfrom(nFd, buf, sizeof(buf), 0, reinterpret_cast<sockaddr*>(&from), &nLen) < 0)
            continue;
        char data[64] = {1};
        for (int i = 0; i < 10000; ++i) {
            sendto(nFd, data, sizeof(data), 0, reinterpret_cast<sockaddr*>(&from), sizeof(from));
            if (i % 50 == 49)
                usleep(1000); // let the receive thread keep up, so the queue fills
        }
        close(nFd);
        return "flooded";
    }
    close(nFd);
    return "FAIL:nothing heard";
}

// Starts the receive threads, provokes the flood and does not read: the
// queue stays bounded, counts its drops and is emptied by Close.
std::string RunFloodHost()
{
    std::string strResult;
    CVLCMApi api;
    try {
        CVLModuleController* pController = api.GetModuleController();
        SetConsts(pController, {{"socketMode", "multi"},
                                {"castType", "multicast"},
                                {"toAddress", kGroup},
                                {"toPort", std::to_string(kDevicePort)},
                                {"timeout", "50"}});
        CVLModuleParamCollection params;
        params.SetController(pController);
        CVLSock sock;
        sock.CreateInstance(nullptr, &params);
        sock.Open(VL_OPEN_WRITE);
        VL_BYTE buf[512];
        sock.Read(buf, sizeof(buf)); // starts the receive threads
        int nMaxQueued = 0;
        unsigned long nSeen = 0;
        for (int nStill = 0, nPolls = 0; nPolls < 200 && nStill < 10; ++nPolls) {
            if (nSeen == 0)
                sock.Write(reinterpret_cast<const VL_BYTE*>("go"), 2);
            usleep(50 * 1000);
            int nQueued = sock.GetQueuedDatagramCount();
            nMaxQueued = std::max(nMaxQueued, nQueued);
            unsigned long nNow = nQueued + sock.GetDroppedDatagramCount();
            nStill = nNow == nSeen && nNow > 0 ? nStill + 1 : 0;
            nSeen = nNow;
        }
        bool bBounded = nMaxQueued <= 1024 && nSeen > 1024 && sock.GetDroppedDatagramCount() == nSeen - 1024;
        sock.Close();
        strResult = std::string(bBounded ? "bounded" : "max=" + std::to_string(nMaxQueued) + " seen=" +
                                                          std::to_string(nSeen)) +
                    (sock.GetQueuedDatagramCount() == 0 ? " emptied" : " kept");
        sock.DestroyInstance(nullptr, &params);
    } catch (EVLException* e) {
        strResult = std::string("FAIL:") + e->ToString().GetString();
        e->Delete();
    }
    return strResult;
}

// Multi mode with only the loopback: no address to bind, no socket.
std::string RunLoopbackOnlyHost()
{
    CVLCMApi api;
    CVLModuleController* pController = api.GetModuleController();
    SetConsts(pController, {{"socketMode", "multi"}, {"castType", "multicast"}});
    CVLModuleParamCollection params;
    params.SetController(pController);
    CVLSock sock;
    sock.CreateInstance(nullptr, &params);
    sock.Open(VL_OPEN_WRITE);
    std::string strResult = sock.IsOpen() ? "open" : "closed";
    sock.DestroyInstance(nullptr, &params);
    return strResult;
}

// A reader waits on the receive threads' queue with a read time-out of ten
// minutes; Close from another thread must wake it, not leave it (and the
// close, which waits for it) to the time-out.
std::string RunCloseWakesQueueReaderHost()
{
    // On the heap: when the reader is not woken, they are left as they are,
    // so that the child reports at once instead of waiting in their
    // destructors for the reader's 600 s time-out.
    auto* pApi = new CVLCMApi;
    CVLModuleController* pController = pApi->GetModuleController();
    SetConsts(pController, {{"socketMode", "multi"},
                            {"castType", "multicast"},
                            {"toAddress", kGroup},
                            {"toPort", std::to_string(kDevicePort)},
                            {"timeout", "600000"}});
    auto* pParams = new CVLModuleParamCollection;
    pParams->SetController(pController);
    auto* pSock = new CVLSock;
    pSock->CreateInstance(nullptr, pParams);
    pSock->Open(VL_OPEN_WRITE);
    auto* pReturned = new std::atomic<bool>(false);
    std::thread reader([pSock, pReturned]() {
        VL_BYTE buf[512];
        try {
            pSock->Read(buf, sizeof(buf));
        } catch (EVLException* e) {
            e->Delete();
        }
        *pReturned = true;
    });
    // Let the reader reach its wait; had it not, the close would still end it.
    usleep(300 * 1000);
    std::thread closer([pSock]() { pSock->Close(); });
    for (int i = 0; i < 300 && !*pReturned; ++i)
        usleep(100 * 1000);
    if (!*pReturned) {
        // The child process reports and ends with both threads still waiting.
        reader.detach();
        closer.detach();
        return "reader still waiting";
    }
    reader.join();
    closer.join();
    pSock->DestroyInstance(nullptr, pParams);
    delete pSock;
    delete pParams;
    delete pApi;
    delete pReturned;
    return "woken";
}

class SockMultiTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        VL_NEEDS_NAMESPACES();
        ASSERT_TRUE(m_Net.AddHost("host"));
        ASSERT_TRUE(m_Net.AddHost("dev"));
        ASSERT_TRUE(m_Net.Link("host", "va", {"10.201.1.1/24"}, "dev", "vb", {"10.201.1.2/24"}));
        ASSERT_TRUE(m_Net.Link("host", "vc", {"10.201.2.1/24"}, "dev", "vd", {"10.201.2.2/24"}));
    }
    CTestNetwork m_Net;
};

} // namespace

TEST_F(SockMultiTest, MulticastFromBothInterfacesAndTheAnsweringOneKept)
{
    EXPECT_EQ("ok both kept", RunPair(m_Net, RunDevice, RunHost));
}

TEST_F(SockMultiTest, BroadcastUsesOneAnyAddressSocketWithItsOptions)
{
    EXPECT_EQ("ttl=7 acked", RunPair(m_Net, RunBroadcastDevice, RunBroadcastHost));
}

TEST_F(SockMultiTest, AFloodThroughTheReceiveThreadsStaysBounded)
{
    EXPECT_EQ("flooded bounded emptied", RunPair(m_Net, RunFloodDevice, RunFloodHost));
}

TEST_F(SockMultiTest, CloseWakesAReaderWaitingOnTheQueue)
{
    EXPECT_EQ("woken", m_Net.RunIn("host", RunCloseWakesQueueReaderHost));
}

TEST_F(SockMultiTest, OnlyTheLoopbackMakesNoSocket)
{
    ASSERT_TRUE(m_Net.AddHost("lonely"));
    EXPECT_EQ("closed", m_Net.RunIn("lonely", RunLoopbackOnlyHost));
}
