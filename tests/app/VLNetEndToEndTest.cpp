// Whole discoveries with the vlnet program: a computer in a namespace of its
// own with six networks (five reached by directed broadcast, the sixth, its
// default route, only by the limited broadcast), device emulators behind
// each, lossy, enciphered, unicast-deaf and hostile devices among them.
#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <net/if.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <csignal>
#include <cstring>
#include <chrono>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/DeviceNetworks.h"
#include "tests/support/NeedsNamespaces.h"
#include "tests/support/emulator/DeviceEmulator.h"
#include "tests/support/TempFolder.h"

namespace {
// gcc marks a sanitizer build with macros, clang with __has_feature.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
const bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
const bool kSanitized = true;
#else
const bool kSanitized = false;
#endif
#else
const bool kSanitized = false;
#endif

// How many times longer a sanitizer build takes than a plain one.
const int kSlowdown = kSanitized ? 3 : 1;

// The latest a run of a program may end, from its start, when the program
// promises to end fPromisedSeconds after it (its time-out, a stop signal):
// the promise, and the start-up before it and the about a second the
// program promises to end within, on a machine busy with other work, scaled
// for a sanitizer build.
double EndBound(double fPromisedSeconds)
{
    const double kStartAndWindDownSeconds = 10;
    return fPromisedSeconds + kStartAndWindDownSeconds * kSlowdown;
}

struct ProgramRun
{
    int nStatus = -1;
    long nMaxRSSKilobytes = 0;
    std::string strOutput;
    std::string strErrors;
};

std::string BinDir()
{
    std::string strEmu = TestEmulatorProgram();
    return strEmu.substr(0, strEmu.rfind('/'));
}

std::string ReadFd(int fd)
{
    std::string str;
    char buffer[4096];
    ssize_t n;
    while ((n = read(fd, buffer, sizeof(buffer))) > 0)
        str.append(buffer, static_cast<size_t>(n));
    return str;
}

// Runs a program in the computer's namespace, without a terminal (none to
// ask a password on); its status, peak memory and outputs. nFileLimit: the
// descriptors it may open (0 as inherited); nStopAfterMs: when it is sent
// SIGTERM (0 never); fnInterruptWhen: asked (in the namespace, at most 20
// times) until true, then the program is sent nInterrupt.
ProgramRun RunProgram(CTestNetwork& net, const std::vector<std::string>& args, rlim_t nFileLimit = 0,
                      int nStopAfterMs = 0, const std::function<bool()>& fnInterruptWhen = nullptr,
                      int nInterrupt = SIGINT)
{
    std::string strResult = net.RunIn("pc", [&]() -> std::string {
        int out[2], err[2];
        if (pipe(out) != 0 || pipe(err) != 0)
            return "FAIL:pipe";
        pid_t pid = fork();
        if (pid == 0) {
            setsid();
            if (nFileLimit != 0) {
                struct rlimit limit = {nFileLimit, nFileLimit};
                setrlimit(RLIMIT_NOFILE, &limit);
            }
            int null = open("/dev/null", O_RDONLY);
            dup2(null, 0);
            dup2(out[1], 1);
            dup2(err[1], 2);
            close(null), close(out[0]), close(out[1]), close(err[0]), close(err[1]);
            // Only the standard three reach the program: what the test
            // runner left open would change the descriptor counts.
            for (int fd = 3; fd < 1024; ++fd)
                close(fd);
            std::vector<std::string> all = args;
            std::vector<char*> argv;
            for (std::string& a : all)
                argv.push_back(&a[0]);
            argv.push_back(nullptr);
            execv(argv[0], argv.data());
            _exit(127);
        }
        close(out[1]), close(err[1]);
        if (nStopAfterMs != 0) {
            usleep(static_cast<useconds_t>(nStopAfterMs) * 1000);
            kill(pid, SIGTERM);
        }
        if (fnInterruptWhen) {
            for (int i = 0; i < 20 && !fnInterruptWhen(); i++) {
            }
            kill(pid, nInterrupt);
        }
        // Errors are short; the output is read first, then the errors.
        std::string strOut = ReadFd(out[0]);
        std::string strErr = ReadFd(err[0]);
        close(out[0]), close(err[0]);
        int nStatus = 0;
        struct rusage usage = {};
        wait4(pid, &nStatus, 0, &usage);
        int nExit = WIFEXITED(nStatus) ? WEXITSTATUS(nStatus) : -1;
        return std::to_string(nExit) + "\n" + std::to_string(usage.ru_maxrss) + "\n" + std::to_string(strOut.size()) +
               "\n" + strOut + strErr;
    });
    ProgramRun run;
    std::istringstream in(strResult);
    size_t nOutSize = 0;
    if (!(in >> run.nStatus >> run.nMaxRSSKilobytes >> nOutSize)) {
        run.strErrors = strResult;
        return run;
    }
    in.get();
    std::string strRest((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    run.strOutput = strRest.substr(0, nOutSize);
    run.strErrors = strRest.substr(std::min(nOutSize, strRest.size()));
    return run;
}

// Runs vlnet with the arguments on the laid-out resources.
ProgramRun RunVlnet(CTestNetwork& net, const std::vector<std::string>& args, rlim_t nFileLimit = 0,
                    int nStopAfterMs = 0)
{
    std::vector<std::string> all = {BinDir() + "/vlnet"};
    all.insert(all.end(), args.begin(), args.end());
    all.push_back("--resources");
    all.push_back(BinDir() + "/../share/vlnet");
    return RunProgram(net, all, nFileLimit, nStopAfterMs);
}

// Runs "vlnet LINE" through the shell, as a person types it.
ProgramRun RunVlnetLine(CTestNetwork& net, const std::string& strLine)
{
    return RunProgram(net, {"/bin/sh", "-c",
                            "exec " + BinDir() + "/vlnet " + strLine + " --resources " + BinDir() + "/../share/vlnet"});
}

// The output's line that starts with strStart, or empty.
std::string LineOf(const std::string& strOutput, const std::string& strStart)
{
    size_t nPos = strOutput.find("\n" + strStart);
    if (nPos == std::string::npos)
        return std::string();
    size_t nEnd = strOutput.find('\n', nPos + 1);
    return strOutput.substr(nPos + 1, nEnd == std::string::npos ? std::string::npos : nEnd - nPos - 1);
}

// What a probe says of the sixth of six networks.
const std::string kSixthNetworkNote =
    "vlnet: only the limited broadcast probed 10.201.6.0/24 (vl6): directed broadcasts went to the first 5 local "
    "networks, so a device there that answers only its directed broadcast is missing";

std::string Mac(int nNetwork, int nIndex)
{
    return CDeviceNetworks::Mac(nNetwork, nIndex);
}

std::string Address(int nNetwork, int nHost)
{
    return CDeviceNetworks::Address(nNetwork, nHost);
}

// The link address of an interface of a host ("02:00:0a:c9:03:0c"); empty
// when it cannot be read.
std::string LinkAddress(CTestNetwork& net, const std::string& strHost, const std::string& strInterface)
{
    return net.RunIn(strHost, [&]() {
        ifreq request = {};
        strncpy(request.ifr_name, strInterface.c_str(), sizeof(request.ifr_name) - 1);
        const int nSocket = socket(AF_INET, SOCK_DGRAM, 0);
        const bool bRead = ioctl(nSocket, SIOCGIFHWADDR, &request) == 0;
        close(nSocket);
        char szText[18] = "";
        const unsigned char* p = reinterpret_cast<const unsigned char*>(request.ifr_hwaddr.sa_data);
        if (bRead)
            snprintf(szText, sizeof(szText), "%02x:%02x:%02x:%02x:%02x:%02x", p[0], p[1], p[2], p[3], p[4], p[5]);
        return std::string(szText);
    });
}

// A UDP counter of the namespace (/proc/net/snmp's Udp line, from 0:
// InDatagrams, NoPorts, InErrors, OutDatagrams).
long UdpCounter(int nField)
{
    std::ifstream in("/proc/self/net/snmp");
    std::string strLine;
    bool bHeader = true;
    while (std::getline(in, strLine)) {
        if (strLine.compare(0, 4, "Udp:") != 0)
            continue;
        if (bHeader) {
            bHeader = false;
            continue;
        }
        std::istringstream fields(strLine.substr(4));
        long nValue = -1;
        for (int i = 0; i <= nField; i++)
            fields >> nValue;
        return nValue;
    }
    return -1;
}

// The UDP datagrams the namespace's sockets have been given.
long UdpDatagramsIn()
{
    const int kInDatagrams = 0;
    return UdpCounter(kInDatagrams);
}

// A change or a password refused for a MAC that answered from more than one
// address (each named before it).
std::string RefusedChange(const std::string& strMAC, const std::string& strCommand)
{
    return "vlnet: device " + strMAC + " refused for " + strCommand +
           ": it answered the probe from more than one address, and a change or a password goes only where nothing "
           "else answers for its MAC; give the device's IP address to choose";
}

class VLNetEndToEnd : public ::testing::Test
{
protected:
    void SetUp() override
    {
        VL_NEEDS_NAMESPACES();
        std::string strError;
        ASSERT_TRUE(m_Networks.AddComputer(&strError)) << strError;
    }

    // A network with its devices (see CDeviceNetworks::AddNetwork); the
    // devices a probe lists are expected unless bExpectAll is false.
    void AddNetwork(int nNetwork, const std::vector<std::string>& devices, bool bExpectAll = true,
                    int nPrefixLength = 24)
    {
        size_t nBefore = m_Networks.GetDevices().size();
        std::string strError;
        ASSERT_TRUE(m_Networks.AddNetwork(nNetwork, devices, &strError, nPrefixLength)) << strError;
        for (size_t i = nBefore; bExpectAll && i < m_Networks.GetDevices().size(); i++) {
            const CDeviceNetworks::Device& device = m_Networks.GetDevices()[i];
            if (device.bListed)
                m_Expected.push_back(device);
        }
    }

    // The lines of a probe's output, by MAC address; counts repeated lines.
    static std::map<std::string, std::vector<std::string>> Lines(const std::string& strOutput)
    {
        std::map<std::string, std::vector<std::string>> lines;
        std::istringstream in(strOutput);
        std::string strLine;
        while (std::getline(in, strLine))
            lines[strLine.substr(0, strLine.find('\t'))].push_back(strLine);
        return lines;
    }

    // The line that names a device of the networks that answered the probe
    // but is not listed, and why.
    static std::string NotListed(int nNetwork, int nIndex, const std::string& strWhy)
    {
        return "vlnet: not listed: " + CDeviceNetworks::Mac(nNetwork, nIndex) + "\t" +
               CDeviceNetworks::Address(nNetwork, 10 + nIndex) + "\tModel " + std::to_string(nNetwork) + "-" +
               std::to_string(nIndex) + "\t" + strWhy;
    }

    static std::vector<std::string> SortedLines(const std::string& strText)
    {
        std::vector<std::string> lines;
        std::istringstream in(strText);
        std::string strLine;
        while (std::getline(in, strLine))
            lines.push_back(strLine);
        std::sort(lines.begin(), lines.end());
        return lines;
    }

    // A probe's output lists every expected device once and nothing else.
    void ExpectExactlyTheDevices(const ProgramRun& run)
    {
        ASSERT_EQ(0, run.nStatus) << run.strErrors;
        auto lines = Lines(run.strOutput);
        size_t nListed = 0;
        for (const auto& entry : lines)
            nListed += entry.second.size();
        EXPECT_EQ(m_Expected.size(), nListed) << run.strOutput;
        for (const CDeviceNetworks::Device& device : m_Expected) {
            ASSERT_EQ(1u, lines[device.strMAC].size()) << device.strMAC << "\n" << run.strOutput;
            EXPECT_EQ(device.strMAC + "\t" + device.strIP + "\t" + device.strModel, lines[device.strMAC][0]);
        }
    }

    // Every expected device listed once (others may be too), and the list
    // said to be short (status 3, the reason on standard error).
    void ExpectEachListedAndAShortListSaid(const ProgramRun& run, const std::string& strReason)
    {
        auto lines = Lines(run.strOutput);
        for (const CDeviceNetworks::Device& device : m_Expected)
            EXPECT_EQ(1u, lines[device.strMAC].size()) << device.strMAC << "\n" << run.strOutput;
        EXPECT_EQ(3, run.nStatus) << run.strErrors;
        EXPECT_NE(std::string::npos, run.strErrors.find(strReason)) << run.strErrors;
    }

    CDeviceNetworks m_Networks;
    CTestNetwork& m_Net = m_Networks.GetNetwork();
    std::vector<CDeviceNetworks::Device> m_Expected;
};
}  // namespace

TEST_F(VLNetEndToEnd, ListsEveryRealDeviceOnceAcrossSixNetworks)
{
    AddNetwork(1, {"", "", ""});
    AddNetwork(2, {"encrypted=1 password=secret", "encrypted=1"});
    AddNetwork(3, {"loss=30", "loss=30", "loss=30"});
    AddNetwork(4, {"", "unicast=0", "hostile=spoofmac"});
    AddNetwork(5, {"", "hostile=truncated", "hostile=empty", "hostile=badmagic", "hostile=oversized"});
    // Reached only by the limited broadcast: the default route's network.
    AddNetwork(6, {"", "encrypted=1"});
    std::string strError;
    ASSERT_TRUE(m_Net.Exec("pc", "ip route add default dev vl6", &strError)) << strError;

    ProgramRun run = RunVlnet(m_Net, {"probe"});
    auto lines = Lines(run.strOutput);
    for (const CDeviceNetworks::Device& device : m_Expected) {
        ASSERT_EQ(1u, lines[device.strMAC].size()) << device.strMAC << "\n" << run.strOutput;
        EXPECT_EQ(device.strMAC + "\t" + device.strIP + "\t" + device.strModel, lines[device.strMAC][0]);
    }
    // Nothing else: unicast-deaf and hostile devices are not listed; the two
    // that answered the probe alone are named, and the list counts as short.
    // The sixth network is said to have had the limited broadcast alone.
    size_t nListed = 0;
    for (const auto& entry : lines)
        nListed += entry.second.size();
    EXPECT_EQ(m_Expected.size(), nListed) << run.strOutput;
    EXPECT_EQ(3, run.nStatus) << run.strErrors;
    EXPECT_EQ(std::vector<std::string>({NotListed(4, 1, "no answer to unicast"),
                                        NotListed(4, 2, "answered unicast, but not with its MAC"), kSixthNetworkNote}),
              SortedLines(run.strErrors));
    // Not a terminal: no status line.
    EXPECT_EQ(std::string::npos, run.strErrors.find("probing:")) << run.strErrors;
}

// One device answers every probe 3,000 times over at once; the four beside it
// answer once, in the middle of the burst. Each probe lists all five.
TEST_F(VLNetEndToEnd, ABurstHidesNoDeviceAnsweringBesideIt)
{
    AddNetwork(1, {"hostile=burst flood=3000", "", "", "", ""});
    // A few runs: the loss the burst caused depended on when each reply came.
    for (int nRun = 0; nRun < 3; ++nRun) {
        SCOPED_TRACE(nRun);
        ExpectExactlyTheDevices(RunVlnet(m_Net, {"probe"}));
    }
}

TEST_F(VLNetEndToEnd, AFloodLeavesTheOthersListedAndMemoryBounded)
{
    // The flood fills the receive buffer of the socket its network is probed
    // through; the devices of the other network answer through their own.
    AddNetwork(1, {"", "hostile=flood flood=5000"}, false);
    AddNetwork(2, {"", "encrypted=1"});
    std::string strError;
    ASSERT_TRUE(m_Net.Exec("pc", "ip route add default dev vl2", &strError)) << strError;
    m_Expected.push_back({Mac(1, 0), Address(1, 10), "Model 1-0", true});
    ProgramRun run = RunVlnet(m_Net, {"probe"});
    // A slow machine (a sanitizer build under load) may not drain the flood
    // in time: then the loss is said, and nothing else may be.
    if (run.nStatus == 3) {
        for (const std::string& strLine : SortedLines(run.strErrors))
            EXPECT_NE(std::string::npos, strLine.find("replies were lost: the receive buffer overflowed")) << strLine;
    } else {
        ASSERT_EQ(0, run.nStatus) << run.strErrors;
    }
    auto lines = Lines(run.strOutput);
    for (const CDeviceNetworks::Device& device : m_Expected)
        EXPECT_EQ(1u, lines[device.strMAC].size()) << device.strMAC << "\n" << run.strOutput;
    // The flooding device itself answers too: at most once.
    EXPECT_LE(lines[Mac(1, 1)].size(), 1u);
    // 15,000 datagrams arrive; the queues that hold them are bounded.
    EXPECT_LT(run.nMaxRSSKilobytes, 256 * 1024) << "peak " << run.nMaxRSSKilobytes << " kB";
}

TEST_F(VLNetEndToEnd, GivesAURLAndAChangedLineOfGetDetailReadsBack)
{
    AddNetwork(1, {"password=secret node=first location=lab", "encrypted=1 password=secret node=second"});
    // One network: reached by the limited broadcast alone.
    ASSERT_TRUE(m_Net.Exec("pc", "ip route add default dev vl1"));

    // The address is compared by value: "010.201.1.011" is 10.201.1.11.
    ProgramRun url = RunVlnet(m_Net, {"url", "010.201.1.011"});
    ASSERT_EQ(0, url.nStatus) << url.strErrors;
    EXPECT_EQ("http://" + Address(1, 11) + "/\n", url.strOutput);
    ProgramRun missing = RunVlnet(m_Net, {"url", "00:26:AB:7F:7F:7F", "--timeout", "5"});
    EXPECT_EQ(1, missing.nStatus);
    EXPECT_NE(std::string::npos, missing.strErrors.find("not found")) << missing.strErrors;

    for (int i = 0; i < 2; i++) {
        // GetDetail, one of its lines changed and given to SetDetail through
        // the shell, GetDetail again: the changed line reads back, the others
        // stay. The second device is given by its address.
        std::string strMAC = i == 0 ? Mac(1, i) : Address(1, 10 + i);
        ProgramRun get = RunVlnet(m_Net, {"run", strMAC, "GetDetail"});
        ASSERT_EQ(0, get.nStatus) << get.strOutput << get.strErrors;
        EXPECT_EQ(0u, get.strOutput.find("result 0 (success)\n")) << get.strOutput;
        EXPECT_EQ(std::string("VLPC.2B_5A10_01.NodeName=") + (i == 0 ? "first" : "second"),
                  LineOf(get.strOutput, "VLPC.2B_5A10_01.NodeName="))
            << get.strOutput;
        const std::string strAddressLine = "VLPC.2B_5A10_01.IPAddress=" + Address(1, 10 + i);
        EXPECT_EQ(strAddressLine, LineOf(get.strOutput, "VLPC.2B_5A10_01.IPAddress=")) << get.strOutput;
        EXPECT_EQ(std::string::npos, get.strOutput.find("(is modify)")) << get.strOutput;

        const std::string strChanged = "VLPC.2B_5A10_01.Location='Room " + std::to_string(i) + " = east'";
        ProgramRun set = RunVlnetLine(m_Net, "run " + strMAC + " SetDetail --password secret " + strChanged);
        ASSERT_EQ(0, set.nStatus) << set.strOutput << set.strErrors;
        ProgramRun again = RunVlnet(m_Net, {"run", strMAC, "GetDetail"});
        ASSERT_EQ(0, again.nStatus) << again.strErrors;
        EXPECT_EQ(strChanged, LineOf(again.strOutput, "VLPC.2B_5A10_01.Location=")) << again.strOutput;
        EXPECT_EQ(strAddressLine, LineOf(again.strOutput, "VLPC.2B_5A10_01.IPAddress=")) << again.strOutput;

        // A wrong password's answer says how many tries are left.
        ProgramRun wrong = RunVlnet(m_Net, {"run", strMAC, "CheckPassword", "--password", "wrong"});
        EXPECT_EQ(1, wrong.nStatus);
        EXPECT_EQ(0u, wrong.strOutput.find("result 7 (unlock refused (wrong password))")) << wrong.strOutput;
        EXPECT_EQ("VLPC.2B_5A20_01.RetryLeft=4", LineOf(wrong.strOutput, "VLPC.2B_5A20_01.RetryLeft="))
            << wrong.strOutput;
        EXPECT_EQ("vlnet: CheckPassword: the device refused the password; 4 tries left before it locks, it says\n",
                  wrong.strErrors);
    }
    // --dump keeps the property tree for traces, and a wrong password's tries.
    ProgramRun dump = RunVlnet(m_Net, {"run", Mac(1, 0), "GetDetail", "--dump"});
    ASSERT_EQ(0, dump.nStatus) << dump.strErrors;
    EXPECT_NE(std::string::npos, dump.strOutput.find("\n\t\t\tLocation=[Room 0 = east]")) << dump.strOutput;
    ProgramRun wrongDump = RunVlnet(m_Net, {"run", Mac(1, 0), "CheckPassword", "--password", "wrong", "--dump"});
    EXPECT_EQ(1, wrongDump.nStatus);
    EXPECT_NE(std::string::npos, wrongDump.strOutput.find("\n\t\t\tRetryLeft=[3]")) << wrongDump.strOutput;
    // RebootPolling shows what the device answered of itself.
    ProgramRun polled = RunVlnet(m_Net, {"run", Mac(1, 0), "RebootPolling"});
    ASSERT_EQ(0, polled.nStatus) << polled.strErrors;
    for (const std::string& strLine : std::vector<std::string>{
             "VLPC.2B_5A30_01.DeviceStatus=0", "VLPC.2B_5A30_01.IPMode=0",
             "VLPC.2B_5A30_01.IPAddress=" + Address(1, 10), "VLPC.2B_5A30_01.SubnetMask=255.255.255.0"})
        EXPECT_EQ(strLine, LineOf(polled.strOutput, strLine.substr(0, strLine.find('=') + 1))) << polled.strOutput;
    EXPECT_NE("", LineOf(polled.strOutput, "VLPC.2B_5A30_01.Uptime=")) << polled.strOutput;
}

// Values a device must not be given are refused before any of the change
// goes out: the status is 2, and the device keeps its settings. Settings a
// short GetDetail reply left unread are not written back either.
TEST_F(VLNetEndToEnd, ARefusedValueSendsNothingAndLeavesTheDeviceAsItWas)
{
    AddNetwork(
        1, {"password=secret location=lab", "password=secret version=1", "password=secret node=kept detailfields=5",
            "password=secret refuseset=1"});
    const std::string strMAC = Mac(1, 0);
    ProgramRun before = RunVlnet(m_Net, {"run", strMAC, "GetDetail"});
    ASSERT_EQ(0, before.nStatus) << before.strErrors;
    ASSERT_EQ("VLPC.2B_5A10_01.Location=lab", LineOf(before.strOutput, "VLPC.2B_5A10_01.Location="))
        << before.strOutput;

    const std::vector<std::pair<std::string, std::string>> refused = {
        {"VLPC.2B_5A10_01.Locaton=typo", "VLPC.2B_5A10_01.Locaton=typo: not a value that SetDetail sends"},
        {"VLPC.2B_5A10_01.WebPort=70000", "VLPC.2B_5A10_01.WebPort=70000: a port from 1 to 65535"},
        {"VLPC.2B_5A10_01.WebPort=0", "VLPC.2B_5A10_01.WebPort=0: a port from 1 to 65535"},
        {"VLPC.2B_5A10_01.IPMode=3", "VLPC.2B_5A10_01.IPMode=3: 0 (static address), 1 (DHCP) or 2 (link-local)"},
        {"VLPC.2B_5A10_01.Location=hex:4800", "VLPC.2B_5A10_01.Location=hex:4800: a text cannot hold a NUL byte"},
        {"VLPC.2B_5A10_01.IPAddress=255.255.255.255",
         "VLPC.2B_5A10_01.IPAddress=255.255.255.255: the limited broadcast cannot be a device's address"},
        {"", "SetDetail needs at least one PATH=VALUE"},
    };
    for (const auto& entry : refused) {
        std::vector<std::string> args = {"run", strMAC, "SetDetail", "--password", "secret", "--timeout", "5"};
        if (!entry.first.empty())
            args.push_back(entry.first);
        ProgramRun set = RunVlnet(m_Net, args);
        EXPECT_EQ(2, set.nStatus) << entry.first;
        EXPECT_EQ("", set.strOutput) << entry.first;
        EXPECT_EQ(0u, set.strErrors.find("vlnet: " + entry.second)) << set.strErrors;
    }

    ProgramRun after = RunVlnet(m_Net, {"run", strMAC, "GetDetail"});
    ASSERT_EQ(0, after.nStatus) << after.strErrors;
    EXPECT_EQ(before.strOutput, after.strOutput);

    // A device of layout version 1 is sent no DNSServer (only version 2 has it).
    ProgramRun older = RunVlnet(
        m_Net, {"run", Mac(1, 1), "SetDetail", "--password", "secret", "VLPC.2B_5A10_01.DNSServer=10.201.1.53"});
    EXPECT_EQ(2, older.nStatus);
    EXPECT_EQ("", older.strOutput);
    EXPECT_EQ(0u, older.strErrors.find("vlnet: VLPC.2B_5A10_01.DNSServer=10.201.1.53: not a value that SetDetail "
                                       "sends to this device; it sends VLPC.2B_5A10_01.IPMode, "))
        << older.strErrors;

    // A GetDetail reply that ends after WebPort leaves settings unread: they
    // are not sent back as empty texts and 0.0.0.0.
    ProgramRun cut =
        RunVlnet(m_Net, {"run", Mac(1, 2), "SetDetail", "--password", "secret", "VLPC.2B_5A10_01.Location=x"});
    EXPECT_EQ(1, cut.nStatus);
    EXPECT_EQ("result 6 (communication error)\n", cut.strOutput);
    EXPECT_EQ("vlnet: SetDetail: the device's settings could not be read first (GetDetail): its reply lacked "
              "VLPC.2B_5A10_01.NodeName, VLPC.2B_5A10_01.Contact, VLPC.2B_5A10_01.DNSServer\n",
              cut.strErrors);
    ProgramRun kept = RunVlnet(m_Net, {"run", Mac(1, 2), "GetListInfo"});
    EXPECT_EQ("VLPC.2B_5A04_01.NodeName=kept", LineOf(kept.strOutput, "VLPC.2B_5A04_01.NodeName=")) << kept.strOutput;
    // GetDetail alone says so too, rather than show the record as read.
    ProgramRun cutRead = RunVlnet(m_Net, {"run", Mac(1, 2), "GetDetail"});
    EXPECT_EQ(1, cutRead.nStatus);
    EXPECT_EQ("result 6 (communication error)\n", cutRead.strOutput);
    EXPECT_EQ("vlnet: GetDetail: the device's reply was cut short: it lacked VLPC.2B_5A10_01.NodeName, "
              "VLPC.2B_5A10_01.Location, VLPC.2B_5A10_01.Contact, VLPC.2B_5A10_01.DNSServer\n",
              cutRead.strErrors);

    // A value the device does not take is named as the likely cause of
    // its error.
    ProgramRun malformed = RunVlnet(
        m_Net, {"run", Mac(1, 3), "SetDetail", "--password", "secret", "VLPC.2B_5A10_01.Location=x", "--timeout", "5"});
    EXPECT_EQ(1, malformed.nStatus);
    EXPECT_NE(std::string::npos, malformed.strErrors.find("error F001 (a malformed request, or a value the device does "
                                                        "not take); the likely cause is a value given: "
                                                        "VLPC.2B_5A10_01.Location=x\n"))
        << malformed.strErrors;
}

// A change that would cut the device off its network, take an address a
// host holds, or leave this computer unable to reach the device, judged on
// the settings it will have (the values given over those its GetDetail
// read), is refused before any of it is sent: the device, played here
// afresh for each run, counts the SetDetail requests it got. Beside it on
// its network stand another device, a host claiming its MAC that fails its
// check, a device still starting (silent through the probe), and a host
// that speaks no VLPC; this computer has a second network. A change it may
// take is sent, once; --force sends one this computer could not follow.
TEST_F(VLNetEndToEnd, AChangeThatWouldCutTheDeviceOffIsRefusedBeforeItIsSent)
{
    std::string strError;
    ASSERT_TRUE(m_Net.AddHost("d3", &strError)) << strError;
    ASSERT_TRUE(m_Net.AddHost("d4", &strError)) << strError;
    const std::string kClaimant = Address(3, 13), kLate = Address(3, 14), kSilent = Address(3, 12);
    ASSERT_TRUE(m_Net.Link(
        "pc", "vl3", {Address(3, 1) + "/24", Address(3, 101) + "/24"}, "d3", "vd3",
        {Address(3, 10) + "/24", Address(3, 11) + "/24", kSilent + "/24", kClaimant + "/24", kLate + "/24"}, &strError))
        << strError;
    ASSERT_TRUE(m_Net.Link("pc", "vl4", {Address(4, 1) + "/24"}, "d4", "vd4", {Address(4, 2) + "/24"}, &strError))
        << strError;
    // The link addresses the hosts of each network answer from.
    const std::string strLink = LinkAddress(m_Net, "d3", "vd3"), strLink4 = LinkAddress(m_Net, "d4", "vd4");
    ASSERT_EQ(17u, strLink.size()) << strLink;
    ASSERT_EQ(17u, strLink4.size()) << strLink4;
    const std::string kUsage = "\nvlnet: 'vlnet run --help' shows the usage\n";
    const std::string kInUse = " (--force does not send an address in use)\n";
    const std::string kRestarts = "vlnet: the device restarts to apply the change\n";
    // Where a device given a new address answers then.
    auto Moved = [](const std::string& strAddress) {
        return "vlnet: the device answers at " + strAddress + " from now on ('vlnet url " + Mac(3, 0) +
               "' finds it there); the record's lines from its probe reply still show " + Address(3, 10) + "\n";
    };
    const std::string kKept = ", the address it keeps when no server answers";
    const std::string kUnreachable = "this computer, at 10.201.3.1 on vl3, could no longer reach the device at ";
    const std::string kForce = " (--force sends it anyway)";
    const std::string kBeyond = "the device would stay reachable on its own segment but reach nothing beyond it";
    const std::string kAnswered = ": in use on the network: a host at link address " + strLink +
                                  " on vl3 answered for it (asked for 1 s): nothing was sent";
    const std::string kDetail = "VLPC.2B_5A10_01.";
    const std::string kTheirs =
        "10.201.3.0/24 (vl3), which this computer takes for its network's own: it could not reach the device there";
    const struct
    {
        std::vector<std::string> args;  // after the password: each VALUE for VLPC.2B_5A10_01.VALUE, or an option
        bool bClaimant;                 // the host claiming the device's MAC stands beside it
        int nStatus;
        std::string strErrors;
        int nSent;  // SetDetail requests the device got
        uint8_t nIPMode = 0;  // the device's, as GetDetail reads it
    } kChanges[] = {
        {{"IPAddress=10.201.3.255"},
         false,
         1,
         "vlnet: " + kDetail +
             "IPAddress=10.201.3.255: the broadcast address of its subnet 10.201.3.0/24 (by the device's mask "
             "255.255.255.0) cannot be a device's address\n",
         0},
        {{"IPAddress=10.201.3.0"},
         false,
         1,
         "vlnet: " + kDetail +
             "IPAddress=10.201.3.0: the network address of its subnet 10.201.3.0/24 (by the device's mask "
             "255.255.255.0) cannot be a device's address\n",
         0},
        // A wider mask makes them hosts of the device's subnet, but this
        // computer takes them for its network's own.
        {{"SubnetMask=255.255.0.0", "IPAddress=10.201.3.255"},
         false,
         1,
         "vlnet: " + kDetail + "IPAddress=10.201.3.255: the broadcast address of this computer's network " + kTheirs +
             "\n",
         0},
        {{"IPMode=1", "SubnetMask=255.255.0.0", "IPAddress=10.201.3.0", "--force"},
         false,
         1,
         "vlnet: " + kDetail + "IPAddress=10.201.3.0: the network address of this computer's network " + kTheirs + "\n",
         0},
        {{"IPAddress=10.201.3.1", "--force"},
         false,
         1,
         "vlnet: " + kDetail + "IPAddress=10.201.3.1: in use on the network: this computer holds it: nothing was sent" +
             kInUse,
         0},
        {{"IPAddress=10.201.3.11"},
         false,
         1,
         "vlnet: " + kDetail + "IPAddress=10.201.3.11: in use on the network: device " + Mac(3, 1) +
             " answered the probe from it: nothing was sent" + kInUse,
         0},
        {{"IPAddress=" + kClaimant},
         true,
         1,
         "vlnet: " + kDetail + "IPAddress=" + kClaimant +
             ": in use on the network: a host claiming this device's MAC " + Mac(3, 0) +
             " answered the probe from it: nothing was sent" + kInUse,
         0},
        {{"IPAddress=10.201.3.254"},
         false,
         1,
         "vlnet: " + kDetail +
             "IPAddress=10.201.3.254: in use on the network: it is the device's gateway, a router's address: nothing "
             "was sent" +
             kInUse,
         0},
        {{"Gateway=10.201.3.10"},
         false,
         1,
         "vlnet: " + kDetail +
             "Gateway=10.201.3.10: the device's own address cannot be its gateway (0.0.0.0 means none)\n",
         0},
        {{"IPAddress=" + kLate}, false, 1, "vlnet: " + kDetail + "IPAddress=" + kLate + kAnswered + kInUse, 0},
        {{"IPAddress=" + kSilent}, false, 1, "vlnet: " + kDetail + "IPAddress=" + kSilent + kAnswered + kInUse, 0},
        {{"IPAddress=10.201.4.10"},
         false,
         1,
         "vlnet: " + kDetail + "IPAddress=10.201.4.10: " + kUnreachable + "10.201.4.10/24" + kForce + "\n",
         0},
        {{"SubnetMask=0.0.0.0"},
         false,
         2,
         "vlnet: " + kDetail +
             "SubnetMask=0.0.0.0: a mask of 0.0.0.0 (/0) would take every address for the device's own network, "
             "leaving it no router to reach" +
             kUsage,
         0},
        {{"SubnetMask=255.255.255.255", "Gateway=0.0.0.0"},
         false,
         1,
         "vlnet: " + kDetail + "SubnetMask=255.255.255.255: " + kUnreachable + "10.201.3.10/32" + kForce + "\n",
         0},
        {{"IPAddress=10.201.3.102", "SubnetMask=255.255.255.254", "Gateway=0.0.0.0"},
         false,
         1,
         "vlnet: " + kDetail +
             "IPAddress=10.201.3.102: 10.201.3.102/31 is a point-to-point pair whose other address, 10.201.3.103, "
             "this computer does not hold: " +
             kUnreachable + "10.201.3.102/31" + kForce + "\n",
         0},
        {{"Gateway=10.201.4.1"},
         false,
         1,
         "vlnet: " + kDetail + "Gateway=10.201.4.1: outside the device's subnet 10.201.3.0/24: " + kBeyond +
             " (0.0.0.0 means none)" + kForce + "\n",
         0},
        // This computer holds the other address of the pair.
        {{"IPAddress=10.201.3.100", "SubnetMask=255.255.255.254", "Gateway=0.0.0.0"},
         false,
         0,
         kRestarts + Moved("10.201.3.100"),
         1},
        {{"IPAddress=10.201.4.10", "--force"},
         false,
         0,
         "vlnet: --force: sent although " + kDetail + "IPAddress=10.201.4.10: " + kUnreachable +
             "10.201.4.10/24\nvlnet: --force: sent although " + kDetail +
             "IPAddress=10.201.4.10: the device's gateway 10.201.3.254 would lie outside its subnet 10.201.4.0/24: " +
             kBeyond + "; give a Gateway in the subnet too, or 0.0.0.0 for none\n" + kRestarts +
             "vlnet: the device answers at 10.201.4.10 from now on, which this computer may not hear: give it an "
             "address on that subnet on the device's link (ip address add A.B.C.D/N dev DEV, DEV one of vl3 or vl4), "
             "then 'vlnet url " +
             Mac(3, 0) + "' finds it there; the record's lines from its probe reply still show " + Address(3, 10) +
             "\n",
         1},
        // --force never sends an address in use, nor says it overrode anything.
        {{"IPAddress=10.201.4.2", "--force"},
         false,
         1,
         "vlnet: " + kDetail + "IPAddress=10.201.4.2: in use on the network: a host at link address " + strLink4 +
             " on vl4 answered for it (asked for 1 s): nothing was sent" + kInUse,
         0},
        {{"IPAddress=10.201.3.50"}, false, 0, kRestarts + Moved("10.201.3.50"), 1},
        {{"Location=moved"}, false, 0, "", 1},
        // Without an IPMode given, the device's decides whether an address matters.
        {{"IPAddress=0.0.0.0"},
         false,
         1,
         "vlnet: " + kDetail + "IPAddress=0.0.0.0: 0.0.0.0 (no address) cannot be a device's address\n",
         0},
        {{"IPAddress=0.0.0.0"},
         false,
         0,
         kRestarts + "vlnet: the device takes an address of its own from now on: 'vlnet url " + Mac(3, 0) +
             "' finds it by its MAC\n",
         1,
         1},
        // DHCP or link-local, given or read: the device keeps an address
        // given when no server answers, so one in use is refused as ever,
        // and so is one this computer could not reach.
        {{"IPMode=1", "IPAddress=10.201.3.11"},
         false,
         1,
         "vlnet: " + kDetail + "IPAddress=10.201.3.11: in use on the network: device " + Mac(3, 1) +
             " answered the probe from it: nothing was sent" + kInUse,
         0},
        {{"IPMode=2", "IPAddress=10.201.3.1"},
         false,
         1,
         "vlnet: " + kDetail + "IPAddress=10.201.3.1: in use on the network: this computer holds it: nothing was sent" +
             kInUse,
         0},
        {{"IPAddress=" + kSilent}, false, 1, "vlnet: " + kDetail + "IPAddress=" + kSilent + kAnswered + kInUse, 0, 1},
        {{"IPAddress=10.201.3.255"},
         false,
         1,
         "vlnet: " + kDetail +
             "IPAddress=10.201.3.255: the broadcast address of its subnet 10.201.3.0/24 (by the device's mask "
             "255.255.255.0) cannot be a device's address\n",
         0,
         2},
        {{"IPMode=1", "IPAddress=10.201.4.10"},
         false,
         1,
         "vlnet: " + kDetail + "IPAddress=10.201.4.10: " + kUnreachable + "10.201.4.10/24" + kKept + kForce + "\n",
         0},
    };
    // Each run's status, errors and the SetDetail requests the device got.
    std::string strRuns = m_Net.RunIn("d3", [&]() -> std::string {
        std::string strOut;
        for (const auto& change : kChanges) {
            CDeviceEmulator emulator;
            EmuDevice device, other, claimant, late;
            EmuParseMac(Mac(3, 0), device.mac);
            device.strIP = Address(3, 10);
            device.strMask = "255.255.255.0";
            device.strGateway = "10.201.3.254";
            device.strPassword = "secret";
            device.nIPMode = change.nIPMode;
            other = device;
            EmuParseMac(Mac(3, 1), other.mac);
            other.strIP = Address(3, 11);
            claimant = device;
            claimant.strIP = kClaimant;
            claimant.bAnswersUnicast = false;
            // Still starting: silent through the probe and the change.
            late = device;
            EmuParseMac(Mac(3, 2), late.mac);
            late.strIP = kLate;
            late.nBootMs = 600000;
            emulator.AddDevice(device);
            emulator.AddDevice(other);
            emulator.AddDevice(late);
            if (change.bClaimant)
                emulator.AddDevice(claimant);
            std::string strStart;
            if (!emulator.Start(&strStart))
                return "FAIL:" + strStart;
            // With a claimant of its MAC the device is chosen by its address:
            // by MAC, a change goes nowhere while another address answers.
            std::vector<std::string> args = {
                "run", change.bClaimant ? Address(3, 10) : Mac(3, 0), "SetDetail", "--password", "secret", "--timeout",
                "15"};
            for (const std::string& strArg : change.args)
                args.push_back(strArg.compare(0, 2, "--") == 0 ? strArg : kDetail + strArg);
            ProgramRun run = RunVlnet(m_Net, args);
            std::string strErrors;
            // The claimant's address, not used, is named apart.
            std::istringstream lines(run.strErrors);
            for (std::string strLine; std::getline(lines, strLine);) {
                if (strLine.find("vlnet: device " + Mac(3, 0)) != 0)
                    strErrors += strLine + "\n";
            }
            strOut += std::to_string(run.nStatus) + "|" + strErrors + "|" +
                      std::to_string(emulator.RequestCount(Mac(3, 0), 0x5A21)) + "\n";
            emulator.Stop();
        }
        return strOut;
    });
    std::string strExpected;
    for (const auto& change : kChanges)
        strExpected +=
            std::to_string(change.nStatus) + "|" + change.strErrors + "|" + std::to_string(change.nSent) + "\n";
    EXPECT_EQ(strExpected, strRuns);
}

// A change or a password given by MAC goes only where nothing else answered
// for that MAC, an extra round of the probe included: a host that answers
// for a device deaf to unicast, or for one still starting, gets none. Each
// MAC's claimant is played first, so that the SetDetail requests counted
// for the MAC are the claimant's. Given by its address, the claimant is
// what the user chose.
TEST_F(VLNetEndToEnd, AChangeByMACGoesNowhereAnotherAddressAnsweredForIt)
{
    std::string strError;
    ASSERT_TRUE(m_Net.AddHost("d7", &strError)) << strError;
    std::vector<std::string> addresses;
    for (int nHost = 10; nHost <= 13; ++nHost)
        addresses.push_back(Address(7, nHost) + "/24");
    ASSERT_TRUE(m_Net.Link("pc", "vl7", {Address(7, 1) + "/24"}, "d7", "vd7", addresses, &strError)) << strError;
    const std::string strDeaf = Mac(7, 0), strLate = Mac(7, 2);
    auto line = [](const std::string& strMAC, int nHost, const std::string& strKeys) {
        return "mac=" + strMAC + " ip=" + Address(7, nHost) + " password=secret " + strKeys + "\n";
    };
    std::vector<EmuDevice> devices;
    ASSERT_TRUE(EmuParseDevices(line(strDeaf, 10, "") + line(strDeaf, 11, "unicast=0") + line(strLate, 12, "") +
                                    line(strLate, 13, "boot=2500"),
                                devices, &strError))
        << strError;
    const std::string kLocation = "VLPC.2B_5A10_01.Location=x";
    const struct
    {
        std::string strDevice;
        std::string strMAC;
        int nStatus;
        int nSent;                       // SetDetail requests the claimant got
        std::vector<std::string> named;  // lines standard error holds
        std::string strUnsaid = "";      // what it does not hold
    } kRows[] = {
        // Silent for the probe's first 2.5 s (so first, while it still is):
        // heard in the extra round, after the claimant passed.
        {strLate, strLate, 1, 0, {Address(7, 13), RefusedChange(strLate, "SetDetail")}},
        // Refused once the second address is heard, not once its check
        // (two tries of 3 s) has failed.
        {strDeaf,
         strDeaf,
         1,
         0,
         {RefusedChange(strDeaf, "SetDetail") + "; heard so far from ", Address(7, 10), Address(7, 11)},
         "no answer to unicast"},
        {Address(7, 12), strLate, 0, 1, {}},
    };
    std::string strRuns = m_Net.RunIn("d7", [&]() -> std::string {
        CDeviceEmulator emulator;
        for (const EmuDevice& device : devices)
            emulator.AddDevice(device);
        std::string strStart;
        if (!emulator.Start(&strStart))
            return "FAIL:" + strStart;
        std::string strOut;
        for (const auto& row : kRows) {
            const int nBefore = emulator.RequestCount(row.strMAC, 0x5A21);
            ProgramRun run = RunVlnet(
                m_Net, {"run", row.strDevice, "SetDetail", "--password", "secret", kLocation, "--timeout", "8"});
            strOut += row.strDevice + ": " + std::to_string(run.nStatus) + " sent " +
                      std::to_string(emulator.RequestCount(row.strMAC, 0x5A21) - nBefore) + "\n";
            for (const std::string& strLine : row.named) {
                if (run.strErrors.find(strLine) == std::string::npos)
                    strOut += "  not said: " + strLine + "\n" + run.strErrors;
            }
            if (!row.strUnsaid.empty() && run.strErrors.find(row.strUnsaid) != std::string::npos)
                strOut += "  said: " + row.strUnsaid + "\n" + run.strErrors;
        }
        emulator.Stop();
        return strOut;
    });
    std::string strExpected;
    for (const auto& row : kRows)
        strExpected += row.strDevice + ": " + std::to_string(row.nStatus) + " sent " + std::to_string(row.nSent) + "\n";
    EXPECT_EQ(strExpected, strRuns);
}

// What run prints is what the device holds: a failed command prints no
// record and says why; a device that cannot be used is named with the
// reason; output that cannot be written fails the run.
TEST_F(VLNetEndToEnd, FailuresPrintNoRecordAndSayWhy)
{
    AddNetwork(1, {"password=secret", "unicast=0"}, false);
    ASSERT_TRUE(m_Net.Exec("pc", "ip route add default dev vl1"));
    ProgramRun wrong = RunVlnet(
        m_Net, {"run", Mac(1, 0), "SetDetail", "--password", "wrong", "VLPC.2B_5A10_01.Location=x", "--timeout", "5"});
    EXPECT_EQ(1, wrong.nStatus);
    EXPECT_EQ("result 8 (device reported an error)\n", wrong.strOutput);
    EXPECT_NE(std::string::npos, wrong.strErrors.find("SetDetail: the device refused the password")) << wrong.strErrors;
    // No terminal: no prompt, and nothing sent, not even an empty password
    // that a device would count as a wrong try.
    ProgramRun none = RunVlnet(m_Net, {"run", Mac(1, 0), "SetDetail", "VLPC.2B_5A10_01.Location=x", "--timeout", "5"});
    EXPECT_EQ(2, none.nStatus);
    EXPECT_EQ("", none.strOutput);
    EXPECT_EQ("vlnet: SetDetail sends the device's password, and none was given (no terminal to ask on): give it with "
              "--password-file FILE (its first line) or --password PW; nothing was sent\n",
              none.strErrors);

    // Its check outlasts the time-out, which ends the run, saying so.
    ProgramRun deaf = RunVlnet(m_Net, {"run", Mac(1, 1), "GetDetail", "--timeout", "2"});
    EXPECT_EQ(1, deaf.nStatus);
    EXPECT_NE(std::string::npos,
              deaf.strErrors.find("answered the probe but was still in its unicast check at the time-out\n"))
        << deaf.strErrors;
    ProgramRun missing = RunVlnet(m_Net, {"probe", "--mac", "00:26:AB:7F:7F:7F", "--timeout", "2"});
    EXPECT_EQ(1, missing.nStatus);
    EXPECT_NE(std::string::npos, missing.strErrors.find("not found")) << missing.strErrors;
    // A single device still in its unicast check at the time-out is counted
    // and named; asked for alone, it is said to have answered only the probe.
    ProgramRun waiting = RunVlnet(m_Net, {"probe", "--timeout", "2"});
    EXPECT_EQ(3, waiting.nStatus);
    EXPECT_EQ(Mac(1, 0) + "\t" + Address(1, 10) + "\tModel 1-0\n", waiting.strOutput);
    EXPECT_EQ(std::vector<std::string>({"vlnet: 1 of 2 addresses was still in the unicast check at the time-out",
                                        NotListed(1, 1, "in its unicast check at the time-out")}),
              SortedLines(waiting.strErrors));
    ProgramRun deafOne = RunVlnet(m_Net, {"probe", "--mac", Mac(1, 1), "--timeout", "2"});
    EXPECT_EQ(1, deafOne.nStatus);
    EXPECT_EQ("vlnet: device " + Mac(1, 1) + " answered the probe but was still in its unicast check at the time-out\n",
              deafOne.strErrors);

    ProgramRun full = RunProgram(m_Net, {"/bin/sh", "-c",
                                         "exec " + BinDir() + "/vlnet probe --timeout 2 --resources " + BinDir() +
                                             "/../share/vlnet > /dev/full"});
    EXPECT_EQ(1, full.nStatus);
    EXPECT_NE(std::string::npos, full.strErrors.find("standard output could not be written: No space left on device"))
        << full.strErrors;
    // The reason is the failed write's, not what the sockets' close left behind.
    ProgramRun fullURL = RunVlnetLine(m_Net, "url " + Mac(1, 0) + " --timeout 5 > /dev/full");
    EXPECT_EQ(1, fullURL.nStatus);
    EXPECT_EQ("vlnet: standard output could not be written: No space left on device\n", fullURL.strErrors);

    // A changed address takes a restart, which the device does at once.
    ProgramRun restart = RunVlnet(m_Net, {"run", Mac(1, 0), "SetDetail", "--password", "secret",
                                          "VLPC.2B_5A10_01.Gateway=" + Address(1, 1), "--timeout", "5"});
    EXPECT_EQ(0, restart.nStatus) << restart.strErrors;
    EXPECT_NE(std::string::npos, restart.strErrors.find("the device restarts to apply the change"))
        << restart.strErrors;
}

// A SetDetail stopped once its request has left cannot tell whether the
// device took the change: it says so. The device here takes the values but
// never answers, so the command waits until the change is seen and the
// stop comes (Ctrl-C, then a hang-up); the password comes from a file.
TEST_F(VLNetEndToEnd, AStopAfterTheRequestLeftSaysTheDeviceMayHaveTakenTheChange)
{
    AddNetwork(1, {"password=secret location=lab quietset=1"});
    const std::string strFile = TestTempFolder() + "/vlnet_password_" + std::to_string(getpid());
    std::ofstream(strFile) << "secret\r\nsecond line\n";
    const std::string strResources = BinDir() + "/../share/vlnet";
    const std::string strGet = BinDir() + "/vlnet run " + Mac(1, 0) + " GetDetail --timeout 10 --resources " +
                               strResources + " </dev/null 2>/dev/null";
    for (int nSignal : {SIGINT, SIGHUP}) {
        const std::string strValue = "moved" + std::to_string(nSignal);
        auto changed = [&]() {
            std::string strOutput;
            if (FILE* pOutput = popen(strGet.c_str(), "r")) {
                char buffer[4096];
                size_t n;
                while ((n = fread(buffer, 1, sizeof(buffer), pOutput)) > 0)
                    strOutput.append(buffer, n);
                pclose(pOutput);
            }
            return strOutput.find("\nVLPC.2B_5A10_01.Location=" + strValue + "\n") != std::string::npos;
        };
        ProgramRun stopped =
            RunProgram(m_Net,
                       {BinDir() + "/vlnet", "run", Mac(1, 0), "SetDetail", "VLPC.2B_5A10_01.Location=" + strValue,
                        "--password-file", strFile, "--resources", strResources},
                       0, 0, changed, nSignal);
        EXPECT_EQ(128 + nSignal, stopped.nStatus) << stopped.strErrors;
        EXPECT_EQ("result 17 (stopped)\n", stopped.strOutput);
        EXPECT_NE(std::string::npos,
                  stopped.strErrors.find("vlnet: SetDetail: stopped after the request left: the device may have taken "
                                         "the change ('vlnet run " +
                                         Mac(1, 0) + " GetDetail' tells whether it did)"))
            << stopped.strErrors;
    }
    unlink(strFile.c_str());
}

// A SetDetail stopped while it reads the device's settings (GetDetail, which
// never reaches the device here: the link drops it) has sent no change, and
// says so.
TEST_F(VLNetEndToEnd, AStopWhileTheSettingsAreReadSaysNoChangeWasSent)
{
    AddNetwork(1, {"password=secret"});
    // GetDetail's requests (function 5A10 at byte 8 of the datagram, 36 of
    // the IP packet) are dropped on their way out, and counted.
    std::string strError;
    ASSERT_TRUE(m_Net.Exec("pc",
                           "tc qdisc add dev vl1 root handle 1: htb default 20 && "
                           "tc class add dev vl1 parent 1: classid 1:10 htb rate 100mbit && "
                           "tc class add dev vl1 parent 1: classid 1:20 htb rate 100mbit && "
                           "tc filter add dev vl1 parent 1: protocol ip u32 match ip dport 48817 0xffff "
                           "match u16 0x5a10 0xffff at 36 flowid 1:10 && "
                           "tc qdisc add dev vl1 parent 1:10 handle 10: pfifo limit 0",
                           &strError))
        << strError;
    // True once a GetDetail request has been dropped (the pfifo's count).
    auto reading = []() {
        for (int nTry = 0; nTry < 200; nTry++) {
            std::string strStats;
            if (FILE* pStats = popen("tc -s qdisc show dev vl1 parent 1:10", "r")) {
                char buffer[4096];
                size_t n;
                while ((n = fread(buffer, 1, sizeof(buffer), pStats)) > 0)
                    strStats.append(buffer, n);
                pclose(pStats);
            }
            const size_t nDropped = strStats.find("(dropped ");
            if (nDropped != std::string::npos && strStats.compare(nDropped, 11, "(dropped 0,") != 0)
                return true;
            usleep(100000);
        }
        return false;
    };
    ProgramRun stopped = RunProgram(m_Net,
                                    {BinDir() + "/vlnet", "run", Mac(1, 0), "SetDetail", "VLPC.2B_5A10_01.Location=x",
                                     "--password", "secret", "--resources", BinDir() + "/../share/vlnet"},
                                    0, 0, reading, SIGINT);
    EXPECT_EQ(130, stopped.nStatus) << stopped.strErrors;
    EXPECT_EQ("result 17 (stopped)\n", stopped.strOutput);
    EXPECT_EQ("vlnet: SetDetail: stopped while the device's settings were read first (GetDetail): no change was sent "
              "to the device\n",
              stopped.strErrors);
}

// Devices that answer the probe but not by unicast are named after the list,
// with why, and the list counts as short: one deaf to unicast, one whose
// unicast replies carry another MAC, and one whose address another device
// holds too (the computer's neighbour entry sends what goes to the address
// to that one, as a lost ARP race would). --mac of an ordinary device beside
// them is about that device alone, and ends without waiting for the others.
TEST_F(VLNetEndToEnd, DevicesThatAnsweredOnlyTheProbeAreNamed)
{
    // Another host holds the addresses of devices 1-3 and 1-4, and unicast
    // to them reaches it: it answers their checks with F004 and its own
    // with its MAC. It answers the probe after 1-3 and before 1-4, so that
    // its answer to the other device's check comes once both checks wait.
    AddNetwork(1, {"", "unicast=0", "hostile=spoofmac", "", "delay=20"}, false);
    const std::vector<std::string> heldTwice = {Address(1, 13), Address(1, 14)};
    const std::vector<std::string> otherMACs = {"00:26:AB:11:7F:01", "00:26:AB:11:7F:02"};
    const std::string strOtherLink = "02:00:00:00:01:13";
    std::string strError;
    ASSERT_TRUE(m_Net.AddHost("dup", &strError)) << strError;
    ASSERT_TRUE(m_Net.Link("pc", "vlx", {}, "dup", "vdx", {heldTwice[0] + "/24", heldTwice[1] + "/24"}, &strError))
        << strError;
    ASSERT_TRUE(m_Net.Exec("dup", "ip link set vdx address " + strOtherLink, &strError)) << strError;
    // The computer's side of both links on one bridge: a single network.
    const std::string strComputer = Address(1, 1) + "/24";
    const std::string strBridge = "ip link add br1 type bridge && ip link set vl1 master br1 && "
                                  "ip link set vlx master br1 && ip link set br1 up && ip addr del " +
                                  strComputer + " dev vl1 && ip addr add " + strComputer + " dev br1";
    ASSERT_TRUE(m_Net.Exec("pc", strBridge, &strError)) << strError;
    ASSERT_TRUE(m_Net.PinNeighbours("pc", &strError)) << strError;
    std::string strNeighbours = "true";
    for (const std::string& strAddress : heldTwice)
        strNeighbours += " && ip neigh replace " + strAddress + " lladdr " + strOtherLink + " dev br1 nud permanent";
    ASSERT_TRUE(m_Net.Exec("pc", strNeighbours, &strError)) << strError;
    const std::string strOthers = "mac=" + otherMACs[0] + " ip=" + heldTwice[0] +
                                  " mask=255.255.255.0 model=Other restart=0 delay=20\n"
                                  "mac=" +
                                  otherMACs[1] + " ip=" + heldTwice[1] + " mask=255.255.255.0 model=Other restart=0\n";
    const unsigned kDevicePort = 48817;
    ASSERT_TRUE(m_Net.StartEmulator("dup", strOthers, kDevicePort, TestEmulatorProgram(), &strError)) << strError;

    ProgramRun run = RunVlnet(m_Net, {"probe"});
    EXPECT_EQ(3, run.nStatus) << run.strErrors;
    EXPECT_EQ(std::vector<std::string>({Mac(1, 0) + "\t" + Address(1, 10) + "\tModel 1-0",
                                        otherMACs[0] + "\t" + heldTwice[0] + "\tOther",
                                        otherMACs[1] + "\t" + heldTwice[1] + "\tOther"}),
              SortedLines(run.strOutput));
    const std::string strF004 = "unicast check failed: another device answered at its address (error F004)";
    EXPECT_EQ(std::vector<std::string>({NotListed(1, 1, "no answer to unicast"),
                                        NotListed(1, 2, "answered unicast, but not with its MAC"),
                                        NotListed(1, 3, strF004), NotListed(1, 4, strF004)}),
              SortedLines(run.strErrors));

    ProgramRun one = RunVlnet(m_Net, {"probe", "--mac", Mac(1, 0), "--timeout", "3"});
    EXPECT_EQ(0, one.nStatus) << one.strErrors;
    EXPECT_EQ(Mac(1, 0) + "\t" + Address(1, 10) + "\tModel 1-0\n", one.strOutput);
    EXPECT_EQ("", one.strErrors);
    // url says why as probe does, at once, then looks on until its time-out.
    ProgramRun spoofed = RunVlnet(m_Net, {"url", Mac(1, 2), "--timeout", "12"});
    EXPECT_EQ(1, spoofed.nStatus);
    // It did answer unicast: "not by unicast" is not what happened.
    EXPECT_EQ("vlnet: device " + Mac(1, 2) + " answered so far only from addresses that cannot be used: " +
                  Address(1, 12) +
                  " (answered unicast, but not with its MAC); looking on until the time-out (12 s), as the device "
                  "may yet answer from an address of its own\nvlnet: device " +
                  Mac(1, 2) + " answered the probe but was not used: answered unicast, but not with its MAC\n",
              spoofed.strErrors);
}

// A host on the network answers the probe as a device, learns the port of
// the unicast checks from its own check, and sends error replies from the
// other devices' addresses to that port: a reply without a device's MAC
// address does not decide its check, and the checks end at their deadlines
// however much comes.
TEST_F(VLNetEndToEnd, ForgedErrorRepliesDecideNoDevicesCheck)
{
    // Ten devices answer 300 ms late, once the forger knows the port; a
    // device deaf to unicast, heard before the forger, keeps the port in
    // use meanwhile.
    std::vector<std::string> devices(10, "delay=300");
    devices.push_back("hostile=checkerrors rate=2000 result=0xF004 pool=10 delay=20 poolfrom=" + Address(1, 10));
    devices.push_back("unicast=0");
    AddNetwork(1, devices, false);
    for (int i = 0; i < 11; i++)
        m_Expected.push_back(m_Networks.GetDevices()[static_cast<size_t>(i)]);
    ProgramRun run = RunVlnet(m_Net, {"probe"});
    auto lines = Lines(run.strOutput);
    for (const CDeviceNetworks::Device& device : m_Expected)
        EXPECT_EQ(1u, lines[device.strMAC].size()) << device.strMAC << "\n" << run.strOutput << run.strErrors;
    EXPECT_EQ(NotListed(1, 11, "no answer to unicast") + "\n", run.strErrors);
}

// An ordinary user on another host of the network sends, from its own
// address, to every ephemeral port of the computer in turn, forged replies: a
// GetDetail reply with the device's MAC and the attacker as gateway and DNS
// server, and a SetDetail error. A SetDetail to the device, which answers
// 200 ms late, reads and writes back the device's own settings alone.
TEST_F(VLNetEndToEnd, RepliesSprayedFromAnotherHostDecideNoDeviceCommand)
{
    const std::string strGateway = Address(1, 254), strDNS = Address(1, 53), strAttacker = Address(1, 66);
    AddNetwork(1, {"password=secret node=own gw=" + strGateway + " dns=" + strDNS + " delay=200"});
    std::string strError;
    ASSERT_TRUE(m_Net.AddHost("atk", &strError)) << strError;
    ASSERT_TRUE(m_Net.Link("pc", "vlx", {}, "atk", "vdx", {strAttacker + "/24"}, &strError)) << strError;
    // The computer's side of both links on one bridge: a single network.
    const std::string strComputer = Address(1, 1) + "/24";
    ASSERT_TRUE(m_Net.Exec("pc",
                           "ip link add br1 type bridge && ip link set vl1 master br1 && ip link set vlx master br1 && "
                           "ip link set br1 up && ip addr del " +
                               strComputer + " dev vl1 && ip addr add " + strComputer + " dev br1",
                           &strError))
        << strError;
    ASSERT_TRUE(m_Net.PinNeighbours("pc", &strError)) << strError;
    const unsigned kDevicePort = 48817;
    ASSERT_TRUE(m_Net.StartEmulator("atk",
                                    "ip=" + strAttacker +
                                        " mask=255.255.255.0 hostile=spraydetail rate=300000 victim=" + Mac(1, 0) +
                                        " victimip=" + Address(1, 10) + "\n",
                                    kDevicePort, TestEmulatorProgram(), &strError))
        << strError;

    ProgramRun set =
        RunVlnet(m_Net, {"run", Mac(1, 0), "SetDetail", "--password", "secret", "VLPC.2B_5A10_01.Location=Room 9"});
    EXPECT_EQ(0, set.nStatus) << set.strOutput << set.strErrors;
    EXPECT_EQ(0u, set.strOutput.find("result 0 (success)\n")) << set.strOutput << set.strErrors;
    // The attacker cut off: what the device holds now.
    ASSERT_TRUE(m_Net.Exec("atk", "ip link set vdx down", &strError)) << strError;
    ProgramRun get = RunVlnet(m_Net, {"run", Mac(1, 0), "GetDetail"});
    ASSERT_EQ(0, get.nStatus) << get.strErrors;
    for (const std::string& strLine : {"Gateway=" + strGateway, "DNSServer=" + strDNS, std::string("NodeName=own"),
                                       std::string("Location='Room 9'")})
        EXPECT_EQ("VLPC.2B_5A10_01." + strLine,
                  LineOf(get.strOutput, "VLPC.2B_5A10_01." + strLine.substr(0, strLine.find('=') + 1)))
            << get.strOutput;
}

// A check whose send meets "host unreachable" sends again after a pause, as
// the socket module does: here the route comes back a second after the
// probe starts, while the device's check still retries.
TEST_F(VLNetEndToEnd, ACheckRetriesASendThatMetHostUnreachable)
{
    AddNetwork(1, {""});
    const std::string strRoute = "unreachable " + Address(1, 10) + "/32";
    ASSERT_TRUE(m_Net.Exec("pc", "ip route add " + strRoute));
    ExpectExactlyTheDevices(RunProgram(m_Net, {"/bin/sh", "-c",
                                               "(sleep 1; ip route del " + strRoute + ") & exec " + BinDir() +
                                                   "/vlnet probe --resources " + BinDir() + "/../share/vlnet"}));
}

TEST_F(VLNetEndToEnd, AFloodOnTheChecksPortEndsEachCheckAtItsDeadline)
{
    // 100 devices deaf to unicast and 10 that answer 300 ms late; the
    // forger floods the checks' port from all their addresses.
    std::vector<std::string> devices(100, "unicast=0");
    devices.insert(devices.end(), 10, "delay=300");
    devices.push_back("hostile=checkerrors rate=5000 result=0xF001 pool=110 poolfrom=" + Address(1, 10));
    AddNetwork(1, devices, false);
    for (size_t i = 100; i < 110; i++)
        m_Expected.push_back(m_Networks.GetDevices()[i]);
    // Far above the some 5 s the probe takes.
    const int nTimeout = 60 * kSlowdown;
    auto start = std::chrono::steady_clock::now();
    ProgramRun run = RunVlnet(m_Net, {"probe"});
    double fSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    auto lines = Lines(run.strOutput);
    for (const CDeviceNetworks::Device& device : m_Expected)
        EXPECT_EQ(1u, lines[device.strMAC].size()) << device.strMAC << "\n" << run.strOutput << run.strErrors;
    EXPECT_EQ(3, run.nStatus) << run.strErrors;
    // Every check ends by its deadline: the deaf devices are named (with
    // the error heard at their address), none as waiting at the time-out.
    EXPECT_EQ(std::string::npos, run.strErrors.find("at the time-out")) << run.strErrors;
    EXPECT_NE(std::string::npos, run.strErrors.find(NotListed(1, 0, ""))) << run.strErrors;
    EXPECT_LT(fSeconds, nTimeout);
}

// A computer whose networks have no gateway (a device cabled straight to it,
// an isolated LAN): the limited broadcast leaves through every interface,
// routed or not.
TEST_F(VLNetEndToEnd, NetworksWithoutAGatewayAreProbed)
{
    AddNetwork(1, {"password=secret node=first", "encrypted=1"});
    ExpectExactlyTheDevices(RunVlnet(m_Net, {"probe"}));

    ProgramRun url = RunVlnet(m_Net, {"url", Mac(1, 1), "--timeout", "30"});
    ASSERT_EQ(0, url.nStatus) << url.strErrors;
    EXPECT_EQ("http://" + Address(1, 11) + "/\n", url.strOutput);
    ProgramRun get = RunVlnet(m_Net, {"run", Mac(1, 0), "GetDetail", "--timeout", "30"});
    ASSERT_EQ(0, get.nStatus) << get.strOutput << get.strErrors;
    EXPECT_NE(std::string::npos, get.strOutput.find("first")) << get.strOutput;

    // Two such networks: each device once, for any user (vlnet needs no root).
    AddNetwork(2, {"", "encrypted=1"});
    ExpectExactlyTheDevices(RunVlnet(m_Net, {"probe"}));
    ExpectExactlyTheDevices(
        RunProgram(m_Net, {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", BinDir() + "/vlnet",
                           "probe", "--resources", BinDir() + "/../share/vlnet"}));

    // An address on none of the computer's networks (the namespace has no
    // route beyond them) is refused at once: nothing is sent.
    const int kOutDatagrams = 3;
    const std::string strBefore = m_Net.RunIn("pc", [&]() { return std::to_string(UdpCounter(kOutDatagrams)); });
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"run", "8.8.8.8", "GetDetail"}, {"url", "10.201.3.10"}}) {
        ProgramRun outside = RunVlnet(m_Net, args);
        EXPECT_EQ(1, outside.nStatus) << outside.strErrors;
        EXPECT_EQ("", outside.strOutput);
        EXPECT_EQ("vlnet: " + args[1] +
                      " is on none of this computer's networks (10.201.1.0/24 (vl1) and 10.201.2.0/24 (vl2)): vlnet "
                      "reaches devices on the computer's own networks only; nothing was sent; to reach a device "
                      "there, give this computer an address on its subnet on the device's link (ip address add "
                      "A.B.C.D/N dev DEV, DEV one of vl1 or vl2)\n",
                  outside.strErrors);
    }
    EXPECT_EQ(strBefore, m_Net.RunIn("pc", [&]() { return std::to_string(UdpCounter(kOutDatagrams)); }));
}

