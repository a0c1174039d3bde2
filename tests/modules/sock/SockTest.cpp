// The socket module's instance on loopback: parameters, one-socket sends and
// reads, hostile datagrams (empty, oversized, floods), closing and stopping
// a blocked reader, instances sharing one socket, and the module class.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <fstream>
#include <mutex>
#include <set>
#include <string>
#include <thread>

#include "base/core/VLException.h"
#include "base/core/VLOpenException.h"
#include "base/core/VLStartThreadException.h"
#include "base/core/VLStopFunctionException.h"
#include "base/core/VLTimeoutException.h"
#include "base/core/VLUnsupportedException.h"
#include "cm/VLCMApi.h"
#include "cm/VLCMDefs.h"
#include "cm/VLModuleController.h"
#include "cm/VLModuleParamCollection.h"
#include "cm/VLProperty.h"
#include "cm/VLTarget.h"
#include "modules/sock/VLMDSock.h"
#include "modules/sock/VLSock.h"
#include "modules/sock/VLSockRecvThread.h"
#include "modules/sock/VLSockRepeatMemory.h"
#include "modules/sock/VLSockShared.h"
#include "tests/support/TestSupport.h"
#include "tests/support/ThreadStartFault.h"
#include "tests/support/Watchdog.h"

namespace {

// A plain UDP socket on a loopback address (127.0.0.1 unless given) playing
// the device.
class CPeer
{
public:
    explicit CPeer(const char* szAddress = "127.0.0.1", int nPort = 0)
    {
        m_nFd = socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = inet_addr(szAddress);
        addr.sin_port = htons(static_cast<uint16_t>(nPort));
        bind(m_nFd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr));
        socklen_t nLen = sizeof(addr);
        getsockname(m_nFd, reinterpret_cast<sockaddr*>(&addr), &nLen);
        m_nPort = ntohs(addr.sin_port);
    }
    ~CPeer() { close(m_nFd); }
    // Receives one datagram and remembers its sender.
    std::string Receive()
    {
        char buf[2048];
        socklen_t nLen = sizeof(m_From);
        ssize_t n = recvfrom(m_nFd, buf, sizeof(buf), 0, reinterpret_cast<sockaddr*>(&m_From), &nLen);
        return n < 0 ? std::string() : std::string(buf, static_cast<size_t>(n));
    }
    void Reply(const std::string& str)
    {
        sendto(m_nFd, str.data(), str.size(), 0, reinterpret_cast<sockaddr*>(&m_From), sizeof(m_From));
    }
    // Sends to the address another peer heard from.
    void SendTo(const CPeer& other, const std::string& str)
    {
        sendto(m_nFd, str.data(), str.size(), 0, reinterpret_cast<const sockaddr*>(&other.m_From),
               sizeof(other.m_From));
    }
    int m_nFd;
    int m_nPort;
    sockaddr_in m_From{};
};

// A socket instance bound to a facade, with common constants as its
// definition and a target of its own.
class SockTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_pTarget = m_Api.GetModuleController()->CreateTarget();
        m_Params.SetController(m_Api.GetModuleController());
        m_Params.SetTarget(m_pTarget);
        m_Sock.CreateInstance(nullptr, &m_Params);
    }
    void TearDown() override
    {
        m_Sock.DestroyInstance(nullptr, &m_Params);
        m_pTarget->Destroy(false);
    }
    void Const(const char* szName, const char* szValue)
    {
        m_Api.GetModuleController()->SetConst(szName, szValue, nullptr, nullptr);
    }
    // Opens the instance towards the peer; it may stay closed (IsOpen).
    void OpenTowards(const CPeer& peer)
    {
        Const("toAddress", "127.0.0.1");
        Const("toPort", std::to_string(peer.m_nPort).c_str());
        m_Sock.Open(VL_OPEN_WRITE);
    }
    void OpenTo(const CPeer& peer)
    {
        OpenTowards(peer);
        ASSERT_TRUE(m_Sock.IsOpen());
    }
    void Write(const std::string& str)
    {
        m_Sock.Write(reinterpret_cast<const VL_BYTE*>(str.data()), static_cast<VL_SIZE_T>(str.size()));
    }
    std::string Read(VL_SIZE_T nSize = 512)
    {
        std::string buf(nSize, '\0');
        VL_SIZE_T n = m_Sock.Read(reinterpret_cast<VL_BYTE*>(&buf[0]), nSize);
        return buf.substr(0, n);
    }
    std::string Prop(const char* szPath)
    {
        CVLProperty* p = m_pTarget->GetProperties()->GetProperty(szPath, false);
        return p == nullptr ? "<none>" : p->ToString("").GetString();
    }
    CVLCMApi m_Api;
    CVLTarget* m_pTarget = nullptr;
    CVLModuleParamCollection m_Params;
    CVLSock m_Sock;
};

// Reaches the queue's protected pop.
class CQueueSock : public CVLSock
{
public:
    using CVLSock::popRecvData;
};

