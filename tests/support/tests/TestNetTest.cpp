// The networks of namespaces the tests and vltestnet make: named with the
// prefix a user chose, told as a probe will see them, and removed however
// they end.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/DeviceNetworks.h"
#include "tests/support/NeedsNamespaces.h"
#include "tests/support/TempFolder.h"
#include "tests/support/TestNetwork.h"
#include "tests/support/Watchdog.h"

namespace {
// Sets an environment variable for a scope, and puts back what it was.
class CEnvironment
{
public:
    CEnvironment(const char* szName, const char* szValue) : m_strName(szName)
    {
        const char* szOld = getenv(szName);
        m_bWasSet = szOld != nullptr;
        m_strOld = szOld != nullptr ? szOld : "";
        setenv(szName, szValue, 1);
    }
    ~CEnvironment()
    {
        if (m_bWasSet)
            setenv(m_strName.c_str(), m_strOld.c_str(), 1);
        else
            unsetenv(m_strName.c_str());
    }

private:
    std::string m_strName;
    std::string m_strOld;
    bool m_bWasSet;
};

std::string NamespaceList()
{
    std::string strList;
    FILE* p = popen("ip netns list 2>/dev/null", "r");
    if (p == nullptr)
        return strList;
    char buffer[256];
    while (fgets(buffer, sizeof(buffer), p) != nullptr)
        strList += buffer;
    pclose(p);
    return strList;
}

// The namespaces recorded in a run's folder.
std::string Records(const std::string& strRun)
{
    std::string strRecords;
    FILE* p = popen(("ls -A " + strRun + "/.vl-netns 2>/dev/null").c_str(), "r");
    if (p == nullptr)
        return "(not read)";
    char buffer[256];
    while (fgets(buffer, sizeof(buffer), p) != nullptr)
        strRecords += buffer;
    pclose(p);
    return strRecords;
}
}  // namespace

// The tests' namespaces begin with the prefix the environment gives, and a
// prefix that cannot begin a namespace's name keeps them from being made,
// saying why.
TEST(TestNetwork, TheEnvironmentsPrefixBeginsTheNamespaces)
{
    {
        CEnvironment prefix(CTestNetwork::kPrefixVariable, "lab_a-");
        CTestNetwork net;
        EXPECT_EQ(0u, net.Namespace("pc").find("lab_a-" + std::to_string(getpid()) + "n")) << net.Namespace("pc");
    }
    CEnvironment prefix(CTestNetwork::kPrefixVariable, "lab1");
    EXPECT_NE(std::string::npos, CTestNetwork::Unavailable().find("VL_NETNS_PREFIX 'lab1'"))
        << CTestNetwork::Unavailable();
}

// A run killed at its time limit leaves its namespaces: the next run of the
// prefix (vltestnet here, a process of its own) removes them, and keeps
// those of a process that still runs, and those of another prefix that
// begins with this one.
TEST(TestNetwork, TheNextRunRemovesWhatAGoneRunOfItsPrefixLeft)
{
    VL_NEEDS_NAMESPACES();
    CWatchdog watchdog(120, "the leftovers of a gone run");
    int fds[2];
    ASSERT_EQ(0, pipe(fds));
    fflush(nullptr);
    pid_t live = fork();
    ASSERT_GE(live, 0);
    if (live == 0) {
        close(fds[1]);
        char c;
        _exit(read(fds[0], &c, 1) < 0 ? 1 : 0);
    }
    close(fds[0]);
    // No process has a number above the kernel's PID_MAX_LIMIT (2^22).
    const std::string strGonePid = std::to_string(4194304 + getpid());
    const std::string strGone = CTestNetwork::Prefix() + strGonePid + "n0xpc";
    const std::string strLive = CTestNetwork::Prefix() + std::to_string(live) + "n0xpc";
    const std::string strOther = CTestNetwork::Prefix() + "-" + strGonePid + "n0xpc";
    EXPECT_EQ(0, system(("ip netns add " + strGone).c_str()));
    EXPECT_EQ(0, system(("ip netns add " + strLive).c_str()));
    EXPECT_EQ(0, system(("ip netns add " + strOther).c_str()));
    std::string strEmulator = TestEmulatorProgram();
    std::string strProgram = strEmulator.substr(0, strEmulator.rfind('/')) + "/vltestnet";
    int nStatus = system((strProgram + " --network 1 </dev/null >/dev/null").c_str());
    const std::string strAfter = NamespaceList();
    close(fds[1]);
    waitpid(live, nullptr, 0);

    EXPECT_EQ(0, nStatus);
    EXPECT_NE(std::string::npos, strAfter.find(strLive)) << strAfter;
    EXPECT_EQ(0, system(("ip netns del " + strLive).c_str()));
    EXPECT_NE(std::string::npos, strAfter.find(strOther)) << strAfter;
    EXPECT_EQ(0, system(("ip netns del " + strOther).c_str()));
    EXPECT_EQ(std::string::npos, strAfter.find(strGone)) << strAfter;
    if (strAfter.find(strGone) != std::string::npos) {
        EXPECT_EQ(0, system(("ip netns del " + strGone).c_str()));
    }
}