// A device at an address on none of the computer's networks (a factory
// address) answers the probe's limited broadcast, but unicast cannot reach
// it: the probe and run say so, and what lets the computer reach it.
TEST_F(VLNetEndToEnd, ADeviceOffTheComputersNetworksIsSaidSo)
{
    std::string strError;
    ASSERT_TRUE(m_Net.AddHost("f5", &strError)) << strError;
    const std::string kFactory = "192.168.0.10";
    ASSERT_TRUE(m_Net.Link("pc", "vl5", {Address(5, 1) + "/24"}, "f5", "vd5", {kFactory + "/24"}, &strError))
        << strError;
    // The device answers whoever asked, through its link.
    ASSERT_TRUE(m_Net.Exec("f5", "ip route add default dev vd5", &strError)) << strError;
    const std::string kWhy = "its address " + kFactory +
                             " (subnet 192.168.0.0/24) is on none of this computer's networks (10.201.5.0/24 (vl5)), "
                             "so unicast cannot reach it: give this computer an address on that subnet on the link "
                             "the device is on (ip address add A.B.C.D/24 dev vl5)";
    const std::string strRuns = m_Net.RunIn("f5", [&]() -> std::string {
        CDeviceEmulator emulator;
        EmuDevice device;
        EmuParseMac(Mac(5, 0), device.mac);
        device.strIP = kFactory;
        device.strMask = "255.255.255.0";
        emulator.AddDevice(device);
        std::string strStart;
        if (!emulator.Start(&strStart))
            return "FAIL:" + strStart;
        ProgramRun probe = RunVlnet(m_Net, {"probe"});
        ProgramRun run = RunVlnet(m_Net, {"run", Mac(5, 0), "GetDetail", "--timeout", "5"});
        // Done as said, the device is reached.
        std::string strAdded;
        if (!m_Net.Exec("pc", "ip address add 192.168.0.1/24 dev vl5", &strAdded) ||
            !m_Net.PinNeighbours("pc", &strAdded))
            return "FAIL:" + strAdded;
        ProgramRun reached = RunVlnet(m_Net, {"run", Mac(5, 0), "GetDetail", "--timeout", "5"});
        emulator.Stop();
        return std::to_string(probe.nStatus) + "|" + probe.strOutput + "|" + probe.strErrors + "|" +
               std::to_string(run.nStatus) + "|" + run.strOutput + "|" + run.strErrors + "|" +
               std::to_string(reached.nStatus) + "|" + reached.strErrors;
    });
    EXPECT_EQ("3||vlnet: not listed: " + Mac(5, 0) + "\t" + kFactory + "\tModel A\t" + kWhy + "\n|1||vlnet: device " +
                  Mac(5, 0) + " answered so far only from addresses that cannot be used: " + kFactory +
                  " (on none of this computer's networks); looking on until the time-out (5 s), as the device may "
                  "yet answer from an address of its own\nvlnet: device " +
                  Mac(5, 0) + " answered the probe but was not used: " + kWhy + "\n|0|",
              strRuns);
}

