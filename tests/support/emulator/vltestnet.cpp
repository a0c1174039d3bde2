// vltestnet: holds a throw-away network of emulated devices (see
// CDeviceNetworks) until its standard input ends or it is stopped (SIGINT,
// SIGTERM, SIGHUP), then removes everything it made. For tools/demo.sh,
// which runs vlnet in the computer's namespace meanwhile.
//
//   vltestnet [--prefix NAME] --network N [DEVICE...] [--network N [DEVICE...]]...
//
// Prints "computer NAMESPACE", one "device MAC IP MODEL-WORDS... STATE"
// line per device, and "ready" once the devices answer.
#include <poll.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "base/core/VLCommandLine.h"
#include "tests/support/DeviceNetworks.h"
#include "tests/support/emulator/DeviceEmulator.h"

namespace {
// The signal that stopped it; 0 while none has.
volatile sig_atomic_t s_nStop = 0;

void OnStop(int nSignal)
{
    s_nStop = nSignal;
}

const char kUsage[] = "usage: vltestnet [--prefix NAME] --network N [DEVICE...] [--network N [DEVICE...]]...\n"
                      "  Makes a computer's network namespace joined to networks 10.201.N.0/24 (N from\n"
                      "  1 to 99, each once) of emulated devices, one per DEVICE (the emulator's keys,\n"
                      "  e.g. \"encrypted=1 password=secret\"; \"\" for a plain one; 'vlemu --help' lists\n"
                      "  them). A network without a DEVICE is empty: the computer's interface and\n"
                      "  address on it, and no device. A device's address (.10, .11, ... in order)\n"
                      "  and mask are its network's, its MAC and model made up, unless ip=, mask=,\n"
                      "  mac= and model= give them (it answers from an address ip= gives, even off\n"
                      "  its network; not the computer's .1 nor the broadcast .255). Keeps them\n"
                      "  until standard input ends or it is stopped, then removes them. Needs root.\n"
                      "\n"
                      "  --prefix NAME  begins the namespaces' names, which go on with the process id\n"
                      "                 (NAME4242n0xpc): 1 to 32 letters, digits, '_' or '-', from a\n"
                      "                 letter, not ending in a digit. Default: $VL_NETNS_PREFIX when\n"
                      "                 set, else \"vl\".\n"
                      "\n"
                      "  Prints \"computer NAMESPACE\" (the computer's namespace), then per device\n"
                      "  \"device MAC IP MODEL STATE\" (MODEL may hold blanks; STATE is listed, unlisted\n"
                      "  when a probe does not list it, as it ignores unicast, its check or commands\n"
                      "  fail or never end (quietlist=1), its address is off its network, or it is a\n"
                      "  hostile host, or shared when another listed device has its MAC: a probe\n"
                      "  lists one of them, and url and run refuse the MAC), then\n"
                      "  \"ready\" once the devices answer.\n"
                      "  Exit status: 0 after its input ended, 1 when the network could not be made,\n"
                      "  2 for a wrong command line, 128+N once signal N stopped it (130: Ctrl-C).\n";

// Why a DEVICE argument is not one device of the emulator; empty when it is.
std::string DeviceError(const std::string& strDevice)
{
    // The emulator reads its devices one a line, with '#' beginning a comment.
    if (strDevice.find('\n') != std::string::npos)
        return "a DEVICE is one line";
    if (strDevice.find('#') != std::string::npos)
        return "'#' begins a comment in the emulator's device lines";
    std::vector<EmuDevice> devices;
    std::string strError;
    if (!EmuParseDevices(strDevice, devices, &strError)) {
        // Its one line: the line number says nothing.
        const std::string strLine = "line 1: ";
        return strError.compare(0, strLine.size(), strLine) == 0 ? strError.substr(strLine.size()) : strError;
    }
    return std::string();
}

// Why a device of network nNetwork cannot have the address its keys give
// (ip=): the computer's own address there, or the network's broadcast
// address, from which the computer takes no reply, so that a probe would
// list nothing there; empty when it can.
std::string AddressError(const std::string& strDevice, int nNetwork)
{
    std::vector<EmuDevice> devices;
    std::string strError;
    if (!EmuParseDevices(strDevice, devices, &strError) || devices.size() != 1)
        return std::string();
    const std::string& strIP = devices[0].strIP;
    const std::string strNetwork = CDeviceNetworks::Address(nNetwork, 0) + "/24";
    if (strIP == CDeviceNetworks::Address(nNetwork, 1))
        return "ip=" + strIP + " is the computer's own address on " + strNetwork +
               ", and the computer takes no reply from it";
    if (strIP == CDeviceNetworks::Address(nNetwork, 255))
        return "ip=" + strIP + " is the broadcast address of " + strNetwork +
               ", and the computer takes no reply from it";
    return std::string();
}

bool ParseNumber(const char* sz, int& nValue)
{
    char* pEnd = nullptr;
    long n = strtol(sz, &pEnd, 10);
    if (*sz == '\0' || *pEnd != '\0' || n < 1 || n > 99)
        return false;
    nValue = static_cast<int>(n);
    return true;
}
}  // namespace