// The receive buffer the system reports for this process's IPv4 socket bound
// to the port; -1 when there is none.
int ReceiveBufferOfPort(int nPort)
{
    for (int nFd = 0; nFd < 1024; ++nFd) {
        sockaddr_in addr{};
        socklen_t nLen = sizeof(addr);
        if (getsockname(nFd, reinterpret_cast<sockaddr*>(&addr), &nLen) != 0 || addr.sin_family != AF_INET ||
            ntohs(addr.sin_port) != nPort)
            continue;
        int nSize = 0;
        nLen = sizeof(nSize);
        return getsockopt(nFd, SOL_SOCKET, SO_RCVBUF, &nSize, &nLen) == 0 ? nSize : -1;
    }
    return -1;
}

long ReadLong(const char* szFile)
{
    long n = 0;
    std::ifstream(szFile) >> n;
    return n;
}

}  // namespace

TEST_F(SockTest, HasNoMethodsAndNoSizeAndClosesTwiceHarmlessly)
{
    EXPECT_TRUE(VLThrows<EVLUnsupportedException>([this]() { m_Sock.CallMethod(nullptr, &m_Params); }));
    EXPECT_EQ(static_cast<IVLStream*>(&m_Sock), m_Sock.GetSendStream());
    EXPECT_STREQ("CVLSock", m_Sock.GetClassName().GetString());
    EXPECT_STREQ("Socket", m_Sock.GetTypeName());
    EXPECT_EQ(0u, m_Sock.GetSize());
    EXPECT_FALSE(m_Sock.IsOpen());
    EXPECT_TRUE(VLThrows<EVLOpenException>([this]() { Write("x"); }));
    EXPECT_TRUE(VLThrows<EVLOpenException>([this]() { Read(); }));
    m_Sock.Close();
    m_Sock.Close();
}

TEST_F(SockTest, SendsToTheDestinationAndReadsTheReplyWithItsSender)
{
    CPeer peer;
    Const("fromAddressPath", "From.Address");
    Const("fromPortPath", "From.Port");
    OpenTo(peer);
    Write("hello");
    EXPECT_EQ("hello", peer.Receive());
    peer.Reply("answer");
    EXPECT_EQ("answer", Read());
    EXPECT_EQ("127.0.0.1", Prop("From.Address"));
    EXPECT_EQ(std::to_string(peer.m_nPort), Prop("From.Port"));

    // A call's "toPort" wins over the definition.
    CPeer other;
    m_Params.GetParam("toPort", true)->SetLong(other.m_nPort);
    Write("elsewhere");
    EXPECT_EQ("elsewhere", other.Receive());
}

// Anyone can send to the request's port: only the addressee's datagrams are
// replies (a unicast instance has one socket in either mode; what its queue
// takes is below).
TEST_F(SockTest, ADatagramFromAnotherAddressIsNoReply)
{
    CWatchdog watchdog(60, "ADatagramFromAnotherAddressIsNoReply");
    for (const char* szMode : {"single", "multi"}) {
        SCOPED_TRACE(szMode);
        CPeer device;
        CPeer stranger("127.0.0.2");
        Const("socketMode", szMode);
        OpenTowards(device);
        // Multi mode binds the interfaces' addresses, and the loopback's is
        // none of them.
        if (!m_Sock.IsOpen() && std::string(szMode) == "multi")
            GTEST_SKIP() << "no interface besides the loopback: multi mode makes no socket";
        ASSERT_TRUE(m_Sock.IsOpen());
        Write("hi");
        device.Receive();
        stranger.SendTo(device, "forged");
        // The stranger's datagram is read first, if at all.
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        device.Reply("answer");
        EXPECT_EQ("answer", Read());
        m_Sock.Close();
    }
}

// What the receive threads or the shared socket hand a unicast instance is
// queued for its read only when it came from the address the request went
// to, or from the second one the request named; the port does not count.
TEST_F(SockTest, OnlyTheRequestsAddressesAreQueued)
{
    CPeer device;
    OpenTo(device);
    m_Params.GetParam(VLCM_PARAM_ALSO_REPLIES_FROM, true)->SetString("127.0.0.3", VL_CHARSET_UTF8);
    Write("hi");
    VLMDSOCK_RECV_DATA data;
    data.m_Data.Allocate(2);
    data.m_Data.SetSize(2);
    const struct
    {
        const char* szFrom;
        int nQueued;
    } rows[] = {{"127.0.0.2", 0}, {"127.0.0.1", 1}, {"127.0.0.3", 2}};
    for (const auto& row : rows) {
        data.m_FromAddress = CVLSocketAddress(VLMDSOCK_PROTOCOL_UDP, row.szFrom, 9);
        m_Sock.pushRecvData(data);
        EXPECT_EQ(row.nQueued, m_Sock.GetQueuedDatagramCount()) << row.szFrom;
    }
}