// A test program ended before it deleted its namespaces (stopped with every
// process of its run at once) leaves them to the run: they are recorded in
// the run's folder while they exist, and the runner (tools/stages.sh)
// deletes those whose maker has gone, a zombie included; a maker that still
// runs is one of the run's processes, which it ends, even one that only its
// record tells (this test's children carry the run's folder in no
// environment /proc shows). A network deleted as it ends leaves no record.
TEST(TestNetwork, TheRunDeletesTheNamespacesOfAMakerThatHasGone)
{
    VL_NEEDS_NAMESPACES();
    CWatchdog watchdog(120, "the namespaces of a maker that has gone");
    const std::string strRun = TestTempFolder() + "/run" + std::to_string(getpid());
    ASSERT_EQ(0, mkdir(strRun.c_str(), 0755));
    // Outside a run of tools/test-all.sh, TMPDIR outlives the test.
    const std::unique_ptr<const std::string, void (*)(const std::string*)> removeRun(
        &strRun, [](const std::string* pRun) { std::system(("rm -rf '" + *pRun + "'").c_str()); });
    pid_t makers[2] = {-1, -1};
    std::string names[2];
    {
        CEnvironment run("VL_RUN_FOLDER", strRun.c_str());
        {
            CTestNetwork net;
            ASSERT_TRUE(net.AddHost("pc"));
        }
        EXPECT_EQ("", Records(strRun));
        for (int i = 0; i < 2; ++i) {
            int fds[2];
            ASSERT_EQ(0, pipe(fds));
            fflush(nullptr);
            makers[i] = fork();
            ASSERT_GE(makers[i], 0);
            if (makers[i] == 0) {
                close(fds[0]);
                // Never deleted: the child is killed, as a stopped test program is.
                CTestNetwork* pNet = new CTestNetwork;
                const std::string strName = pNet->AddHost("pc") ? pNet->Namespace("pc") : "";
                if (write(fds[1], strName.c_str(), strName.size()) < 0)
                    _exit(1);
                close(fds[1]);
                pause();
                _exit(0);
            }
            close(fds[1]);
            char buffer[256];
            const ssize_t n = read(fds[0], buffer, sizeof(buffer));
            close(fds[0]);
            if (n > 0)
                names[i].assign(buffer, static_cast<size_t>(n));
        }
    }
    // The first runs on; the second is a zombie until the runner is done.
    kill(makers[1], SIGKILL);
    for (const std::string& strName : names) {
        EXPECT_FALSE(strName.empty());
        EXPECT_NE(std::string::npos, NamespaceList().find(strName)) << strName;
    }
    // The runner, no process of the run (it ends those). It waits its grace
    // for no maker that has ended: given an hour, a zombie taken for one
    // that runs would hold it past the minute it has here.
    const std::string strRunner = "timeout 60 bash -c '. \"$0\" && stop_grace=3600 && end_run \"$1\"' ";
    EXPECT_EQ(0, system((strRunner + VL_TEST_SOURCE_DIR "/../tools/stages.sh " + strRun).c_str()));
    int nStatus = 0;
    EXPECT_EQ(makers[0], waitpid(makers[0], &nStatus, WNOHANG));
    if (!WIFSIGNALED(nStatus)) {
        kill(makers[0], SIGKILL);
        waitpid(makers[0], nullptr, 0);
    }
    waitpid(makers[1], nullptr, 0);

    for (const std::string& strName : names) {
        const bool bLeft = !strName.empty() && NamespaceList().find(strName) != std::string::npos;
        EXPECT_FALSE(bLeft) << strName;
        if (bLeft) {
            EXPECT_EQ(0, system(("ip netns del " + strName).c_str()));
        }
    }
    EXPECT_EQ("", Records(strRun));
}