// url and run look for the device until the time-out: one still starting
// through the probe's first round of sends, or one whose replies to the
// probe come 2.2 s late, is found in a later round; one that never answers
// is not found before the time-out, and a stop in a later round says what a
// stop says.
TEST_F(VLNetEndToEnd, UrlAndRunProbeAgainUntilTheDeviceAnswersOrTheTimeOut)
{
    AddNetwork(1, {"boot=2500", "limiteddelay=2200 directeddelay=2200"});
    ASSERT_TRUE(m_Net.Exec("pc", "ip route add default dev vl1"));
    ProgramRun url = RunVlnet(m_Net, {"url", Mac(1, 0), "--timeout", "30"});
    EXPECT_EQ(0, url.nStatus) << url.strErrors;
    EXPECT_EQ("http://" + Address(1, 10) + "/\n", url.strOutput);
    ProgramRun run = RunVlnet(m_Net, {"run", Address(1, 11), "GetListInfo", "--timeout", "30"});
    EXPECT_EQ(0, run.nStatus) << run.strErrors;
    EXPECT_EQ(0u, run.strOutput.find("result 0 (success)\n")) << run.strOutput;

    const std::string strMissing = "00:26:AB:7F:7F:7F";
    const auto start = std::chrono::steady_clock::now();
    ProgramRun missing = RunVlnet(m_Net, {"url", strMissing, "--timeout", "4"});
    EXPECT_GE(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 4.0);
    EXPECT_EQ(1, missing.nStatus);
    EXPECT_EQ("vlnet: device " + strMissing + " not found\n", missing.strErrors);
    ProgramRun stopped = RunVlnet(m_Net, {"url", strMissing, "--timeout", "30"}, 0, 3000);
    EXPECT_EQ(143, stopped.nStatus);
    EXPECT_EQ("vlnet: url: stopped while device " + strMissing +
                  " was looked for: no answer from it yet; no URL printed\n",
              stopped.strErrors);
}

