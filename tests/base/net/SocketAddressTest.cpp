#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <sched.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "tests/support/NeedsNamespaces.h"
#include "tests/support/TestSupport.h"
#include "base/core/VLCommunicationException.h"
#include "base/net/VLSocketAddress.h"

namespace {

std::string Host(const CVLSocketAddress& a)
{
    return Bytes(a.GetHost());
}

const sockaddr_in* In(CVLSocketAddress& a)
{
    return reinterpret_cast<const sockaddr_in*>(a.GetSockAddr());
}

}  // namespace

TEST(SocketAddress, DefaultsAndSetters)
{
    CVLSocketAddress a;
    EXPECT_EQ(Host(a), "0.0.0.0");
    EXPECT_EQ(a.GetPort(), 0);
    EXPECT_EQ(a.GetProtocol(), 0);
    EXPECT_EQ(a.GetFormat(), 1);
    EXPECT_EQ(In(a)->sin_family, AF_INET);
    EXPECT_EQ(In(a)->sin_port, 0);
    EXPECT_EQ(In(a)->sin_addr.s_addr, htonl(INADDR_ANY));
    EXPECT_EQ(a.GetSockAddrLength(), 16);

    a.SetHost("");
    EXPECT_EQ(Host(a), "0.0.0.0");
    a.SetHost(nullptr);
    EXPECT_EQ(Host(a), "0.0.0.0");
    a.SetFormat(3);
    a.SetHost("");
    EXPECT_EQ(Host(a), "");

    // IPX: format 3, no address bytes, an all-zero socket address
    CVLSocketAddress ipx;
    ipx.Set(0, 2, "x", 5);
    EXPECT_EQ(ipx.GetFormat(), 3);
    EXPECT_EQ(ipx.GetAddressLength(), 0);
    EXPECT_EQ(ipx.GetAddressBytes(), nullptr);
    unsigned char zero[16] = {0};
    EXPECT_EQ(std::memcmp(ipx.GetSockAddr(), zero, 16), 0);
    ipx.MakeBroadcastAddress("255.255.255.0");
    EXPECT_EQ(Host(ipx), "0.0.0.0");

    CVLSocketAddress tcp(1, "10.0.0.1", 80);
    EXPECT_EQ(tcp.GetFormat(), 1);
    EXPECT_EQ(tcp.GetProtocol(), 1);
}

TEST(SocketAddress, ResolveNumeric)
{
    CVLSocketAddress a(0, "192.168.1.20", 3289);
    const unsigned char* p = reinterpret_cast<const unsigned char*>(a.GetSockAddr());
    EXPECT_EQ(p[2], 0x0C);
    EXPECT_EQ(p[3], 0xD9);
    const unsigned char expected[4] = {192, 168, 1, 20};
    ASSERT_EQ(a.GetAddressLength(), 4);
    EXPECT_EQ(std::memcmp(a.GetAddressBytes(), expected, 4), 0);
    EXPECT_EQ(std::memcmp(p + 4, expected, 4), 0);
    for (int i = 8; i < 16; ++i)
        EXPECT_EQ(p[i], 0) << i;

    // The limited broadcast; leading zeros read as decimal, as everywhere.
    CVLSocketAddress b(0, "255.255.255.255", 1);
    EXPECT_EQ(In(b)->sin_addr.s_addr, htonl(INADDR_BROADCAST));
    CVLSocketAddress c(0, "010.001.1.1", 1);
    EXPECT_EQ(In(c)->sin_addr.s_addr, htonl(0x0a010101));

    // A setter invalidates the cache; the port takes its low 16 bits.
    a.SetHost("10.0.0.9");
    a.SetPort(0x12345);
    EXPECT_EQ(In(a)->sin_addr.s_addr, htonl(0x0a000009));
    EXPECT_EQ(ntohs(In(a)->sin_port), 0x2345);

    // Names from the hosts file resolve without any traffic.
    CVLSocketAddress local(0, "localhost", 7);
    EXPECT_EQ(In(local)->sin_addr.s_addr, htonl(INADDR_LOOPBACK));
}

// The C library's other numeric forms (fewer parts, octal or hexadecimal
// parts) are no address: refused, neither read another way nor looked up.
TEST(SocketAddress, OtherNumericFormsAreRefused)
{
    for (const char* sz : {"10.1", "0x7f.1", "0x0a000001", "0010.1.1.1", "1.2.3.0377"}) {
        CVLSocketAddress a(0, sz, 1);
        try {
            a.GetSockAddr();
            ADD_FAILURE() << sz << " read as " << std::hex << ntohl(In(a)->sin_addr.s_addr);
        } catch (EVLCommunicationException* e) {
            EXPECT_EQ(EINVAL, e->GetSystemErrorCode()) << sz;
            EXPECT_EQ(Bytes(e->GetExceptionAddress()), sz);
            e->Delete();
        } catch (EVLException* e) {
            ADD_FAILURE() << sz << ": " << Bytes(e->GetClassName());
            e->Delete();
        }
    }
}

