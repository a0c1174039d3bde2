// The emulator against the protocol's worked examples (docs/protocol.md): if these hold,
// a module that disagrees with the emulator is the one to look at.
#include <arpa/inet.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>

#include "tests/support/DeviceNetworks.h"
#include "tests/support/NeedsNamespaces.h"
#include "tests/support/emulator/DeviceEmulator.h"
#include "tests/support/TestNetwork.h"

namespace {

typedef std::vector<uint8_t> Bytes;

Bytes Hex(const char* sz)
{
    Bytes v;
    unsigned n;
    int nUsed;
    while (sscanf(sz, " %2x%n", &n, &nUsed) == 1) {
        v.push_back(static_cast<uint8_t>(n));
        sz += nUsed;
    }
    return v;
}

// A client socket on loopback; Exchange sends one datagram and collects the
// replies, with their senders: the first within nFirstWaitMs (long, as a
// busy machine may hold the emulator's thread back), each further one
// within nWaitMs of the one before.
class Client
{
public:
    Client()
    {
        m_nSocket = socket(AF_INET, SOCK_DGRAM, 0);
        int nOn = 1;
        setsockopt(m_nSocket, SOL_SOCKET, SO_BROADCAST, &nOn, sizeof(nOn));
    }
    ~Client() { close(m_nSocket); }
    std::vector<std::pair<std::string, Bytes>> Exchange(const char* szTo, uint16_t nPort, const Bytes& request,
                                                        int nWaitMs = 300, int nFirstWaitMs = 10000)
    {
        sockaddr_in to = {};
        to.sin_family = AF_INET;
        to.sin_port = htons(nPort);
        inet_pton(AF_INET, szTo, &to.sin_addr);
        sendto(m_nSocket, request.data(), request.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof(to));
        std::vector<std::pair<std::string, Bytes>> replies;
        pollfd fd = {m_nSocket, POLLIN, 0};
        for (int nWait = nFirstWaitMs; poll(&fd, 1, nWait) > 0; nWait = nWaitMs) {
            Bytes buf(4096);
            sockaddr_in from = {};
            socklen_t nLen = sizeof(from);
            ssize_t n = recvfrom(m_nSocket, buf.data(), buf.size(), 0, reinterpret_cast<sockaddr*>(&from), &nLen);
            buf.resize(static_cast<size_t>(std::max<ssize_t>(n, 0)));
            replies.emplace_back(inet_ntoa(from.sin_addr), buf);
        }
        return replies;
    }

private:
    int m_nSocket;
};

}  // namespace

TEST(DeviceEmulator, WordCipherVectors)
{
    uint8_t mac[6];
    ASSERT_TRUE(EmuParseMac("00:26:AB:12:34:57", mac));
    Bytes digits(Hex("30 31 32 33 34 35 36 37 38 39"));
    EmuWordCipher(digits, mac, true);
    EXPECT_EQ(Hex("c0 8c 80 cc 40 0c 00 4c c1 8d"), digits);
    Bytes magic = {'O', 'R', 'V', 'E', 'K'};
    EmuWordCipher(magic, mac, true);
    EXPECT_EQ(Hex("af 60 4c 42 ef ea"), magic);
    EmuWordCipher(magic, mac, false);
    EXPECT_EQ(Hex("4f 52 56 45 4b 00"), magic);
    EXPECT_EQ("900150983cd24fb0d6963f7d28e17f72", EmuMD5Hex("abc"));
    EXPECT_EQ("\r\n", EmuBase64Lines(""));
    EXPECT_EQ("Zm9vYg==\r\n", EmuBase64Lines("foob"));
}