// Given a time-out, a probe listens that long, probing again in rounds: a
// device silent for its first 5 s is listed. A time-out shorter than the
// send schedule says that the list may be short.
TEST_F(VLNetEndToEnd, AProbeGivenATimeOutListensThatLong)
{
    AddNetwork(1, {"", "boot=5000"});
    ASSERT_TRUE(m_Net.Exec("pc", "ip route add default dev vl1"));
    ExpectExactlyTheDevices(RunVlnet(m_Net, {"probe", "--timeout", "9"}));
    ProgramRun cut = RunVlnet(m_Net, {"probe", "--timeout", "1"});
    EXPECT_EQ(3, cut.nStatus) << cut.strErrors;
    EXPECT_NE(std::string::npos, cut.strErrors.find("vlnet: the time-out (1 s) ended the probe before its send "
                                                    "schedule (1.9 s) was over: the list may be short\n"))
        << cut.strErrors;
}

// The default route leads through an interface without devices (and without
// an address of its own); the devices' network has none.
TEST_F(VLNetEndToEnd, ADefaultRouteElsewhereStillFindsTheLocalDevices)
{
    AddNetwork(1, {"", "encrypted=1"});
    std::string strError;
    ASSERT_TRUE(m_Net.AddHost("gw", &strError)) << strError;
    ASSERT_TRUE(m_Net.Link("pc", "vl9", {}, "gw", "vd9", {"10.201.9.2/24"}, &strError)) << strError;
    ASSERT_TRUE(m_Net.Exec("pc", "ip route add default dev vl9", &strError)) << strError;
    ExpectExactlyTheDevices(RunVlnet(m_Net, {"probe"}));
}

// Nothing can leave: no interface but the loopback, and no route. The probe
// says so and fails instead of listing nobody.
TEST_F(VLNetEndToEnd, AProbeThatCannotBeSentFails)
{
    ProgramRun run = RunVlnet(m_Net, {"probe"});
    EXPECT_EQ(1, run.nStatus) << run.strErrors;
    EXPECT_EQ("", run.strOutput);
    EXPECT_NE(std::string::npos, run.strErrors.find("no probe could be sent: network unreachable")) << run.strErrors;
    // Said once the first round has passed: no later one would leave either.
    const auto start = std::chrono::steady_clock::now();
    ProgramRun url = RunVlnet(m_Net, {"url", Mac(1, 1), "--timeout", "30"});
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 30.0);
    EXPECT_EQ(1, url.nStatus);
    EXPECT_NE(std::string::npos, url.strErrors.find("no probe could be sent: network unreachable")) << url.strErrors;
}

namespace {
#if defined(__SANITIZE_ADDRESS__)
// AddressSanitizer cannot tell its stacks apart without /proc.
const bool kNeedsProc = true;
#else
const bool kNeedsProc = false;
#endif

// One hostile host beside seven devices on three networks: every real device
// is listed once, nothing of the attacker is, the probe ends before its
// time-out and its memory stays small. strSaid: what standard error says
// (a bound that dropped devices, the attacker named as a device that
// answered the probe alone), which marks the list as possibly short.
// Returns the run for further checks.
ProgramRun ProbeUnderAttack(VLNetEndToEnd* pTest, CTestNetwork& net, std::vector<CDeviceNetworks::Device>& expected,
                            const std::string& strAttacker, const std::string& strSaid = "")
{
    (void)pTest;
    // Far above the some 7 s the probe takes (8 s in a TSan build on two
    // busy cores), so that ending before it says that the flood did not
    // hold the probe open.
    const int nTimeout = 30 * kSlowdown;
    ProgramRun run;
    auto start = std::chrono::steady_clock::now();
    run = RunVlnet(net, {"probe"});
    double fSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_EQ(strSaid.empty() ? 0 : 3, run.nStatus) << strAttacker << run.strErrors;
    if (!strSaid.empty()) {
        EXPECT_NE(std::string::npos, run.strErrors.find(strSaid)) << strAttacker << run.strErrors;
    }
    std::map<std::string, int> lines;
    std::istringstream in(run.strOutput);
    std::string strLine;
    size_t nLines = 0;
    while (std::getline(in, strLine)) {
        lines[strLine.substr(0, strLine.find('\t'))]++;
        nLines++;
    }
    for (const CDeviceNetworks::Device& device : expected)
        EXPECT_EQ(1, lines[device.strMAC]) << strAttacker << " " << device.strMAC << "\n" << run.strOutput;
    EXPECT_EQ(expected.size(), nLines) << strAttacker << "\n" << run.strOutput;
    // Ended by itself, before its time-out, no check cut short; within a
    // bound far above the memory it needs (some 8 MB).
    EXPECT_EQ(std::string::npos, run.strErrors.find("at the time-out")) << strAttacker << run.strErrors;
    EXPECT_LT(fSeconds, nTimeout) << strAttacker;
    // A sanitizer's shadow and quarantine memory dwarf the program's own.
    if (!kSanitized) {
        EXPECT_LT(run.nMaxRSSKilobytes, 64 * 1024) << strAttacker << " peak " << run.nMaxRSSKilobytes << " kB";
    }
    return run;
}
}  // namespace

class VLNetUnderAttack : public VLNetEndToEnd
{
protected:
    void Build(const std::string& strAttacker)
    {
        AddNetwork(1, {"", "", "", "unicast=0 " + strAttacker});
        AddNetwork(2, {"", "encrypted=1"});
        AddNetwork(3, {"", "loss=10"});
        ASSERT_TRUE(m_Net.Exec("pc", "ip route add default dev vl1"));
    }
};

TEST_F(VLNetUnderAttack, RandomMACsAtRate)
{
    Build("hostile=randommacs rate=13000");
    ProbeUnderAttack(this, m_Net, m_Expected, "randommacs", "not listed: more than 4 devices from one address");
}

TEST_F(VLNetUnderAttack, InventedMACsPerProbe)
{
    Build("hostile=inventmacs flood=1000");
    // One address: said so in the singular.
    ProbeUnderAttack(this, m_Net, m_Expected, "inventmacs",
                     " from 1 address on 10.201.1.0/24 not listed: more than 4 devices from one address "
                     "(received on vl1; source addresses may be forged)\n");
}

TEST_F(VLNetUnderAttack, EndlessRepeatsOfAGenuineReply)
{
    Build("hostile=repeat rate=5000");
    ProbeUnderAttack(this, m_Net, m_Expected, "repeat",
                     "vlnet: not listed: " + Mac(1, 3) + "\t" + Address(1, 13) + "\tModel 1-3\tno answer to unicast\n");
}

