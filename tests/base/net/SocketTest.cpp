// Sockets over loopback, and in a namespace of the test's own where
// datagrams wait in an interface's queue.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <fstream>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/NeedsNamespaces.h"
#include "tests/support/TestNetwork.h"
#include "tests/support/TestSupport.h"
#include "tests/support/Watchdog.h"
#include "base/core/VLCommunicationException.h"
#include "base/core/VLInvalidParamException.h"
#include "base/core/VLOpenException.h"
#include "base/net/VLSocket.h"
#include "base/core/VLTimeoutException.h"

namespace {

// Binds the socket to host and a free port found by trying; returns the port.
int BindSomewhere(CVLSocket& socket, const char* szHost)
{
    static int s_nNext = 41000 + (getpid() % 97) * 100;
    for (int i = 0; i < 200; ++i) {
        int nPort = s_nNext++;
        if (s_nNext > 60000)
            s_nNext = 41000;
        CVLSocketAddress address(socket.GetProtocol(), szHost, nPort);
        try {
            socket.Bind(&address);
            return nPort;
        } catch (EVLException* e) {
            e->Delete();
        }
    }
    return -1;
}

template <typename T, typename F>
T* Catch(F body)
{
    try {
        body();
    } catch (T* e) {
        return e;
    } catch (EVLException* e) {
        ADD_FAILURE() << "unexpected " << Bytes(e->GetClassName()) << " line " << e->GetLine();
        e->Delete();
    }
    return nullptr;
}

}  // namespace

TEST(Socket, CreateAndClose)
{
    CVLSocket s;
    EXPECT_FALSE(s.IsValid());
    s.Create(5, 0, 0);  // unknown kind: stored, nothing opened
    EXPECT_EQ(s.GetProtocol(), 5);
    EXPECT_FALSE(s.IsValid());
    s.Close();  // nothing to close

    EVLCommunicationException* e = Catch<EVLCommunicationException>([&] { s.Create(2, 0, 0); });
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->GetLine(), 169);
    EXPECT_EQ(Bytes(e->GetFileName()), "VLSocket");
    e->Delete();
    EXPECT_FALSE(s.IsValid());

    s.Create(0, 65536, 0);
    ASSERT_TRUE(s.IsValid());
    s.Create(1, 0, 0);  // already open: nothing changes
    EXPECT_EQ(s.GetProtocol(), 0);

    {
        CVLSocket copy(s);
        EXPECT_TRUE(copy.IsValid());
    }
    EXPECT_TRUE(s.IsValid());  // the copy's destructor left the descriptor open
    CVLSocket assigned;
    assigned = s;
    EXPECT_TRUE(assigned.IsValid());
    s.Close();
    EXPECT_FALSE(s.IsValid());
}

TEST(Socket, UdpBufferNeverShrinks)
{
    CVLSocket s;
    s.Create(0, 1, 1);  // smaller than any default: left as they are
    ASSERT_TRUE(s.IsValid());
    s.Close();
    CVLSocket big;
    big.Create(0, 1 << 20, 1 << 20);  // raising may be capped by the system but must not fail
    EXPECT_TRUE(big.IsValid());
    big.Close();
}

// A receive buffer asked for beyond the system's ceiling: all of it when the
// process may force it, else the ceiling (the system reports twice either).
TEST(Socket, RaiseReceiveBufferGoesPastTheCeilingWhenItMay)
{
    long nCeiling = 0;
    std::ifstream("/proc/sys/net/core/rmem_max") >> nCeiling;
    ASSERT_GT(nCeiling, 0);
    if (nCeiling > (1L << 28))
        GTEST_SKIP() << "net.core.rmem_max is " << nCeiling << ": no request goes beyond it";
    const int nRequest = static_cast<int>(std::max(4L << 20, 2 * nCeiling));
    int nScratch = socket(AF_INET, SOCK_DGRAM, 0);
    int nSmall = 4096;
    bool bMayForce = setsockopt(nScratch, SOL_SOCKET, SO_RCVBUFFORCE, &nSmall, sizeof(nSmall)) == 0;
    close(nScratch);
    CVLSocket s;
    s.Create(0, 0, 0);
    EXPECT_EQ(2L * (bMayForce ? nRequest : nCeiling), s.RaiseReceiveBuffer(nRequest));
    s.Close();
}