TEST(SocketAddress, ResolveBadBuffer)
{
    CVLSocketAddress a;
    unsigned char small[8];
    try {
        CVLSocketAddress::Resolve(reinterpret_cast<sockaddr*>(small), sizeof(small), a);
        FAIL() << "no exception";
    } catch (EVLException* e) {
        EXPECT_EQ(Bytes(e->GetClassName()), "EVLInvalidParamException");
        e->Delete();
    }
}

// A name that does not resolve is an error and never the broadcast address.
// The lookup runs in a network namespace of its own, where no name server is
// reachable, so that the test sends nothing.
TEST(SocketAddress, UnresolvableNameFails)
{
    if (geteuid() != 0)
        VL_NO_NAMESPACES("needs root for a private network namespace");
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        close(fds[0]);
        char cResult = 'n';  // n: namespace failed, t: thrown as expected, b: bad
        if (unshare(CLONE_NEWNET) == 0) {
            cResult = 'b';
            CVLSocketAddress a(0, "no-such-host.invalid", 9);
            try {
                a.GetSockAddr();
            } catch (EVLCommunicationException* e) {
                if (Bytes(e->GetExceptionAddress()) == "no-such-host.invalid" && e->GetLine() == 264 &&
                    Bytes(e->GetFileName()) == "VLSocketAddress" && e->GetSystemErrorCode() != 0 &&
                    e->GetSystemErrorCode() != EINVAL)
                    cResult = 't';
                e->Delete();
            } catch (EVLException* e) {
                e->Delete();
            }
            // Digits and dots that make no address are no host name either:
            // refused as such, not looked up.
            for (const char* sz : {"256.1.1.1", "1.2.3.4.", "1.2.3.4.5"}) {
                CVLSocketAddress number(0, sz, 9);
                bool bRefused = false;
                try {
                    number.GetSockAddr();
                } catch (EVLCommunicationException* e) {
                    bRefused = e->GetSystemErrorCode() == EINVAL;
                    e->Delete();
                } catch (EVLException* e) {
                    e->Delete();
                }
                cResult = bRefused ? cResult : 'b';
            }
        }
        ssize_t n = write(fds[1], &cResult, 1);
        _exit(n == 1 ? 0 : 1);
    }
    close(fds[1]);
    char cResult = 0;
    ASSERT_EQ(read(fds[0], &cResult, 1), 1);
    close(fds[0]);
    int nStatus = 0;
    waitpid(pid, &nStatus, 0);
    if (cResult == 'n')
        VL_NO_NAMESPACES("cannot create a network namespace here");
    EXPECT_EQ(cResult, 't');
}

TEST(SocketAddress, AddressBytesAndSockAddr)
{
    CVLSocketAddress a;
    const unsigned char bytes[4] = {10, 0, 0, 200};
    a.SetFormat(3);
    a.SetAddressBytes(bytes);
    EXPECT_EQ(Host(a), "10.0.0.200");
    EXPECT_EQ(a.GetFormat(), 1);
    const unsigned char high[4] = {255, 128, 0, 1};
    a.SetAddressBytes(high);
    EXPECT_EQ(Host(a), "255.128.0.1");
    a.SetAddressBytes(nullptr);
    EXPECT_EQ(Host(a), "0.0.0.0");

    sockaddr_in in;
    std::memset(&in, 0, sizeof(in));
    in.sin_family = AF_INET;
    in.sin_port = htons(0x1234);
    in.sin_addr.s_addr = htonl(0xc0a80114);
    CVLSocketAddress b;
    b.SetSockAddr(reinterpret_cast<const sockaddr*>(&in));
    EXPECT_EQ(b.GetPort(), 4660);
    EXPECT_EQ(Host(b), "192.168.1.20");
    EXPECT_EQ(std::memcmp(b.GetSockAddr(), &in, 16), 0);

    // Another family leaves host and port alone.
    sockaddr_in other = in;
    other.sin_family = AF_UNIX;
    other.sin_port = htons(99);
    b.SetSockAddr(reinterpret_cast<const sockaddr*>(&other));
    EXPECT_EQ(b.GetPort(), 4660);
    EXPECT_EQ(Host(b), "192.168.1.20");
    EXPECT_EQ(In(b)->sin_family, AF_INET);  // rebuilt from the text
    b.SetSockAddr(nullptr);
    EXPECT_EQ(Host(b), "192.168.1.20");
}

