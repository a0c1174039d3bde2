// Whose datagrams an instance of the socket module takes as replies, as its
// sends change: a broadcast after a unicast exchange, and a shared socket's
// users when one send names a second address that another user sends to.
// And a shared socket's sends, which never wait for room.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "base/core/VLException.h"
#include "cm/VLCMApi.h"
#include "cm/VLCMDefs.h"
#include "cm/VLModuleController.h"
#include "cm/VLModuleParamCollection.h"
#include "cm/VLTarget.h"
#include "modules/sock/VLSock.h"
#include "modules/sock/VLSockShared.h"
#include "tests/support/NeedsNamespaces.h"
#include "tests/support/TestNetwork.h"
#include "tests/support/Watchdog.h"

namespace {
// Long enough that a reply on its way is always read; a reply dropped
// makes the read come back empty, or fail, only after it.
const char kReadTimeout[] = "5000";

// A UDP socket on a loopback address playing a host.
class CHost
{
public:
    explicit CHost(const char* szAddress)
    {
        m_nFd = socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = inet_addr(szAddress);
        bind(m_nFd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr));
        socklen_t nLen = sizeof(addr);
        getsockname(m_nFd, reinterpret_cast<sockaddr*>(&addr), &nLen);
        m_nPort = ntohs(addr.sin_port);
    }
    ~CHost() { close(m_nFd); }
    // Receives one datagram and remembers its sender.
    std::string Receive()
    {
        char buf[512];
        socklen_t nLen = sizeof(m_From);
        ssize_t n = recvfrom(m_nFd, buf, sizeof(buf), 0, reinterpret_cast<sockaddr*>(&m_From), &nLen);
        return n < 0 ? std::string() : std::string(buf, static_cast<size_t>(n));
    }
    // Sends to the socket that a host (this one or another) last heard from.
    void SendTo(const CHost& heard, const std::string& str)
    {
        sendto(m_nFd, str.data(), str.size(), 0, reinterpret_cast<const sockaddr*>(&heard.m_From),
               sizeof(heard.m_From));
    }
    int m_nFd;
    int m_nPort;
    sockaddr_in m_From{};
};

// A socket instance with its own parameters, on the test's facade.
class CInstance
{
public:
    CInstance(CVLCMApi& api, CVLTarget* pTarget)
    {
        m_Params.SetController(api.GetModuleController());
        m_Params.SetTarget(pTarget);
    }
    ~CInstance() { m_Sock.DestroyInstance(nullptr, &m_Params); }
    void Create() { m_Sock.CreateInstance(nullptr, &m_Params); }
    void Write(const std::string& str)
    {
        m_Sock.Write(reinterpret_cast<const VL_BYTE*>(str.data()), static_cast<VL_SIZE_T>(str.size()));
    }
    // One datagram, "" when none came in time ("<failed>" when the read threw).
    std::string Read()
    {
        std::string buf(512, '\0');
        try {
            VL_SIZE_T n = m_Sock.Read(reinterpret_cast<VL_BYTE*>(&buf[0]), 512);
            return buf.substr(0, n);
        } catch (EVLException* e) {
            e->Delete();
            return "<failed>";
        }
    }
    CVLModuleParamCollection m_Params;
    CVLSock m_Sock;
};

class SockReplySenders : public ::testing::Test
{
protected:
    void SetUp() override { m_pTarget = m_Api.GetModuleController()->CreateTarget(); }
    void TearDown() override { m_pTarget->Destroy(false); }
    void Const(const char* szName, const char* szValue)
    {
        m_Api.GetModuleController()->SetConst(szName, szValue, nullptr, nullptr);
    }
    // Sends go to the host, and a read waits kReadTimeout once.
    void SendsTo(const CHost& host)
    {
        Const("toAddress", "127.0.0.1");
        Const("toPort", std::to_string(host.m_nPort).c_str());
        Const("timeout", kReadTimeout);
        Const("retry", "1");
    }

    CVLCMApi m_Api;
    CVLTarget* m_pTarget = nullptr;
};
}  // namespace

// A unicast exchange takes replies from its addressee only; the same
// instance opened again for a broadcast takes them from anyone, as every
// device answers a broadcast from its own address.
TEST_F(SockReplySenders, ABroadcastAfterAUnicastExchangeHearsEverySender)
{
    CWatchdog watchdog(60, "a broadcast after a unicast exchange");
    CHost device("127.0.0.1"), other("127.0.0.2");
    SendsTo(device);
    CInstance instance(m_Api, m_pTarget);
    instance.Create();
    instance.m_Sock.Open(VL_OPEN_WRITE);
    instance.Write("request");
    ASSERT_EQ("request", device.Receive());
    other.SendTo(device, "stray");
    device.SendTo(device, "reply");
    EXPECT_EQ("reply", instance.Read());
    instance.m_Sock.Close();

    Const("castType", "broadcast");
    instance.m_Sock.Open(VL_OPEN_WRITE);
    instance.Write("probe");
    ASSERT_EQ("probe", device.Receive());
    other.SendTo(device, "answer of another device");
    EXPECT_EQ("answer of another device", instance.Read());
}