// The same for the send buffer.
TEST(Socket, RaiseSendBufferGoesPastTheCeilingWhenItMay)
{
    long nCeiling = 0;
    std::ifstream("/proc/sys/net/core/wmem_max") >> nCeiling;
    ASSERT_GT(nCeiling, 0);
    if (nCeiling > (1L << 28))
        GTEST_SKIP() << "net.core.wmem_max is " << nCeiling << ": no request goes beyond it";
    const int nRequest = static_cast<int>(std::max(4L << 20, 2 * nCeiling));
    int nScratch = socket(AF_INET, SOCK_DGRAM, 0);
    int nSmall = 4096;
    bool bMayForce = setsockopt(nScratch, SOL_SOCKET, SO_SNDBUFFORCE, &nSmall, sizeof(nSmall)) == 0;
    close(nScratch);
    const std::set<int> before = TestSocketDescriptors();
    CVLSocket s;
    s.Create(0, 0, 0);
    std::set<int> made = TestSocketDescriptors();
    for (int nDescriptor : before)
        made.erase(nDescriptor);
    ASSERT_EQ(1u, made.size());
    EXPECT_EQ(2L * (bMayForce ? nRequest : nCeiling), s.RaiseSendBuffer(nRequest));
    // The send buffer itself, as the system has it.
    int nSendBuffer = 0;
    socklen_t nLength = sizeof(nSendBuffer);
    ASSERT_EQ(0, getsockopt(*made.begin(), SOL_SOCKET, SO_SNDBUF, &nSendBuffer, &nLength));
    EXPECT_EQ(2L * (bMayForce ? nRequest : nCeiling), nSendBuffer);
    s.Close();
}

// Datagrams held in an interface's queue are held against the send buffer:
// once it is full, TrySendTo says so at once instead of waiting for room.
TEST(Socket, TrySendToSaysTheSendBufferIsFullInsteadOfWaiting)
{
    CWatchdog watchdog(60, "sends held in the queue");
    std::string strResult = RunInNamespace(HeldSendsCommands(60), [] {
        CVLSocket s;
        s.Create(0, 0, 0);
        std::vector<char> data(1400, 'x');
        // The send buffer's default holds some 90 of them.
        const int kSends = 400;
        for (int i = 0; i < kSends; ++i) {
            CVLSocketAddress to(0, ("10.5.0." + std::to_string(2 + i % 60)).c_str(), 9);
            if (!s.TrySendTo(data.data(), static_cast<int>(data.size()), to))
                return std::string(i > 0 ? "full" : "full at once");
        }
        return std::string("never full");
    });
    if (strResult.compare(0, 5, "SKIP:") == 0)
        VL_NO_NAMESPACES(strResult.substr(5));
    EXPECT_EQ("full", strResult);
}

