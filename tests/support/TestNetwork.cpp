#include "tests/support/TestNetwork.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <sstream>

#include "tests/support/TempFolder.h"

namespace {

std::string Quote(const std::string& s)
{
    std::string q = "'";
    for (char c : s) {
        if (c == '\'')
            q += "'\\''";
        else
            q += c;
    }
    return q + "'";
}

// Runs a shell command line, its output and errors read, not shown; false
// (with them in *pError) when it fails. The whole line is redirected, a
// list of commands too: "ip link show" of a veth looks up its peer's
// namespace among all of /run/netns and says "Peer netns reference is
// invalid" of one that another program is making or removing.
bool Capture(const std::string& strCommand, std::string& strOut, std::string* pError)
{
    std::string strLine = "{ " + strCommand + "\n} 2>&1";
    FILE* p = popen(strLine.c_str(), "r");
    if (!p) {
        if (pError)
            *pError = "cannot run: " + strCommand;
        return false;
    }
    strOut.clear();
    char buf[256];
    size_t n;
    while ((n = fread(buf, 1, sizeof(buf), p)) > 0)
        strOut.append(buf, n);
    int nStatus = pclose(p);
    if (nStatus != 0) {
        if (pError)
            *pError = strCommand + ": " + strOut;
        return false;
    }
    return true;
}

bool Shell(const std::string& strCommand, std::string* pError)
{
    std::string strOut;
    return Capture(strCommand, strOut, pError);
}

// Permanent neighbour entries: the kernel's table of them (ARP) is one for
// every namespace of the host, and when other work has filled it, the
// kernel makes no new entry, not even for a broadcast or the loopback, and
// drops the datagram. Permanent entries do not count against its limit.
const char kPermanent[] = " nud permanent";
const char kBroadcastLink[] = "ff:ff:ff:ff:ff:ff";
// The loopback's one entry (the kernel keys it 0.0.0.0 whatever the
// destination).
const char kLoopbackPin[] = "neigh replace 0.0.0.0 dev lo lladdr 00:00:00:00:00:00 nud permanent";

// A namespace's interfaces as a pin needs them: each one's link address and
// the bridge it is a port of, and the IPv4 addresses ("10.201.1.1/24") of
// each.
struct SInterfaces
{
    std::map<std::string, std::pair<std::string, std::string>> links;  // name: link address, bridge
    std::vector<std::pair<std::string, std::string>> addresses;        // interface, address/prefix
};

// Read from sysfs, as "ip link show" of a veth looks up its peer's
// namespace among all of /run/netns (see Shell).
bool ReadInterfaces(const std::string& strNamespace, SInterfaces& interfaces, std::string* pError)
{
    std::string strOut;
    if (!Capture("ip netns exec " + strNamespace +
                     " sh -c 'for i in /sys/class/net/*; do [ -f $i/address ] || continue; m=; "
                     "[ -e $i/master ] && m=$(basename \"$(readlink $i/master)\"); "
                     "echo \"link ${i##*/} $(cat $i/address) $m\"; done; ip -4 -o address show'",
                 strOut, pError))
        return false;
    std::istringstream in(strOut);
    std::string strLine;
    while (std::getline(in, strLine)) {
        std::istringstream line(strLine);
        std::string strFirst, strName, strThird, strFourth;
        line >> strFirst >> strName >> strThird >> strFourth;
        if (strFirst == "link") {
            interfaces.links[strName] = {strThird, strFourth};
        } else if (strThird == "inet") {
            interfaces.addresses.push_back({strName.substr(0, strName.find('@')), strFourth});
        }
    }
    return true;
}

// The interface that holds an interface's addresses: its bridge, if any.
std::string AddressedInterface(const SInterfaces& interfaces, const std::string& strIf)
{
    auto it = interfaces.links.find(strIf);
    return it != interfaces.links.end() && !it->second.second.empty() ? it->second.second : strIf;
}

// The directed broadcast address of "10.201.1.1/24"; empty for a /31 or
// /32, which have none.
std::string DirectedBroadcast(const std::string& strAddress)
{
    const size_t nSlash = strAddress.find('/');
    in_addr address;
    if (nSlash == std::string::npos || inet_pton(AF_INET, strAddress.substr(0, nSlash).c_str(), &address) != 1)
        return std::string();
    const int nPrefix = atoi(strAddress.c_str() + nSlash + 1);
    if (nPrefix < 1 || nPrefix > 30)
        return std::string();
    address.s_addr |= htonl(~0u >> nPrefix);
    char sz[INET_ADDRSTRLEN];
    return inet_ntop(AF_INET, &address, sz, sizeof(sz)) ? sz : std::string();
}

// The pins of a namespace's own: the loopback's entry, and on each Ethernet
// interface the limited broadcast and the directed broadcast of each of its
// addresses.
std::string BroadcastPins(const SInterfaces& interfaces)
{
    std::string strPins = std::string(kLoopbackPin) + "\n";
    for (const auto& link : interfaces.links) {
        if (link.first != "lo" && link.second.first.size() == strlen(kBroadcastLink))
            strPins +=
                "neigh replace 255.255.255.255 dev " + link.first + " lladdr " + kBroadcastLink + kPermanent + "\n";
    }
    for (const auto& address : interfaces.addresses) {
        const std::string strBroadcast = DirectedBroadcast(address.second);
        if (address.first != "lo" && !strBroadcast.empty())
            strPins += "neigh replace " + strBroadcast + " dev " + address.first + " lladdr " + kBroadcastLink +
                       kPermanent + "\n";
    }
    return strPins;
}

// The pins on one end of a link of every address of the other end (those of
// its bridge, if it is a port of one), at the other end's link address.
std::string PeerPins(const SInterfaces& own, const std::string& strIf, const SInterfaces& peer,
                     const std::string& strPeerIf)
{
    auto it = peer.links.find(strPeerIf);
    if (it == peer.links.end())
        return std::string();
    const std::string strPeerAddressed = AddressedInterface(peer, strPeerIf);
    std::string strPins;
    for (const auto& address : peer.addresses) {
        if (address.first == strPeerAddressed)
            strPins += "neigh replace " + address.second.substr(0, address.second.find('/')) + " dev " +
                       AddressedInterface(own, strIf) + " lladdr " + it->second.first + kPermanent + "\n";
    }
    return strPins;
}

std::string ReadAll(int fd)
{
    std::string s;
    char buf[4096];
    ssize_t n;
    while ((n = read(fd, buf, sizeof(buf))) > 0)
        s.append(buf, static_cast<size_t>(n));
    return s;
}

// Each namespace a test program makes is recorded in its run's folder
// (kRunFolderVariable, which tools/test-all.sh sets), before it is made and
// until it is deleted: a file named after it in kRecordFolder holding its
// maker's "PID START" (START: the process's start time, field 22 of
// /proc/PID/stat, which tells a reused pid). A run stopped with all its
// processes at once, its test programs ended before they removed theirs,
// deletes those whose maker is gone (tools/stages.sh).
const char kRunFolderVariable[] = "VL_RUN_FOLDER";
const char kRecordFolder[] = ".vl-netns";
const int kStartTimeField = 22;

std::string RecordPath(const std::string& strName)
{
    const char* szRun = getenv(kRunFolderVariable);
    if (szRun == nullptr || *szRun == '\0')
        return std::string();
    return std::string(szRun) + "/" + kRecordFolder + "/" + strName;
}

std::string OwnStartTime()
{
    FILE* p = fopen("/proc/self/stat", "r");
    if (p == nullptr)
        return std::string();
    char buf[1024];
    const size_t n = fread(buf, 1, sizeof(buf) - 1, p);
    fclose(p);
    buf[n] = '\0';
    // The fields after the command's name, "(name)", which may hold spaces.
    const char* sz = strrchr(buf, ')');
    std::istringstream in(sz != nullptr ? sz + 1 : "");
    std::string strField;
    int nField = 2;
    while (nField < kStartTimeField && in >> strField)
        ++nField;
    return nField == kStartTimeField ? strField : std::string();
}

// What cannot be recorded is left to the namespace's maker, as it was before
// runs recorded them.
void RecordNamespace(const std::string& strName)
{
    const std::string strPath = RecordPath(strName);
    if (strPath.empty())
        return;
    mkdir(strPath.substr(0, strPath.rfind('/')).c_str(), 0755);
    const std::string strLine = std::to_string(getpid()) + " " + OwnStartTime() + "\n";
    int fd = open(strPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return;
    const bool bWritten = write(fd, strLine.data(), strLine.size()) == static_cast<ssize_t>(strLine.size());
    close(fd);
    if (!bWritten)
        unlink(strPath.c_str());
}

void ForgetNamespace(const std::string& strName)
{
    const std::string strPath = RecordPath(strName);
    if (!strPath.empty())
        unlink(strPath.c_str());
}

// Deletes a namespace this process made; its record goes once it is gone.
bool DeleteNamespace(const std::string& strName, std::string* pError)
{
    if (!Shell("ip netns del " + strName, pError))
        return false;
    ForgetNamespace(strName);
    return true;
}

bool EnterNamespace(const std::string& strName)
{
    std::string strPath = "/run/netns/" + strName;
    int fd = open(strPath.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    bool bOk = setns(fd, CLONE_NEWNET) == 0;
    close(fd);
    return bOk;
}

}  // namespace

const char* const CTestNetwork::kRequiredVariable = "VL_TEST_REQUIRE_NAMESPACES";
const char* const CTestNetwork::kPrefixVariable = "VL_NETNS_PREFIX";

std::string CTestNetwork::Prefix()
{
    const char* szValue = getenv(kPrefixVariable);
    return szValue != nullptr && *szValue != '\0' ? szValue : "vl";
}

std::string CTestNetwork::PrefixError(const std::string& strPrefix)
{
    if (strPrefix.empty() || strPrefix.size() > kMaxPrefix)
        return "a prefix has 1 to " + std::to_string(kMaxPrefix) + " characters";
    for (char c : strPrefix) {
        if (!isalnum(static_cast<unsigned char>(c)) && c != '_' && c != '-')
            return "a prefix holds only letters, digits, '_' and '-'";
    }
    if (!isalpha(static_cast<unsigned char>(strPrefix.front())))
        return "a prefix begins with a letter";
    if (isdigit(static_cast<unsigned char>(strPrefix.back())))
        return "a prefix does not end in a digit (the process id follows it)";
    return std::string();
}

bool CTestNetwork::Required()
{
    const char* szValue = getenv(kRequiredVariable);
    return szValue && *szValue && strcmp(szValue, "0") != 0;
}

std::string CTestNetwork::Unavailable()
{
    std::string strPrefixError = PrefixError(Prefix());
    if (!strPrefixError.empty())
        return std::string(kPrefixVariable) + " '" + Prefix() + "' cannot begin a namespace's name: " + strPrefixError;
    if (geteuid() != 0)
        return "needs root to create network namespaces";
    if (system("ip -V >/dev/null 2>&1") != 0)
        return "needs the 'ip' command (iproute2)";
    std::string strName = Prefix() + std::to_string(getpid()) + "probe";
    std::string strError;
    RecordNamespace(strName);
    if (!Shell("ip netns add " + strName, &strError)) {
        ForgetNamespace(strName);
        return "cannot create a network namespace: " + strError;
    }
    DeleteNamespace(strName, nullptr);
    return std::string();
}

void CTestNetwork::RemoveLeftovers()
{
    const std::string strPrefix = Prefix();
    if (!PrefixError(strPrefix).empty())
        return;
    DIR* pDir = opendir("/run/netns");
    if (pDir == nullptr)
        return;
    std::vector<std::string> leftovers;
    while (dirent* pEntry = readdir(pDir)) {
        // The prefix, a process id, then a letter: the prefix ends in no
        // digit, so a longer prefix that begins with this one never matches.
        std::string strName = pEntry->d_name;
        if (strName.compare(0, strPrefix.size(), strPrefix) != 0)
            continue;
        size_t nDigits = strPrefix.size();
        while (nDigits < strName.size() && isdigit(static_cast<unsigned char>(strName[nDigits])))
            ++nDigits;
        if (nDigits == strPrefix.size() || nDigits == strName.size())
            continue;
        // Signal 0 sends nothing: it tells whether the process exists.
        pid_t pid = static_cast<pid_t>(strtol(strName.c_str() + strPrefix.size(), nullptr, 10));
        if (kill(pid, 0) != 0 && errno == ESRCH)
            leftovers.push_back(strName);
    }
    closedir(pDir);
    // Another process of the prefix may remove one first.
    for (const std::string& strName : leftovers)
        Shell("ip netns del " + Quote(strName), nullptr);
}

namespace {
std::atomic<unsigned> s_nMade{0};
}  // namespace

unsigned CTestNetwork::Made()
{
    return s_nMade;
}

CTestNetwork::CTestNetwork()
{
    static std::once_flag s_leftovers;
    std::call_once(s_leftovers, RemoveLeftovers);
    m_strPrefix = Prefix() + std::to_string(getpid()) + "n" + std::to_string(s_nMade++) + "x";
}

CTestNetwork::~CTestNetwork()
{
    for (pid_t pid : m_Emulators) {
        kill(pid, SIGTERM);
        int nStatus;
        waitpid(pid, &nStatus, 0);
    }
    // Deleting a namespace removes its ends of the veth pairs, and with them
    // the peers.
    for (const std::string& strHost : m_Hosts)
        DeleteNamespace(Namespace(strHost), nullptr);
}

std::string CTestNetwork::Namespace(const std::string& strHost) const
{
    return m_strPrefix + strHost;
}

bool CTestNetwork::AddHost(const std::string& strHost, std::string* pError)
{
    std::string strName = Namespace(strHost);
    RecordNamespace(strName);
    if (!Shell("ip netns add " + strName, pError)) {
        ForgetNamespace(strName);
        return false;
    }
    m_Hosts.push_back(strHost);
    return Shell("ip -n " + strName + " link set lo up && ip -n " + strName + " " + kLoopbackPin, pError);
}

bool CTestNetwork::Link(const std::string& strHostA, const std::string& strIfA,
                        const std::vector<std::string>& addressesA, const std::string& strHostB,
                        const std::string& strIfB, const std::vector<std::string>& addressesB, std::string* pError)
{
    // Created in A under a temporary name for B's side, then moved to B.
    std::string strTemp = "vlt" + std::to_string(getpid() % 100000) + std::to_string(rand() % 1000);
    std::string strA = Namespace(strHostA), strB = Namespace(strHostB);
    if (!Shell("ip -n " + strA + " link add " + strIfA + " type veth peer name " + strTemp, pError) ||
        !Shell("ip -n " + strA + " link set " + strTemp + " netns " + strB, pError) ||
        !Shell("ip -n " + strB + " link set " + strTemp + " name " + strIfB, pError))
        return false;
    for (const std::string& a : addressesA)
        if (!Shell("ip -n " + strA + " addr add " + a + " dev " + strIfA, pError))
            return false;
    for (const std::string& b : addressesB)
        if (!Shell("ip -n " + strB + " addr add " + b + " dev " + strIfB, pError))
            return false;
    if (!Shell("ip -n " + strA + " link set " + strIfA + " up", pError) ||
        !Shell("ip -n " + strB + " link set " + strIfB + " up", pError))
        return false;
    m_Links.push_back({strHostA, strIfA, strHostB, strIfB});
    // The pair carries nothing until the kernel has brought its carrier up,
    // which a loaded machine does late: a probe sent before would be lost.
    return PinNeighbours(strHostA, strHostB, pError) &&
           Shell("for i in $(seq 500); do ip -n " + strA + " -o link show " + strIfA +
                     " | grep -q 'state UP' && ip -n " + strB + " -o link show " + strIfB +
                     " | grep -q 'state UP' && exit 0; sleep 0.02; done; exit 1",
                 pError);
}

bool CTestNetwork::PinNeighbours(const std::string& strHost, std::string* pError)
{
    return PinNeighbours(strHost, std::string(), pError);
}

bool CTestNetwork::PinNeighbours(const std::string& strHost, const std::string& strPeer, std::string* pError)
{
    // Each host of the links pinned (those of strHost, or the one between
    // the two), read once.
    std::map<std::string, SInterfaces> hosts;
    hosts[strHost];
    std::vector<const SLink*> links;
    for (const SLink& link : m_Links) {
        const bool bOfHost = link.strHostA == strHost || link.strHostB == strHost;
        if (strPeer.empty() ? bOfHost : bOfHost && (link.strHostA == strPeer || link.strHostB == strPeer)) {
            links.push_back(&link);
            hosts[link.strHostA];
            hosts[link.strHostB];
        }
    }
    for (auto& host : hosts) {
        if (!ReadInterfaces(Namespace(host.first), host.second, pError))
            return false;
    }
    std::map<std::string, std::string> pins;
    for (const auto& host : hosts)
        pins[host.first] = BroadcastPins(host.second);
    for (const SLink* pLink : links) {
        const SInterfaces &a = hosts[pLink->strHostA], &b = hosts[pLink->strHostB];
        pins[pLink->strHostA] += PeerPins(a, pLink->strIfA, b, pLink->strIfB);
        pins[pLink->strHostB] += PeerPins(b, pLink->strIfB, a, pLink->strIfA);
    }
    for (const auto& pin : pins) {
        if (!Shell("printf %s " + Quote(pin.second) + " | ip -n " + Namespace(pin.first) + " -batch -", pError))
            return false;
    }
    return true;
}

bool CTestNetwork::Exec(const std::string& strHost, const std::string& strCommand, std::string* pError)
{
    return Shell("ip netns exec " + Namespace(strHost) + " sh -c " + Quote(strCommand), pError);
}

bool CTestNetwork::StartEmulator(const std::string& strHost, const std::string& strDevices, unsigned nPort,
                                 const std::string& strProgram, std::string* pError)
{
    // In the run's temporary folder (TMPDIR: tools/test-all.sh removes its
    // own however a stage ends), and removed as soon as the emulator has
    // read it, so that a test killed outright leaves no list behind.
    const std::string strFolder = TestTempFolder();
    std::string strFile = strFolder + "/vlemu-devices-XXXXXX";
    int fd = mkstemp(&strFile[0]);
    if (fd < 0) {
        if (pError)
            *pError = "cannot write the device list in " + strFolder + ": " + strerror(errno);
        return false;
    }
    struct CRemove
    {
        const std::string& strPath;
        ~CRemove() { unlink(strPath.c_str()); }
    } remove{strFile};
    bool bWritten = write(fd, strDevices.data(), strDevices.size()) == static_cast<ssize_t>(strDevices.size());
    close(fd);
    if (!bWritten) {
        if (pError)
            *pError = "cannot write the device list " + strFile;
        return false;
    }
    int fds[2];
    if (pipe(fds) != 0)
        return false;
    std::string strNamespace = Namespace(strHost);
    std::string strPort = std::to_string(nPort);
    fflush(nullptr);
    pid_t pid = fork();
    if (pid < 0) {
        close(fds[0]);
        close(fds[1]);
        return false;
    }
    if (pid == 0) {
        dup2(fds[1], 1);
        close(fds[0]);
        close(fds[1]);
        if (!EnterNamespace(strNamespace))
            _exit(126);
        execl(strProgram.c_str(), strProgram.c_str(), "--port", strPort.c_str(), strFile.c_str(),
              static_cast<char*>(nullptr));
        _exit(127);
    }
    close(fds[1]);
    m_Emulators.push_back(pid);
    // Wait for its "ready" line (or its end): it has read its list by then.
    std::string strLine;
    pollfd p = {fds[0], POLLIN, 0};
    while (strLine.find('\n') == std::string::npos && poll(&p, 1, 10000) > 0) {
        char buf[64];
        ssize_t n = read(fds[0], buf, sizeof(buf));
        if (n <= 0)
            break;
        strLine.append(buf, static_cast<size_t>(n));
    }
    close(fds[0]);
    if (strLine.compare(0, 5, "ready") != 0) {
        if (pError)
            *pError = "the emulator did not start in " + strHost;
        return false;
    }
    return true;
}

std::string CTestNetwork::RunIn(const std::string& strHost, const std::function<std::string()>& fnBody)
{
    int fds[2];
    if (pipe(fds) != 0)
        return "FAIL:pipe";
    std::string strNamespace = Namespace(strHost);
    fflush(nullptr);
    pid_t pid = fork();
    if (pid < 0)
        return "FAIL:fork";
    if (pid == 0) {
        close(fds[0]);
        std::string strOut = EnterNamespace(strNamespace) ? fnBody() : "FAIL:cannot enter " + strNamespace;
        size_t nDone = 0;
        while (nDone < strOut.size()) {
            ssize_t n = write(fds[1], strOut.data() + nDone, strOut.size() - nDone);
            if (n <= 0)
                break;
            nDone += static_cast<size_t>(n);
        }
        _exit(0);
    }
    close(fds[1]);
    std::string strResult = ReadAll(fds[0]);
    close(fds[0]);
    int nStatus = 0;
    waitpid(pid, &nStatus, 0);
    if (!WIFEXITED(nStatus) || WEXITSTATUS(nStatus) != 0)
        return "FAIL:the child died (status " + std::to_string(nStatus) + ")";
    return strResult;
}

int CTestNetwork::RunProgram(const std::string& strHost, const std::vector<std::string>& args, std::string* pOutput,
                             std::string* pErrors)
{
    int out[2], err[2];
    if (args.empty() || pipe(out) != 0)
        return -1;
    if (pipe(err) != 0) {
        close(out[0]);
        close(out[1]);
        return -1;
    }
    std::string strNamespace = Namespace(strHost);
    fflush(nullptr);
    pid_t pid = fork();
    if (pid < 0)
        return -1;
    if (pid == 0) {
        dup2(out[1], 1);
        dup2(err[1], 2);
        close(out[0]);
        close(out[1]);
        close(err[0]);
        close(err[1]);
        if (!EnterNamespace(strNamespace))
            _exit(126);
        std::vector<char*> argv;
        for (const std::string& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(out[1]);
    close(err[1]);
    // Read both pipes together so neither can fill up and stall the child.
    std::string strOut, strErr;
    pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
    int nOpen = 2;
    while (nOpen > 0 && poll(fds, 2, -1) > 0) {
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP)))
                continue;
            char buf[4096];
            ssize_t n = read(fds[i].fd, buf, sizeof(buf));
            if (n <= 0) {
                close(fds[i].fd);
                fds[i].fd = -1;
                --nOpen;
            } else {
                (i == 0 ? strOut : strErr).append(buf, static_cast<size_t>(n));
            }
        }
    }
    int nStatus = 0;
    waitpid(pid, &nStatus, 0);
    if (pOutput)
        *pOutput = strOut;
    if (pErrors)
        *pErrors = strErr;
    return WIFEXITED(nStatus) ? WEXITSTATUS(nStatus) : -1;
}