// Two users of one shared socket: the first sends to the device naming a
// second address, the second sends to that address. A reply from the
// second address reaches both; one from the device only the first; one
// from anywhere else neither.
TEST_F(SockReplySenders, AReplyFromASendsSecondAddressReachesEveryUserItAnswers)
{
    CWatchdog watchdog(60, "a shared socket's second address");
    CHost device("127.0.0.1"), second("127.0.0.2"), stranger("127.0.0.3");
    SendsTo(device);
    CInstance first(m_Api, m_pTarget), other(m_Api, m_pTarget);
    for (CInstance* pInstance : {&first, &other}) {
        pInstance->m_Params.GetParam("socketMode", true)->SetString("shared", 72);
        pInstance->Create();
    }
    first.m_Params.GetParam(VLCM_PARAM_ALSO_REPLIES_FROM, true)->SetString("127.0.0.2", 72);
    other.m_Params.GetParam("toAddress", true)->SetString("127.0.0.2", 72);
    other.m_Params.GetParam("toPort", true)->SetLong(second.m_nPort);
    first.m_Sock.Open(VL_OPEN_WRITE);
    other.m_Sock.Open(VL_OPEN_WRITE);
    ASSERT_TRUE(first.m_Sock.IsShared() && other.m_Sock.IsShared());
    ASSERT_EQ(1, CVLSockShared::GetOpenCount());

    first.Write("to the device");
    ASSERT_EQ("to the device", device.Receive());
    other.Write("to the second address");
    ASSERT_EQ("to the second address", second.Receive());
    // In the order sent: what neither takes comes first.
    stranger.SendTo(device, "stray");
    second.SendTo(device, "from the second address");
    device.SendTo(device, "from the device");
    EXPECT_EQ("from the second address", first.Read());
    EXPECT_TRUE(first.m_Sock.IsLastReadFromSecondAddress());
    EXPECT_EQ("from the device", first.Read());
    EXPECT_FALSE(first.m_Sock.IsLastReadFromSecondAddress());
    EXPECT_EQ("from the second address", other.Read());
    EXPECT_FALSE(other.m_Sock.IsLastReadFromSecondAddress());
    EXPECT_EQ(0, first.m_Sock.GetQueuedDatagramCount());
    EXPECT_EQ(0, other.m_Sock.GetQueuedDatagramCount());
}

// Requests held in an interface's queue are held against the shared
// socket's send buffer. Once they fill it, a send through it fails at
// once, saying the buffer was full, instead of waiting (with every other
// user of the socket behind it) for room; the next send that finds room
// says it is full no more.
TEST(SockSharedSends, ASharedSocketsSendDoesNotWaitForRoom)
{
    const std::vector<std::string> commands = HeldSendsCommands(200);
    // All of it in the child: a thread started after a fork of a process
    // with threads is beyond a thread sanitizer (so is a watchdog here).
    std::string strResult = RunInNamespace(commands, [] {
        CVLCMApi api;
        CVLTarget* pTarget = api.GetModuleController()->CreateTarget();
        for (const char* szConst : {"toPort=9", "retry=1", "socketMode=shared"}) {
            std::string strConst(szConst);
            size_t nEqual = strConst.find('=');
            api.GetModuleController()->SetConst(strConst.substr(0, nEqual).c_str(), strConst.substr(nEqual + 1).c_str(),
                                                nullptr, nullptr);
        }
        std::string strWhat = "never full";
        {
            CInstance instance(api, pTarget);
            instance.Create();
            instance.m_Sock.Open(VL_OPEN_WRITE);
            // Far more than the buffer holds (1 MiB asked), to each of
            // the addresses held in turn.
            const std::string strData(1400, 'x');
            for (int i = 0; i < 4000 && strWhat == "never full"; ++i) {
                instance.m_Params.GetParam("toAddress", true)
                    ->SetString(("10.5.0." + std::to_string(2 + i % 200)).c_str(), 72);
                try {
                    instance.Write(strData);
                    if (instance.m_Sock.WasSendBufferFull())
                        strWhat = "said full after a send";
                } catch (EVLException* e) {
                    e->Delete();
                    strWhat = instance.m_Sock.WasSendBufferFull() ? "full" : "failed otherwise";
                }
            }
            // Room again (the queue holding the requests gone): a good send
            // says the buffer is no longer full.
            if (strWhat == "full" && std::system("tc qdisc del dev vlt0 root") != 0) {
                strWhat += ", the queue stayed";
            } else if (strWhat == "full") {
                try {
                    instance.Write(strData);
                    strWhat += instance.m_Sock.WasSendBufferFull() ? ", still said full after a good send" : "";
                } catch (EVLException* e) {
                    e->Delete();
                    strWhat += ", no room once the queue went";
                }
            }
            if (!instance.m_Sock.IsShared())
                strWhat = "not shared";
        }
        pTarget->Destroy(false);
        return strWhat;
    });
    if (strResult.compare(0, 5, "SKIP:") == 0)
        VL_NO_NAMESPACES(strResult.substr(5));
    EXPECT_EQ("full", strResult);
}