TEST_F(SockTest, EmptyAndOversizedDatagramsAreSkipped)
{
    CPeer peer;
    OpenTo(peer);
    Write("hi");
    peer.Receive();
    peer.Reply("");
    peer.Reply(std::string(600, 'x'));  // longer than the reader's 512 bytes
    peer.Reply("ok");
    EXPECT_EQ("ok", Read(512));
    // Exactly the reader's size fits, one byte more does not; a larger
    // reader then takes a larger one.
    peer.Reply(std::string(513, 'z'));
    peer.Reply(std::string(512, 'y'));
    EXPECT_EQ(std::string(512, 'y'), Read(512));
    peer.Reply(std::string(1000, 'w'));
    EXPECT_EQ(std::string(1000, 'w'), Read(1024));
}

TEST_F(SockTest, AReadWithoutAnswerTimesOutAfterItsRetries)
{
    CPeer peer;
    Const("timeout", "100");
    Const("retry", "2");
    OpenTo(peer);
    EXPECT_TRUE(VLThrows<EVLTimeoutException>([this]() { Read(); }));
    EXPECT_TRUE(m_Sock.IsOpen());  // a failed read leaves the instance open
}

// A stream of skipped datagrams, one every 20 ms, must not stretch a read:
// it times out while the stream still runs (the stream stops after 30 s or
// as soon as the read has returned).
TEST_F(SockTest, SkippedDatagramsDoNotStretchARead)
{
    CWatchdog watchdog(120, "SkippedDatagramsDoNotStretchARead");
    for (size_t nJunk : {size_t(0), size_t(600)}) {
        SCOPED_TRACE(nJunk);
        CPeer peer;
        Const("timeout", "300");
        Const("retry", "1");
        OpenTo(peer);
        Write("hi");
        peer.Receive();
        std::atomic<bool> bReadOver{false};
        std::atomic<bool> bStreamOver{false};
        std::thread stream([&]() {
            for (int i = 0; i < 1500 && !bReadOver; ++i) {
                peer.Reply(std::string(nJunk, 'x'));
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
            bStreamOver = true;
        });
        EXPECT_TRUE(VLThrows<EVLTimeoutException>([this]() { Read(512); }));
        EXPECT_FALSE(bStreamOver) << "the read lasted as long as the stream";
        bReadOver = true;
        stream.join();
        m_Sock.Close();
    }
}

TEST_F(SockTest, CloseAndStopEndABlockedRead)
{
    CWatchdog watchdog(60, "CloseAndStopEndABlockedRead");
    CPeer peer;
    Const("retry", "0");  // waits until a datagram comes
    OpenTo(peer);
    std::atomic<int> nOutcome{0};
    // Whether the read is already waiting or comes after, it fails as closed.
    std::thread reader([&]() { nOutcome = VLThrows<EVLOpenException>([this]() { Read(); }) ? 1 : 2; });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    m_Sock.Close();
    reader.join();
    EXPECT_EQ(1, nOutcome);
    EXPECT_FALSE(m_Sock.IsOpen());

    m_Sock.Open(VL_OPEN_WRITE);
    // A read under way ends with the stop; one that comes after finds the
    // instance closed.
    std::thread stopped([&]() {
        try {
            Read();
        } catch (EVLStopFunctionException* e) {
            e->Delete();
            nOutcome = 3;
        } catch (EVLOpenException* e) {
            e->Delete();
            nOutcome = 3;
        } catch (EVLException* e) {
            e->Delete();
        }
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    m_Sock.Stop(nullptr, &m_Params);
    stopped.join();
    EXPECT_EQ(3, nOutcome);
    EXPECT_TRUE(m_Sock.IsStopRequested());
}

// Counts the arrivals an instance is told of.
class CArrivals : public IVLSockArrivalListener
{
public:
    void OnSockArrival(CVLSock*) override { ++m_nArrivals; }
    std::atomic<int> m_nArrivals{0};
};

// Instances in "shared" mode (a call's choice here) send through one socket,
// and each reads only what comes from the address it sent to; datagrams from
// anyone else are dropped. The last one to close closes the socket.
TEST_F(SockTest, SharedInstancesSendThroughOneSocketAndReadTheirOwnReplies)
{
    CWatchdog watchdog(60, "SharedInstancesSendThroughOneSocketAndReadTheirOwnReplies");
    CPeer first("127.0.0.1"), second("127.0.0.2"), stranger("127.0.0.3");
    Const("toAddress", "127.0.0.1");
    Const("toPort", std::to_string(first.m_nPort).c_str());
    Const("timeout", "5000");
    m_Params.GetParam("socketMode", true)->SetString("shared", 72);
    CArrivals arrivals;
    m_Sock.SetArrivalListener(&arrivals);
    CVLModuleParamCollection otherParams;
    otherParams.SetController(m_Api.GetModuleController());
    otherParams.SetTarget(m_pTarget);
    otherParams.GetParam("socketMode", true)->SetString("shared", 72);
    otherParams.GetParam("toAddress", true)->SetString("127.0.0.2", 72);
    otherParams.GetParam("toPort", true)->SetLong(second.m_nPort);
    CVLSock other;
    other.CreateInstance(nullptr, &otherParams);
    m_Sock.Open(VL_OPEN_WRITE);
    other.Open(VL_OPEN_WRITE);
    EXPECT_EQ(1, CVLSockShared::GetOpenCount());

    Write("to first");
    other.Write(reinterpret_cast<const VL_BYTE*>("to second"), 9);
    EXPECT_EQ("to first", first.Receive());
    EXPECT_EQ("to second", second.Receive());
    EXPECT_EQ(first.m_From.sin_port, second.m_From.sin_port);
    // Queued in the order sent: the stranger's datagram comes before the
    // replies, and goes to neither.
    stranger.SendTo(first, "stray");
    second.Reply("for second");
    first.Reply("for first");
    EXPECT_EQ("for first", Read());
    std::string strOther(64, '\0');
    VL_SIZE_T nRead = other.Read(reinterpret_cast<VL_BYTE*>(&strOther[0]), 64);
    EXPECT_EQ("for second", strOther.substr(0, nRead));

    m_Sock.Close();
    // Told once, and never after its close.
    EXPECT_EQ(1, arrivals.m_nArrivals);
    EXPECT_EQ(1, CVLSockShared::GetOpenCount());
    other.DestroyInstance(nullptr, &otherParams);
    EXPECT_EQ(0, CVLSockShared::GetOpenCount());
}

// A shared socket whose receive thread ended on a failure hears nothing
// more: the next instance to come gets a socket of its own making, while the
// one that holds the dead socket keeps it until it closes.
TEST_F(SockTest, ASharedSocketWhoseThreadFailedIsNotHandedOn)
{
    CWatchdog watchdog(60, "ASharedSocketWhoseThreadFailedIsNotHandedOn");
    CPeer peer("127.0.0.1");
    Const("toAddress", "127.0.0.1");
    Const("toPort", std::to_string(peer.m_nPort).c_str());
    m_Params.GetParam("socketMode", true)->SetString("shared", 72);
    m_Sock.Open(VL_OPEN_WRITE);
    Write("first");
    ASSERT_EQ("first", peer.Receive());
    const uint16_t nDeadPort = peer.m_From.sin_port;
    // The shared socket's descriptor becomes a file: its thread's next
    // receive fails.
    for (int fd = 3; fd < 1024; ++fd) {
        sockaddr_in addr{};
        socklen_t nLen = sizeof(addr);
        if (getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &nLen) == 0 && addr.sin_family == AF_INET &&
            addr.sin_port == nDeadPort && fd != peer.m_nFd) {
            int nNull = open("/dev/null", O_RDONLY);
            ASSERT_GE(nNull, 0);
            dup2(nNull, fd);
            close(nNull);
        }
    }
    bool bNewSocket = false;
    for (int i = 0; i < 200 && !bNewSocket; ++i) {
        CVLModuleParamCollection otherParams;
        otherParams.SetController(m_Api.GetModuleController());
        otherParams.SetTarget(m_pTarget);
        otherParams.GetParam("socketMode", true)->SetString("shared", 72);
        CVLSock other;
        other.CreateInstance(nullptr, &otherParams);
        try {
            other.Open(VL_OPEN_WRITE);
            other.Write(reinterpret_cast<const VL_BYTE*>("again"), 5);
            bNewSocket = peer.Receive() == "again" && peer.m_From.sin_port != nDeadPort;
        } catch (EVLException* e) {
            e->Delete();
        }
        other.DestroyInstance(nullptr, &otherParams);
        if (!bNewSocket)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    EXPECT_TRUE(bNewSocket);
    m_Sock.Close();
    EXPECT_EQ(0, CVLSockShared::GetOpenCount());
}

// A shared socket's drops count when they are asked for, not only when its
// thread hands the next datagram on: empty datagrams, which it never hands
// on, may fill its buffer while a check waits, and what they pushed out may
// have been the check's answer.
TEST_F(SockTest, ASharedSocketCountsItsDropsWhenAsked)
{
    CWatchdog watchdog(60, "ASharedSocketCountsItsDropsWhenAsked");
    // Holds the shared socket's thread in the first arrival until released.
    class CHeldArrival : public IVLSockArrivalListener
    {
    public:
        void OnSockArrival(CVLSock*) override
        {
            std::unique_lock<std::mutex> lock(m_Mutex);
            m_bEntered = true;
            m_Cond.notify_all();
            m_Cond.wait(lock, [this]() { return m_bReleased; });
        }
        void WaitEntered()
        {
            std::unique_lock<std::mutex> lock(m_Mutex);
            m_Cond.wait(lock, [this]() { return m_bEntered; });
        }
        void Release()
        {
            std::lock_guard<std::mutex> lock(m_Mutex);
            m_bReleased = true;
            m_Cond.notify_all();
        }

    private:
        std::mutex m_Mutex;
        std::condition_variable m_Cond;
        bool m_bEntered = false;
        bool m_bReleased = false;
    } held;
    CPeer peer("127.0.0.1");
    Const("toAddress", "127.0.0.1");
    Const("toPort", std::to_string(peer.m_nPort).c_str());
    Const("timeout", "5000");
    m_Params.GetParam("socketMode", true)->SetString("shared", 72);
    m_Sock.SetArrivalListener(&held);
    m_Sock.Open(VL_OPEN_WRITE);
    Write("request");
    ASSERT_EQ("request", peer.Receive());
    peer.Reply("answer");
    held.WaitEntered();
    const unsigned long nBefore = CVLSockShared::GetDropCount();
    // Far more than its buffer (2 MiB at most) holds.
    const int kFlood = 20000;
    for (int i = 0; i < kFlood; ++i)
        peer.Reply("");
    held.Release();
    const unsigned long nCounted = CVLSockShared::GetDropCount();
    EXPECT_GT(nCounted, nBefore);
    EXPECT_EQ("answer", Read());
    // Each drop counts once: asked again, and once the socket closed (which
    // counts what it has left), the total stays; a drop counted twice would
    // be a datagram lost to a check of the next probe.
    EXPECT_EQ(nCounted, CVLSockShared::GetDropCount());
    m_Sock.Close();
    EXPECT_EQ(nCounted, CVLSockShared::GetDropCount());
}

// The shared socket's send buffer is raised beyond the system's default:
// the requests of every check wait there while their addresses are
// resolved.
TEST_F(SockTest, TheSharedSocketsSendBufferIsRaised)
{
    long nDefault = 0;
    std::ifstream("/proc/sys/net/core/wmem_default") >> nDefault;
    ASSERT_GT(nDefault, 0);
    const std::set<int> before = TestSocketDescriptors();
    Const("toAddress", "127.0.0.1");
    m_Params.GetParam("socketMode", true)->SetString("shared", 72);
    m_Sock.Open(VL_OPEN_WRITE);
    ASSERT_TRUE(m_Sock.IsShared());
    std::set<int> made = TestSocketDescriptors();
    for (int nDescriptor : before)
        made.erase(nDescriptor);
    ASSERT_EQ(1u, made.size());
    int nSendBuffer = 0;
    socklen_t nLength = sizeof(nSendBuffer);
    ASSERT_EQ(0, getsockopt(*made.begin(), SOL_SOCKET, SO_SNDBUF, &nSendBuffer, &nLength));
    EXPECT_GT(nSendBuffer, nDefault);
    m_Sock.Close();
}

TEST_F(SockTest, ParametersFallBackToTheirDefaultsAndKeepEarlierValues)
{
    CPeer peer;
    Const("socketMode", "MULTI");  // letters in any case
    Const("castType", "unicast");
    Const("toAddress", "127.0.0.1");
    Const("toPort", std::to_string(peer.m_nPort).c_str());
    m_Sock.Open(VL_OPEN_WRITE);
    if (!m_Sock.IsOpen())
        GTEST_SKIP() << "no interface besides the loopback: multi mode makes no socket";
    // Multi mode with unicast: one socket on the any address, read directly.
    Write("m");
    EXPECT_EQ("m", peer.Receive());
    peer.Reply("r");
    EXPECT_EQ("r", Read());
    m_Sock.Close();
    Const("socketMode", "nonsense");  // keeps multi
    Const("timeout", "50");
    Const("retry", "1");
    m_Sock.Open(VL_OPEN_WRITE);
    EXPECT_TRUE(VLThrows<EVLTimeoutException>([this]() { Read(); }));
}

TEST(SockQueueTest, AFloodIsBoundedAndDatagramsThatDoNotFitAreDropped)
{
    CQueueSock sock;
    VLMDSOCK_RECV_DATA data;
    data.m_Data.Allocate(600);
    const int kFlood = 10000;
    for (int i = 0; i < kFlood; ++i) {
        data.m_Data.SetSize(4);
        std::memcpy(data.m_Data.GetData(), &i, 4);
        sock.pushRecvData(data);
    }
    EXPECT_LE(sock.GetQueuedDatagramCount(), 1024);
    EXPECT_EQ(static_cast<unsigned long>(kFlood - sock.GetQueuedDatagramCount()), sock.GetDroppedDatagramCount());
    // The oldest were dropped: the first one left is a late one.
    VL_BYTE buf[512];
    VL_SIZE_T n = 0;
    sock.popRecvData(buf, sizeof(buf), &n);
    ASSERT_EQ(4u, n);
    int nFirst;
    std::memcpy(&nFirst, buf, 4);
    EXPECT_EQ(kFlood - 1024, nFirst);

    // Longer than the reader's buffer: dropped, the next one is taken.
    CQueueSock sock2;
    data.m_Data.SetSize(600);
    sock2.pushRecvData(data);
    data.m_Data.SetSize(3);
    sock2.pushRecvData(data);
    sock2.popRecvData(buf, sizeof(buf), &n);
    EXPECT_EQ(3u, n);
    EXPECT_EQ(nullptr, sock2.popRecvData(buf, sizeof(buf), &n));
    EXPECT_EQ(0u, n);
    // Exactly the reader's buffer: taken whole.
    data.m_Data.SetSize(sizeof(buf));
    sock2.pushRecvData(data);
    sock2.popRecvData(buf, sizeof(buf), &n);
    EXPECT_EQ(sizeof(buf), n);
}

TEST(MDSockTest, MakesDistinctInstancesAndDeletesNothingForNull)
{
    struct CProbe : public CVLMDSock
    {
        using CVLMDSock::onDelete;
        using CVLMDSock::onNew;
    } module;
    EXPECT_TRUE(module.GetModuleName().GetLength() == 0);
    IVLModInstanceIF* p1 = module.onNew();
    IVLModInstanceIF* p2 = module.onNew();
    EXPECT_NE(p1, p2);
    EXPECT_NE(nullptr, dynamic_cast<CVLSock*>(p1));
    module.onDelete(p1);
    module.onDelete(p2);
    module.onDelete(nullptr);
    module.Initialize(nullptr);
    module.Initialize(nullptr);
    EXPECT_TRUE(module.IsInit());
    module.Terminate(nullptr);
    EXPECT_FALSE(module.IsInit());
}

// Makes a UDP socket bound to a free loopback port; the address to send to it.
static sockaddr_in BindToAFreePort(CVLSocket& socket)
{
    socket.Create(VLMDSOCK_PROTOCOL_UDP, 0, 0);
    // A free port: the peer's, once the peer has given it up.
    int nPort;
    {
        CPeer taken;
        nPort = taken.m_nPort;
    }
    CVLSocketAddress local(VLMDSOCK_PROTOCOL_UDP, "127.0.0.1", nPort);
    socket.Bind(&local);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(static_cast<uint16_t>(nPort));
    return addr;
}

// A receive thread traces what it reads, with the sender, as the one-socket
// reader does.
TEST(SockRecvThreadTest, TracesEachReadWithItsSender)
{
    CWatchdog watchdog(60, "receive thread trace");
    CVLCMApi api;
    CVLModuleParamCollection params;
    params.SetController(api.GetModuleController());
    CVLSock sock;
    sock.CreateInstance(nullptr, &params);
    CVLSocket socket;
    sockaddr_in addr = BindToAFreePort(socket);
    CPeer peer;
    CTraceCapture capture;
    {
        CVLSockRecvThread thread(VLMDSOCK_MODE_MULTI, &sock, &socket, 20, 512);
        thread.Start(nullptr);
        sendto(peer.m_nFd, "hello", 5, 0, reinterpret_cast<sockaddr*>(&addr), sizeof(addr));
        while (sock.GetQueuedDatagramCount() == 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        thread.End();
    }
    socket.Close();
    std::string strWanted = "RecvFrom:IP address=127.0.0.1 Port=" + std::to_string(peer.m_nPort);
    bool bFound = false;
    for (const std::string& strLine : capture.m_Lines)
        bFound = bFound || strLine.find(strWanted) != std::string::npos;
    EXPECT_TRUE(bFound) << strWanted;
}

// A receive thread that drops repeats drops a burst of one datagram from one
// sender, before anyone parses it; the same datagram from another sender
// (another port, another address) and a change are queued.
TEST(SockRecvThreadTest, DropsABurstOfOneDatagramButHearsEverySenderAndEveryChange)
{
    CWatchdog watchdog(60, "receive thread repeats");
    CQueueSock sock;
    CVLSocket socket;
    sockaddr_in addr = BindToAFreePort(socket);
    auto to = reinterpret_cast<sockaddr*>(&addr);
    CPeer a, b, c("127.0.0.2", a.m_nPort);
    std::vector<std::string> queued;
    {
        CVLSockRecvThread thread(VLMDSOCK_MODE_SINGLE, &sock, &socket, 20, 512, true);
        thread.Start(nullptr);
        for (int i = 0; i < 100; ++i)
            sendto(a.m_nFd, "reply", 5, 0, to, sizeof(addr));
        sendto(b.m_nFd, "reply", 5, 0, to, sizeof(addr));
        sendto(c.m_nFd, "reply", 5, 0, to, sizeof(addr));
        sendto(a.m_nFd, "replY", 5, 0, to, sizeof(addr));
        sendto(a.m_nFd, "end", 3, 0, to, sizeof(addr));
        // Everything sent before the last datagram is queued before it.
        while (queued.empty() || queued.back() != "end") {
            VL_BYTE buf[512];
            VL_SIZE_T n = 0;
            if (sock.popRecvData(buf, sizeof(buf), &n) != nullptr)
                queued.emplace_back(reinterpret_cast<const char*>(buf), n);
            else
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        thread.End();
    }
    socket.Close();
    EXPECT_EQ((std::vector<std::string>{"reply", "reply", "reply", "replY", "end"}), queued);
}

// What each sender sent since the last send is remembered, for a bounded
// number of datagrams: beyond the bound a new datagram's repeats pass, and
// nothing grows.
TEST(SockRepeatMemoryTest, RemembersEachSendersDatagramsSinceTheLastSendWithinABound)
{
    CVLSockRepeatMemory memory;
    const VL_BYTE a[] = {'A'}, b[] = {'B'};
    CVLSocketAddress device(VLMDSOCK_PROTOCOL_UDP, "127.0.0.1", 4000);
    CVLSocketAddress otherPort(VLMDSOCK_PROTOCOL_UDP, "127.0.0.1", 4001);
    CVLSocketAddress otherAddress(VLMDSOCK_PROTOCOL_UDP, "127.0.0.2", 4000);
    EXPECT_FALSE(memory.IsRepeat(device, a, 1));
    EXPECT_TRUE(memory.IsRepeat(device, a, 1));
    EXPECT_FALSE(memory.IsRepeat(otherPort, a, 1));
    EXPECT_FALSE(memory.IsRepeat(otherAddress, a, 1));
    EXPECT_FALSE(memory.IsRepeat(device, b, 1));
    EXPECT_TRUE(memory.IsRepeat(device, a, 1));
    memory.Forget();
    EXPECT_FALSE(memory.IsRepeat(device, a, 1));
    for (int n = 0; n < CVLSockRepeatMemory::MAX_ENTRIES + 10; ++n) {
        std::string strHost = "10.0." + std::to_string(n / 250) + "." + std::to_string(1 + n % 250);
        CVLSocketAddress sender(VLMDSOCK_PROTOCOL_UDP, strHost.c_str(), 4000);
        ASSERT_FALSE(memory.IsRepeat(sender, a, 1)) << n;
    }
    EXPECT_EQ(static_cast<size_t>(CVLSockRepeatMemory::MAX_ENTRIES), memory.GetCount());
    EXPECT_FALSE(memory.IsRepeat(device, b, 1));
    EXPECT_FALSE(memory.IsRepeat(device, b, 1));
    EXPECT_TRUE(memory.IsRepeat(device, a, 1));
    EXPECT_EQ(static_cast<size_t>(CVLSockRepeatMemory::MAX_ENTRIES), memory.GetCount());
}

// A broadcast socket (a probe's) drops a burst of one reply, but hears what
// each send brings: a reply that went A, B and back to A, and the same
// datagram as before the send.
TEST_F(SockTest, ABroadcastSocketHearsEverySendsReplies)
{
    CWatchdog watchdog(60, "SockTest.ABroadcastSocketHearsEverySendsReplies");
    CPeer peer;
    Const("castType", "broadcast");
    Const("timeout", "1000");
    OpenTo(peer);
    for (const char* szReply : {"A", "B", "A"}) {
        SCOPED_TRACE(szReply);
        Write("probe");
        peer.Receive();
        for (int i = 0; i < 3; ++i)
            peer.Reply(szReply);
        peer.Reply("end");
        EXPECT_EQ(szReply, Read());
        EXPECT_EQ("end", Read());
    }
    Write("probe");
    peer.Receive();
    peer.Reply("end");
    peer.Reply("fin");
    EXPECT_EQ("end", Read());
    EXPECT_EQ("fin", Read());
}

// A broadcast socket receives on a thread of its own. While that thread
// cannot start, each read fails at once, saying why, instead of waiting out
// its time as if nothing came; once it can, the replies are heard. The
// shared socket (unicast checks') starts its thread as it opens: the open
// fails, and the next one tries again.
TEST_F(SockTest, ASocketWhoseReceiveThreadCannotStartFailsEachUse)
{
    CWatchdog watchdog(60, "SockTest.ASocketWhoseReceiveThreadCannotStartFailsEachUse");
    CPeer peer;
    Const("castType", "broadcast");
    Const("timeout", "5000");
    OpenTo(peer);
    {
        TThreadStartFault<CVLSockRecvThread> fault(EAGAIN);
        for (int i = 0; i < 2; ++i) {
            SCOPED_TRACE(i);
            try {
                Read();
                ADD_FAILURE() << "the read did not fail";
            } catch (EVLException* e) {
                CVLExceptionOwner owner(e);
                EVLStartThreadException* pStart = dynamic_cast<EVLStartThreadException*>(e);
                ASSERT_NE(nullptr, pStart) << e->GetClassName().GetBuffer();
                EXPECT_EQ(EAGAIN, pStart->GetErrorNumber());
            }
        }
    }
    Write("probe");
    peer.Receive();
    peer.Reply("A");
    EXPECT_EQ("A", Read());

    CVLModuleParamCollection sharedParams;
    sharedParams.SetController(m_Api.GetModuleController());
    sharedParams.GetParam("socketMode", true)->SetString("shared", 72);
    Const("castType", "unicast");
    CVLSock shared;
    shared.CreateInstance(nullptr, &sharedParams);
    {
        TThreadStartFault<CVLSockRecvThread> fault(EAGAIN);
        EXPECT_VL_THROW(shared.Open(VL_OPEN_WRITE), EVLStartThreadException);
        EXPECT_FALSE(shared.IsOpen());
    }
    shared.Open(VL_OPEN_WRITE);
    EXPECT_TRUE(shared.IsShared());
    shared.DestroyInstance(nullptr, &sharedParams);
}

// A broadcast socket asks for a 4 MiB receive buffer, forced past the
// system's ceiling as root. What it loses, in the system's buffer and in its
// queue, is counted across reads: with what was read and what is queued it is
// everything sent.
TEST_F(SockTest, ABroadcastSocketCountsEveryDatagramItLost)
{
    CWatchdog watchdog(120, "SockTest.ABroadcastSocketCountsEveryDatagramItLost");
    CPeer peer;
    Const("castType", "broadcast");
    Const("timeout", "2000");
    OpenTo(peer);
    Write("probe");
    peer.Receive();
    const long nRequest = 4 * 1024 * 1024;
    long nCeiling = ReadLong("/proc/sys/net/core/rmem_max");
    EXPECT_EQ(2 * (geteuid() == 0 ? nRequest : std::min(nRequest, nCeiling)),
              ReceiveBufferOfPort(ntohs(peer.m_From.sin_port)));
    const int kFlood = 10000;
    const int kReads = 10;
    int nSent = 0;
    unsigned long nRead = 0;
    auto flood = [&]() {
        std::string strData(1000, 'x');
        for (int i = 0; i < kFlood; ++i, ++nSent) {
            std::memcpy(&strData[0], &nSent, sizeof(nSent));  // no two alike
            peer.Reply(strData);
        }
    };
    // Everything counted once the receive thread has taken what was kept;
    // never more than was sent, as the queue is read before its drops.
    auto counted = [&]() {
        unsigned long nQueued = static_cast<unsigned long>(m_Sock.GetQueuedDatagramCount());
        return nRead + nQueued + m_Sock.GetReceiveDropCount();
    };
    auto settle = [&]() {
        for (int i = 0; i < 1000 && counted() < static_cast<unsigned long>(nSent); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return counted();
    };
    // Nobody reads yet: the system's buffer overflows. The first read starts
    // the receive thread, which overflows the queue.
    flood();
    for (; nRead < static_cast<unsigned long>(kReads); ++nRead)
        ASSERT_EQ(1000u, Read(1500).size());
    EXPECT_EQ(static_cast<unsigned long>(nSent), settle());
    EXPECT_GT(m_Sock.GetDroppedDatagramCount(), 0u);
    EXPECT_GT(m_Sock.GetReceiveDropCount(), m_Sock.GetDroppedDatagramCount());
    flood();
    for (; nRead < static_cast<unsigned long>(2 * kReads); ++nRead)
        ASSERT_EQ(1000u, Read(1500).size());
    EXPECT_EQ(static_cast<unsigned long>(nSent), settle());
}

// The stream paths: connect, send, receive, and the peer's close ending a
// read instead of it waiting for its time-out.
TEST_F(SockTest, TcpConnectsSendsReadsAndSeesThePeerClose)
{
    CWatchdog watchdog(30, "SockTest.TcpConnectsSendsReadsAndSeesThePeerClose");
    int nListen = socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_GE(nListen, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(0, bind(nListen, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)));
    ASSERT_EQ(0, listen(nListen, 1));
    socklen_t nLen = sizeof(addr);
    getsockname(nListen, reinterpret_cast<sockaddr*>(&addr), &nLen);
    Const("protocol", "tcp");
    Const("toAddress", "127.0.0.1");
    Const("toPort", std::to_string(ntohs(addr.sin_port)).c_str());
    m_Sock.Open(VL_OPEN_WRITE);
    ASSERT_TRUE(m_Sock.IsOpen());
    int nPeer = accept(nListen, nullptr, nullptr);
    ASSERT_GE(nPeer, 0);
    Write("hello");
    char buf[16] = {};
    ASSERT_EQ(5, recv(nPeer, buf, 5, MSG_WAITALL));
    EXPECT_EQ("hello", std::string(buf, 5));
    ASSERT_EQ(6, send(nPeer, "answer", 6, 0));
    EXPECT_EQ("answer", Read());
    close(nPeer);
    EXPECT_TRUE(VLThrows<EVLException>([this]() { Read(); }));
    m_Sock.Close();
    close(nListen);
}