// A flood into a socket nobody reads overflows its buffer: the drops are
// counted at once, and a batched read takes what was kept; together they are
// everything sent. Longer datagrams come cut and marked.
TEST(Socket, BatchReadSeesTheDatagramsAFullBufferDropped)
{
    CVLSocket rx;
    rx.Create(0, 0, 0);
    int nPort = BindSomewhere(rx, "127.0.0.1");
    ASSERT_GT(nPort, 0);
    ASSERT_TRUE(rx.EnableDropCount());
    CVLSocket tx;
    tx.Create(0, 0, 0);
    CVLSocketAddress dest(0, "127.0.0.1", nPort);
    const int kFlood = 5000;
    unsigned char datagram[100] = {1};
    for (int i = 0; i < kFlood; ++i)
        tx.SendTo(datagram, sizeof(datagram), dest);
    unsigned long nDrops = rx.GetDropCount();
    std::vector<unsigned char> memory(16 * 128);
    VLSOCKET_DATAGRAM slots[16];
    for (int i = 0; i < 16; ++i) {
        slots[i].pBuffer = memory.data() + i * 128;
        slots[i].nCapacity = 128;
    }
    auto drain = [&] {
        int nTotal = 0;
        for (int n; (n = rx.ReceiveBatch(slots, 16)) > 0;)
            nTotal += n;
        return nTotal;
    };
    int nKept = drain();
    EXPECT_GT(nKept, 16);  // more than one batch
    EXPECT_LT(nKept, kFlood);
    EXPECT_EQ(static_cast<int>(sizeof(datagram)), slots[0].nLength);
    EXPECT_EQ(nPort, rx.GetLocalAddress().GetPort());
    unsigned char longer[300] = {2};
    tx.SendTo(longer, sizeof(longer), dest);
    EXPECT_EQ(1, drain());
    EXPECT_TRUE(slots[0].bTruncated);
    EXPECT_EQ(2, slots[0].pBuffer[0]);
    EXPECT_EQ(static_cast<unsigned long>(kFlood - nKept), nDrops);
    EXPECT_EQ(nDrops, rx.GetDropCount());
    EXPECT_EQ(0, rx.ReceiveBatch(slots, 16));
    rx.Close();
    tx.Close();
}

TEST(Socket, UdpLoopback)
{
    CVLSocket rx;
    rx.Create(0, 65536, 0);
    int nPort = BindSomewhere(rx, "127.0.0.1");
    ASSERT_GT(nPort, 0);
    EXPECT_EQ(Bytes(rx.GetLocalAddress().GetHost()), "127.0.0.1");
    EXPECT_EQ(rx.GetLocalAddress().GetPort(), nPort);

    CVLSocket tx;
    tx.Create(0, 0, 0);
    int nTxPort = BindSomewhere(tx, "127.0.0.1");
    ASSERT_GT(nTxPort, 0);
    CVLSocketAddress other(0, "10.0.0.1", 1);
    tx.Bind(&other);  // already bound: nothing happens
    EXPECT_EQ(tx.GetLocalAddress().GetPort(), nTxPort);

    CVLSocketAddress dest(0, "127.0.0.1", nPort);
    EXPECT_EQ(tx.SendTo("hello", 5, dest), 5);
    EXPECT_TRUE(rx.Select(5000, "127.0.0.1"));
    char buf[64];
    CVLSocketAddress from;
    int n = rx.ReceiveFrom(buf, sizeof(buf), &from);
    ASSERT_EQ(n, 5);
    EXPECT_EQ(std::string(buf, 5), "hello");
    EXPECT_EQ(Bytes(from.GetHost()), "127.0.0.1");
    EXPECT_EQ(from.GetPort(), nTxPort);

    // Without a sender object only the count comes back.
    EXPECT_EQ(tx.SendTo("abc", 3, dest), 3);
    ASSERT_TRUE(rx.Select(5000, nullptr));
    EXPECT_EQ(rx.ReceiveFrom(buf, sizeof(buf), nullptr), 3);

    // An empty datagram is reported as EVLOpenException.
    EXPECT_EQ(tx.SendTo("", 0, dest), 0);
    ASSERT_TRUE(rx.Select(5000, nullptr));
    EVLOpenException* e = Catch<EVLOpenException>([&] { rx.ReceiveFrom(buf, sizeof(buf), &from); });
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->GetLine(), 638);
    EXPECT_EQ(e->GetSystemErrorCode(), 0);
    e->Delete();

    // Bad buffers are rejected before any system call.
    EVLInvalidParamException* p = Catch<EVLInvalidParamException>([&] { rx.ReceiveFrom(buf, -1, nullptr); });
    ASSERT_NE(p, nullptr);
    p->Delete();
    p = Catch<EVLInvalidParamException>([&] { tx.SendTo(nullptr, 4, dest); });
    ASSERT_NE(p, nullptr);
    p->Delete();

    rx.Close();
    tx.Close();
}