TEST_F(VLNetUnderAttack, AnImpostorIsMarkedAndRefused)
{
    // The second line plays the first device's MAC from 10.201.1.11, 1.1 s
    // late: after a time-out of 1 s, within the send schedule. It answers
    // unicast as the device does.
    AddNetwork(1, {"password=secret", "mac=" + Mac(1, 0) + " hostile=impostor delay=1100 password=secret"}, false);
    ASSERT_TRUE(m_Net.Exec("pc", "ip route add default dev vl1"));
    ProgramRun probe = RunVlnet(m_Net, {"probe"});
    // Its line may show an address that is not the device's: status 3.
    ASSERT_EQ(3, probe.nStatus) << probe.strErrors;
    // Listed with the mark in a column of its own; listed before the
    // impostor was heard, it is listed again with it.
    std::string strMarked = Mac(1, 0) + "\t" + Address(1, 10) + "\tModel 1-0\talso answered from " + Address(1, 11) + "\n";
    ASSERT_GE(probe.strOutput.size(), strMarked.size()) << probe.strOutput;
    EXPECT_EQ(strMarked, probe.strOutput.substr(probe.strOutput.size() - strMarked.size())) << probe.strOutput;
    EXPECT_EQ(std::string::npos, probe.strOutput.find(Address(1, 11) + "\t")) << probe.strOutput;
    // Both addresses passed their check: said once, naming both, and
    // neither taken for the device.
    const std::string strWhy = "device " + Mac(1, 0) + " passed its unicast check at " + Address(1, 10) + " and " +
                               Address(1, 11) +
                               ": nothing tells which of them is the device (a host may claim its MAC); find what "
                               "answers at each";
    EXPECT_EQ("vlnet: " + strWhy + "; until then url, open and run refuse it\n", probe.strErrors);
    // By its MAC (a password goes to neither); an address given is the
    // user's choice. Each waits for the impostor's late check.
    for (const std::vector<std::string>& args : {std::vector<std::string>{"url", Mac(1, 0), "--timeout", "8"},
                                                 {"run", Mac(1, 0), "CheckPassword", "--password", "secret"}}) {
        ProgramRun refused = RunVlnet(m_Net, args);
        EXPECT_EQ(1, refused.nStatus) << args[0];
        EXPECT_EQ("", refused.strOutput) << args[0];
        EXPECT_NE(std::string::npos, refused.strErrors.find(args[0] == "url" ? "vlnet: " + strWhy + "; refused\n"
                                                                             : RefusedChange(Mac(1, 0), args[2])))
            << args[0] << ": " << refused.strErrors;
    }
    ProgramRun chosen = RunVlnet(m_Net, {"url", Address(1, 11), "--timeout", "8"});
    EXPECT_EQ(0, chosen.nStatus) << chosen.strErrors;
    EXPECT_EQ("http://" + Address(1, 11) + "/\n", chosen.strOutput);
}

// A MAC answered from several addresses: each address is checked (a few at
// once, the next when one ends), the device is listed and reached where it
// passed, and every other address is named, and why it was not used. On
// the first network two hosts, deaf to unicast, claim the device's MAC
// from their own addresses and answer before it; on the second a host
// claims it and answers unicast too, so that nothing tells which is the
// device unless the user names an address; on the third four deaf hosts
// answer before the device; on the fourth one hostile host holds four
// addresses, answering unicast from one of them, before the device; on the
// fifth more hosts claim a MAC than are told apart.
TEST_F(VLNetEndToEnd, AMACAnsweredFromSeveralAddressesIsReachedWhereItPassed)
{
    const std::string strMAC = "00:26:AB:21:00:00";
    const std::string strTwice = "00:26:AB:22:00:00";
    const std::string strFive = "00:26:AB:23:00:00";
    const std::string strImpostor = "00:26:AB:24:00:00";
    AddNetwork(1, {"mac=" + strMAC + " delay=300", "mac=" + strMAC + " unicast=0", "mac=" + strMAC + " unicast=0"},
               false);
    AddNetwork(2, {"mac=" + strTwice, "mac=" + strTwice + " delay=300"}, false);
    std::vector<std::string> five(4, "mac=" + strFive + " unicast=0");
    five.push_back("mac=" + strFive + " delay=300");
    AddNetwork(3, five, false);
    std::vector<std::string> hostile(3, "mac=" + strImpostor + " unicast=0");
    hostile.push_back("mac=" + strImpostor + " delay=100 password=secret");
    hostile.push_back("mac=" + strImpostor + " delay=200 password=secret");
    AddNetwork(4, hostile, false);
    const std::string strInCheck = "in its unicast check at the time-out";
    // Another address of a MAC that is listed.
    auto alsoFrom = [&](const std::string& strOf, int nListed, int nNetwork, int nHost,
                        const std::string& strWhy = "no answer to unicast") {
        return "vlnet: device " + strOf + ", listed at " + Address(nNetwork, nListed) +
               ", also answered the probe from " + Address(nNetwork, nHost) + ": " + strWhy;
    };
    auto named = [&](const std::string& strOf, int nNetwork, int nHost) {
        return "vlnet: device " + strOf + " also answered the probe from " + Address(nNetwork, nHost) +
               ": no answer to unicast";
    };
    auto used = [&](const std::string& strOf, int nNetwork, int nHost) {
        return "vlnet: device " + strOf + " used at " + Address(nNetwork, nHost) + ", which passed its unicast check";
    };
    auto both = [&](const std::string& strOf, int nNetwork, int nFirst, int nSecond) {
        return "vlnet: device " + strOf + " passed its unicast check at " + Address(nNetwork, nFirst) + " and " +
               Address(nNetwork, nSecond) +
               ": nothing tells which of them is the device (a host may claim its MAC); find what answers at each";
    };
    const std::string strListed = strMAC + "\t" + Address(1, 10) + "\tModel 1-0\talso answered from " +
                                  Address(1, 11) + " and " + Address(1, 12);
    const std::string strTwiceListed = strTwice + "\t" + Address(2, 10) + "\tModel 2-0";
    const std::string strTwiceMarked = strTwiceListed + "\talso answered from " + Address(2, 11);
    const std::string strFiveListed = strFive + "\t" + Address(3, 14) + "\tModel 3-4\talso answered from " +
                                      Address(3, 10) + ", " + Address(3, 11) + ", " + Address(3, 12) + " and " +
                                      Address(3, 13);
    const std::string strImpostorListed = strImpostor + "\t" + Address(4, 13) + "\tModel 4-3\talso answered from " +
                                          Address(4, 10) + ", " + Address(4, 11) + ", " + Address(4, 12) + " and " +
                                          Address(4, 14);
    const std::string strUntil = "; until then url, open and run refuse it";
    struct SRow
    {
        std::vector<std::string> args;
        int nStatus;
        std::vector<std::string> output;  // lines, in any order; for run, its result line
        std::vector<std::string> errors;
        bool bHeardAfter = false;  // errors is the only line, followed by the addresses heard
        // Printed only when its chain ended before another address of its
        // MAC answered, which a busy machine may reverse.
        std::vector<std::string> mayPrint = {};
    };
    const std::vector<SRow> rows = {
        {{"probe"},
         3,
         {strTwiceMarked, strListed, strFiveListed, strImpostorListed},
         {alsoFrom(strMAC, 10, 1, 11), alsoFrom(strMAC, 10, 1, 12), both(strTwice, 2, 10, 11) + strUntil,
          alsoFrom(strFive, 14, 3, 10), alsoFrom(strFive, 14, 3, 11), alsoFrom(strFive, 14, 3, 12),
          alsoFrom(strFive, 14, 3, 13), alsoFrom(strImpostor, 13, 4, 10), alsoFrom(strImpostor, 13, 4, 11),
          alsoFrom(strImpostor, 13, 4, 12), both(strImpostor, 4, 13, 14) + strUntil},
         false,
         {strTwiceListed}},
        // At the time-out every address still to be judged is counted and
        // named, claims too; a MAC is listed where its first chain
        // succeeded, whatever its addresses still in their check.
        {{"probe", "--timeout", "2"},
         3,
         {strTwiceMarked, strListed, strFiveListed, strImpostorListed},
         {"vlnet: 9 of 15 addresses were still in the unicast check at the time-out",
          alsoFrom(strMAC, 10, 1, 11, strInCheck), alsoFrom(strMAC, 10, 1, 12, strInCheck),
          both(strTwice, 2, 10, 11) + strUntil, alsoFrom(strFive, 14, 3, 10, strInCheck),
          alsoFrom(strFive, 14, 3, 11, strInCheck), alsoFrom(strFive, 14, 3, 12, strInCheck),
          alsoFrom(strFive, 14, 3, 13, strInCheck), alsoFrom(strImpostor, 13, 4, 10, strInCheck),
          alsoFrom(strImpostor, 13, 4, 11, strInCheck), alsoFrom(strImpostor, 13, 4, 12, strInCheck),
          both(strImpostor, 4, 13, 14) + strUntil},
         false,
         {strTwiceListed}},
        // By its MAC: probe --mac, url and run say the same.
        {{"probe", "--mac", strMAC}, 0, {strListed}, {named(strMAC, 1, 11), named(strMAC, 1, 12), used(strMAC, 1, 10)}},
        {{"url", strMAC},
         0,
         {"http://" + Address(1, 10) + "/"},
         {named(strMAC, 1, 11), named(strMAC, 1, 12), used(strMAC, 1, 10)}},
        // Cut by the time-out while its claimants are checked: refused by
        // its MAC, the address that passed said as such, the others as in
        // their check.
        {{"url", strMAC, "--timeout", "2"},
         1,
         {},
         {"vlnet: device " + strMAC + " also answered the probe from " + Address(1, 11) + ": in its unicast check",
          "vlnet: device " + strMAC + " also answered the probe from " + Address(1, 12) + ": in its unicast check",
          "vlnet: device " + strMAC + " refused, as which address is the device cannot be told yet (" + Address(1, 10) +
              " passed its unicast check); a longer --timeout lets every check end"}},
        // Four deaf hosts first cost the device a check's time, not its place.
        {{"run", strFive, "GetDetail"},
         0,
         {"result 0 (success)"},
         {named(strFive, 3, 10), named(strFive, 3, 11), named(strFive, 3, 12), named(strFive, 3, 13),
          used(strFive, 3, 14)}},
        // Two addresses that pass: refused by the MAC, used where named.
        {{"probe", "--mac", strTwice}, 1, {}, {both(strTwice, 2, 10, 11) + "; refused"}},
        {{"url", strTwice}, 1, {}, {both(strTwice, 2, 10, 11) + "; refused"}},
        {{"url", Address(2, 11)},
         0,
         {"http://" + Address(2, 11) + "/"},
         {"vlnet: device " + strTwice + " also passed its unicast check at " + Address(2, 10) + ": not used, as " +
              Address(2, 11) + " was given",
          used(strTwice, 2, 11)}},
        {{"run", Address(2, 11), "GetListInfo"},
         0,
         {"result 0 (success)"},
         {"vlnet: device " + strTwice + " also passed its unicast check at " + Address(2, 10) + ": not used, as " +
              Address(2, 11) + " was given",
          used(strTwice, 2, 11)}},
        // The password goes nowhere while the host answering first is not
        // told from the device answering later: refused once a second
        // address answered, in one line naming the addresses heard by then.
        {{"run", strImpostor, "SetDetail", "--password", "secret", "VLPC.2B_5A10_01.Location=x"},
         1,
         {},
         {RefusedChange(strImpostor, "SetDetail")},
         true},
        // By an address whose MAC passed elsewhere: said at once, looked
        // for on (another device may yet answer there).
        {{"url", Address(1, 11), "--timeout", "12"},
         1,
         {},
         {"vlnet: device " + Address(1, 11) + " answered so far only with MACs that cannot be used: " + strMAC +
              " (no answer to unicast); looking on until the time-out (12 s), as the device itself may yet answer "
              "there",
          "vlnet: device " + Address(1, 11) + " answered the probe but not by unicast; its MAC " + strMAC +
              " passed its unicast check at " + Address(1, 10)}},
    };
    auto check = [&](const SRow& row) {
        ProgramRun run = RunVlnet(m_Net, row.args);
        std::string strRow;
        for (const std::string& strArg : row.args)
            strRow += strArg + " ";
        std::vector<std::string> output = row.output, errors = row.errors;
        const std::vector<std::string> printed = SortedLines(run.strOutput);
        for (const std::string& strLine : row.mayPrint)
            if (std::count(printed.begin(), printed.end(), strLine) != 0)
                output.push_back(strLine);
        std::sort(output.begin(), output.end());
        std::sort(errors.begin(), errors.end());
        EXPECT_EQ(row.nStatus, run.nStatus) << strRow << "\n" << run.strErrors;
        // run's record is not this table's business: its result line is.
        if (row.args[0] == "run")
            EXPECT_EQ(output.empty() ? "" : output[0], LineOf("\n" + run.strOutput, "result")) << strRow;
        else
            EXPECT_EQ(output, printed) << strRow;
        if (!row.bHeardAfter) {
            EXPECT_EQ(errors, SortedLines(run.strErrors)) << strRow;
            return;
        }
        // Which addresses had answered by the refusal varies: at least two,
        // each of the MAC's, none named twice.
        const std::string strHeard = errors.at(0) + "; heard so far from ";
        ASSERT_EQ(0u, run.strErrors.find(strHeard)) << strRow << run.strErrors;
        ASSERT_EQ(run.strErrors.size() - 1, run.strErrors.find('\n')) << strRow << run.strErrors;
        std::string strList = run.strErrors.substr(strHeard.size(), run.strErrors.size() - 1 - strHeard.size());
        for (size_t nAt = strList.find(" and "); nAt != std::string::npos; nAt = strList.find(" and "))
            strList.replace(nAt, 5, ", ");
        std::vector<std::string> heard;
        for (size_t nStart = 0; nStart <= strList.size();) {
            const size_t nEnd = std::min(strList.find(", ", nStart), strList.size());
            heard.push_back(strList.substr(nStart, nEnd - nStart));
            nStart = nEnd + 2;
        }
        std::set<std::string> mine;
        for (int nHost = 10; nHost <= 14; ++nHost)
            mine.insert({Address(4, nHost), Address(4, nHost) + " (passed its unicast check)"});
        std::sort(heard.begin(), heard.end());
        EXPECT_LE(2u, heard.size()) << strRow << run.strErrors;
        EXPECT_EQ(heard.end(), std::unique(heard.begin(), heard.end())) << strRow << run.strErrors;
        for (const std::string& strIP : heard)
            EXPECT_EQ(1u, mine.count(strIP)) << strIP << "\n" << strRow << run.strErrors;
    };
    for (const SRow& row : rows)
        check(row);
    // More hosts claim a MAC than are told apart: refused at once by the
    // MAC, whatever their checks would say; by its address the device is
    // used once its own check passed, the others named, not waited for.
    // A device still starting behind a deaf claim of its MAC is found; an
    // address two MACs answered from is shared.
    const std::string strFlood = "00:26:AB:25:00:00";
    const std::string strStarting = "00:26:AB:27:00:00";
    const std::string strShared = "00:26:AB:28:00:00", strSharer = "00:26:AB:29:00:00";
    // 64 addresses of a MAC are told apart.
    std::vector<std::string> flood(67, "mac=" + strFlood + " unicast=0");
    flood[0] = "mac=" + strFlood;
    flood.insert(flood.end(), {"mac=" + strStarting + " unicast=0", "mac=" + strStarting + " boot=2500",
                               "mac=" + strShared, "mac=" + strSharer + " ip=" + Address(5, 79)});
    // A device whose claimants filled its MAC's addresses before it answered.
    const std::string strCrowded = "00:26:AB:2A:00:00";
    const int kCrowding = 70;
    flood.insert(flood.end(), kCrowding, "mac=" + strCrowded + " unicast=0");
    flood.push_back("mac=" + strCrowded);
    const int nCrowded = 10 + static_cast<int>(flood.size()) - 1;
    AddNetwork(5, flood, false);
    // First, while the starting device is still silent.
    check({{"url", strStarting, "--timeout", "12"},
           0,
           {"http://" + Address(5, 78) + "/"},
           {named(strStarting, 5, 77), used(strStarting, 5, 78)}});
    check({{"url", strFlood},
           1,
           {},
           {"vlnet: device " + strFlood +
            " answered the probe from more than 64 addresses, the others neither kept nor checked: which is the "
            "device cannot be told; refused"}});
    ProgramRun byAddress = RunVlnet(m_Net, {"run", Address(5, 10), "GetDetail", "--timeout", "20"});
    EXPECT_EQ(0, byAddress.nStatus) << byAddress.strErrors;
    EXPECT_EQ("result 0 (success)", LineOf("\n" + byAddress.strOutput, "result"));
    EXPECT_NE(std::string::npos, byAddress.strErrors.find(used(strFlood, 5, 10))) << byAddress.strErrors;
    // Still checked when it was used: not waited for.
    EXPECT_NE(std::string::npos, byAddress.strErrors.find("in its unicast check")) << byAddress.strErrors;
    // Those never checked: one line for the reason, naming them.
    std::string strUnchecked;
    std::istringstream errors(byAddress.strErrors);
    for (std::string strLine; std::getline(errors, strLine);) {
        if (strLine.find(", not checked: ") != std::string::npos)
            strUnchecked += strLine + "\n";
    }
    std::string strUnnamed;
    for (int nHost = 11; nHost <= 76; ++nHost) {
        const std::string strIP = Address(5, nHost);
        if (byAddress.strErrors.find("answered the probe from " + strIP + ":") == std::string::npos &&
            strUnchecked.find(strIP + " ") == std::string::npos && strUnchecked.find(strIP + ",") == std::string::npos)
            strUnnamed += strIP + " ";
    }
    EXPECT_EQ("", strUnnamed) << byAddress.strErrors;
    // The address named is checked beyond the 64 kept for its MAC; of the
    // six beyond, three are named and the others counted.
    ProgramRun crowded = RunVlnet(m_Net, {"run", Address(5, nCrowded), "GetDetail", "--timeout", "6"});
    EXPECT_EQ(0, crowded.nStatus) << crowded.strErrors;
    EXPECT_EQ("result 0 (success)", LineOf("\n" + crowded.strOutput, "result"));
    EXPECT_NE(std::string::npos,
              crowded.strErrors.find(" and 3 more addresses, not checked: beyond the 64 addresses checked for one MAC\n"))
        << crowded.strErrors;
    const std::string strSharedBy = Address(5, 79) + " answered the probe for " + strShared + " and " + strSharer;
    check({{"run", Address(5, 79), "GetListInfo", "--timeout", "12"},
           1,
           {},
           {"vlnet: " + strSharedBy + ": which device is meant cannot be told; refused (give its MAC)"}});
    check({{"url", strShared, "--timeout", "12"},
           0,
           {"http://" + Address(5, 79) + "/"},
           {"vlnet: device " + strShared + " is at " + Address(5, 79) + ", which also answered the probe for " +
            strSharer}});
    ProgramRun probe = RunVlnet(m_Net, {"probe", "--timeout", "20"});
    EXPECT_EQ(3, probe.nStatus) << probe.strErrors;
    EXPECT_NE(std::string::npos, probe.strErrors.find("vlnet: " + strSharedBy + ": two devices share the address"))
        << probe.strErrors;
}

// Hosts that claim a device's MAC, pass their unicast check and then never
// answer GetListInfo hold back neither the device's own chain nor the
// address the user names: one of them on the first network, four on the
// second, each answering before the device.
TEST_F(VLNetEndToEnd, StallingClaimantsHoldBackNeitherTheListNorTheAddressNamed)
{
    const std::string strOne = "00:26:AB:34:00:01", strFour = "00:26:AB:34:00:04";
    AddNetwork(1, {"mac=" + strOne + " quietlist=1", "mac=" + strOne + " delay=300"}, false);
    std::vector<std::string> four(4, "mac=" + strFour + " quietlist=1");
    four.push_back("mac=" + strFour + " delay=300");
    AddNetwork(2, four, false);
    ASSERT_TRUE(m_Net.Exec("pc", "ip route add default dev vl1"));
    for (const std::string& strDevice : {Address(1, 11), Address(2, 14)}) {
        ProgramRun run = RunVlnet(m_Net, {"run", strDevice, "GetDetail", "--timeout", "10"});
        EXPECT_EQ(0, run.nStatus) << strDevice << "\n" << run.strErrors;
        EXPECT_EQ("result 0 (success)", LineOf("\n" + run.strOutput, "result")) << strDevice;
    }
    // Listed at the device's address, marked; the claimants named, as
    // their commands failed. Status 3: the line's mark.
    ProgramRun probe = RunVlnet(m_Net, {"probe"});
    EXPECT_EQ(3, probe.nStatus) << probe.strErrors;
    EXPECT_NE(std::string::npos, probe.strOutput.find(strOne + "\t" + Address(1, 11) + "\tModel 1-1\t"))
        << probe.strOutput;
    EXPECT_NE(std::string::npos, probe.strOutput.find(strFour + "\t" + Address(2, 14) + "\tModel 2-4\t"))
        << probe.strOutput;
    EXPECT_EQ(std::string::npos, probe.strErrors.find("at the time-out")) << probe.strErrors;
}