TEST(DeviceEmulator, ProfileExamples)
{
    std::vector<EmuDevice> devices;
    std::string strError;
    ASSERT_TRUE(EmuParseDevices("mac=00:26:AB:00:00:01 ip=127.0.0.10 mask=255.255.255.0 gw=10.1.0.1 "
                                "model=\"Model A\" services=1:80,2:9100,4:631\n"
                                "mac=0026ab123457 ip=127.0.0.11 number=5 encrypted=1 # comment\n",
                                devices, &strError))
        << strError;
    CDeviceEmulator emulator(0);
    for (const EmuDevice& d : devices)
        emulator.AddDevice(d);
    ASSERT_TRUE(emulator.Start(&strError)) << strError;
    Client client;

    // The probe reply of the worked example, with the device's loopback address.
    auto replies = client.Exchange("127.0.0.10", emulator.Port(), Hex("4f 52 56 45 4b 50 2b 00 5a 01 00 00 00 00"));
    ASSERT_EQ(1u, replies.size());
    EXPECT_EQ("127.0.0.10", replies[0].first);
    EXPECT_EQ(Hex("4f 52 56 45 4b 70 2b 01 5a 01 00 00 00 2c 00 26 ab 00 00 01 32 00 00 00 02 01 00"
                  " 7f 00 00 0a ff ff ff 00 0a 01 00 01 07 4d 6f 64 65 6c 20 41 00 03 01 00 50 02 23 8c 04 02 77"),
              replies[0].second);

    // CheckUnicast to the encrypting device, byte for byte.
    replies = client.Exchange("127.0.0.11", emulator.Port(),
                              Hex("4f 52 56 45 4b 51 2b 05 5a 02 00 00 00 0c e0 8c 20 cc ae a2 a0 ac 60 ec 00 2c"));
    ASSERT_EQ(1u, replies.size());
    EXPECT_EQ(Hex("4f 52 56 45 4b 71 2b 05 5a 02 00 00 00 07 26 8e b3 e8 00 00 e6 aa"), replies[0].second);
}

TEST(DeviceEmulator, WhoAnswersWhat)
{
    CDeviceEmulator emulator(0);
    EmuDevice a, b;
    a.strIP = "127.0.0.2";
    b.strIP = "127.0.0.3";
    b.mac[5] = 2;
    b.strPassword = "secret";
    emulator.AddDevice(a);
    emulator.AddDevice(b);
    std::string strError;
    ASSERT_TRUE(emulator.Start(&strError)) << strError;
    Client client;
    const uint16_t nPort = emulator.Port();

    // A probe to the directed broadcast of 127/8 reaches both.
    EXPECT_EQ(2u, client.Exchange("127.255.255.255", nPort, Hex("4f 52 56 45 4b 50 2b 00 5a 01 00 00 00 00")).size());
    // A unicast-only function by broadcast is ignored; by unicast it is answered.
    Bytes check = Hex("4f 52 56 45 4b 51 2b 00 5a 02 00 00 00 0c");
    for (char c : std::string("0026AB000002"))
        check.push_back(static_cast<uint8_t>(c));
    EXPECT_TRUE(client.Exchange("127.255.255.255", nPort, check, 150, 150).empty());
    auto replies = client.Exchange("127.0.0.3", nPort, check);
    ASSERT_EQ(1u, replies.size());
    EXPECT_EQ(0, replies[0].second[10] | replies[0].second[11]);
    // The same request at the other device names the wrong MAC: F004.
    replies = client.Exchange("127.0.0.2", nPort, check);
    ASSERT_EQ(1u, replies.size());
    EXPECT_EQ(0xF0, replies[0].second[10]);
    EXPECT_EQ(0x04, replies[0].second[11]);

    // A wrong MD5 password: 1001 with the retries left.
    Bytes password = Hex("4f 52 56 45 4b 51 2b 00 5a 20 00 00 00 10");
    for (char c : std::string("0026AB000002"))
        password.push_back(static_cast<uint8_t>(c));
    Bytes wrong = Hex("00 02 78 78");
    password.insert(password.end(), wrong.begin(), wrong.end());
    replies = client.Exchange("127.0.0.3", nPort, password);
    ASSERT_EQ(1u, replies.size());
    ASSERT_EQ(21u, replies[0].second.size());
    EXPECT_EQ(0x10, replies[0].second[10]);
    EXPECT_EQ(0x01, replies[0].second[11]);
    EXPECT_EQ(4, replies[0].second[20]);
}