TEST(Socket, SelectTimeouts)
{
    CVLSocket s;
    s.Create(0, 0, 0);
    ASSERT_GT(BindSomewhere(s, "127.0.0.1"), 0);

    EVLTimeoutException* t = Catch<EVLTimeoutException>([&] { s.Select(0, "x"); });
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->GetLine(), 711);
    t->Delete();

    auto start = std::chrono::steady_clock::now();
    t = Catch<EVLTimeoutException>([&] { s.Select(150, "x"); });
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
    ASSERT_NE(t, nullptr);
    t->Delete();
    EXPECT_GE(ms, 140);
    EXPECT_LT(ms, 10000);

    EVLCommunicationException* c = Catch<EVLCommunicationException>([&] { s.Select(-1, "here"); });
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(Bytes(c->GetExceptionAddress()), "here");
    EXPECT_EQ(c->GetLine(), 700);
    c->Delete();
    s.Close();

    c = Catch<EVLCommunicationException>([&] { s.Select(0, "closed"); });
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->GetSystemErrorCode(), 9);  // EBADF
    c->Delete();
}

// A wait of ten minutes ends as soon as another thread shuts the socket down.
TEST(Socket, ShutdownWakesAWait)
{
    CWatchdog watchdog(60, "a wait woken by Shutdown");
    CVLSocket s;
    s.Create(0, 0, 0);
    ASSERT_GT(BindSomewhere(s, "127.0.0.1"), 0);
    bool bReadable = false;
    std::thread waiter([&] { bReadable = s.Select(600000, nullptr); });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    s.Shutdown();
    waiter.join();
    EXPECT_TRUE(bReadable);
    s.Close();
    s.Shutdown();  // nothing to do on a closed socket
}

// Every descriptor below 1100 is taken first, so the socket's number lies above
// the 1024 that a select() set could hold.
TEST(Socket, HighDescriptor)
{
    struct rlimit lim;
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &lim), 0);
    if (lim.rlim_cur < 1200) {
        lim.rlim_cur = lim.rlim_max < 1200 ? lim.rlim_max : 1200;
        setrlimit(RLIMIT_NOFILE, &lim);
        getrlimit(RLIMIT_NOFILE, &lim);
        if (lim.rlim_cur < 1200)
            GTEST_SKIP() << "the descriptor limit is below 1200";
    }
    int nNull = open("/dev/null", O_RDONLY | O_CLOEXEC);
    ASSERT_GE(nNull, 0);
    std::vector<int> fillers;
    for (int fd = 0; fd < 1100; ++fd) {
        if (fcntl(fd, F_GETFD) == -1) {
            ASSERT_EQ(dup2(nNull, fd), fd);
            fillers.push_back(fd);
        }
    }
    CVLSocket rx, tx;
    rx.Create(0, 0, 0);
    tx.Create(0, 0, 0);
    for (int fd : fillers)
        close(fd);
    close(nNull);
    int nPort = BindSomewhere(rx, "127.0.0.1");
    ASSERT_GT(nPort, 0);

    EVLTimeoutException* t = Catch<EVLTimeoutException>([&] { rx.Select(20, nullptr); });
    ASSERT_NE(t, nullptr);
    t->Delete();
    CVLSocketAddress dest(0, "127.0.0.1", nPort);
    tx.SendTo("x", 1, dest);
    EXPECT_TRUE(rx.Select(5000, nullptr));
    char c;
    EXPECT_EQ(rx.ReceiveFrom(&c, 1, nullptr), 1);
    rx.Close();
    tx.Close();
}