// 70 hosts claim the device's MAC before it answers, from addresses on
// none of the computer's networks (which it has no route to): more than
// the addresses kept for a MAC. The device is still checked and reached by
// its MAC, the claimants judged unreachable.
TEST_F(VLNetEndToEnd, UnreachableClaimantsDoNotHideTheDevice)
{
    const int kClaimants = 70;
    AddNetwork(1,
               {"delay=300", "mac=" + Mac(1, 0) + " ip=192.168.77.1 unicast=0 hostile=claims flood=1 pool=" +
                                 std::to_string(kClaimants) + " rate=20000"},
               false);
    ASSERT_TRUE(m_Net.Exec("n1", "for i in $(seq 2 " + std::to_string(kClaimants) +
                                     "); do ip addr add 192.168.77.$i/24 dev vd1; done"));
    ProgramRun run = RunVlnet(m_Net, {"run", Mac(1, 0), "GetDetail", "--timeout", "10"});
    EXPECT_EQ(0, run.nStatus) << run.strErrors;
    EXPECT_EQ("VLPC.2B_5A10_01.IPAddress=" + Address(1, 10), LineOf(run.strOutput, "VLPC.2B_5A10_01.IPAddress="))
        << run.strOutput;
    EXPECT_NE(std::string::npos, run.strErrors.find("also answered the probe from 192.168.77.1: its address"))
        << run.strErrors;
    EXPECT_NE(std::string::npos, run.strErrors.find("also answered the probe from 66 more addresses on none of this "
                                                    "computer's networks"))
        << run.strErrors;
}

// A search for a MAC lasts the user's time: a host heard for the MAC first,
// from an address on none of the computer's networks, is said at once, in
// one line, and the device, whose replies to the probe come 2.2 s late, is
// found all the same (probe --mac: see the deaf device below).
TEST_F(VLNetEndToEnd, AMACHeardOnlyFromUnusableAddressesIsLookedForOn)
{
    AddNetwork(1,
               {"limiteddelay=2200 directeddelay=2200",
                "mac=" + Mac(1, 0) + " ip=192.168.71.1 unicast=0 hostile=claims flood=1 pool=1"},
               false);
    const std::string strSaid = "vlnet: device " + Mac(1, 0) +
                                " answered so far only from addresses that cannot be used: 192.168.71.1 (on none of "
                                "this computer's networks); looking on until the time-out (30 s)";
    ProgramRun url = RunVlnet(m_Net, {"url", Mac(1, 0), "--timeout", "30"});
    EXPECT_EQ(0, url.nStatus) << url.strErrors;
    EXPECT_EQ("http://" + Address(1, 10) + "/\n", url.strOutput);
    EXPECT_EQ(0u, url.strErrors.find(strSaid)) << url.strErrors;
}

// One host holds 300 addresses of a network the computer has no route to,
// each claiming the device's MAC: the probe's report names the first few
// and the one the claims name as their own, and counts the others.
TEST_F(VLNetEndToEnd, ManyUnreachableClaimantsAreCountedNotEachNamed)
{
    const int kClaimants = 300;
    AddNetwork(1,
               {"delay=300", "mac=" + Mac(1, 0) + " ip=192.168.64.1 unicast=0 hostile=claims flood=1 pool=" +
                                 std::to_string(kClaimants) + " rate=20000"},
               false);
    ASSERT_TRUE(m_Net.Exec("n1", "for i in $(seq 2 " + std::to_string(kClaimants) +
                                     "); do ip addr add 192.168.$((64 + i / 256)).$((i % 256))/20 dev vd1; done"));
    ProgramRun run = RunVlnet(m_Net, {"probe"});
    EXPECT_EQ(3, run.nStatus) << run.strErrors;
    size_t nNamed = 0, nCounted = 0;
    std::istringstream in(run.strErrors);
    for (std::string strLine; std::getline(in, strLine);) {
        nNamed += strLine.find("also answered the probe from 192.168.") != std::string::npos;
        nCounted += strLine.find(" more addresses on none of this computer's networks") != std::string::npos;
    }
    EXPECT_EQ(4u, nNamed) << run.strErrors;
    EXPECT_EQ(1u, nCounted) << run.strErrors;
}

// A device that itself answers from an address on none of the computer's
// networks, behind three hosts claiming its MAC from such addresses before
// it answers: its own line is named, however many of theirs are counted.
TEST_F(VLNetEndToEnd, AnUnreachableDevicesOwnLineIsNamedBehindClaimants)
{
    AddNetwork(1,
               {"ip=192.168.70.10 delay=300",
                "mac=" + Mac(1, 0) + " ip=192.168.77.1 unicast=0 hostile=claims flood=1 pool=3 rate=20000"},
               false);
    ASSERT_TRUE(m_Net.Exec("n1", "ip addr add 192.168.77.2/24 dev vd1 && ip addr add 192.168.77.3/24 dev vd1"));
    ProgramRun run = RunVlnet(m_Net, {"probe"});
    EXPECT_EQ(3, run.nStatus) << run.strErrors;
    EXPECT_NE(std::string::npos, run.strErrors.find("vlnet: not listed: " + Mac(1, 0) + "\t192.168.70.10\tModel 1-0\t"))
        << run.strErrors;
}

// A host claims the device's MAC from an address on none of the computer's
// networks that a route leads to, and never answers unicast: its check
// outlasts the time-out. The device is used, and listed, by its MAC at
// once, the claimant named as unreachable, not waited for.
TEST_F(VLNetEndToEnd, AnUnreachableClaimantStillCheckedHoldsNoDeviceBack)
{
    AddNetwork(1, {"delay=300", "mac=" + Mac(1, 0) + " ip=192.168.77.1 unicast=0 hostile=claims flood=1 pool=1"},
               false);
    ASSERT_TRUE(m_Net.Exec("pc", "ip route add default dev vl1"));
    const std::string strNamed = "also answered the probe from 192.168.77.1: its address";
    ProgramRun run = RunVlnet(m_Net, {"run", Mac(1, 0), "GetDetail", "--timeout", "4"});
    EXPECT_EQ(0, run.nStatus) << run.strErrors;
    EXPECT_EQ("VLPC.2B_5A10_01.IPAddress=" + Address(1, 10), LineOf(run.strOutput, "VLPC.2B_5A10_01.IPAddress="))
        << run.strOutput;
    EXPECT_NE(std::string::npos, run.strErrors.find(strNamed)) << run.strErrors;
    ProgramRun probe = RunVlnet(m_Net, {"probe", "--mac", Mac(1, 0), "--timeout", "4"});
    EXPECT_EQ(0, probe.nStatus) << probe.strErrors;
    EXPECT_EQ(0u, probe.strOutput.find(Mac(1, 0) + "\t" + Address(1, 10) + "\t")) << probe.strOutput;
}

// Nor is a change by MAC refused for such a claimant: no change could
// reach it. It is named all the same.
TEST_F(VLNetEndToEnd, AnUnreachableClaimantRefusesNoChangeByMAC)
{
    AddNetwork(1, {"delay=300", "mac=" + Mac(1, 0) + " ip=192.168.77.1 unicast=0 hostile=claims flood=1 pool=1"},
               false);
    ASSERT_TRUE(m_Net.Exec("pc", "ip route add default dev vl1"));
    ProgramRun set = RunVlnet(m_Net, {"run", Mac(1, 0), "SetDetail", "--password", "", "--timeout", "4",
                                      "VLPC.2B_5A10_01.Location=moved"});
    EXPECT_EQ(0, set.nStatus) << set.strErrors;
    EXPECT_NE(std::string::npos, set.strErrors.find("also answered the probe from 192.168.77.1: its address"))
        << set.strErrors;
}

// What slipped before: a claim of a device's MAC from a source whose bound
// is full is checked all the same when the MAC is named, so the device is
// used by its MAC with the claim named; a device that also forges another
// MAC's probe reply from its address is
// used by that address (the forged MAC never answered unicast there); and
// probe --mac of a device whose every check failed says so at once and,
// told to listen, looks on until its time-out, as another address of the
// MAC may yet answer.
TEST_F(VLNetEndToEnd, ARefusedClaimAForgedMACAndFailedChecksAreJudgedAtOnce)
{
    const std::string strClaimed = "00:26:AB:35:00:00";
    // 10.201.1.11 names four other MACs, then the device's: its fifth.
    std::vector<std::string> claimed = {"mac=" + strClaimed};
    for (int i = 1; i <= 4; ++i)
        claimed.push_back("mac=00:26:AB:35:00:0" + std::to_string(i) + " ip=" + Address(1, 11) + " unicast=0");
    claimed.push_back("mac=" + strClaimed + " ip=" + Address(1, 11) + " unicast=0 delay=400");
    AddNetwork(1, claimed, false);
    const std::string strForger = "00:26:AB:36:00:00";
    AddNetwork(2, {"mac=" + strForger, "mac=00:26:AB:36:00:01 ip=" + Address(2, 10) + " unicast=0"}, false);
    const std::string strDeaf = "00:26:AB:37:00:00";
    AddNetwork(3, {"mac=" + strDeaf + " unicast=0", "mac=" + strDeaf + " unicast=0"}, false);
    ASSERT_TRUE(m_Net.Exec("pc", "ip route add default dev vl1"));
    // The claim's check ends with its tries (6 s), within the time-out.
    for (const std::vector<std::string>& args : {std::vector<std::string>{"url", strClaimed, "--timeout", "12"},
                                                 {"run", strClaimed, "GetDetail", "--timeout", "12"}}) {
        ProgramRun used = RunVlnet(m_Net, args);
        EXPECT_EQ(0, used.nStatus) << args[0] << "\n" << used.strErrors;
        EXPECT_NE(std::string::npos, used.strErrors.find("device " + strClaimed + " also answered the probe from " +
                                                         Address(1, 11) + ": no answer to unicast"))
            << args[0] << "\n" << used.strErrors;
    }
    ProgramRun forger = RunVlnet(m_Net, {"url", Address(2, 10), "--timeout", "6"});
    EXPECT_EQ(0, forger.nStatus) << forger.strErrors;
    EXPECT_EQ("http://" + Address(2, 10) + "/\n", forger.strOutput);
    ProgramRun deaf = RunVlnet(m_Net, {"probe", "--mac", strDeaf, "--timeout", "12"});
    EXPECT_EQ(1, deaf.nStatus) << deaf.strErrors;
    EXPECT_EQ(0u, deaf.strErrors.find("vlnet: device " + strDeaf + " answered so far only from addresses that cannot "
                                      "be used: " + Address(3, 10) + " and " + Address(3, 11) +
                                      " (no answer to unicast); looking on until the time-out (12 s)"))
        << deaf.strErrors;
    EXPECT_NE(std::string::npos, deaf.strErrors.find("but not by unicast: no answer to unicast")) << deaf.strErrors;
}

// The test networks (and vltestnet, which labels its devices so) know
// which devices a probe lists: exactly those, each MAC once, with four deaf
// hosts claiming a device's MAC before it, a host flooding the checks'
// port with errors after its own check, a burst of repeats, devices whose
// check or list information fails, a host that stalls after its check, and
// a device off the computer's networks.
TEST_F(VLNetEndToEnd, TheNetworksKnowWhichDevicesAProbeLists)
{
    const std::string strClaimed = "mac=00:26:AB:26:00:00";
    AddNetwork(1,
               {"", "hostile=checkerrors rate=200", "hostile=burst flood=200", "hostile=spoofmac", "unicast=0",
                "dataerror=0x5A02", "dataerror=0x5A04", "loss=100", "quietlist=1", "ip=192.168.50.10"},
               false);
    AddNetwork(2,
               {strClaimed + " unicast=0", strClaimed + " unicast=0", strClaimed + " unicast=0",
                strClaimed + " unicast=0", strClaimed + " delay=300"},
               false);
    std::set<std::string> expected;
    for (const CDeviceNetworks::Device& device : m_Networks.GetDevices()) {
        if (device.bListed)
            expected.insert(device.strMAC + "\t" + device.strIP);
    }
    // Long enough for the others' checks; the host that stalls holds the
    // probe to its time-out.
    ProgramRun run = RunVlnet(m_Net, {"probe", "--timeout", "8"});
    EXPECT_EQ(3, run.nStatus) << run.strErrors;
    std::set<std::string> listed;
    for (const std::string& strLine : SortedLines(run.strOutput))
        listed.insert(strLine.substr(0, strLine.find('\t', strLine.find('\t') + 1)));
    EXPECT_EQ(expected, listed) << run.strOutput << run.strErrors;
}

TEST_F(VLNetEndToEnd, TooFewDescriptorsAndStopSignals)
{
    // The second device with a MAC and a model of its own, which the
    // network's list of devices holds.
    AddNetwork(1, {"", "mac=00-26-ab-7e-00-01 model=\"Printer 7\""});
    ASSERT_TRUE(m_Net.Exec("pc", "ip route add default dev vl1"));
    for (rlim_t nLimit : {7, 8, 9}) {
        ProgramRun run = RunVlnet(m_Net, {"probe", "--timeout", "5"}, nLimit);
        EXPECT_EQ(1, run.nStatus) << nLimit;
        EXPECT_EQ("", run.strOutput) << nLimit;
        EXPECT_NE(std::string::npos, run.strErrors.find("vlnet: too few descriptors: ")) << run.strErrors;
    }
    // A limit of 64 leaves room for inherited descriptors beside what a
    // probe may hold.
    ProgramRun inherited = RunProgram(m_Net, {"/bin/bash", "-c",
                                              "ulimit -n 64 && exec 3</dev/null && exec " + BinDir() +
                                                  "/vlnet probe --resources " + BinDir() + "/../share/vlnet"});
    ExpectExactlyTheDevices(inherited);
    auto start = std::chrono::steady_clock::now();
    ProgramRun stopped = RunVlnet(m_Net, {"probe", "--timeout", "50"}, 0, 500);
    double fSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    // SIGTERM: 128 + its number, as a shell reports it.
    EXPECT_EQ(143, stopped.nStatus) << stopped.strErrors;
    EXPECT_LT(fSeconds, EndBound(0.5));
}

TEST_F(VLNetUnderAttack, ErrorRepliesWithoutAMACAddress)
{
    Build("hostile=errorheaders rate=3000 result=0x1001");
    ProbeUnderAttack(this, m_Net, m_Expected, "errorheaders");
}

TEST_F(VLNetUnderAttack, ADeviceWhoseRepliesKeepChangingDoesNotHoldOffTheEnd)
{
    Build("hostile=changing rate=300");
    ProbeUnderAttack(this, m_Net, m_Expected, "changing", "\t" + Address(1, 13) + "\tModel 1-3");
}

TEST_F(VLNetEndToEnd, ForgedSourcesOnOneNetworkCrowdOutNoOtherAndAreReported)
{
    AddNetwork(1, {"", ""});
    AddNetwork(2, {"", "encrypted=1"});
    // 240 addresses with four invented devices each (new ones at each probe
    // request): more than a network may hold, however many the kernel
    // drops. The replies came in through the directed broadcast of vl3, and
    // through the limited broadcast, which any network reaches.
    AddNetwork(3, {"unicast=0 hostile=forgedmacs pool=240 flood=4 straygap=100"}, false);
    ASSERT_TRUE(m_Networks.AddAddresses(3, 11, 249));
    ExpectEachListedAndAShortListSaid(RunVlnet(m_Net, {"probe", "--timeout", "6"}),
                                      "addresses on 10.201.3.0/24 not listed: more than 512 devices "
                                      "(received on vl3; source addresses may be forged)\n");
}

// 510 invented devices from forged sources of the devices' own network, 4
// to a source, 512 with the two devices (every bound kept), and all but
// the two hosts' own addresses answer no ARP request: each check sent there
// waits in the computer's neighbour queue until the computer gives the
// address up, here after 9 s (three tries 3 s apart). Neither the address the user names nor the
// other genuine device waits behind them: both answer within a time-out
// that ends before the first forged address is given up.
TEST_F(VLNetEndToEnd, ChecksDoNotWaitBehindForgedSourcesThatNeverResolve)
{
    AddNetwork(5,
               {"delay=300", "delay=300", "ip=10.201.5.100 unicast=0 hostile=forgedmacs pool=127 flood=4 straygap=100",
                "ip=10.201.5.240 unicast=0 hostile=forgedmacs pool=1 flood=2 straygap=100"});
    ASSERT_TRUE(m_Net.Exec("n5", "sysctl -qw net.ipv4.conf.all.arp_ignore=8 && for i in $(seq 101 226); do "
                                 "ip addr add 10.201.5.$i/24 dev vd5; done"));
    ASSERT_TRUE(m_Net.Exec("pc", "sysctl -qw net.ipv4.neigh.vl5.retrans_time_ms=3000"));
    ProgramRun named = RunVlnet(m_Net, {"run", Address(5, 10), "GetDetail", "--timeout", "6"});
    EXPECT_EQ(0, named.nStatus) << named.strErrors;
    EXPECT_EQ("VLPC.2B_5A10_01.IPAddress=" + Address(5, 10), LineOf(named.strOutput, "VLPC.2B_5A10_01.IPAddress="))
        << named.strOutput;
    ProgramRun probe = RunVlnet(m_Net, {"probe", "--timeout", "6"});
    EXPECT_EQ(2u, Lines(probe.strOutput).size()) << probe.strOutput << probe.strErrors;
    for (int i = 0; i < 2; ++i)
        EXPECT_EQ(1u, Lines(probe.strOutput)[Mac(5, i)].size()) << probe.strOutput << probe.strErrors;
}

// A network of 400 devices that all answer within 0.1 s, far more than the
// dispatch queue takes at once, is within its bound: one probe lists it
// whole.
TEST_F(VLNetEndToEnd, ALargeNetworkAnsweringAtOnceIsListedWhole)
{
    std::vector<std::string> devices;
    for (int i = 0; i < 400; ++i)
        devices.push_back("delay=" + std::to_string(i * 37 % 101));
    AddNetwork(4, devices, true, 22);
    ExpectExactlyTheDevices(RunVlnet(m_Net, {"probe"}));
}