int main(int argc, char** argv)
{
    static const char* const kValueOptions[] = {"--network", "--prefix", nullptr};
    CVLCommandLine line("vltestnet", kUsage, kValueOptions);
    std::vector<std::string> arguments = line.ReadArguments(argc, argv);
    std::vector<std::pair<int, std::vector<std::string>>> networks;
    std::set<int> numbers;
    // The prefix an option gives, else the environment's (empty: unset).
    const char* szPrefix = getenv(CTestNetwork::kPrefixVariable);
    std::string strPrefixFrom = szPrefix != nullptr && *szPrefix != '\0' ? CTestNetwork::kPrefixVariable : "";
    std::string strPrefix = szPrefix != nullptr ? szPrefix : "";
    for (size_t i = 0; i < arguments.size(); i++) {
        const std::string& strArgument = arguments[i];
        if (CVLCommandLine::IsHelp(strArgument))
            return line.Help();
        if (CVLCommandLine::IsVersion(strArgument))
            return line.Version();
        if (strArgument == "--network") {
            int nNetwork = 0;
            if (i + 1 >= arguments.size() || !ParseNumber(arguments[++i].c_str(), nNetwork))
                return line.UsageError("--network needs a number from 1 to 99");
            if (!numbers.insert(nNetwork).second)
                return line.UsageError("--network " + arguments[i] + " is given twice: each network once");
            networks.push_back({nNetwork, {}});
        } else if (strArgument == "--prefix") {
            if (i + 1 >= arguments.size())
                return line.UsageError("--prefix needs a name");
            strPrefix = arguments[++i];
            strPrefixFrom = "--prefix";
        } else if (strArgument.compare(0, 2, "--") == 0) {
            return line.UsageError("unknown option '" + strArgument + "'");
        } else if (networks.empty()) {
            return line.UsageError("a DEVICE before the first --network");
        } else {
            std::string strWhy = DeviceError(strArgument);
            if (strWhy.empty())
                strWhy = AddressError(strArgument, networks.back().first);
            if (!strWhy.empty())
                return line.UsageError("DEVICE '" + strArgument + "' of --network " +
                                       std::to_string(networks.back().first) + ": " + strWhy);
            networks.back().second.push_back(strArgument);
        }
    }
    if (networks.empty())
        return line.UsageError("no --network given");
    if (!strPrefixFrom.empty()) {
        std::string strWhy = CTestNetwork::PrefixError(strPrefix);
        if (!strWhy.empty())
            return line.UsageError(strPrefixFrom + " '" + strPrefix + "' cannot begin a namespace's name: " + strWhy);
        // The networks take it from there.
        setenv(CTestNetwork::kPrefixVariable, strPrefix.c_str(), 1);
    }
    std::string strUnavailable = CTestNetwork::Unavailable();
    if (!strUnavailable.empty()) {
        fprintf(stderr, "vltestnet: %s\n", strUnavailable.c_str());
        return 1;
    }

    // A stop while the networks are made is taken once they are complete,
    // so that the destructor removes all of them.
    struct sigaction action = {};
    action.sa_handler = OnStop;
    sigemptyset(&action.sa_mask);
    for (int nSignal : {SIGINT, SIGTERM, SIGHUP})
        sigaction(nSignal, &action, nullptr);
    signal(SIGPIPE, SIG_IGN);

    int nExit = 0;
    {
        CDeviceNetworks devices;
        std::string strError;
        bool bMade = devices.AddComputer(&strError);
        for (size_t i = 0; bMade && i < networks.size(); i++)
            bMade = devices.AddNetwork(networks[i].first, networks[i].second, &strError);
        if (!bMade) {
            fprintf(stderr, "vltestnet: %s\n", strError.c_str());
            nExit = 1;
        } else if (!s_nStop) {
            // A probe lists a MAC once: of the listed devices that share
            // one, it lists one, and which is not known here.
            std::map<std::string, int> listedOfMAC;
            for (const CDeviceNetworks::Device& device : devices.GetDevices())
                listedOfMAC[device.strMAC] += device.bListed ? 1 : 0;
            printf("computer %s\n", devices.GetNetwork().Namespace(CDeviceNetworks::kComputer).c_str());
            for (const CDeviceNetworks::Device& device : devices.GetDevices()) {
                const char* szState = !device.bListed                  ? "unlisted"
                                      : listedOfMAC[device.strMAC] > 1 ? "shared"
                                                                       : "listed";
                printf("device %s %s %s %s\n", device.strMAC.c_str(), device.strIP.c_str(), device.strModel.c_str(),
                       szState);
            }
            printf("ready\n");
            fflush(stdout);
            // Until standard input ends (its writer is gone) or a signal.
            pollfd input = {0, POLLIN, 0};
            while (!s_nStop) {
                int n = poll(&input, 1, 200);
                if (n > 0) {
                    char buffer[256];
                    if (read(0, buffer, sizeof(buffer)) <= 0)
                        break;
                }
            }
        }
    }
    // Once all it made is removed, a signal's end is told as a shell tells it.
    return s_nStop != 0 ? 128 + s_nStop : nExit;
}