// vltestnet names its namespaces with --prefix (over the environment's),
// makes a network given no device, tells apart the listed devices that
// share a MAC (a probe lists one of them), lists an impostor, which
// answers unicast, and neither a device off the network nor a host that
// stalls after its check, and, stopped by SIGINT, removes all it made and
// ends with 130 as a shell tells it. What its commands say stays theirs:
// a name in /run/netns that is no namespace (one that another program is
// making or removing) puts nothing on its standard error.
TEST(VLTestNet, ThePrefixTheStatesAndAStopBySIGINT)
{
    VL_NEEDS_NAMESPACES();
    CWatchdog watchdog(120, "vltestnet's network and its stop");
    std::string strEmulator = TestEmulatorProgram();
    std::string strProgram = strEmulator.substr(0, strEmulator.rfind('/')) + "/vltestnet";
    const std::string strStray = "/run/netns/vlnetlab-stray" + std::to_string(getpid()) + "x";
    ASSERT_EQ(0, system(("touch " + strStray).c_str()));
    int toChild[2], fromChild[2], errors[2];
    ASSERT_EQ(0, pipe(toChild));
    ASSERT_EQ(0, pipe(fromChild));
    ASSERT_EQ(0, pipe(errors));
    fflush(nullptr);
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        dup2(toChild[0], 0);
        dup2(fromChild[1], 1);
        dup2(errors[1], 2);
        close(toChild[0]), close(toChild[1]), close(fromChild[0]), close(fromChild[1]);
        close(errors[0]), close(errors[1]);
        setenv(CTestNetwork::kPrefixVariable, "notthis", 1);
        const char* const kMac = "mac=00:26:AB:00:00:07";
        execl(strProgram.c_str(), strProgram.c_str(), "--prefix", "vlnetlab", "--network", "1", "", kMac, kMac,
              "mac=00:26:AB:00:00:07 unicast=0", "hostile=impostor", "ip=192.168.50.10", "quietlist=1", "--network",
              "2", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(toChild[0]);
    close(fromChild[1]);
    close(errors[1]);
    std::string strOutput;
    pollfd output = {fromChild[0], POLLIN, 0};
    while (strOutput.find("ready\n") == std::string::npos && poll(&output, 1, -1) > 0) {
        char buffer[256];
        ssize_t n = read(fromChild[0], buffer, sizeof(buffer));
        if (n <= 0)
            break;
        strOutput.append(buffer, static_cast<size_t>(n));
    }
    unlink(strStray.c_str());
    const std::string strNamespaces = "vlnetlab" + std::to_string(pid) + "n0x";
    const std::string strMade = NamespaceList();
    kill(pid, SIGINT);
    int nStatus = 0;
    waitpid(pid, &nStatus, 0);
    close(toChild[1]);
    close(fromChild[0]);
    std::string strErrors;
    char buffer[256];
    for (ssize_t n; (n = read(errors[0], buffer, sizeof(buffer))) > 0;)
        strErrors.append(buffer, static_cast<size_t>(n));
    close(errors[0]);

    EXPECT_EQ(0u, strOutput.find("computer " + strNamespaces + "pc\n")) << strOutput;
    EXPECT_NE(std::string::npos, strOutput.find(" 10.201.1.10 Model 1-0 listed\n")) << strOutput;
    EXPECT_NE(std::string::npos, strOutput.find(" 10.201.1.11 Model 1-1 shared\n")) << strOutput;
    EXPECT_NE(std::string::npos, strOutput.find(" 10.201.1.12 Model 1-2 shared\n")) << strOutput;
    EXPECT_NE(std::string::npos, strOutput.find(" 10.201.1.13 Model 1-3 unlisted\n")) << strOutput;
    EXPECT_NE(std::string::npos, strOutput.find(" 10.201.1.14 Model 1-4 listed\n")) << strOutput;
    EXPECT_NE(std::string::npos, strOutput.find(" 192.168.50.10 Model 1-5 unlisted\n")) << strOutput;
    EXPECT_NE(std::string::npos, strOutput.find(" 10.201.1.16 Model 1-6 unlisted\n")) << strOutput;
    EXPECT_EQ("", strErrors);
    EXPECT_NE(std::string::npos, strMade.find(strNamespaces + "n2")) << strMade;
    ASSERT_TRUE(WIFEXITED(nStatus)) << nStatus;
    EXPECT_EQ(130, WEXITSTATUS(nStatus));
    EXPECT_EQ(std::string::npos, NamespaceList().find(strNamespaces));
}

// A device at the computer's own address or at its network's broadcast
// address would be listed as made, and a probe would hear nothing there:
// either is a usage error, which says why.
TEST(VLTestNet, RefusesADeviceAtTheComputersOrTheBroadcastAddress)
{
    std::string strEmulator = TestEmulatorProgram();
    std::string strProgram = strEmulator.substr(0, strEmulator.rfind('/')) + "/vltestnet";
    auto errors = [&](const std::string& strArguments) {
        std::string strOutput;
        FILE* p = popen((strProgram + " " + strArguments + " 2>&1 >/dev/null </dev/null; echo status $?").c_str(), "r");
        char buffer[256];
        while (p != nullptr && fgets(buffer, sizeof(buffer), p) != nullptr)
            strOutput += buffer;
        if (p != nullptr)
            pclose(p);
        return strOutput.substr(0, strOutput.find('\n') + 1) + strOutput.substr(strOutput.rfind("status"));
    };
    EXPECT_EQ("vltestnet: DEVICE 'model=X ip=10.201.3.1' of --network 3: ip=10.201.3.1 is the computer's own "
              "address on 10.201.3.0/24, and the computer takes no reply from it\nstatus 2\n",
              errors("--network 3 '' 'model=X ip=10.201.3.1'"));
    EXPECT_EQ("vltestnet: DEVICE 'ip=10.201.2.255' of --network 2: ip=10.201.2.255 is the broadcast address of "
              "10.201.2.0/24, and the computer takes no reply from it\nstatus 2\n",
              errors("--network 1 'ip=10.201.2.255' --network 2 'ip=10.201.2.255'"));
}

// A device network's two sides know each other's link address for good,
// and each its broadcasts and loopback: the computer and its devices talk
// without ARP, so parallel tests that fill the kernel's neighbour table
// (shared by all namespaces) lose nothing. So do the addresses a device
// sends from besides its own (AddAddresses). Sends each way leave no other
// entry.
TEST(DeviceNetworks, EachSideKnowsTheOthersLinkAddressForGood)
{
    VL_NEEDS_NAMESPACES();
    CDeviceNetworks networks;
    std::string strError;
    ASSERT_TRUE(networks.AddComputer(&strError)) << strError;
    ASSERT_TRUE(networks.AddNetwork(4, {"", ""}, &strError, 22)) << strError;
    ASSERT_TRUE(networks.AddAddresses(4, 12, 13, &strError)) << strError;
    CTestNetwork& net = networks.GetNetwork();
    auto run = [&](const std::string& strHost, const std::string& strCommand) {
        std::string strOutput;
        EXPECT_EQ(0, net.RunProgram(strHost, {"/bin/sh", "-c", strCommand}, &strOutput)) << strCommand;
        return strOutput;
    };
    auto linkAddress = [&](const std::string& strHost, const std::string& strIf) {
        return run(strHost, "ip -br link show dev " + strIf + " | awk '{printf \"%s\", $3}'");
    };
    // Datagrams to each address given, from the host, out of its link.
    auto send = [&](const std::string& strHost, const std::string& strIf, const std::vector<std::string>& addresses) {
        return net.RunIn(strHost, [&strIf, &addresses]() -> std::string {
            const int nSocket = socket(AF_INET, SOCK_DGRAM, 0);
            const int nOn = 1;
            setsockopt(nSocket, SOL_SOCKET, SO_BROADCAST, &nOn, sizeof(nOn));
            setsockopt(nSocket, SOL_SOCKET, SO_BINDTODEVICE, strIf.c_str(), static_cast<socklen_t>(strIf.size()));
            std::string strFailed;
            for (const std::string& strAddress : addresses) {
                sockaddr_in to = {};
                to.sin_family = AF_INET;
                to.sin_port = htons(9);
                inet_pton(AF_INET, strAddress.c_str(), &to.sin_addr);
                if (sendto(nSocket, "x", 1, 0, reinterpret_cast<const sockaddr*>(&to), sizeof(to)) != 1)
                    strFailed += " " + strAddress;
            }
            close(nSocket);
            return strFailed;
        });
    };
    EXPECT_EQ("", send("pc", "vl4", {"10.201.4.10", "10.201.4.13", "10.201.7.255", "255.255.255.255"}));
    EXPECT_EQ("", send("pc", "lo", {"127.0.0.1", "10.201.4.1"}));
    EXPECT_EQ("", send("n4", "vd4", {"10.201.4.1", "10.201.7.255", "10.201.4.255", "255.255.255.255"}));
    EXPECT_EQ("", send("n4", "lo", {"127.0.0.1", "10.201.4.10"}));
    const std::string strDevicesLink = linkAddress("n4", "vd4"), strComputerLink = linkAddress("pc", "vl4");
    ASSERT_FALSE(strDevicesLink.empty());
    const std::string strEntries = "ip -4 -o neigh show nud all | sed 's/ *$//' | LC_ALL=C sort";
    const std::string strBroadcasts = "10.201.7.255 dev DEV lladdr ff:ff:ff:ff:ff:ff PERMANENT\n"
                                      "255.255.255.255 dev DEV lladdr ff:ff:ff:ff:ff:ff PERMANENT\n";
    auto broadcasts = [&](const std::string& strIf) {
        std::string strLines = strBroadcasts;
        for (size_t n; (n = strLines.find("DEV")) != std::string::npos;)
            strLines.replace(n, 3, strIf);
        return strLines;
    };
    const std::string strLoopback = "0.0.0.0 dev lo lladdr 00:00:00:00:00:00 PERMANENT\n";
    std::string strExpected = strLoopback;
    for (int nHost = 10; nHost <= 13; nHost++)
        strExpected += "10.201.4." + std::to_string(nHost) + " dev vl4 lladdr " + strDevicesLink + " PERMANENT\n";
    EXPECT_EQ(strExpected + broadcasts("vl4"), run("pc", strEntries));
    EXPECT_EQ("10.201.4.12/24\n10.201.4.13/24\n",
              run("n4", "ip -o -4 address show dev vd4 | awk '{ print $4 }' | grep -e '\\.12/' -e '\\.13/'"));
    // The added addresses' own /24 has a broadcast address of its own.
    EXPECT_EQ(strLoopback + "10.201.4.1 dev vd4 lladdr " + strComputerLink +
                  " PERMANENT\n10.201.4.255 dev vd4 lladdr ff:ff:ff:ff:ff:ff PERMANENT\n" + broadcasts("vd4"),
              run("n4", strEntries));
}