std::string TestEmulatorProgram()
{
    const char* szBin = getenv("VL_TEST_BIN_DIR");
    if (szBin && *szBin)
        return std::string(szBin) + "/vlemu";
    char szPath[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", szPath, sizeof(szPath) - 1);
    if (n <= 0)
        return "vlemu";
    std::string strPath(szPath, static_cast<size_t>(n));
    return strPath.substr(0, strPath.rfind('/')) + "/vlemu";
}

std::vector<std::string> HeldSendsCommands(int nAddresses)
{
    return {"ip link add vlt0 type veth peer name vlt0p",
            "ip addr add 10.5.0.1/24 dev vlt0",
            "tc qdisc add dev vlt0 root tbf rate 1kbit burst 1600 limit 100000000",
            "for i in $(seq 2 " + std::to_string(1 + nAddresses) +
                "); do ip neigh replace 10.5.0.$i lladdr $(cat /sys/class/net/vlt0p/address) dev vlt0" + kPermanent +
                "; done",
            "ip link set vlt0 up",
            "ip link set vlt0p up"};
}

std::string RunInNamespace(const std::vector<std::string>& commands, const std::function<std::string()>& fnBody)
{
    std::string strWhy = CTestNetwork::Unavailable();
    if (!strWhy.empty())
        return "SKIP:" + strWhy;
    CTestNetwork net;
    std::string strError;
    if (!net.AddHost("h", &strError))
        return "SKIP:" + strError;
    for (const std::string& strCommand : commands) {
        if (!net.Exec("h", strCommand, &strError))
            return "SKIP:command failed: " + strCommand + ": " + strError;
    }
    if (!net.PinNeighbours("h", &strError))
        return "SKIP:" + strError;
    return net.RunIn("h", fnBody);
}