// Devices on two networks of their own, behind two interfaces of the client.
TEST(DeviceEmulator, InNamespaces)
{
    VL_NEEDS_NAMESPACES();
    CTestNetwork net;
    std::string strError;
    ASSERT_TRUE(net.AddHost("pc", &strError) && net.AddHost("n1", &strError) && net.AddHost("n2", &strError))
        << strError;
    ASSERT_TRUE(net.Link("pc", "vl1", {"10.201.1.1/24"}, "n1", "eth0", {"10.201.1.10/24", "10.201.1.11/24"}, &strError))
        << strError;
    ASSERT_TRUE(net.Link("pc", "vl2", {"10.201.2.1/24"}, "n2", "eth0", {"10.201.2.10/24"}, &strError)) << strError;
    ASSERT_TRUE(net.Exec("pc", "ip route add default dev vl1", &strError)) << strError;
    ASSERT_TRUE(net.StartEmulator("n1",
                                  "mac=00:26:AB:01:00:01 ip=10.201.1.10 mask=255.255.255.0\n"
                                  "mac=00:26:AB:01:00:02 ip=10.201.1.11 mask=255.255.255.0\n",
                                  48817, TestEmulatorProgram(), &strError))
        << strError;
    ASSERT_TRUE(net.StartEmulator("n2", "mac=00:26:AB:02:00:01 ip=10.201.2.10 mask=255.255.255.0\n", 48817,
                                  TestEmulatorProgram(), &strError))
        << strError;
    std::string strResult = net.RunIn("pc", [] {
        Client client;
        Bytes probe = Hex("4f 52 56 45 4b 50 2b 00 5a 01 00 00 00 00");
        std::string s;
        for (const char* szTo : {"10.201.1.255", "10.201.2.255", "255.255.255.255"}) {
            auto replies = client.Exchange(szTo, 48817, probe);
            s += std::string(szTo) + ":";
            for (auto& r : replies)
                s += " " + r.first;
            s += ";";
        }
        return s;
    });
    EXPECT_EQ("10.201.1.255: 10.201.1.10 10.201.1.11;10.201.2.255: 10.201.2.10;"
              "255.255.255.255: 10.201.1.10 10.201.1.11;",
              strResult);
}

// A device given an address of its own (ip=) is told at that address and
// answers from it, on its network or off it; the others keep theirs.
TEST(DeviceEmulator, ADeviceOfANetworkAnswersFromTheAddressItIsGiven)
{
    VL_NEEDS_NAMESPACES();
    CDeviceNetworks networks;
    std::string strError;
    ASSERT_TRUE(networks.AddComputer(&strError)) << strError;
    ASSERT_TRUE(networks.AddNetwork(3, {"ip=10.201.3.50", "", "ip=192.168.7.10"}, &strError)) << strError;
    std::vector<std::string> told;
    for (const CDeviceNetworks::Device& device : networks.GetDevices())
        told.push_back(device.strIP);
    EXPECT_EQ((std::vector<std::string>{"10.201.3.50", "10.201.3.11", "192.168.7.10"}), told);
    // The limited broadcast, which the device off the network answers too.
    ASSERT_TRUE(networks.GetNetwork().Exec(CDeviceNetworks::kComputer, "ip route add default dev vl3", &strError))
        << strError;
    std::string strResult = networks.GetNetwork().RunIn(CDeviceNetworks::kComputer, [] {
        Client client;
        Bytes probe = Hex("4f 52 56 45 4b 50 2b 00 5a 01 00 00 00 00");
        std::vector<std::string> from;
        for (auto& reply : client.Exchange("255.255.255.255", 48817, probe))
            from.push_back(reply.first);
        std::sort(from.begin(), from.end());
        std::string s;
        for (const std::string& strFrom : from)
            s += strFrom + ";";
        return s;
    });
    EXPECT_EQ("10.201.3.11;10.201.3.50;192.168.7.10;", strResult);
}