// A network's device bound, lowered to two by the configuration: the twelve
// devices that answer after the first two are refused. A plain network at
// its bound is not said to be forged; the first ten refused are named with
// their addresses, the others counted. A device asked for by its MAC goes
// beyond the bound that the others filled before it answered.
TEST_F(VLNetEndToEnd, DevicesABoundRefusedAreNamed)
{
    std::vector<std::string> devices(14, "delay=300");
    devices[0] = devices[1] = "";
    AddNetwork(1, devices, false);
    AddNetwork(2, {""});
    const std::string strDir = TestTempFolder() + "/vlnet_bound_" + std::to_string(getpid());
    const std::string strConfiguration = strDir + "/Settings/Default/vlres300.dat";
    ASSERT_EQ(0, system(("rm -rf " + strDir + " && cp -r " + BinDir() + "/../share/vlnet " + strDir +
                         " && sed -i 's|<CommunicationManager/>|<CommunicationManager><Property "
                         "key=\"Option.Probe.MaxDevicesPerNetwork\" value=\"2\"/></CommunicationManager>|' " +
                         strConfiguration + " && grep -q MaxDevicesPerNetwork " + strConfiguration)
                            .c_str()));
    auto vlnet = [&](std::vector<std::string> args) {
        args.insert(args.begin(), BinDir() + "/vlnet");
        args.insert(args.end(), {"--timeout", "20", "--resources", strDir});
        return RunProgram(m_Net, args);
    };
    ProgramRun run = vlnet({"probe"});
    EXPECT_EQ(3, run.nStatus) << run.strErrors;
    EXPECT_EQ(std::vector<std::string>({Mac(1, 0) + "\t" + Address(1, 10) + "\tModel 1-0",
                                        Mac(1, 1) + "\t" + Address(1, 11) + "\tModel 1-1",
                                        Mac(2, 0) + "\t" + Address(2, 10) + "\tModel 2-0"}),
              SortedLines(run.strOutput));
    const std::string strBound = "refused by a bound: more than 2 devices on 10.201.1.0/24";
    std::vector<std::string> expected = {
        "vlnet: 12 devices from 12 addresses on 10.201.1.0/24 not listed: more than 2 devices (received on vl1)",
        "vlnet: not listed: 2 more devices " + strBound};
    for (int i = 2; i < 12; ++i)
        expected.push_back("vlnet: not listed: " + Mac(1, i) + "\t" + Address(1, 10 + i) + "\t\t" + strBound);
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(expected, SortedLines(run.strErrors));
    // One of the two not named, then asked for by its MAC.
    ProgramRun one = vlnet({"probe", "--mac", Mac(1, 13)});
    EXPECT_EQ(0, one.nStatus) << one.strErrors;
    EXPECT_EQ(Mac(1, 13) + "\t" + Address(1, 23) + "\tModel 1-13\n", one.strOutput);
    ProgramRun url = vlnet({"url", Mac(1, 13)});
    EXPECT_EQ(0, url.nStatus) << url.strErrors;
    EXPECT_EQ("http://" + Address(1, 23) + "/\n", url.strOutput);
    EXPECT_EQ(0, system(("rm -rf " + strDir).c_str()));
}

// A configuration naming a packet list or a function the definitions do
// not have would probe by sending nothing and list no device, with status
// 0: it is refused at the start, naming the file, line and key.
TEST_F(VLNetEndToEnd, AConfigurationNamingWhatIsNotDefinedStopsTheStart)
{
    AddNetwork(1, {""});
    const std::string strDir = TestTempFolder() + "/vlnet_names_" + std::to_string(getpid());
    const std::string strConfiguration = strDir + "/Settings/Default/vlres300.dat";
    for (const char* szKey : {"Option.Probe.PacketListName", "Option.CheckUnicast.PacketListName",
                              "Option.Probe.ModuleInstanceName"}) {
        ASSERT_EQ(0, system(("rm -rf " + strDir + " && cp -r " + BinDir() + "/../share/vlnet " + strDir +
                             " && sed -i 's|<CommunicationManager/>|<CommunicationManager><Property key=\"" + szKey +
                             "\" value=\"Nope\"/></CommunicationManager>|' " + strConfiguration +
                             " && grep -q Nope " + strConfiguration)
                                .c_str()));
        ProgramRun run = RunProgram(m_Net, {BinDir() + "/vlnet", "probe", "--timeout", "5", "--resources", strDir});
        EXPECT_EQ(1, run.nStatus) << szKey;
        EXPECT_EQ("", run.strOutput) << szKey;
        EXPECT_EQ(0u, run.strErrors.find("vlnet: initialization failed: result 13 (configuration error): " +
                                         strConfiguration + ": line "))
            << run.strErrors;
        EXPECT_NE(std::string::npos,
                  run.strErrors.find(std::string(": the \"Property\" \"") + szKey + "\" is \"Nope\": not a "))
            << run.strErrors;
    }
    EXPECT_EQ(0, system(("rm -rf " + strDir).c_str()));
}

// A definition script that has the unicast instance run the factory reset
// when a command only reads the device: the reset is refused where it
// would be sent, naming the list and the request, and the device keeps
// the setting it was given. So too when the script renames the probe's
// list, which the unicast instance runs to ask the named address which MAC
// answers there once forged MACs from that address fill its bound: the
// device there has no password, so a reset sent would be obeyed.
TEST_F(VLNetEndToEnd, AScriptThatTurnsAReadIntoTheResetLeavesTheDeviceUntouched)
{
    AddNetwork(1, {"location=lab restart=0"});
    AddNetwork(2,
               {"delay=300 restart=0 cipher=65535",
                "mac=00:26:AB:3A:00:02 ip=" + Address(2, 10) + " unicast=0 hostile=inventmacs flood=4"},
               false);
    const std::string strLocation = "VLPC.2B_5A10_01.Location=";
    ProgramRun set = RunVlnet(m_Net, {"run", Mac(1, 0), "SetDetail", "--password", "", strLocation + "moved"});
    ASSERT_EQ(0, set.nStatus) << set.strErrors;
    const std::string strDir = TestTempFolder() + "/vlnet_rename_" + std::to_string(getpid());
    const std::string strSettings = strDir + "/Settings/Default/";
    const std::string strUnicast = "<Instance name=\"VLPC_Unicast\" module=\"VLMDVLPC\" method=\"Request\"";
    ASSERT_EQ(0, system(("rm -rf " + strDir + " && cp -r " + BinDir() + "/../share/vlnet " + strDir +
                         " && sed -i 's|" + strUnicast + ">|" + strUnicast + " onStartMethod=\"Reset\">|' " +
                         strSettings + "ModuleMapping.xml && grep -q onStartMethod " + strSettings +
                         "ModuleMapping.xml && printf 'bool Reset()\\n{\\n    if (GetParameter(\"packetListName\") == "
                         "\"GetDetail\") {\\n        SetParameter(\"packetListName\", \"FactReset\");\\n    }\\n"
                         "    return true;\\n}\\n' > " +
                         strSettings + "Reset.vls" +
                         " && sed -i 's|</DefineFileList>|<File name=\"Reset.vls\" type=\"Script\"/>&|' " +
                         strSettings + "vlres201.dat && " + BinDir() + "/vlresource build " + strSettings +
                         "vlres201.dat " + strSettings + "vlres200.dat >/dev/null")
                            .c_str()));
    ProgramRun run = RunProgram(m_Net, {BinDir() + "/vlnet", "run", Mac(1, 0), "GetDetail", "--resources", strDir});
    EXPECT_EQ(1, run.nStatus) << run.strOutput << run.strErrors;
    EXPECT_EQ(0u, run.strOutput.find("result 3 (not supported)\n")) << run.strOutput;
    EXPECT_EQ("vlnet: GetDetail: the packet list \"FactReset\" sends the request 2B 5A22 \"I\", which this call may "
              "not send: refused before it was sent\n",
              run.strErrors);
    ProgramRun get = RunVlnet(m_Net, {"run", Mac(1, 0), "GetDetail"});
    ASSERT_EQ(0, get.nStatus) << get.strErrors;
    EXPECT_EQ(strLocation + "moved", LineOf(get.strOutput, strLocation)) << get.strOutput;

    // The unicast instance renames the probe's list: the named address's ask
    // behind the forged MACs sends no reset, and the search ends on its
    // refusal, which no looking on would mend.
    ASSERT_EQ(0, system(("sed -i 's|\"GetDetail\"|\"Probe\"|' " + strSettings + "Reset.vls && " + BinDir() +
                         "/vlresource build " + strSettings + "vlres201.dat " + strSettings + "vlres200.dat >/dev/null")
                            .c_str()));
    for (const char* szCommand : {"run", "url"}) {
        set = RunVlnet(m_Net,
                       {"run", Mac(2, 0), "SetDetail", "--password", "", strLocation + szCommand, "--timeout", "10"});
        ASSERT_EQ(0, set.nStatus) << set.strErrors;
        std::vector<std::string> args = {BinDir() + "/vlnet", szCommand, Address(2, 10)};
        if (std::string(szCommand) == "run")
            args.push_back("GetDetail");
        for (const char* szArg : {"--timeout", "10", "--resources"})
            args.push_back(szArg);
        args.push_back(strDir);
        ProgramRun named = RunProgram(m_Net, args);
        SCOPED_TRACE(named.strOutput + named.strErrors);
        EXPECT_EQ(1, named.nStatus);
        EXPECT_EQ(
            "vlnet: device " + Address(2, 10) +
                " could not be asked which MAC answers there: unicast probe failed: the packet list \"FactReset\" "
                "sends the request 2B 5A22 \"I\", which this call may not send: refused before it was sent\n",
            named.strErrors);
        get = RunVlnet(m_Net, {"run", Mac(2, 0), "GetDetail", "--timeout", "10"});
        ASSERT_EQ(0, get.nStatus) << get.strErrors;
        EXPECT_EQ(strLocation + szCommand, LineOf(get.strOutput, strLocation)) << get.strOutput;
    }

    // The same script on the probe's instances, renaming the probe's list.
    ASSERT_EQ(0, system(("sed -i 's|methodRecv=\"Recv\">|methodRecv=\"Recv\" onStartMethod=\"Reset\">|' " +
                         strSettings + "ModuleMapping.xml && " + BinDir() + "/vlresource build " + strSettings +
                         "vlres201.dat " + strSettings + "vlres200.dat >/dev/null")
                            .c_str()));
    ProgramRun probe = RunProgram(m_Net, {BinDir() + "/vlnet", "probe", "--resources", strDir});
    EXPECT_EQ(1, probe.nStatus) << probe.strErrors;
    EXPECT_EQ("", probe.strOutput);
    EXPECT_EQ(0u, probe.strErrors.find("vlnet: no probe could be sent: the packet list \"FactReset\" sends the request "
                                       "2B 5A22 \"I\", which this call may not send: refused before it was sent\n"))
        << probe.strErrors;

    // Without the script, a condition that passes GetDetail's request over
    // leaves its list sending nothing: no success.
    const std::string strGetDetail = "function=\"5A10\" packetType=\"Q\"";
    ASSERT_EQ(0, system(("cp " + BinDir() + "/../share/vlnet/Settings/Default/ModuleMapping.xml " + strSettings +
                         " && sed -i 's|" + strGetDetail + "/>|" + strGetDetail + " condition=\"Never\"/>|' " +
                         strSettings + "VLPC.xml && grep -q Never " + strSettings + "VLPC.xml && " + BinDir() +
                         "/vlresource build " + strSettings + "vlres201.dat " + strSettings + "vlres200.dat >/dev/null")
                            .c_str()));
    ProgramRun none = RunProgram(m_Net, {BinDir() + "/vlnet", "run", Mac(1, 0), "GetDetail", "--resources", strDir});
    EXPECT_EQ(1, none.nStatus) << none.strOutput << none.strErrors;
    EXPECT_EQ(0u, none.strOutput.find("result 3 (not supported)\n")) << none.strOutput;
    EXPECT_EQ(0u, none.strErrors.find("vlnet: GetDetail: the packet list \"GetDetail\" sent no request ("))
        << none.strErrors;
    // So does the probe's: no probe was sent, which is said.
    const std::string strProbe = "function=\"5A01\" packetType=\"P\"";
    ASSERT_EQ(0, system(("sed -i 's|" + strProbe + "|" + strProbe + " condition=\"Never\"|' " + strSettings +
                         "VLPC.xml && " + BinDir() + "/vlresource build " + strSettings + "vlres201.dat " +
                         strSettings + "vlres200.dat >/dev/null")
                            .c_str()));
    ProgramRun silent = RunProgram(m_Net, {BinDir() + "/vlnet", "probe", "--resources", strDir});
    EXPECT_EQ(1, silent.nStatus) << silent.strOutput << silent.strErrors;
    EXPECT_EQ("", silent.strOutput);
    EXPECT_EQ(0u, silent.strErrors.find("vlnet: no probe could be sent: the packet list \"Probe\" sent no request ("))
        << silent.strErrors;
    EXPECT_EQ(0, system(("rm -rf " + strDir).c_str()));
}

// After a factory reset the device restarts: the probe lists it only once
// it has, which is said.
TEST_F(VLNetEndToEnd, AFactResetSaysTheProbeListsTheDeviceOnlyOnceRestarted)
{
    AddNetwork(1, {"restart=0"});
    ProgramRun reset = RunVlnet(m_Net, {"run", Mac(1, 0), "FactReset", "--password", ""});
    EXPECT_EQ(0, reset.nStatus) << reset.strErrors;
    EXPECT_EQ("vlnet: the device's settings, its address included, return to the factory's: it restarts and may then "
              "answer at its factory address; a restart may take a while, and until it has ended 'vlnet probe' does "
              "not list it ('vlnet url " +
                  Mac(1, 0) + "' then finds it by its MAC)\n",
              reset.strErrors);
}

// A device the bound of its source address refused is said so by probe:
// that the sources may be forged. Asked for by its MAC it goes beyond that
// bound, which hosts could fill before it answers.
TEST_F(VLNetEndToEnd, ARefusalByTheSourcesBoundSaysSourcesMayBeForged)
{
    // Five MACs from one address, the fifth last.
    std::vector<std::string> devices(4, "ip=" + Address(3, 20));
    devices.push_back("ip=" + Address(3, 20) + " delay=500");
    AddNetwork(3, devices, false);
    ProgramRun probe = RunVlnet(m_Net, {"probe"});
    EXPECT_NE(std::string::npos, probe.strErrors.find("not listed: " + Mac(3, 4) + "\t" + Address(3, 20)))
        << probe.strErrors;
    EXPECT_NE(std::string::npos, probe.strErrors.find("source addresses may be forged")) << probe.strErrors;
    ProgramRun url = RunVlnet(m_Net, {"url", Mac(3, 4), "--timeout", "5"});
    EXPECT_EQ(0, url.nStatus) << url.strErrors;
    EXPECT_EQ("http://" + Address(3, 20) + "/\n", url.strOutput);
    ProgramRun listed = RunVlnet(m_Net, {"probe", "--mac", Mac(3, 4)});
    EXPECT_EQ(0, listed.nStatus) << listed.strErrors;
}

// 600 invented devices sprayed from as many addresses on none of the
// computer's networks fill the bound of those addresses; one more reply
// from such an address names the device's MAC, before the device answers.
// That address is said and decides nothing: the device is reached by its
// MAC.
TEST_F(VLNetEndToEnd, AnOffNetworkSprayHidesNoDeviceByItsMAC)
{
    // The spray's 601st MAC is the device's.
    const std::string strDevice = "00:26:AB:39:02:58";
    AddNetwork(1,
               {"mac=" + strDevice + " delay=500",
                "mac=00:26:AB:39:00:00 ip=172.20.0.1 unicast=0 hostile=claims spread=1 flood=601 pool=601 rate=5000"},
               false);
    ASSERT_TRUE(m_Net.Exec("n1", "for i in $(seq 2 601); do echo \"addr add 172.20.$((i / 256)).$((i % 256))/16 "
                                 "dev vd1\"; done | ip -force -batch -"));
    ProgramRun run = RunVlnet(m_Net, {"run", strDevice, "GetDetail", "--timeout", "10"});
    EXPECT_EQ(0, run.nStatus) << run.strErrors;
    EXPECT_EQ("VLPC.2B_5A10_01.IPAddress=" + Address(1, 10), LineOf(run.strOutput, "VLPC.2B_5A10_01.IPAddress="))
        << run.strOutput;
    EXPECT_NE(std::string::npos, run.strErrors.find("also answered the probe from 172.20.2.89: its address"))
        << run.strErrors;
    ProgramRun probe = RunVlnet(m_Net, {"probe", "--mac", strDevice, "--timeout", "10"});
    EXPECT_EQ(0, probe.nStatus) << probe.strErrors;
    EXPECT_EQ(0u, probe.strOutput.find(strDevice + "\t" + Address(1, 10) + "\t")) << probe.strOutput;
}

// A host forges the probe's reply from a device's own address with 4, or
// 64, invented MACs before the device answers, filling that address's
// source bound: the device is reached by its address (its own answer to a
// unicast probe of the address decides) and by its MAC.
TEST_F(VLNetEndToEnd, ForgedMACsFromADevicesAddressHideNotTheDevice)
{
    for (int nNetwork : {1, 2}) {
        const std::string strForged = nNetwork == 1 ? "4" : "64";
        AddNetwork(nNetwork,
                   {"delay=300", "mac=00:26:AB:3A:00:0" + std::to_string(nNetwork) + " ip=" + Address(nNetwork, 10) +
                                     " unicast=0 hostile=inventmacs flood=" + strForged},
                   false);
    }
    for (int nNetwork : {1, 2}) {
        const std::string strIP = Address(nNetwork, 10), strMAC = Mac(nNetwork, 0);
        for (const std::string& strTarget : {strIP, strMAC}) {
            ProgramRun run = RunVlnet(m_Net, {"run", strTarget, "GetDetail", "--timeout", "10"});
            EXPECT_EQ(0, run.nStatus) << strTarget << "\n" << run.strErrors;
            EXPECT_EQ("VLPC.2B_5A10_01.IPAddress=" + strIP, LineOf(run.strOutput, "VLPC.2B_5A10_01.IPAddress="))
                << strTarget << "\n" << run.strOutput;
        }
        ProgramRun url = RunVlnet(m_Net, {"url", strIP, "--timeout", "10"});
        EXPECT_EQ(0, url.nStatus) << url.strErrors;
        EXPECT_EQ("http://" + strIP + "/\n", url.strOutput);
        ProgramRun probe = RunVlnet(m_Net, {"probe", "--mac", strMAC, "--timeout", "10"});
        EXPECT_EQ(0, probe.nStatus) << probe.strErrors;
    }
}

TEST_F(VLNetEndToEnd, DevicesDeafToUnicastDoNotHoldBackTheOthers)
{
    // More deaf devices than chains run at once answer first; the others
    // answer 300 to 600 ms later. The time-out comes before the deaf
    // devices' unicast checks give up.
    AddNetwork(1, std::vector<std::string>(18, "unicast=0"));
    AddNetwork(2, {"delay=300", "delay=400", "delay=500", "delay=600"});
    ExpectEachListedAndAShortListSaid(RunVlnet(m_Net, {"probe", "--timeout", "5"}),
                                      "addresses were still in the unicast check at the time-out\n");
}

namespace {
// True once a thread of the process is blocked writing to its standard
// output (the system call's number, then the descriptor, in its syscall file).
bool IsBlockedWritingOutput(pid_t pid)
{
    std::string strPrefix = std::to_string(SYS_write) + " 0x1 ";
    std::string strTasks = "/proc/" + std::to_string(pid) + "/task";
    DIR* pDir = opendir(strTasks.c_str());
    if (pDir == nullptr)
        return false;
    bool bBlocked = false;
    while (const dirent* pEntry = readdir(pDir)) {
        std::ifstream in(strTasks + "/" + pEntry->d_name + "/syscall");
        std::string strLine;
        if (std::getline(in, strLine) && strLine.compare(0, strPrefix.size(), strPrefix) == 0)
            bBlocked = true;
    }
    closedir(pDir);
    return bBlocked;
}

// Runs a probe whose standard output is a pipe that is full and that nobody
// reads, so that its first device line blocks; once it does, sends nSignals
// SIGTERMs 5 ms apart. "exit N", or what went wrong ("not blocked", "still
// running": killed 10 s after the signals).
std::string StopWithUnreadOutput(CTestNetwork& net, int nSignals)
{
    return net.RunIn("pc", [&]() -> std::string {
        int out[2];
        if (pipe(out) != 0)
            return "FAIL:pipe";
        fcntl(out[1], F_SETFL, O_NONBLOCK);
        char block[4096] = {};
        while (write(out[1], block, sizeof(block)) > 0 || write(out[1], block, 1) > 0) {
        }
        fcntl(out[1], F_SETFL, 0);
        std::string strProgram = BinDir() + "/vlnet";
        std::string strResources = BinDir() + "/../share/vlnet";
        pid_t pid = fork();
        if (pid == 0) {
            dup2(out[1], 1);
            int null = open("/dev/null", O_WRONLY);
            dup2(null, 2);
            execl(strProgram.c_str(), strProgram.c_str(), "probe", "--resources", strResources.c_str(),
                  static_cast<char*>(nullptr));
            _exit(127);
        }
        close(out[1]);
        bool bBlocked = false;
        for (int i = 0; i < 1000 && !bBlocked; i++) {
            usleep(10000);
            bBlocked = IsBlockedWritingOutput(pid);
        }
        for (int i = 0; i < nSignals; i++) {
            if (i != 0)
                usleep(5000);
            kill(pid, SIGTERM);
        }
        int nStatus = 0;
        pid_t done = 0;
        for (int i = 0; i < 1000 && done == 0; i++) {
            usleep(10000);
            done = waitpid(pid, &nStatus, WNOHANG);
        }
        if (done == 0) {
            kill(pid, SIGKILL);
            waitpid(pid, &nStatus, 0);
        }
        close(out[0]);
        if (!bBlocked)
            return "not blocked";
        if (done == 0)
            return "still running";
        return WIFEXITED(nStatus) ? "exit " + std::to_string(WEXITSTATUS(nStatus)) : "killed";
    });
}
}  // namespace