TEST(SocketAddress, Masks)
{
    CVLSocketAddress a(0, "192.168.1.20", 3289);
    a.MakeBroadcastAddress("255.255.255.0");
    EXPECT_EQ(Host(a), "192.168.1.255");
    EXPECT_EQ(In(a)->sin_addr.s_addr, htonl(0xc0a801ff));  // cache agrees with the text
    EXPECT_EQ(a.GetPort(), 3289);

    CVLSocketAddress b(0, "192.168.1.20", 0);
    b.MakeNetworkAddress("255.255.255.0");
    EXPECT_EQ(Host(b), "192.168.1.0");

    CVLSocketAddress c(0, "172.16.5.1", 0);
    CVLSocketAddress mask(0, "255.240.0.0", 0);
    c.MakeBroadcastAddress(mask);
    EXPECT_EQ(Host(c), "172.31.255.255");
    c.MakeNetworkAddress(mask);
    EXPECT_EQ(Host(c), "172.16.0.0");
}

TEST(SocketAddress, CompareAndEqual)
{
    CVLSocketAddress a(0, "9.0.0.1", 1);
    CVLSocketAddress b(0, "10.0.0.2", 1);
    EXPECT_LT(a.Compare(b), 0);
    EXPECT_GT(b.Compare(a), 0);
    EXPECT_TRUE(a < b);
    EXPECT_TRUE(b >= a);
    EXPECT_TRUE(a != b);

    CVLSocketAddress c(0, "200.1.1.1", 1);
    EXPECT_LT(b.Compare(c), 0);  // unsigned bytes

    CVLSocketAddress p1(0, "10.0.0.2", 1000);
    CVLSocketAddress p2(0, "10.0.0.2", 2000);
    EXPECT_EQ(p1.Compare(p2), 0);
    EXPECT_TRUE(p1 == p2);
    EXPECT_FALSE(p1.IsEqual(p2));
    p2.SetPort(1000);
    EXPECT_TRUE(p1.IsEqual(p2));
    p2.SetProtocol(1);
    EXPECT_FALSE(p1.IsEqual(p2));

    // Leading zeros read as decimal: the same address.
    CVLSocketAddress s1(0, "10.0.0.2", 1000);
    CVLSocketAddress s2(0, "010.0.0.2", 1000);
    EXPECT_TRUE(s1.IsEqual(s2));

    // IPX sorts before IPv4: lengths 0 and 4.
    CVLSocketAddress ipx(2, "x", 0);
    EXPECT_EQ(ipx.Compare(a), -4);
}

TEST(SocketAddress, CopyAndAssign)
{
    CVLSocketAddress a(1, "10.9.8.7", 55);
    a.GetSockAddr();
    CVLSocketAddress b(a);
    EXPECT_EQ(Host(b), "10.9.8.7");
    EXPECT_EQ(b.GetPort(), 55);
    EXPECT_EQ(b.GetProtocol(), 1);
    EXPECT_EQ(std::memcmp(a.GetSockAddr(), b.GetSockAddr(), 16), 0);
    CVLSocketAddress c;
    c = a;
    a.SetHost("1.2.3.4");
    EXPECT_EQ(Host(c), "10.9.8.7");
    EXPECT_EQ(In(c)->sin_addr.s_addr, htonl(0x0a090807));
}

TEST(SocketAddress, DottedQuad)
{
    // The strict reading: no short forms, no other bases, no names.
    unsigned char bytes[4] = {9, 9, 9, 9};
    EXPECT_TRUE(CVLSocketAddress::ParseDottedQuad("255.0.010.1", bytes));
    EXPECT_EQ(0, std::memcmp(bytes, "\xff\x00\x0a\x01", 4));
    for (const char* sz : {"", "localhost", "10.88.1", "999.1.1.1", "1.2.3.4.", "1.2.3.1234", "0010.1.1.1",
                           "1.2.3.0255", "1..3.4", "0x0a.1.1.1", "1.2.3.4 ", " 1.2.3.4", "1.2.3.-4", "256.1.1.1"}) {
        EXPECT_FALSE(CVLSocketAddress::ParseDottedQuad(sz, bytes)) << sz;
        EXPECT_EQ(0, std::memcmp(bytes, "\xff\x00\x0a\x01", 4)) << sz;
    }
    EXPECT_FALSE(CVLSocketAddress::ParseDottedQuad(nullptr, bytes));

    // As one number in host order, by the same reading.
    uint32_t nAddress = 7;
    EXPECT_TRUE(CVLSocketAddress::ParseDottedQuad("255.0.010.1", nAddress));
    EXPECT_EQ(0xff000a01u, nAddress);
    EXPECT_FALSE(CVLSocketAddress::ParseDottedQuad("0010.1.1.1", nAddress));
    EXPECT_EQ(0xff000a01u, nAddress);
    EXPECT_EQ(Bytes(CVLSocketAddress::FormatDottedQuad(0x0a0102ffu)), "10.1.2.255");
}