TEST(Socket, DirectedBroadcastOnLoopback)
{
    CVLSocket rx;
    rx.Create(0, 0, 0);
    int nPort = BindSomewhere(rx, "0.0.0.0");
    ASSERT_GT(nPort, 0);
    CVLSocket tx;
    tx.Create(0, 0, 0);
    CVLSocketAddress dest(0, "127.255.255.255", nPort);

    tx.SetBroadcast(64, false);
    EVLCommunicationException* e = Catch<EVLCommunicationException>([&] { tx.SendTo("a", 1, dest); });
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->GetSystemErrorCode(), 13);  // EACCES
    EXPECT_EQ(Bytes(e->GetExceptionAddress()), "127.255.255.255");
    EXPECT_EQ(e->GetLine(), 582);
    e->Delete();

    tx.SetBroadcast(64, true);
    EXPECT_EQ(tx.SendTo("b", 1, dest), 1);
    ASSERT_TRUE(rx.Select(5000, nullptr));
    char c = 0;
    EXPECT_EQ(rx.ReceiveFrom(&c, 1, nullptr), 1);
    EXPECT_EQ(c, 'b');
    tx.SetMulticast(2, "127.0.0.1");  // options only, nothing is sent
    rx.Close();
    tx.Close();
}

TEST(Socket, TcpLoopback)
{
    CVLSocket listener;
    listener.Create(1, 0, 0);
    int nPort = BindSomewhere(listener, "127.0.0.1");
    ASSERT_GT(nPort, 0);
    listener.Listen(4);

    CVLSocket client;
    client.Create(1, 0, 0);
    client.Connect(CVLSocketAddress(1, "127.0.0.1", nPort));
    CVLSocket server = listener.Accept();
    ASSERT_TRUE(server.IsValid());

    EXPECT_EQ(client.Send("ping", 4), 4);
    char buf[16];
    ASSERT_TRUE(server.Select(5000, nullptr));
    EXPECT_EQ(server.Receive(buf, sizeof(buf)), 4);
    EXPECT_EQ(std::string(buf, 4), "ping");

    // The peer closes: Receive throws EVLOpenException naming the remote host.
    server.Close();
    ASSERT_TRUE(client.Select(5000, nullptr));
    EVLOpenException* o = Catch<EVLOpenException>([&] { client.Receive(buf, sizeof(buf)); });
    ASSERT_NE(o, nullptr);
    EXPECT_EQ(o->GetLine(), 537);
    EXPECT_EQ(Bytes(o->GetFilePath()), "127.0.0.1");
    o->Delete();

    // Writing to the closed connection fails with an error, never a signal.
    EVLCommunicationException* e = nullptr;
    for (int i = 0; i < 50 && e == nullptr; ++i) {
        try {
            client.Send("more", 4);
            usleep(10000);
        } catch (EVLCommunicationException* x) {
            e = x;
        }
    }
    ASSERT_NE(e, nullptr);
    EXPECT_TRUE(e->GetSystemErrorCode() == 32 || e->GetSystemErrorCode() == 54) << e->GetSystemErrorCode();
    EXPECT_EQ(e->GetLine(), 515);
    e->Delete();
    client.Close();

    // Nobody listens any more: the refusal carries the BSD error number, which the definitions test.
    listener.Close();
    CVLSocket late;
    late.Create(1, 0, 0);
    e = Catch<EVLCommunicationException>([&] { late.Connect(CVLSocketAddress(1, "127.0.0.1", nPort)); });
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->GetSystemErrorCode(), 61);  // ECONNREFUSED
    EXPECT_EQ(e->GetLine(), 496);
    late.Close();
    e->Delete();
}

TEST(Socket, BindFailureNamesTheAddress)
{
    CVLSocket a;
    a.Create(1, 0, 0);
    int nPort = BindSomewhere(a, "127.0.0.1");
    ASSERT_GT(nPort, 0);
    a.Listen(1);
    CVLSocket b;
    b.Create(1, 0, 0);
    CVLSocketAddress same(1, "127.0.0.1", nPort);
    EVLCommunicationException* e = Catch<EVLCommunicationException>([&] { b.Bind(&same); });
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->GetSystemErrorCode(), 48);  // EADDRINUSE
    EXPECT_EQ(Bytes(e->GetExceptionAddress()), "127.0.0.1");
    EXPECT_EQ(e->GetLine(), 317);
    e->Delete();
    a.Close();
    b.Close();
}