// Never silent: descriptors a run inherits take their part of the limit
// (with 58 of them under a limit of 64 the run refuses to start and says
// why); a "condition" script that fails is reported once, and the list
// counts as short. A stop ends the run even while its output waits on a
// pipe nobody reads, after the grace time (one signal) or at once (two).
TEST_F(VLNetEndToEnd, DescriptorsFailingScriptsAndAStopWithUnreadOutput)
{
    AddNetwork(1, {"", ""});
    ASSERT_TRUE(m_Net.Exec("pc", "ip route add default dev vl1"));
    ProgramRun run =
        RunProgram(m_Net, {"/bin/bash", "-c",
                           "ulimit -n 64 && for fd in $(seq 3 60); do eval \"exec $fd</dev/null\"; done; "
                           "exec " +
                               BinDir() + "/vlnet probe --timeout 5 --resources " + BinDir() + "/../share/vlnet"});
    EXPECT_EQ(1, run.nStatus) << run.strErrors;
    EXPECT_EQ("", run.strOutput);
    EXPECT_EQ(0u, run.strErrors.find("vlnet: too few descriptors: 3 free of 64 allowed, 61 open; a probe may hold "))
        << run.strErrors;
    // The same where /proc does not list them (a private mount of nothing
    // over it): each number is asked instead. (A sanitizer's runtime warns
    // first that it cannot read its program's name there.)
    if (!kNeedsProc) {
        run =
            RunProgram(m_Net, {"/usr/bin/unshare", "--mount", "--propagation", "private", "/bin/bash", "-c",
                               "mount -t tmpfs none /proc && ulimit -n 64 && for fd in $(seq 3 60); do eval \"exec "
                               "$fd</dev/null\"; done; exec " +
                                   BinDir() + "/vlnet probe --timeout 5 --resources " + BinDir() + "/../share/vlnet"});
        EXPECT_EQ(1, run.nStatus) << run.strErrors;
        EXPECT_NE(std::string::npos,
                  run.strErrors.find("vlnet: too few descriptors: 3 free of 64 allowed, 61 open; a probe may hold "))
            << run.strErrors;
    }

    // Definitions whose probe condition loops until its step budget is spent.
    std::string strDir = TestTempFolder() + "/vlnet_condition_" + std::to_string(getpid());
    std::string strSettings = strDir + "/Settings/Default/";
    ASSERT_EQ(0, system(("rm -rf " + strDir + " && cp -r " + BinDir() + "/../share/vlnet " + strDir +
                         " && sed -i 's|<ModuleMapping>|&<Const name=\"condition\" value=\"Loops\"/>|' " + strSettings +
                         "ModuleMapping.xml && printf 'bool Loops()\\n{\\n    for (;;) {\\n    }\\n"
                         "    return true;\\n}\\n' > " +
                         strSettings + "Loops.vls" +
                         " && sed -i 's|</DefineFileList>|<File name=\"Loops.vls\" type=\"Script\"/>&|' " +
                         strSettings + "vlres201.dat && " + BinDir() + "/vlresource build " + strSettings +
                         "vlres201.dat " + strSettings + "vlres200.dat >/dev/null")
                            .c_str()));
    run = RunProgram(m_Net, {BinDir() + "/vlnet", "probe", "--resources", strDir});
    EXPECT_EQ(3, run.nStatus) << run.strErrors;
    EXPECT_EQ("", run.strOutput);
    const std::string strReport = "vlnet: a definition script failed ";
    size_t nReport = run.strErrors.find(strReport);
    EXPECT_NE(std::string::npos, nReport) << run.strErrors;
    EXPECT_EQ(std::string::npos, run.strErrors.find(strReport, nReport + 1)) << run.strErrors;
    EXPECT_NE(std::string::npos, run.strErrors.find("the first: Loops: EVLScriptException")) << run.strErrors;
    EXPECT_EQ(0, system(("rm -rf " + strDir).c_str()));

    EXPECT_EQ("exit 143", StopWithUnreadOutput(m_Net, 1));
    EXPECT_EQ("exit 143", StopWithUnreadOutput(m_Net, 2));
}

namespace {

// True once the process has a socket open: its probe has started, and its
// stop signals are taken by then.
bool HasSocket(pid_t pid)
{
    std::string strFds = "/proc/" + std::to_string(pid) + "/fd";
    DIR* pDir = opendir(strFds.c_str());
    if (pDir == nullptr)
        return false;
    bool bSocket = false;
    while (const dirent* pEntry = readdir(pDir)) {
        char szLink[64] = {};
        if (readlink((strFds + "/" + pEntry->d_name).c_str(), szLink, sizeof(szLink) - 1) > 0 &&
            strncmp(szLink, "socket:", 7) == 0)
            bSocket = true;
    }
    closedir(pDir);
    return bSocket;
}

// Runs vlnet (through bash, so that strLine may set variables) and
// sends it nSignal (none when 0) once its probe has started and it has been
// given nDatagrams replies; "exit N|OUTPUT", or what went wrong.
std::string StopAfterReplies(CTestNetwork& net, const std::string& strLine, long nDatagrams, int nSignal = SIGINT)
{
    return net.RunIn("pc", [&]() -> std::string {
        int out[2];
        if (pipe(out) != 0)
            return "FAIL:pipe";
        const long nBefore = UdpDatagramsIn();
        pid_t pid = fork();
        if (pid == 0) {
            dup2(out[1], 1);
            close(out[0]), close(out[1]);
            execl("/bin/bash", "bash", "-c", strLine.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        close(out[1]);
        bool bAnswered = nSignal == 0;
        for (int i = 0; i < 2000 && !bAnswered; i++) {
            usleep(5000);
            bAnswered = HasSocket(pid) && UdpDatagramsIn() - nBefore >= nDatagrams;
        }
        if (nSignal != 0)
            kill(pid, nSignal);
        std::string strOut = ReadFd(out[0]);
        close(out[0]);
        int nStatus = 0;
        waitpid(pid, &nStatus, 0);
        if (!bAnswered)
            return "not answered";
        return (WIFEXITED(nStatus) ? "exit " + std::to_string(WEXITSTATUS(nStatus)) : "killed") + "|" + strOut;
    });
}
}  // namespace

// A stop ends url and open as it ends probe and run: nothing printed or
// opened (run prints its command's result as stopped), status 130, even
// when the device was found before the stop. The
// definitions' send schedule is made a minute long, so that the stop comes
// while the probe still waits for it to pass.
TEST_F(VLNetEndToEnd, AStopPrintsAndOpensNothingAndClosedOutputIsRefused)
{
    AddNetwork(1, {""});
    ASSERT_TRUE(m_Net.Exec("pc", "ip route add default dev vl1"));
    const std::string strDir = TestTempFolder() + "/vlnet_stop_" + std::to_string(getpid());
    const std::string strSettings = strDir + "/resources/Settings/Default/";
    const std::string strBrowser = strDir + "/bin/xdg-open";
    const std::string strOpened = strDir + "/opened";
    // Re-sends 30 s apart, and a browser that leaves the URL it is given in
    // a file.
    const std::string strSetUp =
        "rm -rf " + strDir + " && mkdir -p " + strDir + "/bin && cp -r " + BinDir() + "/../share/vlnet " + strDir +
        "/resources && sed -i 's|\"Probe_RetryInterval\" value=\"700\"|\"Probe_RetryInterval\" value=\"30000\"|' " +
        strSettings + "ModuleMapping.xml && grep -q 'value=\"30000\"' " + strSettings + "ModuleMapping.xml && " +
        BinDir() + "/vlresource build " + strSettings + "vlres201.dat " + strSettings + "vlres200.dat >/dev/null" +
        " && printf '#!/bin/sh\\necho \"$1\" > " + strOpened + "\\n' > " + strBrowser + " && chmod +x " + strBrowser;
    ASSERT_EQ(0, system(strSetUp.c_str()));
    const std::string strVlnet = "PATH=" + strDir + "/bin:$PATH exec " + BinDir() + "/vlnet ";
    // A probe reply, and the answers to CheckUnicast and GetListInfo: the
    // device has been found.
    const long kRepliesOfAFind = 3;
    for (const char* szCommand : {"url", "open"}) {
        std::string strLine = strVlnet + szCommand + " " + Mac(1, 0) + " --resources " + strDir + "/resources";
        EXPECT_EQ("exit 130|", StopAfterReplies(m_Net, strLine, kRepliesOfAFind)) << szCommand;
    }
    // run says its command's result, and that nothing went to the device.
    EXPECT_EQ("exit 130|result 17 (stopped)\nvlnet: GetDetail: stopped while the device was looked for: nothing was "
              "sent to the device\n",
              StopAfterReplies(m_Net,
                               strVlnet + "run " + Mac(1, 0) + " GetDetail --resources " + strDir + "/resources 2>&1",
                               kRepliesOfAFind));
    EXPECT_NE(0, access(strOpened.c_str(), F_OK));

    // Standard output closed: probe, url and run refuse at once, as no
    // socket may take its number; open needs none.
    const std::string strResources = " --resources " + BinDir() + "/../share/vlnet";
    for (const std::string& strArgs : {std::string("probe"), "url " + Mac(1, 0), "run " + Mac(1, 0) + " GetDetail"}) {
        ProgramRun closed = RunProgram(m_Net, {"/bin/sh", "-c", strVlnet + strArgs + strResources + " >&-"});
        EXPECT_EQ(1, closed.nStatus) << strArgs;
        EXPECT_EQ("vlnet: standard output is closed\n", closed.strErrors) << strArgs;
    }
    // Output that cannot be written ends the probe at its first line, long
    // before the minute its send schedule takes here, and only that is said.
    auto start = std::chrono::steady_clock::now();
    ProgramRun full = RunProgram(
        m_Net, {"/bin/sh", "-c", strVlnet + "probe --timeout 60 --resources " + strDir + "/resources >/dev/full"});
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), EndBound(0));
    EXPECT_EQ(1, full.nStatus);
    EXPECT_EQ("vlnet: standard output could not be written: No space left on device\n", full.strErrors);
    ProgramRun open = RunProgram(m_Net, {"/bin/sh", "-c", strVlnet + "open " + Mac(1, 0) + strResources + " >&-"});
    EXPECT_EQ(0, open.nStatus) << open.strErrors;
    std::ifstream opened(strOpened);
    std::string strURL;
    EXPECT_TRUE(std::getline(opened, strURL));
    EXPECT_EQ("http://" + Address(1, 10) + "/", strURL);
    EXPECT_EQ(0, system(("rm -rf " + strDir).c_str()));
}

// Every end of url, open and a changing run is said: a stop while the device
// was looked for, with what the probe had found of it; a SetDetail left
// without an answer (one try here), which the device took all the same;
// a change made whose result could not be written (a full disk, a pipe
// whose reader is gone), and no change after a read. The probe's re-sends
// come a minute apart for the stops, so that they come while the probe
// still waits (url and open use no device before its schedule has passed).
TEST_F(VLNetEndToEnd, EveryEndOfAStopOrAChangeIsSaid)
{
    AddNetwork(1, {"password=secret"});
    ASSERT_TRUE(m_Net.Exec("pc", "ip route add default dev vl1"));
    const std::string strDir = TestTempFolder() + "/vlnet_ends_" + std::to_string(getpid());
    const std::string strSettings = "/Settings/Default/";
    const std::string strSetUp =
        "rm -rf " + strDir + " && mkdir -p " + strDir + " && cp -r " + BinDir() + "/../share/vlnet " + strDir +
        "/slow && cp -r " + BinDir() + "/../share/vlnet " + strDir + "/once && sed -i " +
        "'s|\"Probe_RetryInterval\" value=\"700\"|\"Probe_RetryInterval\" value=\"30000\"|' " + strDir + "/slow" +
        strSettings + "ModuleMapping.xml && " + BinDir() + "/vlresource build " + strDir + "/slow" + strSettings +
        "vlres201.dat " + strDir + "/slow" + strSettings + "vlres200.dat >/dev/null && sed -i " +
        "'s|<CommunicationManager/>|<CommunicationManager><Property key=\"Option.SetDetail.Retry\" value=\"0\"/>" +
        "</CommunicationManager>|' " + strDir + "/once" + strSettings + "vlres300.dat && grep -q SetDetail.Retry " +
        strDir + "/once" + strSettings + "vlres300.dat";
    ASSERT_EQ(0, system(strSetUp.c_str()));
    const std::string strVlnet = "exec " + BinDir() + "/vlnet ";
    const std::string strMissing = "00:26:AB:7F:7F:7F";
    const struct
    {
        std::string strLine;  // through bash
        long nReplies;        // the signal goes once the probe has had as many replies
        int nSignal;          // 0: none
        std::string strEnd;   // "exit N|" and what it wrote
    } kRuns[] = {
        // A probe reply, and the answers to CheckUnicast and GetListInfo: found.
        {strVlnet + "url " + Mac(1, 0) + " --resources " + strDir + "/slow 2>&1", 3, SIGTERM,
         "exit 143|vlnet: url: stopped while device " + Mac(1, 0) + " was looked for: it had answered from " +
             Address(1, 10) + "; no URL printed\n"},
        {strVlnet + "open " + strMissing + " --resources " + strDir + "/slow 2>&1", 1, SIGINT,
         "exit 130|vlnet: open: stopped while device " + strMissing +
             " was looked for: no answer from it yet; nothing opened\n"},
        // Beside a device that takes SetDetail's values and never answers it.
        {strVlnet + "run " + Mac(2, 0) + " SetDetail --password secret VLPC.2B_5A10_01.Location=x --resources " +
             strDir + "/once 2>&1",
         0, 0,
         "exit 1|result 10 (timeout)\nvlnet: SetDetail: the device did not answer: it may have taken the change "
         "('vlnet run " +
             Mac(2, 0) + " GetDetail' tells whether it did)\n"},
        {"exec 5> >(exit 0); wait $!; " + strVlnet + "run " + Mac(1, 0) +
             " SetDetail --password secret VLPC.2B_5A10_01.Location=p 2>&1 >&5",
         0, 0,
         // A reader that went away ends it quietly, as the pipe's signal
         // would, once the change is said.
         "exit 141|vlnet: SetDetail: the device took the change, but its result could not be written\n"},
        {strVlnet + "run " + Mac(1, 0) + " SetDetail --password secret VLPC.2B_5A10_01.Location=y 2>&1 >/dev/full", 0,
         0,
         "exit 1|vlnet: SetDetail: the device took the change, but its result could not be written\n"
         "vlnet: standard output could not be written: No space left on device\n"},
        // A command that only reads changed nothing.
        {strVlnet + "run " + Mac(1, 0) + " GetDetail 2>&1 >/dev/full", 0, 0,
         "exit 1|vlnet: standard output could not be written: No space left on device\n"},
    };
    for (const auto& run : kRuns) {
        if (run.strLine.find(Mac(2, 0)) != std::string::npos && m_Networks.GetDevices().size() == 1)
            AddNetwork(2, {"password=secret quietset=1"});
        std::string strEnd = StopAfterReplies(m_Net, run.strLine, run.nReplies, run.nSignal);
        // The replies are counted as the kernel takes them: a stop may still
        // come before vlnet has handled them, and then says what it had.
        const std::string strUrl = "exit 143|vlnet: url: stopped while device " + Mac(1, 0) + " was looked for: ";
        if (run.nReplies == 3 && strEnd != run.strEnd && strEnd.compare(0, strUrl.size(), strUrl) == 0) {
            const std::string strWhat = strEnd.substr(strUrl.size());
            EXPECT_TRUE(strWhat == "no answer from it yet; no URL printed\n" ||
                        strWhat == "it had answered the probe, not yet by unicast; no URL printed\n")
                << strEnd;
            continue;
        }
        EXPECT_EQ(run.strEnd, strEnd);
    }
    // Each change was taken.
    for (int nNetwork : {1, 2}) {
        ProgramRun get = RunVlnet(m_Net, {"run", Mac(nNetwork, 0), "GetDetail"});
        EXPECT_EQ(std::string("VLPC.2B_5A10_01.Location=") + (nNetwork == 1 ? "y" : "x"),
                  LineOf(get.strOutput, "VLPC.2B_5A10_01.Location="))
            << get.strOutput << get.strErrors;
    }
    EXPECT_EQ(0, system(("rm -rf " + strDir).c_str()));
}

// A network beyond the fifth gets no directed broadcast: a device there that
// answers only its directed broadcast is missing, and the probe says why.
// Stopped while a device is in its unicast check (deaf to unicast, it
// holds it some 6 s), a probe says that its list was cut and names that
// device, as a time-out does.
TEST_F(VLNetEndToEnd, NetworksBeyondTheFifthAreNamedAndAStopNamesTheDevicesUnderCheck)
{
    AddNetwork(1, {"", "unicast=0"});
    for (int nNetwork = 2; nNetwork <= 5; nNetwork++)
        AddNetwork(nNetwork, {""});
    // Its reply to the limited broadcast comes long after the probe.
    AddNetwork(6, {"", "limiteddelay=60000"}, false);
    m_Expected.push_back(m_Networks.GetDevices()[m_Networks.GetDevices().size() - 2]);
    ProgramRun run = RunVlnet(m_Net, {"probe"});
    EXPECT_EQ(3, run.nStatus) << run.strErrors;
    std::vector<std::string> expected;
    for (const CDeviceNetworks::Device& device : m_Expected)
        expected.push_back(device.strMAC + "\t" + device.strIP + "\t" + device.strModel);
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(expected, SortedLines(run.strOutput));
    EXPECT_EQ(std::vector<std::string>({NotListed(1, 1, "no answer to unicast"), kSixthNetworkNote}),
              SortedLines(run.strErrors));

    // Interrupted a second after the first replies came in.
    const long kFirstReplies = 10;
    long nBefore = -1;
    ProgramRun stopped = RunProgram(
        m_Net, {BinDir() + "/vlnet", "probe", "--timeout", "30", "--resources", BinDir() + "/../share/vlnet"}, 0, 0,
        [&]() {
            nBefore = UdpDatagramsIn();
            for (int i = 0; i < 1000 && UdpDatagramsIn() - nBefore < kFirstReplies; i++)
                usleep(10000);
            sleep(1);
            return true;
        });
    EXPECT_EQ(130, stopped.nStatus) << stopped.strErrors;
    EXPECT_EQ(0u, stopped.strErrors.find("vlnet: the probe was stopped before it was over: the list may be short\n"))
        << stopped.strErrors;
    EXPECT_NE(std::string::npos, stopped.strErrors.find(" still in the unicast check when stopped\n")) << stopped.strErrors;
    EXPECT_NE(std::string::npos, stopped.strErrors.find(NotListed(1, 1, "in its unicast check when stopped") + "\n"))
        << stopped.strErrors;
}
